// Entry point of the Windows edition: the library search is kept to the system directory before
// anything else runs, and the wide argument vector is handed on as UTF-8.
#include <string>
#include <vector>

#include "app/update_run.h"
#include "platform/system_library.h"
#include "platform/text_encoding.h"

int wmain(int argc, wchar_t** argv) {
    platform::RestrictLibrarySearchToSystemDirectory();
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) arguments.push_back(WideToUtf8(argv[i]));
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return RunUpdate(argc, pointers.data());
}
