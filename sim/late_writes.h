// Register writes after the display driver's enable has been started: a card's registers must be
// left alone from then on, and a test of an interrupted run looks for any such write in the state
// directory's file "writes-after-enable" (one line each), which survives the process's abrupt end.
#pragma once

#include <cstdint>
#include <functional>

namespace sim {

// The host edition's child start calls this for every "enable" of the device-console tool.
void NoteDisplayEnableStarted();
// Every register write of a card; costs two relaxed loads unless the enable has been started or a
// stall is armed.
void NoteRegisterWrite(std::uint32_t reg, std::uint32_t value);

// A machine file's "stallWritesAfter": N holds every register write after the Nth write to the
// cards' JTAG pins (the GPIO output register), on every card, until the release answers true, and
// marks the hold with the state directory's file "writes-stalled"; a later process of the same
// state runs free. A test of an interrupted programming step waits for that file instead of
// racing the plays, and the host edition releases the hold once the stop has been requested, so
// the plays see the request midway whatever the machine's load. 0 (the default) arms nothing.
// untilExit: the hold never ends (a register write that does not return); the process's end ends
// it.
void ArmWriteStall(std::uint32_t afterWrites, bool untilExit);
void SetWriteStallRelease(std::function<bool()> released);

}  // namespace sim
