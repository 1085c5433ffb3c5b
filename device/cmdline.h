// The options of one run, parsed from the narrow argument vector; every card object holds a copy.
#pragma once

#include <cstdint>

class CCmdLine {
public:
    CCmdLine() = default;
    CCmdLine(const CCmdLine&) = default;  // member by member; the copy shares fileName
    CCmdLine& operator=(const CCmdLine&) = default;
    virtual ~CCmdLine() = default;

    // True when the run may go on; false after help (the run then ends with 0) or an option error
    // (optionError is set; the run ends with its usage error code).
    bool Parse(int argc, const char* const* argv);
    void PrintHelp() const;

    std::int32_t quiet = 0;
    std::int32_t verbose = 0;
    const char* fileName = nullptr;  // points into the argument vector
    std::int32_t calibrate = -1;
    std::int32_t beep = 1;
    std::int32_t logToFile = 1;
    std::int32_t noReboot = 0;
    // 1 after Parse noted an option error (an unknown option, a missing parameter) without help.
    std::int32_t optionError = 0;
};
