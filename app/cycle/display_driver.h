// The device-console tool: extraction, its three command lines, the driver-files judgement,
// disable and enable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/cycle/child_runner.h"
#include "platform/held_file.h"

inline constexpr const wchar_t* kCardHardwareId = L"PCI\\VEN_1002&DEV_6828&SUBSYS_25401FA7";

// The resource that holds the tool for this host: "DEVCON64" under WOW64, "DEVCON32" otherwise.
const wchar_t* ToolResourceName(bool underWow64);

// The working folder (ending in its separator) followed by "dec740.exe"; empty when there is no
// working folder.
std::wstring ToolPath(const std::wstring& workingFolder);

// Tool path, blank, command word, blank, the hardware ID in double quotes. A tool path with a blank
// is quoted as well.
std::wstring ToolCommandLine(const std::wstring& toolPath, const wchar_t* word);

// True when the tool's driver lines name a display driver: "Windows\INF\oem", "amd" or "ati" as
// case-sensitive bytes. Only the lines that name an installed driver ("Driver installed from ...")
// and the file lines indented below them are judged: a device's name or a line saying that no
// driver is installed ("No driver information ...") names no driver, whatever letters it holds.
bool NamesDisplayDriver(const std::string& output);
// The driver line that made NamesDisplayDriver true (without its line break); empty when none did.
std::string DisplayDriverLine(const std::string& output);

// How long each of the tool's commands may run; past it the tool is ended and the command counts as
// failed (kNoExitCode). On the run's wait clock.
inline constexpr std::uint32_t kToolCommandLimitMilliseconds = 60000;

// The enable's codes that leave the driver on (at once, or after a restart); any other is a
// failure.
inline bool EnableSucceeded(std::uint32_t exitCode) { return exitCode == 0 || exitCode == 1; }

// Owned by the update run, main thread only. The extracted file is held until the object goes.
class CDeviceConsoleTool {
public:
    explicit CDeviceConsoleTool(std::wstring toolPath);

    // Writes the image to the tool path and holds the file (written and held as SafeFile opens,
    // so a link in its place is never followed). False when there is no path or image, or the
    // file cannot be written.
    bool Extract(std::vector<std::uint8_t> image);
    bool Extracted() const { return held_ != nullptr; }

    // Runs "driverfiles" and judges the first 65,535 bytes of its output. kToolUnusable when the
    // tool was not written, is not what was written, or cannot be started; kFailed when it ended
    // with another code than 0 or had to be ended at its limit (exitCode, when given, receives the
    // code): nobody can then tell.
    enum class Query { kNoDriver, kDriver, kToolUnusable, kFailed };
    Query QueryDriver(CChildRunner& runner, std::uint32_t* exitCode = nullptr);
    bool QueryDisplayDriver(CChildRunner& runner) { return QueryDriver(runner) == Query::kDriver; }
    // Runs "disable"; its exit code (kNoExitCode when it cannot start): 0 means disabled now.
    std::uint32_t Disable(CChildRunner& runner);
    // Runs "enable"; its exit code as Disable gives it (0 means enabled without a restart). A
    // failed enable's output goes to the log.
    std::uint32_t Enable(CChildRunner& runner);

private:
    // The file on disk must still be what was embedded, or the tool is not started.
    bool Intact();
    std::wstring CommandLine(const wchar_t* word) const { return ToolCommandLine(path_, word); }

    std::wstring path_;
    std::vector<std::uint8_t> image_;
    std::unique_ptr<platform::HeldFile> held_;
};
