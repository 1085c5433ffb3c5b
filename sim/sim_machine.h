// The simulated machine: PCI functions, K740 cards and mappings; the process-wide instance and its
// installation from the environment (OVN_SIM_MACHINE, OVN_SIM_STATE, OVN_SIM_TRACE) or by tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "components/ovnvxd/ovnvxd_abi.h"
#include "sim/machine_config.h"
#include "sim/pci_function.h"
#include "sim/sim_card.h"

// False when the machine file says "driverLibrary": false or could not be read: the host edition
// then behaves as if OvnVxd.dll could not be loaded.
bool SimDriverLibraryAvailable();

// The simulated processor's current clock in MHz (the machine's processorMhz, default 3000).
std::uint32_t SimProcessorMhz();

// The machine's timeScale (default 1): the host edition's process clock and pauses run that many
// times faster than wall time.
std::uint32_t SimTimeScale();

namespace sim {

struct MachineOptions {
    std::filesystem::path stateDirectory;  // empty: versions are neither applied nor stored
    std::string traceFile;                 // empty: no trace file
    bool keepTrace = false;                // keep every chain's trace records in memory (tests)
};

// The exports' operations (configuration access, mapping, enumeration) are thread-safe; register
// access goes straight from the mapping table to the card.
class SimMachine {
public:
    SimMachine(const MachineConfig& config, const MachineOptions& options);
    ~SimMachine();
    SimMachine(const SimMachine&) = delete;
    SimMachine& operator=(const SimMachine&) = delete;

    bool LibraryAvailable() const { return config_.driverLibrary; }
    std::uint32_t ProcessorMhz() const { return config_.processorMhz; }
    std::uint32_t TimeScale() const { return config_.timeScale; }
    const MachineConfig& Config() const { return config_; }

    int ConfigAccess(std::uint32_t device, std::uint32_t offset, void* data, std::uint32_t size,
                     std::uint32_t direction);
    // A mapping of length bytes inside a card's aperture, or 0.
    std::uint32_t Map(std::uint64_t address, std::uint32_t length);
    int Unmap(std::uint32_t mapping);
    int ScanBus(PciScanCallback callback, void* context);

    std::size_t CardCount() const { return cards_.size(); }
    SimCard& Card(std::size_t index) { return *cards_[index]; }
    SimCard* FindCard(unsigned bus, unsigned device, unsigned function);
    PciFunction* FindFunction(unsigned bus, unsigned device, unsigned function);
    std::uint32_t LiveMappings() const;
    // Writes out waits still open in the chains' traces.
    void FlushTraces();

private:
    MachineConfig config_;
    MachineOptions options_;
    std::unique_ptr<TraceFile> trace_;
    std::vector<std::unique_ptr<PciFunction>> functions_;  // in address order
    std::vector<std::unique_ptr<SimCard>> cards_;
    mutable std::mutex mapLock_;
};

// The process-wide machine, loaded from the environment on first use (thread-safe).
SimMachine& CurrentMachine();

// Test support: replace the process-wide machine (the previous one and its mappings are gone).
SimMachine& InstallMachine(const MachineConfig& config, const MachineOptions& options = {});
// Reads text as a machine file; on a fault installs a machine without library, returns false.
bool InstallMachineJson(const std::string& text, const MachineOptions& options = {},
                        std::string* fault = nullptr);
// Forgets the machine; the next use loads it from the environment again.
void ForgetMachine();

// Reads a machine file. On a fault returns false with the line to report, e.g.
// "simulated machine file 'x.json': cards[1].bar: expected \"64\" or \"32\"".
bool LoadMachineFile(const std::string& path, MachineConfig& config, std::string& faultLine);

}  // namespace sim
