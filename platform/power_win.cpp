// Power scheme on Windows: PowrProf from the system directory, resolved at run time: the exe runs
// elevated and imports no library outside the known system set, and Wine lacks some of its calls.
#include <windows.h>

#include "platform/power.h"
#include "platform/system_library.h"

namespace platform {

namespace {

using GetActiveSchemeFn = DWORD(WINAPI*)(HKEY, GUID**);
using ReadAcValueIndexFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, LPDWORD);
using WriteAcValueIndexFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, DWORD);
using SetActiveSchemeFn = DWORD(WINAPI*)(HKEY, const GUID*);

// GUID_PROCESSOR_SETTINGS_SUBGROUP and GUID_PROCESSOR_THROTTLE_MINIMUM.
constexpr GUID kProcessorSubgroup = {
    0x54533251, 0x82BE, 0x4824, {0x96, 0xC1, 0x47, 0xB6, 0x0B, 0x74, 0x0D, 0x00}};
constexpr GUID kMinProcessorState = {
    0x893DEE8E, 0x2BEF, 0x41E0, {0x89, 0xC6, 0xB5, 0x5D, 0x09, 0x29, 0x96, 0x4C}};

template <typename Fn>
Fn Resolve(const char* name) {
    return SystemLibraryFunction<Fn>(L"powrprof.dll", name);
}

}  // namespace

void* PowerGetActiveScheme() {
    static const auto getActive = Resolve<GetActiveSchemeFn>("PowerGetActiveScheme");
    GUID* scheme = nullptr;
    if (getActive) getActive(nullptr, &scheme);
    return scheme;
}

bool PowerReadAcMinProcessorState(void* scheme, std::uint32_t* value) {
    static const auto read = Resolve<ReadAcValueIndexFn>("PowerReadACValueIndex");
    if (!read || !scheme || !value) return false;
    DWORD index = 0;
    if (read(nullptr, static_cast<const GUID*>(scheme), &kProcessorSubgroup, &kMinProcessorState,
             &index) != ERROR_SUCCESS) {
        return false;
    }
    *value = index;
    return true;
}

void PowerWriteAcMinProcessorState(void* scheme, std::uint32_t percent) {
    static const auto write = Resolve<WriteAcValueIndexFn>("PowerWriteACValueIndex");
    if (!write || !scheme) return;
    write(nullptr, static_cast<const GUID*>(scheme), &kProcessorSubgroup, &kMinProcessorState,
          percent);
}

void PowerApplyScheme(void* scheme) {
    static const auto setActive = Resolve<SetActiveSchemeFn>("PowerSetActiveScheme");
    if (!setActive || !scheme) return;
    setActive(nullptr, static_cast<const GUID*>(scheme));
}

}  // namespace platform
