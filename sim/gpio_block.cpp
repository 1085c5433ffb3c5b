// TDI agreement and the recorded auxiliary and end-pulse lines of the GPIO block.
#include "sim/gpio_block.h"

namespace sim {

bool GpioBlock::Tdi(std::uint32_t driving) {
    std::uint32_t driven = driving & kTdi;
    if (driven == 0) return true;
    std::uint32_t levels = output_ & driven;
    if (driven == kTdi && (levels == 0 || levels == kTdi)) return levels != 0;
    // Pins fighting each other (or only some of them driven) give the FPGA no valid level.
    ++tdiFaults_;
    return false;
}

void GpioBlock::NoteLines(std::uint32_t lines) {
    if ((lines & kEndPulse) && !(lines_ & kEndPulse)) ++endPulses_;
    if ((lines ^ lines_) & kAux) ++auxChanges_;
    lines_ = lines;
}

}  // namespace sim
