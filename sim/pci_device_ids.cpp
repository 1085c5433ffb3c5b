// Hardware and compatible IDs in the order and spelling Windows uses for PCI functions.
#include "sim/pci_device_ids.h"

#include <cstdio>

#include "sim/sim_card.h"

namespace sim {

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[96];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace

PnpIds PciPnpIds(const PciIdentity& id) {
    const unsigned ven = id.vendor, dev = id.device, rev = id.revision;
    const unsigned cls = id.classCode, cls16 = id.classCode >> 8;
    const unsigned long sub = id.subsystem;
    PnpIds ids;
    std::string withRevision =
        Format("PCI\\VEN_%04X&DEV_%04X&SUBSYS_%08lX&REV_%02X", ven, dev, sub, rev);
    ids.hardwareIds = {
        withRevision,
        Format("PCI\\VEN_%04X&DEV_%04X&SUBSYS_%08lX", ven, dev, sub),
        Format("PCI\\VEN_%04X&DEV_%04X&CC_%06X", ven, dev, cls),
        Format("PCI\\VEN_%04X&DEV_%04X&CC_%04X", ven, dev, cls16),
    };
    ids.compatibleIds = {
        Format("PCI\\VEN_%04X&DEV_%04X&REV_%02X", ven, dev, rev),
        Format("PCI\\VEN_%04X&DEV_%04X", ven, dev),
        Format("PCI\\VEN_%04X&CC_%06X", ven, cls),
        Format("PCI\\VEN_%04X&CC_%04X", ven, cls16),
        Format("PCI\\VEN_%04X", ven),
        Format("PCI\\CC_%06X", cls),
        Format("PCI\\CC_%04X", cls16),
    };
    // The last part names the slot, as the bus driver's unique ID does.
    unsigned place = (static_cast<unsigned>(id.slot) << 3) | id.function;
    ids.instanceId = withRevision + Format("\\4&%02X&0&%02X", static_cast<unsigned>(id.bus), place);
    return ids;
}

PciIdentity CardIdentity(const CardConfig& card) {
    PciIdentity id;
    id.vendor = SimCard::kIdentity & 0xFFFF;
    id.device = SimCard::kIdentity >> 16;
    id.subsystem = SimCard::kSubsystem;
    id.revision = card.revision;
    id.classCode = 0x030000;
    id.bus = card.bus;
    id.slot = card.device;
    id.function = card.function;
    return id;
}

PciIdentity FunctionIdentity(const FunctionConfig& function) {
    PciIdentity id;
    id.vendor = function.vendor;
    id.device = function.deviceId;
    id.subsystem = function.subsystem;
    id.classCode = function.classCode;
    id.bus = function.bus;
    id.slot = function.device;
    id.function = function.function;
    return id;
}

}  // namespace sim
