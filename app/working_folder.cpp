// The working folder for the run: prepared, its events logged, its failure said once.
#include "app/working_folder.h"

#include "app/console_log.h"
#include "platform/text_encoding.h"
#include "platform/working_folder.h"

std::wstring OpenWorkingFolder() { return ReportWorkingFolder(platform::PrepareWorkingFolder()); }

std::wstring ReportWorkingFolder(const platform::tagWorkingFolder& folder) {
    for (const std::wstring& event : folder.events) LogOnly(L"   %ls\n", event.c_str());
    if (folder.path.empty()) {
        PrintAndLog(
            L"   Error: No safe working folder could be prepared (%ls, error %u); the display "
            L"driver is left as it is.\n",
            Utf8ToWide(folder.error.call).c_str(), folder.error.code);
    }
    return folder.path;
}
