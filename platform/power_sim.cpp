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

}  // namespace

void* PowerGetActiveScheme() {
    if (!sim::host::PowerAvailable()) return nullptr;
    std::lock_guard<std::mutex> guard(activeSchemeLock);
    std::string scheme = sim::host::ActiveScheme();
    std::strncpy(activeSchemeText.data(), scheme.c_str(), activeSchemeText.size() - 1);
    return activeSchemeText.data();
}

bool PowerReadAcMinProcessorState(void* scheme, std::uint32_t* value) {
    if (!scheme || !value || !sim::host::PowerAvailable()) return false;
    *value = sim::host::AcMinProcessorState(SchemeOf(scheme));
    return true;
}

void PowerWriteAcMinProcessorState(void* scheme, std::uint32_t percent) {
    if (!scheme || !sim::host::PowerAvailable()) return;
    sim::host::SetAcMinProcessorState(SchemeOf(scheme), percent);
}

void PowerApplyScheme(void* scheme) {
    if (!scheme || !sim::host::PowerAvailable()) return;
    sim::host::ApplyScheme(SchemeOf(scheme));
}

}  // namespace platform
