// Entry point of OvnXsvfCheck.exe: the wide argument vector is handed on as UTF-8.
#include "platform/system_library.h"
#include "text/text_encoding.h"
#include "xsvfcheck/check_run.h"

int wmain(int argc, wchar_t** argv) {
    platform::RestrictLibrarySearchToSystemDirectory();
    CUtf8Arguments arguments(argc, argv);
    return RunXsvfCheck(argc, arguments.Argv());
}
