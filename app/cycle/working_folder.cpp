// The working folder for the run: prepared, its events logged, its failure said once.
#include "app/cycle/working_folder.h"

#include "app/console/console_log.h"
#include "app/cycle/reboot_resume.h"
#include "platform/registry.h"
#include "platform/working_folder.h"
#include "text/text_encoding.h"

std::wstring OpenWorkingFolder() { return ReportWorkingFolder(platform::PrepareWorkingFolder()); }

std::wstring ReportWorkingFolder(const platform::WorkingFolderResult& folder) {
    // The utility's key holds the user's settings and the resume's records: like the folder, it is
    // for administrators only, and is made so again on every start.
    if (!platform::RegistryProtectKey(kUtilityKey))
        LogOnly(
            L"   The utility's registry key could not be made readable by administrators "
            L"only.\n");
    for (const std::wstring& event : platform::EventsOf(folder))
        LogOnly(L"   %ls\n", event.c_str());
    if (folder) return folder->path;
    const platform::WorkingFolderError& error = folder.error();
    if (!error.inTheWay.empty()) {
        // Only an administrator can clear what a user left there; the operator is told what it is
        // and how, since every later update would stop here too.
        PrintAndLog(
            L"   Error: No safe working folder could be prepared: %ls is in the way (%ls) and "
            L"cannot be moved aside (%ls, error %u).\n   Delete or rename %ls as an "
            L"administrator, then run the update again. The display driver is left as it is.\n",
            error.inTheWay.c_str(), error.inTheWayFault.c_str(), Utf8ToWide(error.call).c_str(),
            error.code, error.inTheWay.c_str());
    } else {
        PrintAndLog(
            L"   Error: No safe working folder could be prepared (%ls, error %u); the display "
            L"driver is left as it is.\n",
            Utf8ToWide(error.call).c_str(), error.code);
    }
    return {};
}
