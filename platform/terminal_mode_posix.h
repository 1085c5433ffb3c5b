// The host edition's terminal key mode, shared by the key reads and the console-control thread.
#pragma once

namespace platform {

// Puts the terminal back as it was before the key read that has it in unechoed mode; does nothing
// when no key read has changed it. Any thread may call it.
void RestoreTerminalKeyMode();

// The same, for a process that is about to end: key reads that start later leave the terminal as
// it is, so none can switch it again behind the restore.
void EndTerminalKeyMode();

}  // namespace platform
