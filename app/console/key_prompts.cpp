// Reads the operator's keys without echo for the confirmation and the final prompt.
#include "app/console/key_prompts.h"

#include "app/console/console_log.h"
#include "platform/console.h"

PromptAnswer ConfirmToContinue() {
    PrintAndLog(L"   Press 'y' to continue, or 'n' to abort.");
    PromptAnswer answer = PromptAnswer::kNo;
    for (;;) {
        int key = platform::ReadKeyNoEcho();
        // Without a console the answers come from standard input; its end means nobody answered.
        if (key < 0) {
            answer = PromptAnswer::kNoAnswer;
            break;
        }
        if (key == 'n' || key == 'N') break;
        if (key == 'y' || key == 'Y') {
            answer = PromptAnswer::kYes;
            break;
        }
    }
    PrintAndLog(
        L"\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b"
        L"                                       "
        L"\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b\b");
    return answer;
}

void SayHowToRunUnattended() {
    PrintAndLog(L"   No answer came: standard input ended. Use -q for unattended runs.\n");
}

void WaitForKeyToExit() {
    PrintAndLog(L"\n\n");
    PrintAndLog(L"Press any key to exit...");
    PrintAndLog(L"\n");
    platform::ReadKeyNoEcho();
}
