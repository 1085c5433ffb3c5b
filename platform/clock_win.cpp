// Clocks of the Windows edition: performance counter, processor power information, CRT clock.
#include <windows.h>
// powrprof.h needs the types of windows.h first.
#include <powrprof.h>

#include <ctime>
#include <vector>

#include "platform/clock.h"

namespace platform {

namespace {

// The user-mode headers do not declare the record that ProcessorInformation fills.
struct ProcessorPowerRecord {
    ULONG Number;
    ULONG MaxMhz;
    ULONG CurrentMhz;
    ULONG MhzLimit;
    ULONG MaxIdleState;
    ULONG CurrentIdleState;
};
static_assert(sizeof(ProcessorPowerRecord) == 24, "one record per processor, 24 bytes each");

}  // namespace

std::int64_t PerformanceCounter() {
    LARGE_INTEGER value{};
    QueryPerformanceCounter(&value);
    return value.QuadPart;
}

std::int64_t PerformanceFrequency() {
    LARGE_INTEGER value{};
    QueryPerformanceFrequency(&value);
    return value.QuadPart;
}

std::uint32_t ProcessorCurrentMhz() {
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    DWORD processors = info.dwNumberOfProcessors ? info.dwNumberOfProcessors : 1;
    std::vector<ProcessorPowerRecord> records(processors, ProcessorPowerRecord{});
    LONG status =
        CallNtPowerInformation(ProcessorInformation, nullptr, 0, records.data(),
                               static_cast<ULONG>(records.size() * sizeof(ProcessorPowerRecord)));
    if (status != 0) return 0;
    return records[0].CurrentMhz;
}

// The Windows CRT's clock() counts wall time since the process started, in milliseconds.
std::uint32_t ProcessMilliseconds() { return static_cast<std::uint32_t>(std::clock()); }

}  // namespace platform
