// The report's two forms; both say the same things in the same order.
#include "xsvfcheck/check_report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

using nlohmann::json;

double tenths(double value) { return std::round(value * 10.0) / 10.0; }

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string commandList(const tagImageSummary& s) {
    std::string text;
    for (int code = 0; code < XSVF_COMMAND_COUNT; ++code) {
        const std::uint32_t count = s.commandCounts[static_cast<std::size_t>(code)];
        if (count == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::string(xsvfCommandName(static_cast<std::uint8_t>(code))) + " " +
                std::to_string(count);
    }
    return text.empty() ? "none" : text;
}

std::uint64_t commandTotal(const tagImageSummary& s) {
    std::uint64_t total = 0;
    for (std::uint32_t count : s.commandCounts) total += count;
    return total;
}

std::string playOutcome(const tagSimulatedPlay& play) {
    if (play.failure.code == 0) return "reached XCOMPLETE";
    return "ended with error code " + std::to_string(play.failure.code) + " at command " +
           std::to_string(play.failure.commandIndex) + " (" +
           xsvfCommandName(play.failure.command) + ") at byte offset " +
           std::to_string(play.failure.byteOffset);
}

}  // namespace

std::string hexWord(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string checkReportText(const tagCheckReport& r) {
    const tagImageSummary& s = r.summary;
    std::string out = "Image: " + r.imageName + ", " + std::to_string(s.imageBytes) + " bytes\n";
    if (s.validation.code != 0) {
        out += "Error: The XSVF file is malformed: " + describeXsvfFault(s.validation) + ".\n";
        out += "No card will be programmed. What comes before the fault:\n";
    } else {
        out += "Valid: the utility will play it.\n";
    }
    out += "Commands: " + std::to_string(commandTotal(s)) + " (" + commandList(s) + ")\n";
    out += "Scans: " + std::to_string(s.irScans + s.drScans) + " (" + std::to_string(s.irScans) +
           " IR, " + std::to_string(s.drScans) + " DR), " + std::to_string(s.irBits + s.drBits) +
           " bits (" + std::to_string(s.irBits) + " IR, " + std::to_string(s.drBits) + " DR)\n";
    if (s.idcodes.empty()) out += "Expected IDCODE: none (no 32-bit compare after IDCODE)\n";
    for (const tagExpectedIdcode& id : s.idcodes) {
        out += "Expected IDCODE: " + hexWord(id.value) + " mask " + hexWord(id.mask) +
               " (command " + std::to_string(id.commandIndex) + " at byte offset " +
               std::to_string(id.byteOffset) + ")\n";
    }
    out += "Largest vector: " + std::to_string(s.largestVectorBits) + " bits\n";
    out += "Run-test time: " + std::to_string(s.runTestMicroseconds) + " us" +
           format(" (%.3f s)\n", static_cast<double>(s.runTestMicroseconds) / 1e6);
    out += "TCK pulses: " + std::to_string(s.tckPulses) +
           ", GPIO writes: " + std::to_string(s.GpioWrites()) + "\n";
    out += "Estimated programming time: " + format("%.1f s", tenths(s.Seconds(r.writesPerSecond))) +
           " at " + std::to_string(r.writesPerSecond) + " writes per second\n";
    if (r.play != nullptr) {
        out += "Simulated card: the play " + playOutcome(*r.play) + "; " +
               std::to_string(r.play->records) + " trace lines written to " + r.traceFile + "\n";
    }
    return out;
}

std::string checkReportJson(const tagCheckReport& r) {
    const tagImageSummary& s = r.summary;
    json out;
    out["image"] = r.imageName;
    out["bytes"] = s.imageBytes;
    out["valid"] = s.validation.code == 0;
    if (s.validation.code == 0) {
        out["fault"] = nullptr;
    } else {
        out["fault"] = {{"code", s.validation.code},
                        {"commandIndex", s.validation.commandIndex},
                        {"command", xsvfCommandName(s.validation.command)},
                        {"commandCode", s.validation.command},
                        {"byteOffset", s.validation.byteOffset},
                        {"reason", s.validation.reason},
                        {"text", describeXsvfFault(s.validation)}};
    }
    json commands = json::object();
    for (int code = 0; code < XSVF_COMMAND_COUNT; ++code) {
        const std::uint32_t count = s.commandCounts[static_cast<std::size_t>(code)];
        if (count != 0) commands[xsvfCommandName(static_cast<std::uint8_t>(code))] = count;
    }
    out["commands"] = commands;
    out["commandCount"] = commandTotal(s);
    out["scans"] = {
        {"ir", s.irScans}, {"dr", s.drScans}, {"irBits", s.irBits}, {"drBits", s.drBits}};
    json ids = json::array();
    for (const tagExpectedIdcode& id : s.idcodes) {
        ids.push_back({{"value", hexWord(id.value)},
                       {"mask", hexWord(id.mask)},
                       {"commandIndex", id.commandIndex},
                       {"byteOffset", id.byteOffset}});
    }
    out["idcodes"] = ids;
    out["largestVectorBits"] = s.largestVectorBits;
    out["runTestMicroseconds"] = s.runTestMicroseconds;
    out["tckPulses"] = s.tckPulses;
    out["gpioWrites"] = s.GpioWrites();
    out["estimate"] = {{"writesPerSecond", r.writesPerSecond},
                       {"seconds", tenths(s.Seconds(r.writesPerSecond))}};
    if (r.play == nullptr) {
        out["simulatedPlay"] = nullptr;
    } else {
        out["simulatedPlay"] = {
            {"result", r.play->failure.code},
            {"failedCommandIndex",
             r.play->failure.code == 0 ? json(nullptr) : json(r.play->failure.commandIndex)},
            {"traceLines", r.play->records},
            {"traceFile", r.traceFile}};
    }
    return out.dump(2) + "\n";
}
