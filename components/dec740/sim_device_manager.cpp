// Devices of the simulated machine; a disable that waits for a restart is recorded in the state
// directory and applied by the simulated restart (simhost/host_restart.h).
#include "components/dec740/sim_device_manager.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "sim/pci_device_ids.h"
#include "simhost/host_devices.h"

namespace dec740 {

namespace {

constexpr char kOtherFunctionName[] = "PCI device";

std::string InfFullPath(const std::string& infPath) {
    return std::string(kSimWindowsDirectory) + "\\INF\\" + infPath;
}

Device MakeDevice(std::size_t handle, const sim::PciIdentity& identity) {
    sim::PnpIds ids = sim::PciPnpIds(identity);
    Device device;
    device.handle = handle;
    device.instanceId = ids.instanceId;
    device.hardwareIds = ids.hardwareIds;
    device.compatibleIds = ids.compatibleIds;
    return device;
}

ChangeResult Disable(const std::string& id, sim::DisableBehaviour behaviour) {
    switch (behaviour) {
        case sim::DisableBehaviour::AtOnce:
            sim::host::SetDeviceDisabled(id, true);
            return {};
        case sim::DisableBehaviour::AfterRestart: {
            sim::host::DeviceState state = sim::host::GetDeviceState(id);
            if (state.disabled && !state.pendingDisabled) return {};
            sim::host::SetDevicePendingDisabled(id, true);
            return {ChangeOutcome::NeedsRestart, {}};
        }
        case sim::DisableBehaviour::Fails:
            break;
    }
    return {ChangeOutcome::Failed, ovn::CallError(kSimFailingCall, kSimFailingError)};
}

// A command the machine file says hangs: it waits until the process is ended.
[[noreturn]] void Hang() {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace

SimDeviceManager::SimDeviceManager(sim::MachineConfig config) : config_(std::move(config)) {}

SimDeviceManager::SimDeviceManager(std::string machineFault)
    : machineFault_(std::move(machineFault)) {}

ovn::Result<std::vector<Device>> SimDeviceManager::Devices() {
    if (machineFault_) return ovn::CallError("LoadMachineFile", 0);
    for (const sim::CardConfig& card : config_.cards) {
        if (card.display.queryFails) return ovn::CallError(kSimListingCall, kSimFailingError);
    }
    std::vector<Device> devices;
    for (const sim::CardConfig& card : config_.cards) {
        Device device = MakeDevice(devices.size(), sim::CardIdentity(card));
        device.description = card.display.description;
        if (card.display.driver) {
            device.driver = DriverInfo{InfFullPath(card.display.driver->infPath),
                                       card.display.driver->infSection};
        }
        devices.push_back(std::move(device));
    }
    for (const sim::FunctionConfig& function : config_.functions) {
        Device device = MakeDevice(devices.size(), sim::FunctionIdentity(function));
        device.description = kOtherFunctionName;
        devices.push_back(std::move(device));
    }
    return devices;
}

ovn::Result<std::vector<std::string>> SimDeviceManager::SectionFiles(const DriverInfo& driver) {
    for (const sim::CardConfig& card : config_.cards) {
        const auto& installed = card.display.driver;
        if (installed && InfFullPath(installed->infPath) == driver.infPath &&
            installed->infSection == driver.infSection) {
            // Only "driverfiles" asks for a section's files.
            if (card.display.hang == sim::ToolHang::DriverFiles) Hang();
            return installed->files;
        }
    }
    return ovn::CallError("SetupOpenInfFileW", 2);  // file not found
}

ChangeResult SimDeviceManager::ChangeState(const Device& device, TargetState target) {
    const sim::DisplayDeviceConfig* display =
        device.handle < config_.cards.size() ? &config_.cards[device.handle].display : nullptr;
    if (target == TargetState::Enabled) {
        if (display && display->hang == sim::ToolHang::Enable) Hang();
        if (display && display->enableFails)
            return {ChangeOutcome::Failed, ovn::CallError(kSimFailingCall, kSimFailingError)};
        sim::host::SetDeviceDisabled(device.instanceId, false);
        return {};
    }
    if (display && display->hang == sim::ToolHang::Disable) Hang();
    return Disable(device.instanceId, display ? display->disable : sim::DisableBehaviour::AtOnce);
}

std::unique_ptr<DeviceManager> OpenDeviceManager() {
    const char* path = std::getenv("OVN_SIM_MACHINE");
    if (!path || !*path) return std::make_unique<SimDeviceManager>(sim::DefaultMachineConfig());
    std::ifstream in(path, std::ios::binary);
    std::string fault = "cannot be read";
    sim::MachineConfig config;
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        if (sim::ParseMachineConfig(text.str(), config, fault)) {
            return std::make_unique<SimDeviceManager>(std::move(config));
        }
    }
    std::fprintf(stderr, "simulated machine file '%s': %s\n", path, fault.c_str());
    return std::make_unique<SimDeviceManager>(fault);
}

}  // namespace dec740
