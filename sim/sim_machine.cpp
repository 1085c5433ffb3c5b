// The machine's PCI bus and mappings, and the process-wide instance.
#include "sim/sim_machine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/jtag_trace.h"
#include "sim/late_writes.h"
#include "sim/mapping_table.h"
#include "sim/version_store.h"

namespace sim {

namespace {

// Constant-initialized, so reachable from the exports before any machine exists.
MappingTable processMappings;

std::uint16_t PlaceOf(unsigned bus, unsigned device, unsigned function) {
    return static_cast<std::uint16_t>((bus << 8) | (device << 3) | function);
}

}  // namespace

MappingTable& ProcessMappings() { return processMappings; }

SimMachine::SimMachine(const MachineConfig& config, const MachineOptions& options)
    : config_(config), options_(options) {
    ArmWriteStall(config.stallWritesAfter, config.stallUntilExit);
    if (!options.traceFile.empty()) {
        trace_ = std::make_unique<TraceFile>(options.traceFile);
        if (!trace_->IsOpen()) {
            std::fprintf(stderr, "simulated machine: trace file '%s' cannot be opened\n",
                         options.traceFile.c_str());
            trace_.reset();
        }
    }
    if (!options.stateDirectory.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.stateDirectory, error);
    }
    for (const auto& f : config_.functions) {
        functions_.push_back(std::make_unique<PciFunction>(PlaceOf(f.bus, f.device, f.function)));
        PresetFunctionConfigSpace(f, *functions_.back());
    }
    for (auto card : config_.cards) {
        std::uint16_t place = PlaceOf(card.bus, card.device, card.function);
        if (!options.stateDirectory.empty()) {
            if (auto stored = LoadStoredVersion(options.stateDirectory, place))
                card.version = *stored;
        }
        functions_.push_back(std::make_unique<PciFunction>(place));
        PresetCardConfigSpace(card, *functions_.back());
        cards_.push_back(std::make_unique<SimCard>(card, *functions_.back(), options.stateDirectory,
                                                   trace_.get(), options.keepTrace));
    }
    std::sort(functions_.begin(), functions_.end(),
              [](const auto& a, const auto& b) { return a->Address() < b->Address(); });
}

SimMachine::~SimMachine() {
    {
        std::lock_guard<std::mutex> hold(mapLock_);
        for (auto& slot : processMappings.mappingSlots) {
            SimCard* card = slot.card.load(std::memory_order_relaxed);
            for (auto& mine : cards_) {
                if (mine.get() == card) slot.card.store(nullptr, std::memory_order_release);
            }
        }
    }
    FlushTraces();
}

PciFunction* SimMachine::FindFunction(unsigned bus, unsigned device, unsigned function) {
    std::uint16_t place = PlaceOf(bus & 0xFF, device & 0x1F, function & 7);
    for (auto& f : functions_) {
        if (f->Address() == place) return f.get();
    }
    return nullptr;
}

SimCard* SimMachine::FindCard(unsigned bus, unsigned device, unsigned function) {
    for (auto& c : cards_) {
        if (c->Config().bus == bus && c->Config().device == device &&
            c->Config().function == function) {
            return c.get();
        }
    }
    return nullptr;
}

int SimMachine::ConfigAccess(std::uint32_t device, std::uint32_t offset, void* data,
                             std::uint32_t size, std::uint32_t direction) {
    // The handle's low 16 bits are the PCI address; nothing else is encoded in it.
    if (device > 0xFFFF) return 0;
    PciFunction* f = FindFunction(device >> 8, (device >> 3) & 0x1F, device & 7);
    if (!f) return 0;
    if (direction == 0) return f->Read(offset, data, size) ? 1 : 0;
    if (direction == 1) return f->Write(offset, data, size) ? 1 : 0;
    return 0;
}

std::uint32_t SimMachine::Map(std::uint64_t address, std::uint32_t length) {
    // The real library's rule: a window starts at a register aperture and holds at least one
    // granted page whole; only those pages are reachable through it.
    bool holdsAGrantedPage = false;
    for (std::uint32_t page = 0; page < OVNVXD_WINDOW_PAGES; ++page) {
        const std::uint32_t offset = page * OVNVXD_GRANT_PAGE_SIZE;
        if (OvnVxdGrantedOffset(offset) && length >= offset &&
            length - offset >= OVNVXD_GRANT_PAGE_SIZE) {
            holdsAGrantedPage = true;
        }
    }
    if (!holdsAGrantedPage) return 0;
    for (auto& card : cards_) {
        if (address != card->ApertureAddress()) continue;
        if (card->Faults().mapFails) return 0;
        std::lock_guard<std::mutex> hold(mapLock_);
        for (std::uint32_t i = 0; i < kMaxMappings; ++i) {
            MappingSlot& slot = processMappings.mappingSlots[i];
            if (slot.card.load(std::memory_order_relaxed)) continue;
            slot.length = length;
            slot.card.store(card.get(), std::memory_order_release);
            return kMappingTag + i + 1;
        }
        return 0;
    }
    return 0;
}

int SimMachine::Unmap(std::uint32_t mapping) {
    std::uint32_t index = mapping - kMappingTag - 1;
    if (index >= kMaxMappings) return 0;
    std::lock_guard<std::mutex> hold(mapLock_);
    MappingSlot& slot = processMappings.mappingSlots[index];
    SimCard* card = slot.card.load(std::memory_order_relaxed);
    bool mine = std::any_of(cards_.begin(), cards_.end(),
                            [card](const auto& c) { return c.get() == card; });
    if (!card || !mine) return 0;
    slot.card.store(nullptr, std::memory_order_release);
    return 1;
}

std::uint32_t SimMachine::LiveMappings() const {
    std::lock_guard<std::mutex> hold(mapLock_);
    std::uint32_t count = 0;
    for (const auto& slot : processMappings.mappingSlots) {
        SimCard* card = slot.card.load(std::memory_order_relaxed);
        for (const auto& mine : cards_) count += mine.get() == card ? 1 : 0;
    }
    return count;
}

int SimMachine::ScanBus(PciScanCallback callback, void* context) {
    if (!callback) return 0;
    for (auto& f : functions_) callback(f->Address(), context);
    return 1;
}

void SimMachine::FlushTraces() {
    for (auto& card : cards_) card->Chain().FlushTrace();
}

bool LoadMachineFile(const std::string& path, MachineConfig& config, std::string& faultLine) {
    std::ifstream in(path, std::ios::binary);
    std::string fault;
    if (!in) {
        fault = "cannot be read";
    } else {
        std::ostringstream text;
        text << in.rdbuf();
        if (ParseMachineConfig(text.str(), config, fault)) return true;
    }
    faultLine = "simulated machine file '" + path + "': " + fault;
    return false;
}

namespace {

// Never destroyed: detached worker threads may still be inside an export while the process ends.
struct Instance {
    std::mutex lock;
    std::unique_ptr<SimMachine> machine;
    std::atomic<SimMachine*> current{nullptr};
};

Instance& TheInstance() {
    static Instance* instance = new Instance();
    return *instance;
}

MachineConfig WithoutLibrary() {
    MachineConfig config;
    config.driverLibrary = false;
    return config;
}

SimMachine* Replace(Instance& instance, std::unique_ptr<SimMachine> machine) {
    instance.current.store(nullptr, std::memory_order_release);
    instance.machine.reset();
    instance.machine = std::move(machine);
    instance.current.store(instance.machine.get(), std::memory_order_release);
    return instance.machine.get();
}

std::unique_ptr<SimMachine> LoadFromEnvironment() {
    MachineOptions options;
    options.stateDirectory = StateDirectoryFromEnvironment();
    if (const char* trace = std::getenv("OVN_SIM_TRACE")) options.traceFile = trace;
    MachineConfig config = DefaultMachineConfig();
    const char* path = std::getenv("OVN_SIM_MACHINE");
    if (path && *path) {
        std::string faultLine;
        if (!LoadMachineFile(path, config, faultLine)) {
            std::fprintf(stderr, "%s\n", faultLine.c_str());
            std::fflush(stderr);
            config = WithoutLibrary();
        }
    }
    return std::make_unique<SimMachine>(config, options);
}

}  // namespace

SimMachine& CurrentMachine() {
    Instance& instance = TheInstance();
    if (SimMachine* machine = instance.current.load(std::memory_order_acquire)) return *machine;
    std::lock_guard<std::mutex> hold(instance.lock);
    if (!instance.machine) return *Replace(instance, LoadFromEnvironment());
    return *instance.machine;
}

SimMachine& InstallMachine(const MachineConfig& config, const MachineOptions& options) {
    Instance& instance = TheInstance();
    std::lock_guard<std::mutex> hold(instance.lock);
    return *Replace(instance, std::make_unique<SimMachine>(config, options));
}

bool InstallMachineJson(const std::string& text, const MachineOptions& options,
                        std::string* fault) {
    MachineConfig config;
    std::string why;
    bool ok = ParseMachineConfig(text, config, why);
    if (!ok) {
        config = WithoutLibrary();
        if (fault) *fault = why;
    }
    InstallMachine(config, options);
    return ok;
}

void ForgetMachine() {
    Instance& instance = TheInstance();
    std::lock_guard<std::mutex> hold(instance.lock);
    Replace(instance, nullptr);
}

}  // namespace sim

bool SimDriverLibraryAvailable() { return sim::CurrentMachine().LibraryAvailable(); }

std::uint32_t SimProcessorMhz() { return sim::CurrentMachine().ProcessorMhz(); }

std::uint32_t SimTimeScale() {
    // Read on every clock reading of a busy wait: the machine is asked once.
    static const std::uint32_t scale = sim::CurrentMachine().TimeScale();
    return scale;
}
