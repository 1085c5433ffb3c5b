// A simulated K740 card: register aperture with GPIO block and I2C engine, JTAG chain and FPGA.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "sim/fpga_model.h"
#include "sim/gpio_block.h"
#include "sim/i2c_engine.h"
#include "sim/jtag_chain.h"
#include "sim/machine_config.h"
#include "sim/pci_function.h"
#include "sim/scripted_device.h"
#include "sim/sim_clock.h"
#include "sim/version_device.h"

namespace sim {

class TraceFile;

// Owned by the machine. Register accesses come from one thread at a time per card (different cards
// from different threads at once); nothing here is shared between cards except the counter.
class SimCard {
public:
    static constexpr std::uint32_t kApertureSize = 0x10000;
    static constexpr std::uint32_t kIdentity = 0x68281002, kSubsystem = 0x25401FA7;

    // stateDirectory empty: started configurations are not kept. trace: file for the chain's lines.
    SimCard(const CardConfig& config, PciFunction& function, std::filesystem::path stateDirectory,
            TraceFile* trace, bool keepTrace);
    SimCard(const SimCard&) = delete;
    SimCard& operator=(const SimCard&) = delete;

    // Register access at a 4-aligned offset inside the aperture. While memory decoding is off
    // (command bit 1 clear) reads give all ones and writes are lost, as on a real bus.
    std::uint32_t ReadRegister(std::uint32_t offset) {
        if (!function_.MemoryEnabled()) return 0xFFFFFFFFu;
        if (offset == GpioBlock::kInput) return gpio_.Input();
        return ReadOther(offset);
    }
    void WriteRegister(std::uint32_t offset, std::uint32_t value) {
        if (writeCost_) AdvanceCounterForWrite(writeCost_);
        if (!function_.MemoryEnabled()) return;
        if (offset == GpioBlock::kOutput) {
            gpio_.WriteOutput(value);
            return;
        }
        WriteOther(offset, value);
    }

    const CardConfig& Config() const { return config_; }
    PciFunction& Function() { return function_; }
    std::string Place() const;  // "03:00.0"
    std::uint64_t ApertureAddress() const { return config_.aperture; }

    const CardFaults& Faults() const { return faults_; }
    void SetFaults(const CardFaults& faults);
    void SetWriteCost(std::uint32_t writeCost) { writeCost_ = writeCost; }

    GpioBlock& Gpio() { return gpio_; }
    JtagChain& Chain() { return chain_; }
    I2cEngine& I2c() { return i2c_; }
    // The version the card's I2C version device reports (changes when a new configuration starts).
    FpgaVersion Version() const { return FpgaVersion::FromWord(versions_.Version()); }
    FpgaModel* Fpga() { return fpga_.get(); }                   // null for a scripted chain
    ScriptedJtagDevice* Scripted() { return scripted_.get(); }  // null for the FPGA

private:
    std::uint32_t ReadOther(std::uint32_t offset);
    void WriteOther(std::uint32_t offset, std::uint32_t value);
    void Started(std::uint32_t versionWord);

    CardConfig config_;
    PciFunction& function_;
    std::filesystem::path stateDirectory_;
    CardFaults faults_;
    std::uint32_t writeCost_;
    std::unique_ptr<FpgaModel> fpga_;
    std::unique_ptr<ScriptedJtagDevice> scripted_;
    JtagChain chain_;
    GpioBlock gpio_;
    VersionDevice versions_;
    I2cEngine i2c_;
    std::unique_ptr<std::uint32_t[]> registers_;
};

// Fills a card's configuration space (identity, command, class, BARs, subsystem, dword 0xE0).
void PresetCardConfigSpace(const CardConfig& config, PciFunction& function);
void PresetFunctionConfigSpace(const FunctionConfig& config, PciFunction& function);

}  // namespace sim
