// The simulation build's test switches, set through the environment by the tests.
#include <cstdlib>

#include "payload/test_hooks.h"

namespace test_hooks {

bool ShutdownSuppressed() { return std::getenv("OVN_SUPPRESS_SHUTDOWN") != nullptr; }

}  // namespace test_hooks
