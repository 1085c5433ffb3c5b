// Power scheme of the host edition: the simulated host's stored and applied processor minimum
// state.
#include <array>
#include <cstring>
#include <mutex>

#include "platform/power.h"
#include "simhost/host_state.h"

namespace platform {

namespace {

// Process-wide: the scheme handle points into this buffer, which lives as long as the process, like
// the system's copy that is never freed.
std::array<char, 64> activeSchemeText{};
// Process-wide with the buffer it guards.
std::mutex activeSchemeLock;

const char* SchemeOf(void* scheme) { return static_cast<const char*>(scheme); }

// A host without the power calls fails as Windows does when powrprof lacks the export
// (ERROR_PROC_NOT_FOUND); a null scheme as the call would refuse it (ERROR_INVALID_PARAMETER).
ovn::Error Unavailable(const char* call) { return ovn::CallError(call, 127); }
ovn::Error NoScheme(const char* call) { return ovn::CallError(call, 87); }

}  // namespace

ovn::Result<void*> PowerGetActiveScheme() {
    if (!sim::host::PowerAvailable()) return Unavailable("PowerGetActiveScheme");
    std::lock_guard<std::mutex> guard(activeSchemeLock);
    std::string scheme = sim::host::ActiveScheme();
    std::strncpy(activeSchemeText.data(), scheme.c_str(), activeSchemeText.size() - 1);
    return static_cast<void*>(activeSchemeText.data());
}

ovn::Result<std::uint32_t> PowerReadAcMinProcessorState(void* scheme) {
    if (!sim::host::PowerAvailable()) return Unavailable("PowerReadACValueIndex");
    if (!scheme) return NoScheme("PowerReadACValueIndex");
    return sim::host::AcMinProcessorState(SchemeOf(scheme));
}

ovn::Status PowerWriteAcMinProcessorState(void* scheme, std::uint32_t percent) {
    if (!sim::host::PowerAvailable()) return Unavailable("PowerWriteACValueIndex");
    if (!scheme) return NoScheme("PowerWriteACValueIndex");
    sim::host::SetAcMinProcessorState(SchemeOf(scheme), percent);
    return ovn::Ok();
}

ovn::Status PowerApplyScheme(void* scheme) {
    if (!sim::host::PowerAvailable()) return Unavailable("PowerSetActiveScheme");
    if (!scheme) return NoScheme("PowerSetActiveScheme");
    sim::host::ApplyScheme(SchemeOf(scheme));
    return ovn::Ok();
}

}  // namespace platform
