// Reads the operator's keys without echo for the confirmation and the final prompt.
#include "app/key_prompts.h"

#include "app/console_log.h"
#include "platform/console.h"

bool ConfirmToContinue() {
    PrintAndLog(L"   Press 'y' to continue, or 'n' to abort.");
    bool yes = false;
    for (;;) {
        int key = platform::ReadKeyNoEcho();
        // Without a console the answers come from standard input; its end means nobody agreed.
        if (key < 0 || key == 'n' || key == 'N') break;
        if (key == 'y' || key == 'Y') {
            yes = true;
            break;
        }
    }
    PrintAndLog(
        L"\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b"
        L"                                       "
        L"\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b");
    return yes;
}

void WaitForKeyToExit() {
    PrintAndLog(L"\n\n");
    PrintAndLog(L"Press any key to exit...");
    PrintAndLog(L"\n");
    platform::ReadKeyNoEcho();
}
