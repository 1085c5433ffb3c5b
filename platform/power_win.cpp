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
ovn::Result<Fn> Resolve(const char* name) {
    return SystemLibraryFunction<Fn>(L"powrprof.dll", name);
}

// The power calls return their error code instead of setting the thread's last error.
ovn::Status Checked(const char* call, DWORD status) {
    if (status != ERROR_SUCCESS) return ovn::CallError(call, status);
    return ovn::Ok();
}

// Without a scheme there is nothing to read or write: the call is refused as it would be given a
// null scheme.
ovn::Error NoScheme(const char* call) { return ovn::CallError(call, ERROR_INVALID_PARAMETER); }

}  // namespace

ovn::Result<void*> PowerGetActiveScheme() {
    static const auto getActive = Resolve<GetActiveSchemeFn>("PowerGetActiveScheme");
    if (!getActive) return getActive.error();
    GUID* scheme = nullptr;
    const auto status = Checked("PowerGetActiveScheme", (*getActive)(nullptr, &scheme));
    if (!status) return status.error();
    if (scheme == nullptr) return NoScheme("PowerGetActiveScheme");
    return static_cast<void*>(scheme);
}

ovn::Result<std::uint32_t> PowerReadAcMinProcessorState(void* scheme) {
    static const auto read = Resolve<ReadAcValueIndexFn>("PowerReadACValueIndex");
    if (!read) return read.error();
    if (!scheme) return NoScheme("PowerReadACValueIndex");
    DWORD index = 0;
    const auto status =
        Checked("PowerReadACValueIndex", (*read)(nullptr, static_cast<const GUID*>(scheme),
                                                 &kProcessorSubgroup, &kMinProcessorState, &index));
    if (!status) return status.error();
    return static_cast<std::uint32_t>(index);
}

ovn::Status PowerWriteAcMinProcessorState(void* scheme, std::uint32_t percent) {
    static const auto write = Resolve<WriteAcValueIndexFn>("PowerWriteACValueIndex");
    if (!write) return write.error();
    if (!scheme) return NoScheme("PowerWriteACValueIndex");
    return Checked("PowerWriteACValueIndex",
                   (*write)(nullptr, static_cast<const GUID*>(scheme), &kProcessorSubgroup,
                            &kMinProcessorState, percent));
}

ovn::Status PowerApplyScheme(void* scheme) {
    static const auto setActive = Resolve<SetActiveSchemeFn>("PowerSetActiveScheme");
    if (!setActive) return setActive.error();
    if (!scheme) return NoScheme("PowerSetActiveScheme");
    return Checked("PowerSetActiveScheme", (*setActive)(nullptr, static_cast<const GUID*>(scheme)));
}

}  // namespace platform
