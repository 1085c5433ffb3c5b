// The simulated machine's device manager: the display function of every K740 card and the other PCI
// functions of the machine file, with their states in the state directory (simhost/host_devices.h).
#pragma once

#include <optional>
#include <string>

#include "components/dec740/device_manager.h"
#include "sim/machine_config.h"

namespace dec740 {

// The Windows directory of the simulated machine; INF paths and the driver files live below it.
inline constexpr char kSimWindowsDirectory[] = "C:\\Windows";

// The error a disable reports on a card whose machine file says "disable": "fails".
inline constexpr char kSimFailingCall[] = "SetupDiCallClassInstaller";
// The error every command reports on a machine whose file says "driverQuery": "fails" for a card.
inline constexpr char kSimListingCall[] = "SetupDiGetClassDevsW";
constexpr std::uint32_t kSimFailingError = 5;  // access denied

class SimDeviceManager : public DeviceManager {
public:
    explicit SimDeviceManager(sim::MachineConfig config);
    // A machine whose file could not be read: every listing fails with that fault.
    explicit SimDeviceManager(std::string machineFault);

    ovn::Result<std::vector<Device>> Devices() override;
    ovn::Result<std::vector<std::string>> SectionFiles(const DriverInfo& driver) override;
    ChangeResult ChangeState(const Device& device, TargetState target) override;

private:
    sim::MachineConfig config_;
    std::optional<std::string> machineFault_;
};

}  // namespace dec740
