// OvnXsvfCheck's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A play's pacing when none is given: register writes per second of a K740 behind a PCIe link with
// the utility's paced writes (about 5 µs a write).
inline constexpr std::uint64_t DEFAULT_WRITES_PER_SECOND = 200000;

struct tagCheckOptions {
    std::string image;      // UTF-8 path
    std::string traceFile;  // empty: no simulated play
    bool json = false;
    bool help = false;
    std::uint64_t writesPerSecond = DEFAULT_WRITES_PER_SECOND;
};

// The options, or nothing with the reason in error ("unknown option '-x'").
std::optional<tagCheckOptions> parseCheckOptions(int argc, char** argv, std::string& error);

extern const char* const kCheckUsageText;
