// The operator's answers: the y/n confirmation and the final key press.
#pragma once

// Prints the confirmation prompt and waits for y, Y, n or N (other keys are ignored), then erases
// the prompt. True for yes. When standard input ends first, the answer is no.
bool ConfirmToContinue();

// Prints the closing key prompt and waits for one key (returns at the end of input as well).
void WaitForKeyToExit();
