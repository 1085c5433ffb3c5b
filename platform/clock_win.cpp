// Clocks of the Windows edition: performance counter, processor power information, CRT clock.
#include <windows.h>
// powrprof.h needs the types of windows.h first; it gives the information level's value only.
#include <powrprof.h>

#include <ctime>

#include "payload/test_hooks.h"
#include "platform/clock.h"
#include "platform/processor_clock.h"
#include "platform/system_library.h"

namespace platform {

namespace {

// PowrProf is outside the known system set: taken from the system directory at run time.
using CallNtPowerInformationFn = LONG(WINAPI*)(POWER_INFORMATION_LEVEL, PVOID, ULONG, PVOID, ULONG);

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

ovn::Result<std::uint32_t> ProcessorCurrentMhz() {
    static const auto query =
        SystemLibraryFunction<CallNtPowerInformationFn>(L"powrprof.dll", "CallNtPowerInformation");
    if (!query) return query.error();
    // Every processor group counts: GetSystemInfo shows a 32-bit process at most 32 processors.
    std::int32_t status = 0;
    const std::uint32_t mhz =
        FirstProcessorMhz(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS),
                          [&status](void* buffer, std::uint32_t bytes) -> std::int32_t {
                              status = (*query)(ProcessorInformation, nullptr, 0, buffer, bytes);
                              return status;
                          });
    if (mhz != 0) return mhz;
    // The last status the system gave; a reading of 0 MHz is no clock either.
    return ovn::CallError("CallNtPowerInformation",
                          status != 0 ? static_cast<std::uint32_t>(status) : ERROR_INVALID_DATA);
}

// The Windows CRT's clock() counts wall time since the process started, in milliseconds. The
// simulation build may run it faster (test_hooks::ClockScale), the pauses alike.
std::uint32_t ProcessMilliseconds() {
    return static_cast<std::uint32_t>(std::clock()) * test_hooks::ClockScale();
}

void PauseThread(std::uint32_t milliseconds) { Sleep(milliseconds / test_hooks::ClockScale()); }

}  // namespace platform
