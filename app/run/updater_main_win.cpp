// Entry point of the Windows edition: the library search is kept to the system directory before
// anything else runs, and the wide argument vector is handed on as UTF-8.
#include "app/run/update_run.h"
#include "platform/system_library.h"
#include "text/text_encoding.h"

int wmain(int argc, wchar_t** argv) {
    platform::RestrictLibrarySearchToSystemDirectory();
    CUtf8Arguments arguments(argc, argv);
    return RunUpdate(argc, arguments.Argv());
}
