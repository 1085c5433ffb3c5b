// The desktop suite's core program as a double on the simulated machine: it shows in the simulated
// process list with its session's close event and runs until either is used on it.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "simhost/host_state.h"
#include "simhost/host_store.h"

int main() {
    constexpr std::uint32_t kSession = 1;
    const std::wstring event = L"Global\\OvnPluxCoreCloseEvent_" + std::to_wstring(kSession);
    sim::host::CreateNamedEvent(event);
    const std::uint32_t pid = sim::host::AddProcess(L"Orvane.Plux.Core.exe", kSession);
    while (std::filesystem::exists(sim::host::StateDirectory())) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        bool listed = false;
        for (const auto& process : sim::host::Processes()) listed = listed || process.pid == pid;
        if (!listed) return 0;  // terminated
        if (sim::host::NamedEventSignalled(event).value_or(false)) {
            sim::host::TerminateProcess(pid);
            return 0;
        }
    }
    return 0;
}
