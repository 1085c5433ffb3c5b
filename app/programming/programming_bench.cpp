// Wall time of the programming step (workers and progress line) for 1, 2 and 4 simulated cards
// with a 16-Mbit image: the progress loop's former busy pause against the wait on the workers.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/programming/card_workers.h"
#include "app/programming/programming.h"
#include "device/kseries.h"
#include "hwaccess/driver_access.h"
#include "platform/clock.h"
#include "sim/sim_machine.h"
#include "testing/xsvf_writer/xsvf_writer.h"
#include "xsvf/jtag_port.h"
#include "xsvf/jtag_port_open.h"

namespace {

constexpr std::uint32_t kScanBits = 1u << 21;
constexpr int kScans = 8;  // 16 Mbit in all

XsvfBytes SixteenMegabitImage() {
    XsvfWriter w;
    w.State(1).SdrSize(kScanBits);
    XsvfBytes data(kScanBits / 8);
    std::uint32_t state = 12345;
    for (auto& byte : data)
        byte = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 16);
    for (int i = 0; i < kScans; ++i) w.Sdr(data);
    return w.Complete().Bytes();
}

// The progress loop as it was: a pause that spins for the whole period on the run's thread.
void BusyPause(CCardWorkers&, std::uint32_t milliseconds) {
    const std::uint32_t start = platform::ProcessMilliseconds();
    while (platform::ProcessMilliseconds() - start < milliseconds) {
    }
}

sim::MachineConfig MachineWithCards(int count) {
    sim::MachineConfig config = sim::DefaultMachineConfig();
    const sim::CardConfig first = config.cards[0];
    config.cards.clear();
    config.functions.clear();
    for (int i = 0; i < count; ++i) {
        sim::CardConfig card = first;
        card.bus = static_cast<std::uint8_t>(3 + i);
        card.aperture = 0x1F00000000ull + 0x100000ull * static_cast<std::uint64_t>(i);
        config.cards.push_back(card);
    }
    return config;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct tagMeasure {
    double wall = 0;     // seconds
    double mainCpu = 0;  // seconds of processor time the run's own thread took meanwhile
};

// One programming step on `count` fresh cards.
tagMeasure ProgramOnce(int count, const XsvfBytes& image, bool busy) {
    driver_access::ResetForTesting();
    sim::InstallMachine(MachineWithCards(count));
    if (!OpenDriverAccess()) {
        std::fprintf(stderr, "no simulated driver library\n");
        std::exit(1);
    }
    std::vector<tagCardSlot> cards(static_cast<std::size_t>(count));
    std::uint32_t largestDelay = 0;
    for (int i = 0; i < count; ++i) {
        sim::SimCard& simCard = sim::CurrentMachine().Card(static_cast<std::size_t>(i));
        const auto& c = simCard.Config();
        tagDeviceUpdate& record = cards[static_cast<std::size_t>(i)].record;
        record.pciHandle =
            (std::uint32_t{c.bus} << 8) | (std::uint32_t{c.device} << 3) | c.function;
        record.regHandle = memMap64(simCard.ApertureAddress(), 0x10000);
        record.delayCount = 40;
        record.image = {image.data(), static_cast<std::uint32_t>(image.size())};
        openJtagPort(&record);
        largestDelay = std::max(largestDelay, record.delayCount);
        cards[static_cast<std::size_t>(i)].card = std::make_unique<CKSeries>();
    }
    for (tagCardSlot& slot : cards) slot.record.delayCount = largestDelay;
    tagProgrammingJob job{cards, false};
    if (busy) job.progressWait = BusyPause;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ThreadCpuSeconds();
    PlayAllCards(job);
    tagMeasure measure;
    measure.mainCpu = ThreadCpuSeconds() - cpuStart;
    measure.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int i = 0; i < count; ++i) {
        tagDeviceUpdate& record = cards[static_cast<std::size_t>(i)].record;
        if (record.updateResult.load() != 0) {
            std::fprintf(stderr, "card %d failed with %d\n", i,
                         static_cast<int>(record.updateResult.load()));
            std::exit(1);
        }
        closeJtagPort(&record, 0);
    }
    driver_access::ResetForTesting();
    sim::ForgetMachine();
    return measure;
}

std::string LoadAverage() {
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    // The progress line goes to standard output; the table goes to standard error.
    if (!std::freopen("/dev/null", "w", stdout)) return 1;
    const std::filesystem::path state = std::filesystem::temp_directory_path() /
                                        ("ovn-programming-bench-" + std::to_string(getpid()));
    setenv("OVN_SIM_STATE", state.c_str(), 1);
    const XsvfBytes image = SixteenMegabitImage();
    const int counts[3] = {1, 2, 4};
    std::vector<double> busy[3], sleeping[3], busyCpu[3], sleepingCpu[3];
    std::fprintf(stderr, "load average at start: %s\n", LoadAverage().c_str());
    for (int r = 0; r < repeats; ++r) {
        for (int k = 0; k < 3; ++k) {
            const tagMeasure before = ProgramOnce(counts[k], image, true);
            const tagMeasure after = ProgramOnce(counts[k], image, false);
            busy[k].push_back(before.wall);
            busyCpu[k].push_back(before.mainCpu);
            sleeping[k].push_back(after.wall);
            sleepingCpu[k].push_back(after.mainCpu);
            std::fprintf(stderr,
                         "round %d, %d card(s): busy %.2f s (main thread cpu %.2f s), sleeping "
                         "%.2f s (main thread cpu %.3f s)\n",
                         r + 1, counts[k], before.wall, before.mainCpu, after.wall, after.mainCpu);
        }
    }
    std::fprintf(stderr, "load average at end: %s\n", LoadAverage().c_str());
    std::fprintf(stderr, "\n16-Mbit image, median of %d, wall seconds (ratio to 1 card)\n",
                 repeats);
    std::fprintf(stderr,
                 "| cards | busy pause (before) | main thread cpu | wait on workers (after) | main "
                 "thread cpu |\n|---|---|---|---|---|\n");
    for (int k = 0; k < 3; ++k) {
        std::fprintf(stderr, "| %d | %.2f (%.2fx) | %.2f | %.2f (%.2fx) | %.3f |\n", counts[k],
                     Median(busy[k]), Median(busy[k]) / Median(busy[0]), Median(busyCpu[k]),
                     Median(sleeping[k]), Median(sleeping[k]) / Median(sleeping[0]),
                     Median(sleepingCpu[k]));
    }
    std::filesystem::remove_all(state);
    return 0;
}
