/* PCI checks of the driver core: presence, K740 identity, the register aperture and the map and
 * configuration-write policies. Nothing here writes configuration space but an allowed write. */
#include "components/ovnvxd/ovnvxd_core.h"

#define CONFIG_SPACE_SIZE 256u
#define COMMAND_OFFSET 0x04u
#define COMMAND_DECODE_BITS 0x0003u /* I/O and memory space enable */
#define COMMAND_MEMORY_ENABLE 0x0002u
#define HEADER_TYPE_OFFSET 0x0Eu
#define HEADER_MULTI_FUNCTION 0x80u
#define BAR0 0x10u
#define BAR_TYPE_BITS 0x6u /* of a memory BAR: 0 32-bit, 4 64-bit, 6 reserved */
#define BAR_TYPE_64 0x4u
#define DWORD_E0 0xE0u
#define DWORD_E0_CLEARABLE 0x3u

static int ReadDword(const OvnVxdHal* hal, uint32_t device, uint32_t offset, uint32_t* value) {
    *value = 0;
    return hal->configRead(hal->context, device, offset, value, 4);
}

int OvnVxdFunctionPresent(const OvnVxdHal* hal, uint32_t device) {
    uint16_t vendor = 0;
    if (!hal->configRead(hal->context, device, 0, &vendor, 2)) return 0;
    return vendor != 0xFFFFu && vendor != 0;
}

int OvnVxdIsK740(const OvnVxdHal* hal, uint32_t device) {
    uint32_t identity = 0, subsystem = 0;
    if (!ReadDword(hal, device, 0x00, &identity) || identity != OVNVXD_K740_IDENTITY) return 0;
    return ReadDword(hal, device, 0x2C, &subsystem) && subsystem == OVNVXD_K740_SUBSYSTEM;
}

static int MultiFunction(const OvnVxdHal* hal, uint32_t device0) {
    uint8_t header = 0;
    if (!OvnVxdFunctionPresent(hal, device0)) return 0;
    if (!hal->configRead(hal->context, device0, HEADER_TYPE_OFFSET, &header, 1)) return 0;
    return (header & HEADER_MULTI_FUNCTION) != 0;
}

uint32_t OvnVxdWalkFunctions(const OvnVxdHal* hal, uint32_t firstAddress, uint16_t* devices,
                             uint32_t capacity, uint32_t* count) {
    uint32_t address = firstAddress;
    *count = 0;
    while (address < OVNVXD_ADDRESS_END && *count < capacity) {
        const uint32_t device0 = address & ~7u;
        if ((address & 7u) == 0) {
            if (!OvnVxdFunctionPresent(hal, device0)) {
                address = device0 + 8;
                continue;
            }
            devices[(*count)++] = (uint16_t)device0;
            address = MultiFunction(hal, device0) ? address + 1 : device0 + 8;
            continue;
        }
        /* A cursor inside a device resumes only where the device has more functions. */
        if (address == firstAddress && !MultiFunction(hal, device0)) {
            address = device0 + 8;
            continue;
        }
        if (OvnVxdFunctionPresent(hal, address)) devices[(*count)++] = (uint16_t)address;
        ++address;
    }
    return address < OVNVXD_ADDRESS_END ? address : OVNVXD_ADDRESS_END;
}

int OvnVxdApertureOf(const OvnVxdHal* hal, uint32_t device, uint64_t* aperture) {
    uint32_t bar0 = 0, lower = 0, upper = 0, barOffset, barUpper = 0;
    uint64_t address;
    *aperture = 0;
    if (!ReadDword(hal, device, BAR0, &bar0)) return 0;
    /* The scan's reading: after a 64-bit BAR0 the aperture is at 0x18 with its upper half at 0x1C,
     * otherwise at 0x14 with no upper half. */
    barOffset = (bar0 & BAR_TYPE_BITS) == BAR_TYPE_64 ? 0x18u : 0x14u;
    if (!ReadDword(hal, device, barOffset, &lower)) return 0;
    if (barOffset == 0x18u && !ReadDword(hal, device, 0x1Cu, &upper)) return 0;
    if ((lower & 1u) != 0 || (lower & BAR_TYPE_BITS) == 0x6u) return 0; /* I/O or reserved */
    address = ((uint64_t)upper << 32) | (lower & 0xFFFFFF00u);
    /* The BAR's own reading must name the same address: its upper half is the next dword exactly
     * when it is a 64-bit BAR. */
    if ((lower & BAR_TYPE_BITS) == BAR_TYPE_64 &&
        (barOffset + 4 > 0x24u || !ReadDword(hal, device, barOffset + 4, &barUpper))) {
        return 0;
    }
    if (barUpper != upper) return 0;
    /* A BAR is aligned to its size: a base below 64 KiB alignment cannot span the aperture. */
    if (address == 0 || (address & (OVNVXD_APERTURE_LENGTH - 1)) != 0) return 0;
    *aperture = address;
    return 1;
}

typedef struct RamQuery {
    uint64_t first, last; /* inclusive */
    int overlaps;
} RamQuery;

static int VisitRam(void* context, uint64_t base, uint64_t length) {
    RamQuery* query = (RamQuery*)context;
    uint64_t last;
    if (length == 0) return 1;
    last = length - 1 > ~(uint64_t)0 - base ? ~(uint64_t)0 : base + (length - 1);
    if (base <= query->last && query->first <= last) {
        query->overlaps = 1;
        return 0;
    }
    return 1;
}

int OvnVxdClearOfRam(const OvnVxdHal* hal, uint64_t base, uint64_t length) {
    RamQuery query;
    if (length == 0 || length - 1 > ~(uint64_t)0 - base) return 0;
    query.first = base;
    query.last = base + (length - 1);
    query.overlaps = 0;
    if (!hal->forEachRamRange(hal->context, VisitRam, &query)) return 0;
    return !query.overlaps;
}

/* Nonzero when a K740 function's register aperture is at aperture. */
static int IsK740Aperture(const OvnVxdHal* hal, uint64_t aperture) {
    uint32_t next = 0;
    while (next < OVNVXD_ADDRESS_END) {
        uint16_t devices[32];
        uint32_t count = 0, i;
        next = OvnVxdWalkFunctions(hal, next, devices, 32, &count);
        for (i = 0; i < count; ++i) {
            uint64_t found = 0;
            if (OvnVxdIsK740(hal, devices[i]) && OvnVxdApertureOf(hal, devices[i], &found) &&
                found == aperture) {
                return 1;
            }
        }
    }
    return 0;
}

OvnVxdResult OvnVxdCheckMapRange(const OvnVxdHal* hal, uint64_t address, uint32_t apertureOffset,
                                 uint64_t length) {
    const uint64_t inPage = apertureOffset & (OVNVXD_GRANT_PAGE_SIZE - 1);
    if (length == 0 || length > ~(uint64_t)0 - address || apertureOffset > address) {
        return OVNVXD_BAD_PARAMETER;
    }
    if (!OvnVxdGrantedOffset(apertureOffset)) return OVNVXD_NOT_GRANTED;
    if (length > OVNVXD_GRANT_PAGE_SIZE - inPage) return OVNVXD_BEYOND_GRANT;
    if (!IsK740Aperture(hal, address - apertureOffset)) return OVNVXD_NOT_GRANTED;
    if (!OvnVxdClearOfRam(hal, address - inPage, OVNVXD_GRANT_PAGE_SIZE)) return OVNVXD_OVER_RAM;
    return OVNVXD_OK;
}

OvnVxdResult OvnVxdCheckConfigWrite(const OvnVxdHal* hal, uint32_t device, uint32_t offset,
                                    uint32_t size, uint32_t value, uint32_t* writeOffset,
                                    uint32_t* writeValue, uint32_t* writeSize) {
    uint32_t current = 0;
    if (device > 0xFFFFu || (size != 1 && size != 2 && size != 4) || offset >= CONFIG_SPACE_SIZE ||
        size > CONFIG_SPACE_SIZE - offset) {
        return OVNVXD_BAD_PARAMETER;
    }
    if (!OvnVxdFunctionPresent(hal, device)) return OVNVXD_NO_DEVICE;
    if (!OvnVxdIsK740(hal, device)) return OVNVXD_NOT_K740;
    if (size != 4 || (offset != COMMAND_OFFSET && offset != DWORD_E0)) return OVNVXD_WRITE_REFUSED;
    if (!ReadDword(hal, device, offset, &current)) return OVNVXD_NO_DEVICE;
    if (offset == COMMAND_OFFSET) {
        /* Only the command word is written: writing the status half back would clear its
         * write-one-to-clear error bits. */
        const uint32_t command = current & 0xFFFFu;
        if ((value & 0xFFFFu) != (command | COMMAND_MEMORY_ENABLE)) return OVNVXD_WRITE_REFUSED;
        *writeOffset = COMMAND_OFFSET;
        *writeValue = command | COMMAND_MEMORY_ENABLE;
        *writeSize = 2;
        return OVNVXD_OK;
    }
    if ((value & ~DWORD_E0_CLEARABLE) != (current & ~DWORD_E0_CLEARABLE) ||
        (value & DWORD_E0_CLEARABLE & ~current) != 0) {
        return OVNVXD_WRITE_REFUSED;
    }
    *writeOffset = DWORD_E0;
    *writeValue = value;
    *writeSize = 4;
    return OVNVXD_OK;
}
