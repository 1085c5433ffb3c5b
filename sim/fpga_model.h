// The K740 configuration FPGA as a JTAG device: IDCODE, USERCODE, STATUS, JPROGRAM, CFG_IN, JSTART.
#pragma once

#include <cstdint>
#include <functional>

#include "sim/config_engine.h"
#include "sim/jtag_device.h"

namespace sim {

// Owned by its card; called on the thread that drives the card. The start-up callback runs on that
// thread too, when a new configuration has started (DONE became 1).
class FpgaModel : public JtagDevice {
public:
    static constexpr std::uint8_t kUsercode = 0x08, kIdcode = 0x09, kJprogram = 0x0B, kCfgIn = 0x05,
                                  kJstart = 0x0C, kStatus = 0x07, kBypass = 0x3F;
    static constexpr unsigned kIrLength = 6;
    static constexpr unsigned kStartupClocks = 16;

    // Starts configured with the given version word, DONE and INIT high.
    FpgaModel(std::uint32_t idcode, std::uint32_t versionWord);

    void OnStartup(std::function<void(std::uint32_t versionWord)> callback) {
        onStartup_ = std::move(callback);
    }

    void Reset() override;
    void CaptureIr() override;
    void ShiftIr(bool tdi) override;
    void UpdateIr() override;
    void CaptureDr() override;
    void ShiftDr(bool tdi) override;
    void UpdateDr() override {}
    void IdleClock() override;
    bool Tdo(bool ir) const override;

    bool Done() const { return done_; }
    bool Init() const { return init_; }
    bool Configured() const { return configured_; }
    std::uint8_t Instruction() const { return ir_; }
    // The version word of the running configuration (0 while unconfigured).
    std::uint32_t RunningVersion() const { return configured_ ? running_ : 0; }
    std::uint32_t StatusWord() const;
    const ConfigEngine& Engine() const { return engine_; }

private:
    std::uint32_t idcode_;
    std::uint32_t running_;
    bool configured_ = true, done_ = true, init_ = true;
    std::uint8_t ir_ = kIdcode;
    std::uint8_t irShift_ = 0;
    std::uint64_t drShift_ = 0;
    unsigned drLength_ = 1;
    unsigned startupClocks_ = 0;
    ConfigEngine engine_;
    std::function<void(std::uint32_t)> onStartup_;
};

}  // namespace sim
