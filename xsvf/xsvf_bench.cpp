// Cost of the player per shifted bit: on a driver that does nothing, through OvnVxd.dll's client
// on the granted pages of a RAM-backed aperture (the real library's register path), and on the
// simulated card; the first and the last also with the port's trace on (lines counted, not kept).
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <cstdio>

#include "components/ovnvxd/ovnvxd_client.h"
#include "components/ovnvxd/ovnvxd_direct_transport.h"
#include "components/ovnvxd/sim_hal_testutil.h"
#include "hwaccess/driver_access.h"
#include "hwaccess/fake_driver_access_testutil.h"
#include "sim/sim_machine.h"
#include "testing/xsvf_writer/xsvf_writer.h"
#include "xsvf/fake_gpio_testutil.h"
#include "xsvf/jtag_port.h"
#include "xsvf/jtag_port_open.h"
#include "xsvf/port_trace.h"
#include "xsvf/xsvf_player.h"

namespace {

constexpr std::uint32_t kScanBits = 1u << 21;
constexpr int kScans = 8;  // 16 Mbit in all

const XsvfBytes& SixteenMegabitImage() {
    static const XsvfBytes image = [] {
        XsvfWriter w;
        w.State(1).SdrSize(kScanBits);
        XsvfBytes data(kScanBits / 8);
        std::uint32_t state = 12345;
        for (auto& byte : data)
            byte = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 16);
        for (int i = 0; i < kScans; ++i) w.Sdr(data);
        return w.Complete().Bytes();
    }();
    return image;
}

// Thread CPU time: the machine is shared, so wall time would charge the player for other work.
double threadCpuNanoseconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

void PlayImage(benchmark::State& state, tagDeviceUpdate& port) {
    const XsvfBytes& image = SixteenMegabitImage();
    double cpu = 0;
    for (auto _ : state) {
        double start = threadCpuNanoseconds();
        port.delayCount = 0;
        port.image = {image.data(), static_cast<std::uint32_t>(image.size())};
        port.offset = 0;
        if (playXsvf(&port) != 0) state.SkipWithError("play failed");
        cpu += threadCpuNanoseconds() - start;
    }
    double bits = static_cast<double>(kScanBits) * kScans * static_cast<double>(state.iterations());
    state.counters["ns_per_bit"] = cpu / bits;
}

// Takes the trace's lines and keeps only their number and size, as a file would cost no less.
class CountingSink : public CTraceSink {
public:
    void WriteLine(std::string_view line) override {
        ++lines;
        bytes += line.size() + 1;
    }
    std::uint64_t lines = 0, bytes = 0;
};

void BM_PlayCountingDriver(benchmark::State& state) {
    tagCountingDriver::Install();
    tagDeviceUpdate port;
    CountingSink sink;
    CPortTrace trace("03:00.0", sink);
    if (state.range(0) != 0) port.trace = &trace;
    PlayImage(state, port);
    state.counters["writes_per_bit"] =
        static_cast<double>(tagCountingDriver::writes) /
        (static_cast<double>(kScanBits) * kScans * static_cast<double>(state.iterations()));
    driver_access::ResetForTesting();
}

// The library's exports as OvnVxd.dll has them: one acquire load of the process's client, then the
// client's bounds check and one volatile access.
std::atomic<COvnVxdClient*> g_libraryClient{nullptr};
int OVNVXD_CALL LibraryConfig(std::uint32_t d, std::uint32_t o, void* p, std::uint32_t s,
                              std::uint32_t dir) {
    COvnVxdClient* client = g_libraryClient.load(std::memory_order_acquire);
    return client ? client->ConfigAccess(d, o, p, s, dir) : 0;
}
int OVNVXD_CALL LibraryRead(std::uint32_t h, std::uint32_t o, void* p, std::uint32_t s) {
    COvnVxdClient* client = g_libraryClient.load(std::memory_order_acquire);
    return client ? client->Read(h, o, p, s) : 0;
}
int OVNVXD_CALL LibraryWrite(std::uint32_t h, std::uint32_t o, const void* p, std::uint32_t s) {
    COvnVxdClient* client = g_libraryClient.load(std::memory_order_acquire);
    return client ? client->Write(h, o, p, s) : 0;
}

void BM_PlayLibraryClient(benchmark::State& state) {
    tagDriverTestMachine machine;
    COvnVxdDirectTransport transport(machine.hal.Hal());
    COvnVxdClient client(transport);
    g_libraryClient.store(&client, std::memory_order_release);
    CExportsLibrary library({LibraryConfig, LibraryRead, LibraryWrite, nullptr, nullptr, nullptr});
    library.Install();
    const std::uint64_t aperture = machine.Aperture(0);
    tagDeviceUpdate port;
    port.pciHandle = tagDriverTestMachine::kCard0;
    port.regHandle = client.Map(static_cast<std::uint32_t>(aperture),
                                static_cast<std::uint32_t>(aperture >> 32), 0x10000);
    if (port.regHandle == 0) {
        state.SkipWithError("the aperture did not map");
    } else {
        PlayImage(state, port);
        // Every access of the port lies in the granted GPIO page: nothing may have been refused.
        state.counters["refused"] = static_cast<double>(client.RefusedAccesses());
    }
    driver_access::ResetForTesting();
    g_libraryClient.store(nullptr, std::memory_order_release);
}

void BM_PlaySimulatedCard(benchmark::State& state) {
    driver_access::ResetForTesting();
    sim::InstallMachine(sim::DefaultMachineConfig());
    if (!OpenDriverAccess()) {
        state.SkipWithError("no simulated driver library");
        return;
    }
    sim::SimCard& card = sim::CurrentMachine().Card(0);
    const auto& c = card.Config();
    tagDeviceUpdate port;
    port.pciHandle = (std::uint32_t{c.bus} << 8) | (std::uint32_t{c.device} << 3) | c.function;
    port.regHandle = memMap64(card.ApertureAddress(), 0x10000);
    openJtagPort(&port);
    std::fputs("\n", stdout);
    CountingSink sink;
    CPortTrace trace("03:00.0", sink);
    if (state.range(0) != 0) port.trace = &trace;
    PlayImage(state, port);
    port.trace = nullptr;
    closeJtagPort(&port, 0);
    driver_access::ResetForTesting();
    sim::ForgetMachine();
}

// Argument: the trace off (0) or on (1).
BENCHMARK(BM_PlayCountingDriver)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlayLibraryClient)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PlaySimulatedCard)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
