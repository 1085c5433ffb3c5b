// The device-console tool on the card's hardware ID: written out, checked, started, judged.
#include "app/cycle/display_driver.h"

#include "app/console/console_log.h"
#include "app/cycle/cycle_log.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "text/text_encoding.h"

const wchar_t* ToolResourceName(bool underWow64) { return underWow64 ? L"DEVCON64" : L"DEVCON32"; }

std::wstring ToolPath(const std::wstring& workingFolder) {
    if (workingFolder.empty()) return {};
    return workingFolder + L"dec740.exe";
}

std::wstring ToolCommandLine(const std::wstring& toolPath, const wchar_t* word) {
    return platform::QuoteIfBlank(toolPath) + L" " + word + L" \"" + kCardHardwareId + L"\"";
}

namespace {

std::size_t Indent(const std::string& line) {
    std::size_t blanks = 0;
    while (blanks < line.size() && (line[blanks] == ' ' || line[blanks] == '\t')) ++blanks;
    return blanks;
}

bool NamesMarker(const std::string& line) {
    for (const char* marker : {"Windows\\INF\\oem", "amd", "ati"}) {
        if (line.find(marker) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

bool NamesDisplayDriver(const std::string& output) { return !DisplayDriverLine(output).empty(); }

std::string DisplayDriverLine(const std::string& output) {
    const std::string text = output.substr(0, kCollectedOutputLimit);
    bool inDriver = false;  // inside a driver's block: its files follow, indented deeper
    std::size_t driverIndent = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t indent = Indent(line);
        if (line.compare(indent, 21, "Driver installed from") == 0) {
            inDriver = true;
            driverIndent = indent;
            if (NamesMarker(line)) return line;
            continue;
        }
        if (inDriver && indent > driverIndent && indent < line.size()) {
            if (NamesMarker(line)) return line;
            continue;
        }
        inDriver = false;
    }
    return {};
}

CDeviceConsoleTool::CDeviceConsoleTool(std::wstring toolPath) : path_(std::move(toolPath)) {}

bool CDeviceConsoleTool::Extract(std::vector<std::uint8_t> image) {
    if (path_.empty() || image.empty()) return false;
    auto written = platform::HeldFile::Write(path_, image);
    if (!written) {
        held_.reset();
        LogOnly(L"   The device console tool could not be written to %ls (%ls, error %u).\n",
                path_.c_str(), Utf8ToWide(written.error().call).c_str(), written.error().code);
        return false;
    }
    held_ = std::move(written).value();
    image_ = std::move(image);
    return true;
}

bool CDeviceConsoleTool::Intact() {
    if (!held_) return false;
    const platform::FileResult<bool> holds = held_->Holds(image_);
    if (holds && *holds) return true;
    LogOnly(L"   %ls is not the device console tool that was written; it is not started.\n",
            path_.c_str());
    return false;
}

CDeviceConsoleTool::Query CDeviceConsoleTool::QueryDriver(CChildRunner& runner,
                                                          std::uint32_t* exitCode) {
    if (!Intact()) return Query::kToolUnusable;
    bool started = false;
    std::uint32_t code = kNoExitCode;
    const std::wstring commandLine = CommandLine(L"driverfiles");
    const std::string output =
        runner.RunAndCollect(commandLine, &started, &code, kToolCommandLimitMilliseconds);
    if (!started) return Query::kToolUnusable;
    if (exitCode) *exitCode = code;
    if (code != 0) {
        // A query that failed may have listed nothing: its silence says nothing about a driver.
        LogToolOutput(L"driverfiles", code, output);
        return Query::kFailed;
    }
    const std::string decidingLine = DisplayDriverLine(output);
    LogDriverQuery(commandLine, output, decidingLine);
    return decidingLine.empty() ? Query::kNoDriver : Query::kDriver;
}

std::uint32_t CDeviceConsoleTool::Disable(CChildRunner& runner) {
    if (!Intact()) return kNoExitCode;
    const std::uint32_t exitCode = runner.RunAndWait(
        CommandLine(L"disable"), kToolCommandLimitMilliseconds, CChildRunner::AtLimit::kEnd);
    LogToolCommand(L"disable", exitCode);
    return exitCode;
}

std::uint32_t CDeviceConsoleTool::Enable(CChildRunner& runner) {
    if (!Intact()) return kNoExitCode;
    std::uint32_t exitCode = kNoExitCode;
    const std::string output = runner.RunAndCollect(CommandLine(L"enable"), nullptr, &exitCode,
                                                    kToolCommandLimitMilliseconds);
    LogToolCommand(L"enable", exitCode);
    if (!EnableSucceeded(exitCode)) LogToolOutput(L"enable", exitCode, output);
    return exitCode;
}
