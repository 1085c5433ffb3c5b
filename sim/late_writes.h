// Register writes after the display driver's enable has been started: a card's registers must be
// left alone from then on, and a test of an interrupted run looks for any such write in the state
// directory's file "writes-after-enable" (one line each), which survives the process's abrupt end.
#pragma once

#include <cstdint>

namespace sim {

// The host edition's child start calls this for every "enable" of the device-console tool.
void NoteDisplayEnableStarted();
// Every register write of a card; costs one relaxed load until the enable has been started.
void NoteRegisterWrite(std::uint32_t reg, std::uint32_t value);

}  // namespace sim
