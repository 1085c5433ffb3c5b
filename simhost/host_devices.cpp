// Device states in the host's state file.
#include "simhost/host_devices.h"

#include "simhost/host_store.h"

namespace sim::host {

namespace {

constexpr const char* kDevices = "devices";

nlohmann::json& DeviceEntry(nlohmann::json& document, const std::string& instanceId) {
    nlohmann::json& devices = document[kDevices];
    if (!devices.is_object()) devices = nlohmann::json::object();
    nlohmann::json& entry = devices[instanceId];
    if (!entry.is_object()) entry = nlohmann::json::object();
    return entry;
}

}  // namespace

DeviceState GetDeviceState(const std::string& instanceId) {
    nlohmann::json document = Load();
    DeviceState state;
    if (!document.contains(kDevices) || !document[kDevices].is_object()) return state;
    const nlohmann::json& devices = document[kDevices];
    if (!devices.contains(instanceId) || !devices[instanceId].is_object()) return state;
    const nlohmann::json& entry = devices[instanceId];
    if (entry.contains("disabled") && entry["disabled"].is_boolean()) {
        state.disabled = entry["disabled"].get<bool>();
    }
    if (entry.contains("pendingDisabled") && entry["pendingDisabled"].is_boolean()) {
        state.pendingDisabled = entry["pendingDisabled"].get<bool>();
    }
    return state;
}

void SetDeviceDisabled(const std::string& instanceId, bool disabled) {
    Update([&](nlohmann::json& document) {
        nlohmann::json& entry = DeviceEntry(document, instanceId);
        entry["disabled"] = disabled;
        entry.erase("pendingDisabled");
    });
}

void SetDevicePendingDisabled(const std::string& instanceId, bool disabled) {
    Update([&](nlohmann::json& document) {
        DeviceEntry(document, instanceId)["pendingDisabled"] = disabled;
    });
}

void ApplyPendingDeviceChanges() {
    Update([](nlohmann::json& document) {
        if (!document.contains(kDevices) || !document[kDevices].is_object()) return;
        for (auto& [id, entry] : document[kDevices].items()) {
            if (!entry.is_object() || !entry.contains("pendingDisabled")) continue;
            if (entry["pendingDisabled"].is_boolean()) entry["disabled"] = entry["pendingDisabled"];
            entry.erase("pendingDisabled");
        }
    });
}

}  // namespace sim::host
