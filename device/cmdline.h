// The options of one run, parsed from the narrow argument vector; every card object holds a copy.
#pragma once

#include <cstdint>

class CCmdLine {
public:
    CCmdLine() = default;
    CCmdLine(const CCmdLine&) = default;  // member by member; the copy shares fileName
    CCmdLine& operator=(const CCmdLine&) = default;
    virtual ~CCmdLine() = default;

    // True when the run may go on; false after help or an option error (the run then ends with 0).
    bool Parse(int argc, const char* const* argv);
    void PrintHelp() const;

    std::int32_t quiet = 0;
    std::int32_t verbose = 0;
    const char* fileName = nullptr;  // points into the argument vector
    std::int32_t calibrate = -1;
    std::int32_t beep = 1;
    std::int32_t logToFile = 1;
    std::int32_t noReboot = 0;
};
