// The commands of dec740 over a device manager: driverfiles, disable, enable and help.
#pragma once

#include <string>
#include <vector>

#include "components/dec740/device_manager.h"

namespace dec740 {

constexpr int kExitDone = 0;
constexpr int kExitNeedsRestart = 1;
constexpr int kExitFailed = 2;
constexpr int kExitUsage = 3;

// Where the tool writes: results to standard output, errors to standard error.
class Output {
public:
    virtual ~Output() = default;
    virtual void Out(const std::string& text) = 0;
    virtual void Err(const std::string& text) = 0;
};

// Runs one command line (the arguments after the program name) and returns the exit code.
int RunCommand(const std::vector<std::string>& arguments, DeviceManager& manager, Output& output);

}  // namespace dec740
