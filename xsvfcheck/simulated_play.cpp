// The simulated play: an in-process machine, reached through the driver-access seam, so the player
// and its port run unchanged.
#include "xsvfcheck/simulated_play.h"

#include <atomic>

#include "hwaccess/driver_access.h"
#include "sim/machine_config.h"
#include "sim/ovnvxd_exports.h"
#include "sim/sim_machine.h"
#include "xsvf/jtag_port.h"
#include "xsvf/xsvf_player.h"

namespace {

void* findSimulatedExport(void*, const char* name) { return SimFindExport(name); }

// The port as openJtagPort leaves it, without its calibration: a simulated card needs no pacing,
// and the calibration's spinner would mix into the report.
void openSimulatedPort(tagJtagPort& port) {
    std::uint32_t command = 0;
    csRead32(port.pciHandle, 0x04, &command);
    csWrite32(port.pciHandle, 0x04, command | 0x2);
    port.delayCount = 0;
    writeGpio(GPIO_SELECT, GPIO_TCK_MASK | GPIO_TDI_MASK | GPIO_TMS_MASK | GPIO_TDO_MASK, &port);
    writeGpio(GPIO_OUTPUT_ENABLE, GPIO_TCK_MASK | GPIO_TDI_MASK | GPIO_TMS_MASK, &port);
    setJtagPin(JTAG_TMS, true, &port);
    setJtagPin(JTAG_TCK, false, &port);
    setJtagPin(JTAG_TDI, false, &port);
}

}  // namespace

tagSimulatedPlay playOnSimulatedCard(std::span<const std::uint8_t> image, std::uint32_t idcode) {
    sim::MachineConfig config = sim::DefaultMachineConfig();
    config.cards.resize(1);
    config.cards[0].idcode = idcode;
    sim::MachineOptions options;
    options.keepTrace = true;
    sim::SimMachine& machine = sim::InstallMachine(config, options);
    sim::SimCard& card = machine.Card(0);

    CLibraryDriverAccess access(&findSimulatedExport);
    access.SetModule(&machine);
    driver_access::Install(&access);

    tagJtagPort port;
    const sim::CardConfig& c = card.Config();
    port.pciHandle = (std::uint32_t{c.bus} << 8) | (std::uint32_t{c.device} << 3) | c.function;
    port.regHandle = memMap64(card.ApertureAddress(), sim::SimCard::kApertureSize);
    openSimulatedPort(port);
    tagImageCursor cursor;
    cursor.image = image;
    std::atomic<std::uint32_t> percentDone{0};

    tagSimulatedPlay play;
    play.failure = playXsvf(port, cursor, percentDone);
    machine.FlushTraces();
    const std::string prefix = card.Place() + " ";
    for (const sim::TraceRecord& record : card.Chain().Records()) {
        play.trace += prefix + record.Text() + "\n";
        ++play.records;
    }
    play.risingEdges = card.Chain().RisingEdges();

    memUnmap(port.regHandle);
    driver_access::Install(nullptr);
    sim::ForgetMachine();
    return play;
}
