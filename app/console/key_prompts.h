// The operator's answers: the y/n confirmation and the final key press.
#pragma once

enum class PromptAnswer {
    kYes,
    kNo,
    kNoAnswer,  // standard input ended first: nobody is there to answer
};

// Prints the confirmation prompt and waits for y, Y, n or N (other keys are ignored), then erases
// the prompt.
PromptAnswer ConfirmToContinue();

// After a prompt that got no answer, below the specified "Update aborted.": how to run without one.
void SayHowToRunUnattended();

// Prints the closing key prompt and waits for one key (returns at the end of input as well).
void WaitForKeyToExit();
