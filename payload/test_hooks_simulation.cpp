// The simulation build's test switches, set through the environment by the tests.
#include <cstdlib>

#include "payload/test_hooks.h"

namespace test_hooks {

bool ShutdownSuppressed() { return std::getenv("OVN_SUPPRESS_SHUTDOWN") != nullptr; }

unsigned ClockScale() {
    static const unsigned scale = [] {
        const char* text = std::getenv("OVN_SIM_TIME_SCALE");
        const unsigned long value = text ? std::strtoul(text, nullptr, 10) : 1;
        return value >= 1 && value <= 1000 ? static_cast<unsigned>(value) : 1u;
    }();
    return scale;
}

}  // namespace test_hooks
