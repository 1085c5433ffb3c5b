// Derives the program directory from the last path separator of the module path.
#include "app/program_directory.h"

std::wstring ProgramDirectory(const std::wstring& modulePath) {
    const std::size_t last = modulePath.find_last_of(L"\\/");
    if (last == std::wstring::npos) return {};
    return modulePath.substr(0, last + 1);
}
