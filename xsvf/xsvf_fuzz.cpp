// libFuzzer target: validation and play of arbitrary bytes on the simulated card, and their
// agreement.
#include <cstdio>
#include <cstdlib>

#include "hwaccess/driver_access.h"
#include "sim/sim_machine.h"
#include "xsvf/jtag_port.h"
#include "xsvf/jtag_port_open.h"
#include "xsvf/xsvf_player.h"
#include "xsvf/xsvf_validate.h"

namespace {

// Images that could clock longer than this are validated only: a play of a four-billion-pulse
// XWAIT is correct behaviour, not something to wait for here.
constexpr std::uint64_t kPlayBudgetPulses = 20000;

tagDeviceUpdate& OpenCard() {
    static tagDeviceUpdate port;
    static bool opened = [] {
        sim::InstallMachine(sim::DefaultMachineConfig());
        if (!OpenDriverAccess()) std::abort();
        sim::SimCard& card = sim::CurrentMachine().Card(0);
        const auto& c = card.Config();
        port.pciHandle = (std::uint32_t{c.bus} << 8) | (std::uint32_t{c.device} << 3) | c.function;
        port.regHandle = memMap64(card.ApertureAddress(), 0x10000);
        openJtagPort(&port);
        return true;
    }();
    (void)opened;
    return port;
}

void Disagree(const char* what, const tagXsvfValidation& v, std::int32_t played,
              const tagXsvfFailure& f) {
    std::fprintf(
        stderr, "%s: validation %d at command %d offset %u (%s); play %d at command %d offset %u\n",
        what, v.code, v.commandIndex, v.byteOffset, v.reason.c_str(), played, f.commandIndex,
        f.byteOffset);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tagXsvfValidation v = validateXsvf(data, static_cast<std::uint32_t>(size));
    if (v.worstCaseTckPulses > kPlayBudgetPulses) return 0;

    tagDeviceUpdate& card = OpenCard();
    tagDeviceUpdate port;
    port.pciHandle = card.pciHandle;
    port.regHandle = card.regHandle;
    port.delayCount = 0;
    port.gpioOut = card.gpioOut | GPIO_TMS_MASK;
    port.image = {data, static_cast<std::uint32_t>(size)};
    std::int32_t played = playXsvf(&port);
    card.gpioOut = port.gpioOut;

    if (port.offset > size) Disagree("read past the end", v, played, port.failure);
    if (played == 2 || played == 3) {
        if (v.code != 0 && v.commandIndex <= port.failure.commandIndex) {
            Disagree("structural fault before the mismatch", v, played, port.failure);
        }
        return 0;
    }
    if (v.code != played) Disagree("codes differ", v, played, port.failure);
    if (played != 0 &&
        (v.commandIndex != port.failure.commandIndex || v.byteOffset != port.failure.byteOffset)) {
        Disagree("places differ", v, played, port.failure);
    }
    return 0;
}
