// The boot session on Windows: the boot time from the kernel's time-of-day information.
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "platform/boot_session.h"
#include "platform/system_library.h"

namespace platform {
namespace {

// SYSTEM_TIMEOFDAY_INFORMATION, which the user-mode headers do not declare.
struct tagTimeOfDay {
    LARGE_INTEGER bootTime;
    LARGE_INTEGER currentTime;
    LARGE_INTEGER timeZoneBias;
    ULONG timeZoneId;
    ULONG reserved;
    ULONGLONG bootTimeBias;
    ULONGLONG sleepTimeBias;
};
constexpr ULONG kSystemTimeOfDayInformation = 3;
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);

}  // namespace

// The kernel's own boot time rather than the clock minus the tick count: it is one stored value,
// so two processes of one boot read the same number to the last unit.
ovn::Result<std::wstring> BootSessionId() {
    const auto query =
        SystemLibraryFunction<QuerySystemInformation>(L"ntdll.dll", "NtQuerySystemInformation");
    if (!query) return query.error();
    tagTimeOfDay timeOfDay{};
    ULONG length = 0;
    // Only the part every version fills: a longer request fails where the structure is shorter.
    const auto wanted = static_cast<ULONG>(offsetof(tagTimeOfDay, bootTimeBias));
    const LONG status = (*query)(kSystemTimeOfDayInformation, &timeOfDay, wanted, &length);
    if (status < 0)
        return ovn::CallError("NtQuerySystemInformation", static_cast<std::uint32_t>(status));
    const auto bootTime = static_cast<std::uint64_t>(timeOfDay.bootTime.QuadPart);
    // A kernel that keeps no boot time cannot tell one boot from the next.
    if (bootTime == 0) return ovn::CallError("NtQuerySystemInformation", ERROR_INVALID_DATA);
    return std::to_wstring(bootTime);
}

}  // namespace platform
