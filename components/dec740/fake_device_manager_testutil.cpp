// The fake device manager of the unit tests.
#include "components/dec740/fake_device_manager_testutil.h"

namespace dec740 {

Device& FakeDeviceManager::AddDevice(std::string instanceId, std::vector<std::string> hardwareIds,
                                     std::vector<std::string> compatibleIds) {
    Device device;
    device.handle = devices_.size();
    device.instanceId = std::move(instanceId);
    device.hardwareIds = std::move(hardwareIds);
    device.compatibleIds = std::move(compatibleIds);
    device.description = "Video Controller";
    devices_.push_back(std::move(device));
    return devices_.back();
}

void FakeDeviceManager::SetSectionFiles(const DriverInfo& driver,
                                        ovn::Result<std::vector<std::string>> files) {
    sections_.insert_or_assign({driver.infPath, driver.infSection}, std::move(files));
}

void FakeDeviceManager::SetChangeResult(const std::string& instanceId, TargetState target,
                                        ChangeResult result) {
    outcomes_[{instanceId, target}] = std::move(result);
}

ovn::Result<std::vector<Device>> FakeDeviceManager::Devices() {
    if (devicesError) return *devicesError;
    return std::vector<Device>(devices_.begin(), devices_.end());
}

ovn::Result<std::vector<std::string>> FakeDeviceManager::SectionFiles(const DriverInfo& driver) {
    auto found = sections_.find({driver.infPath, driver.infSection});
    if (found == sections_.end()) return ovn::CallError("SetupOpenInfFileW", 2);
    return found->second;
}

ChangeResult FakeDeviceManager::ChangeState(const Device& device, TargetState target) {
    changes.emplace_back(device.instanceId, target);
    auto found = outcomes_.find({device.instanceId, target});
    return found == outcomes_.end() ? ChangeResult{} : found->second;
}

}  // namespace dec740
