// Calibration of the port's pacing from the write rate of the card's GPIO output register.
#include "xsvf/calibration.h"

#include "hwaccess/driver_access.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "xsvf/jtag_port.h"
#include "xsvf/play_stop.h"

namespace {

constexpr int kSettleReads = 8192;
constexpr int kPasses = 256;
constexpr int kWritesPerPass = 4096;

void settleCounter(std::int64_t (*ticks)()) {
    for (int i = 0; i < kSettleReads; ++i) {
        std::int64_t first = ticks();
        while (ticks() == first) {
        }
    }
}

}  // namespace

std::uint32_t calibrationPassRate(std::uint32_t scale, std::uint32_t dt) {
    return scale / (dt == 0 ? 1 : dt);
}

std::uint32_t calibrationWritesPerSecond(std::uint64_t passTicks, std::int64_t frequency) {
    if (frequency <= 0) return 0;
    const std::uint64_t ticks = passTicks == 0 ? 1 : passTicks;
    const std::uint64_t rate = kWritesPerPass * static_cast<std::uint64_t>(frequency) / ticks;
    return rate > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(rate);
}

std::uint32_t calibratedDelay(std::uint32_t maxRate) {
    return maxRate > CALIBRATION_DELAY_CAP ? CALIBRATION_DELAY_CAP : maxRate;
}

std::int32_t UpdateEstimateMinutes(std::uint32_t maxDelay) {
    return (maxDelay < 30 || maxDelay == CALIBRATION_DELAY_CAP) ? 5 : 3;
}

void calibrateGpioDelayWith(tagJtagPort* port, std::int64_t (*ticks)(), std::uint32_t currentMhz) {
    static const char kSpinner[4] = {'|', '/', '-', '\\'};
    settleCounter(ticks);
    std::uint32_t scale = currentMhz * 10;
    platform::ConsoleWriteNarrow(" ", 1);

    std::uint32_t maxRate = 0;
    std::uint64_t fastestPass = 0;  // counter ticks of the fastest pass, for the trace's pacing
    int spinner = 0;
    bool cut = false;
    for (int pass = 0; pass < kPasses; ++pass) {
        // A million writes per card: whoever stops the port's user waits for this with the
        // display driver off, so a stop is looked at before every pass.
        if (port->shiftStop != nullptr && port->shiftStop->Requested()) {
            port->shiftCut = cut = true;
            break;
        }
        std::int64_t t0 = ticks();
        for (int k = 0; k < kWritesPerPass; ++k) {
            memWrite32(port->regHandle, GPIO_OUTPUT, (k & 1) == 0 ? GPIO_TDI_MASK : 0);
        }
        std::int64_t t1 = ticks();
        std::uint32_t dt = static_cast<std::uint32_t>(static_cast<std::uint64_t>(t1 - t0));
        std::uint32_t rate = calibrationPassRate(scale, dt);
        const char frame[2] = {'\b', kSpinner[spinner]};
        platform::ConsoleWriteNarrow(frame, 2);
        spinner = (spinner + 1) & 3;
        if (rate > maxRate) maxRate = rate;
        if (fastestPass == 0 || (dt != 0 && dt < fastestPass)) fastestPass = dt;
    }
    platform::ConsoleWriteNarrow("\b", 1);
    if (cut) {
        // Cut short: the passes so far prove nothing, and no register is written any more.
        port->delayCount = CALIBRATION_DELAY_CAP;
        port->writesPerSecond = 0;
        return;
    }
    // Without the processor clock every rate reads 0, which would mean no pacing at all; the
    // slowest pacing is the one that is safe on any host.
    port->delayCount = currentMhz == 0 ? CALIBRATION_DELAY_CAP : calibratedDelay(maxRate);
    port->writesPerSecond =
        calibrationWritesPerSecond(fastestPass, platform::PerformanceFrequency());
    setJtagPin(JTAG_TDI, true, port);
}

void calibrateGpioDelay(tagJtagPort* port) {
    // 0 MHz tells the calibration the clock is unknown: it then paces at the safe cap.
    const auto mhz = platform::ProcessorCurrentMhz();
    calibrateGpioDelayWith(port, &ticksNow, mhz ? *mhz : 0);
}
