// OvnXsvfCheck's report of an image: plain text for people, one JSON object for programs.
#pragma once

#include <cstdint>
#include <string>

#include "xsvfcheck/image_summary.h"
#include "xsvfcheck/simulated_play.h"

struct tagCheckReport {
    std::string imageName;  // the file's name, without its folder
    tagImageSummary summary;
    std::uint64_t writesPerSecond = 0;
    // The simulated play, when one was made.
    const tagSimulatedPlay* play = nullptr;
    std::string traceFile;
};

std::string checkReportText(const tagCheckReport& report);
std::string checkReportJson(const tagCheckReport& report);

// "0x0A740093"
std::string hexWord(std::uint32_t value);
