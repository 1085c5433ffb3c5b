// Closing the card's JTAG port, and the counter-based clocks of the port.
#include "xsvf/jtag_port.h"

#include "platform/clock.h"
#include "platform/console.h"

namespace {

void waitForNextMicrosecond() {
    std::int32_t start = microsecondsNow();
    while (microsecondsNow() == start) {
    }
}

}  // namespace

std::int64_t ticksNow() { return platform::PerformanceCounter(); }

// Split into whole seconds and remainder so the product cannot overflow after long uptimes.
std::int32_t microsecondsNow() {
    const std::int64_t reported = platform::PerformanceFrequency();
    const std::int64_t frequency = reported > 0 ? reported : 1;
    std::int64_t counter = ticksNow();
    std::int64_t micros =
        (counter / frequency) * 1000000 + (counter % frequency) * 1000000 / frequency;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(micros));
}

void closeJtagPort(tagJtagPort* port, std::int32_t mode) {
    if (mode == 1) {
        writeGpio(GPIO_SELECT, GPIO_END_PULSE_MASK, port);
        writeGpio(GPIO_OUTPUT_ENABLE, GPIO_END_PULSE_MASK, port);
        writeGpio(GPIO_OUTPUT, GPIO_END_PULSE_MASK, port);
        waitForNextMicrosecond();
        writeGpio(GPIO_OUTPUT, 0, port);
        waitForNextMicrosecond();
    }
    writeGpio(GPIO_SELECT, GPIO_AUX_MASK, port);
    writeGpio(GPIO_OUTPUT_ENABLE, GPIO_AUX_MASK, port);
    writeGpio(GPIO_OUTPUT, 0, port);
    writeGpio(GPIO_SELECT, 0, port);
    platform::ConsoleFlush();
}
