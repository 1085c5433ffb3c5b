// Set-up of a simulated card and its less frequent register paths.
#include "sim/sim_card.h"

#include <cstdio>

#include "sim/version_store.h"

namespace sim {

SimCard::SimCard(const CardConfig& config, PciFunction& function,
                 std::filesystem::path stateDirectory, TraceFile* trace, bool keepTrace)
    : config_(config),
      function_(function),
      stateDirectory_(std::move(stateDirectory)),
      writeCost_(config.writeCost),
      chain_(nullptr),
      gpio_(chain_),
      versions_(config.version.Word()),
      i2c_(versions_),
      registers_(new std::uint32_t[kApertureSize / 4]()) {
    if (config.chain == ChainKind::Scripted) {
        scripted_ = std::make_unique<ScriptedJtagDevice>();
        for (const auto& step : config.script) scripted_->Append(step);
        chain_.SetDevice(scripted_.get());
    } else {
        fpga_ = std::make_unique<FpgaModel>(config.idcode, config.version.Word());
        fpga_->OnStartup([this](std::uint32_t word) { Started(word); });
        chain_.SetDevice(fpga_.get());
    }
    SetFaults(config.faults);
    if (trace || keepTrace) chain_.EnableTrace(keepTrace, trace, Place() + " ");
}

std::string SimCard::Place() const {
    char text[16];
    std::snprintf(text, sizeof text, "%02X:%02X.%u", config_.bus, config_.device,
                  static_cast<unsigned>(config_.function));
    return text;
}

void SimCard::SetFaults(const CardFaults& faults) {
    faults_ = faults;
    chain_.SetFaults(faults.chain);
    i2c_.SetNeverDone(faults.i2cNeverDone);
}

std::uint32_t SimCard::ReadOther(std::uint32_t offset) {
    if (I2cEngine::Handles(offset)) return i2c_.Read(offset);
    switch (offset) {
        case GpioBlock::kSelect:
            return gpio_.Select();
        case GpioBlock::kOutput:
            return gpio_.Output();
        case GpioBlock::kOutputEnable:
            return gpio_.OutputEnable();
        default:
            return registers_[offset / 4];
    }
}

void SimCard::WriteOther(std::uint32_t offset, std::uint32_t value) {
    if (I2cEngine::Handles(offset)) {
        i2c_.Write(offset, value);
        return;
    }
    switch (offset) {
        case GpioBlock::kSelect:
            gpio_.WriteSelect(value);
            // Pins released or taken: a good moment to close a wait still open in the trace.
            chain_.FlushTrace();
            return;
        case GpioBlock::kOutputEnable:
            gpio_.WriteOutputEnable(value);
            return;
        case GpioBlock::kInput:
            return;  // read only
        default:
            registers_[offset / 4] = value;
    }
}

void SimCard::Started(std::uint32_t versionWord) {
    versions_.SetVersion(versionWord);
    if (!stateDirectory_.empty()) {
        StoreVersion(stateDirectory_,
                     static_cast<std::uint16_t>((config_.bus << 8) | (config_.device << 3) |
                                                config_.function),
                     FpgaVersion::FromWord(versionWord));
    }
}

void PresetCardConfigSpace(const CardConfig& config, PciFunction& function) {
    function.Preset32(0x00, SimCard::kIdentity);
    function.Preset32(0x04, config.command, 0x00000407);
    function.Preset32(0x08, 0x03000000u | config.revision);
    function.Preset32(0x0C, 0x00800000u);
    std::uint32_t low = static_cast<std::uint32_t>(config.aperture) | config.barFlags;
    auto high = static_cast<std::uint32_t>(config.aperture >> 32);
    // The address bits of each BAR are writable, so that sizing reads back the decoded size:
    // 256 MiB for the frame buffer, 64 KiB for the register aperture.
    constexpr std::uint32_t kFrameBufferMask = 0xF0000000u;
    constexpr std::uint32_t kApertureMask = ~(SimCard::kApertureSize - 1);
    if (config.bar == BarKind::Bar64) {
        function.Preset32(0x10, 0x0000000Cu, kFrameBufferMask);  // 64-bit, prefetchable, 64 GiB
        function.Preset32(0x14, 0x00000010u, 0xFFFFFFFFu);
        function.Preset32(0x18, low, kApertureMask);
        function.Preset32(0x1C, high, 0xFFFFFFFFu);
    } else {
        function.Preset32(0x10, 0xD0000008u, kFrameBufferMask);  // 32-bit, prefetchable
        function.Preset32(0x14, low, kApertureMask);
    }
    function.Preset32(0x2C, SimCard::kSubsystem);
    function.Preset32(0x3C, 0x000001FFu, 0x000000FFu);
    function.Preset32(0xE0, config.dwordE0, 0x00000003u);
}

void PresetFunctionConfigSpace(const FunctionConfig& config, PciFunction& function) {
    function.Preset32(0x00, (std::uint32_t{config.deviceId} << 16) | config.vendor);
    function.Preset32(0x04, 0, 0x00000407);
    function.Preset32(0x08, config.classCode << 8);
    function.Preset32(0x0C, std::uint32_t{config.headerType} << 16);
    function.Preset32(0x2C, config.subsystem);
}

}  // namespace sim
