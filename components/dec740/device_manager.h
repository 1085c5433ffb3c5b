// The device-manager seam of dec740: list the devices with their IDs and driver, list the files an
// INF section installs, and change a device's state. Bindings: SetupAPI (Windows), the simulated
// machine, and a fake for the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace dec740 {

// A failed system call: its name as the platform documents it, and its error code.
struct ApiError {
    std::string call;
    std::uint32_t code = 0;
};

// A value or the call that kept it from being produced.
template <typename T>
class Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(ApiError error) : state_(std::move(error)) {}
    bool Ok() const { return state_.index() == 0; }
    const T& Value() const { return std::get<0>(state_); }
    const ApiError& Error() const { return std::get<1>(state_); }

private:
    std::variant<T, ApiError> state_;
};

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
    ApiError error;  // the failing call when outcome is Failed
};

// One per process; not shared between threads.
class DeviceManager {
public:
    virtual ~DeviceManager() = default;
    // Every device of every class.
    virtual Result<std::vector<Device>> Devices() = 0;
    // The full target path of every file the driver's INF section installs.
    virtual Result<std::vector<std::string>> SectionFiles(const DriverInfo& driver) = 0;
    // Changes the device's state for every hardware profile. device comes from Devices().
    virtual ChangeResult ChangeState(const Device& device, TargetState target) = 0;
};

// The binding this build of the tool is linked with.
std::unique_ptr<DeviceManager> OpenDeviceManager();

}  // namespace dec740
