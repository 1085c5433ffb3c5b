// What a device on the simulated JTAG chain sees of its TAP controller.
#pragma once

namespace sim {

// One device behind a TAP controller. The chain (JtagChain) calls these on the TCK edges; all calls
// for one card come from the thread that drives that card.
class JtagDevice {
public:
    virtual ~JtagDevice() = default;

    virtual void Reset() = 0;  // entered Test-Logic-Reset
    virtual void CaptureIr() = 0;
    virtual void ShiftIr(bool tdi) = 0;
    virtual void UpdateIr() = 0;
    virtual void CaptureDr() = 0;
    virtual void ShiftDr(bool tdi) = 0;
    virtual void UpdateDr() = 0;
    virtual void IdleClock() = 0;  // a rising edge that stays in Run-Test/Idle

    // The level the device drives on TDO while the controller is in Shift-IR (ir) or Shift-DR.
    virtual bool Tdo(bool ir) const = 0;
};

}  // namespace sim
