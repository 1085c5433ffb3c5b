// The product exe's test switches: all off, and nothing is read to decide so.
#include "payload/test_hooks.h"

namespace test_hooks {

bool ShutdownSuppressed() { return false; }

unsigned ClockScale() { return 1; }

}  // namespace test_hooks
