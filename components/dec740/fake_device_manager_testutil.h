// A device manager whose devices, INF sections and state-change outcomes a test sets up.
#pragma once

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "components/dec740/dec740_commands.h"
#include "components/dec740/device_manager.h"

namespace dec740 {

class FakeDeviceManager : public DeviceManager {
public:
    // Adds a device (description "Video Controller"); returns it for further setup. Its handle is
    // its index.
    Device& AddDevice(std::string instanceId, std::vector<std::string> hardwareIds,
                      std::vector<std::string> compatibleIds = {});
    void SetSectionFiles(const DriverInfo& driver, ovn::Result<std::vector<std::string>> files);
    // The outcome of every later change of this device to the target state (default: done).
    void SetChangeResult(const std::string& instanceId, TargetState target, ChangeResult result);

    std::optional<ovn::Error> devicesError;
    // Every state change asked for, in order.
    std::vector<std::pair<std::string, TargetState>> changes;

    ovn::Result<std::vector<Device>> Devices() override;
    ovn::Result<std::vector<std::string>> SectionFiles(const DriverInfo& driver) override;
    ChangeResult ChangeState(const Device& device, TargetState target) override;

private:
    std::deque<Device> devices_;  // references from AddDevice stay valid
    std::map<std::pair<std::string, std::string>, ovn::Result<std::vector<std::string>>> sections_;
    std::map<std::pair<std::string, TargetState>, ChangeResult> outcomes_;
};

// Collects what a command writes.
class CapturedOutput : public Output {
public:
    void Out(const std::string& text) override {
        out += text;
        both += text;
    }
    void Err(const std::string& text) override {
        err += text;
        both += text;
    }
    std::string out, err, both;
};

}  // namespace dec740
