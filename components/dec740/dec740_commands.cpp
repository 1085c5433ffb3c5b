// Command-line handling and the three device commands.
#include "components/dec740/dec740_commands.h"

#include <cstdarg>
#include <cstdio>

#include "components/dec740/dec740_texts.h"
#include "components/dec740/hardware_id_match.h"

namespace dec740 {

namespace {

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

std::string Describe(const ovn::Error& error) {
    return Format(text::kCallFailed, error.call.c_str(), static_cast<unsigned>(error.code));
}

unsigned Count(std::size_t n) { return static_cast<unsigned>(n); }

int UsageError(Output& output, const std::string& why) {
    output.Err(why);
    output.Err(text::kUsage);
    return kExitUsage;
}

// The devices the ID names; on failure the message is written and nothing is returned.
std::optional<std::vector<Device>> MatchingDevices(const std::string& id, DeviceManager& manager,
                                                   Output& output) {
    ovn::Result<std::vector<Device>> devices = manager.Devices();
    if (!devices.ok()) {
        output.Err(Format(text::kCannotList, Describe(devices.error()).c_str()));
        return std::nullopt;
    }
    std::vector<Device> matching;
    for (const Device& device : devices.value()) {
        if (DeviceMatches(id, device)) matching.push_back(device);
    }
    if (matching.empty()) {
        output.Err(Format(text::kNoMatch, id.c_str()));
        return std::nullopt;
    }
    return matching;
}

int DriverFiles(const std::string& id, DeviceManager& manager, Output& output) {
    auto devices = MatchingDevices(id, manager, output);
    if (!devices) return kExitFailed;
    int exitCode = kExitDone;
    for (const Device& device : *devices) {
        output.Out(device.instanceId + "\n");
        output.Out(Format(text::kDeviceName, device.description.c_str()));
        if (!device.driver) {
            output.Out(text::kNoDriver);
            continue;
        }
        const DriverInfo& driver = *device.driver;
        output.Out(Format(text::kDriverFrom, driver.infPath.c_str(), driver.infSection.c_str()));
        ovn::Result<std::vector<std::string>> files = manager.SectionFiles(driver);
        if (!files.ok()) {
            output.Out("\n");
            output.Err(Format(text::kFilesUnknown, Describe(files.error()).c_str()));
            exitCode = kExitFailed;
            continue;
        }
        output.Out(Format(text::kFileCount, Count(files.value().size())));
        for (const std::string& file : files.value()) output.Out(Format(text::kFile, file.c_str()));
    }
    output.Out(Format(text::kDevicesFound, Count(devices->size())));
    return exitCode;
}

int ChangeStates(const std::string& id, TargetState target, DeviceManager& manager,
                 Output& output) {
    auto devices = MatchingDevices(id, manager, output);
    if (!devices) return kExitFailed;
    const bool disable = target == TargetState::Disabled;
    std::size_t changed = 0;
    bool restart = false, failed = false;
    for (const Device& device : *devices) {
        ChangeResult result = manager.ChangeState(device, target);
        const char* name = device.instanceId.c_str();
        switch (result.outcome) {
            case ChangeOutcome::Done:
                output.Out(Format(disable ? text::kDisabled : text::kEnabled, name));
                ++changed;
                break;
            case ChangeOutcome::NeedsRestart:
                output.Out(Format(
                    disable ? text::kDisabledAfterRestart : text::kEnabledAfterRestart, name));
                ++changed;
                restart = true;
                break;
            case ChangeOutcome::Failed:
                output.Err(Format(disable ? text::kNotDisabled : text::kNotEnabled, name,
                                  Describe(result.error).c_str()));
                failed = true;
                break;
        }
    }
    output.Out(Format(disable ? text::kDevicesDisabled : text::kDevicesEnabled, Count(changed)));
    if (restart) output.Out(text::kRestartNeeded);
    if (failed) return kExitFailed;
    return restart ? kExitNeedsRestart : kExitDone;
}

}  // namespace

int RunCommand(const std::vector<std::string>& arguments, DeviceManager& manager, Output& output) {
    if (arguments.empty()) return UsageError(output, "");
    const std::string& command = arguments[0];
    if (command == "help") {
        output.Out(text::kUsage);
        return kExitDone;
    }
    if (command != "driverfiles" && command != "disable" && command != "enable") {
        return UsageError(output, Format(text::kUnknownCommand, command.c_str()));
    }
    if (arguments.size() < 2) return UsageError(output, text::kMissingId);
    if (arguments.size() > 2) return UsageError(output, text::kTooManyArguments);
    const std::string& id = arguments[1];
    if (id.empty()) return UsageError(output, text::kEmptyId);
    if (command == "driverfiles") return DriverFiles(id, manager, output);
    return ChangeStates(id, command == "disable" ? TargetState::Disabled : TargetState::Enabled,
                        manager, output);
}

}  // namespace dec740
