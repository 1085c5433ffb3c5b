// Where the result files go: one folder under the machine's program data.
#include "app/result_folder.h"

#include "platform/environment.h"
#include "platform/program_data.h"
#include "platform/safe_file.h"

std::wstring ResultFolder() {
    auto base = platform::ProgramDataDirectory();
    if (!base || platform::IsLinkOrReparsePoint(*base)) return {};
    std::wstring folder = *base;
    for (const wchar_t* part : {L"Orvane", L"OvnK740FpgaUpdater"}) {
        folder += platform::PathSeparator();
        folder += part;
        // A link planted on the way would carry the writes elsewhere.
        if (!platform::CreateDirectoryWide(folder) || platform::IsLinkOrReparsePoint(folder))
            return {};
    }
    return folder;
}
