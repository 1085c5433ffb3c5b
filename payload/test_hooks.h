// Switches that only the simulation build obeys; in the product exe every one is constant off.
#pragma once

namespace test_hooks {

// The restart request is dropped, so that a whole-run test under Wine that reaches the restart
// does not end the Wine session running it.
bool ShutdownSuppressed();

// How many times faster than wall time the process clock and the pauses run (1 in the product), so
// that a whole-run test under Wine sees a time limit pass without waiting for it.
unsigned ClockScale();

}  // namespace test_hooks
