// The device-manager seam of dec740: list the devices with their IDs and driver, list the files an
// INF section installs, and change a device's state. Bindings: SetupAPI (Windows), the simulated
// machine, and a fake for the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/result.h"

// Failures are ovn::Error: the system call by the name the platform documents, and its error code.
namespace dec740 {

// The installed driver as its driver key names it.
struct DriverInfo {
    std::string infPath;  // full path: the Windows directory, "\INF\", the key's InfPath
    std::string infSection;
};

// Texts are UTF-8.
struct Device {
    std::size_t handle = 0;  // the binding's own reference to the device
    std::string instanceId;
    std::vector<std::string> hardwareIds;
    std::vector<std::string> compatibleIds;
    std::string description;
    std::optional<DriverInfo> driver;  // nothing when no driver is installed
};

enum class TargetState { Disabled, Enabled };

enum class ChangeOutcome { Done, NeedsRestart, Failed };

struct ChangeResult {
    ChangeOutcome outcome = ChangeOutcome::Done;
    ovn::Error error;  // the failing call when outcome is Failed
};

// One per process; not shared between threads.
class DeviceManager {
public:
    virtual ~DeviceManager() = default;
    // Every device of every class.
    virtual ovn::Result<std::vector<Device>> Devices() = 0;
    // The full target path of every file the driver's INF section installs.
    virtual ovn::Result<std::vector<std::string>> SectionFiles(const DriverInfo& driver) = 0;
    // Changes the device's state for every hardware profile. device comes from Devices().
    virtual ChangeResult ChangeState(const Device& device, TargetState target) = 0;
};

// The binding this build of the tool is linked with.
std::unique_ptr<DeviceManager> OpenDeviceManager();

}  // namespace dec740
