/* PCI checks of the driver core: presence, K740 identity, BAR decoding and the range and write
 * policies. */
#include "tools/ovnvxd/ovnvxd_core.h"

#define CONFIG_SPACE_SIZE 256u
#define COMMAND_OFFSET 0x04u
#define COMMAND_DECODE_BITS 0x0003u /* I/O and memory space enable */
#define COMMAND_MEMORY_ENABLE 0x0002u
#define HEADER_TYPE_OFFSET 0x0Eu
#define HEADER_MULTI_FUNCTION 0x80u
#define FIRST_BAR 0x10u
#define LAST_BAR 0x24u
#define DWORD_E0 0xE0u
#define DWORD_E0_CLEARABLE 0x3u

static int ReadDword(const OvnVxdHal* hal, uint32_t device, uint32_t offset, uint32_t* value) {
    *value = 0;
    return hal->configRead(hal->context, device, offset, value, 4);
}

static int WriteDword(const OvnVxdHal* hal, uint32_t device, uint32_t offset, uint32_t value) {
    return hal->configWrite(hal->context, device, offset, &value, 4);
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

/* Sizing with the decoders off, so that the all-ones pattern never decodes anything. */
static uint64_t SizeMemoryBar(const OvnVxdHal* hal, uint32_t device, uint32_t barOffset, int is64,
                              uint32_t low, uint32_t high) {
    uint16_t command = 0;
    uint32_t lowMask = 0, highMask = 0xFFFFFFFFu;
    uint64_t mask, size;
    hal->configRead(hal->context, device, COMMAND_OFFSET, &command, 2);
    if (command & COMMAND_DECODE_BITS) {
        const uint16_t off = (uint16_t)(command & ~COMMAND_DECODE_BITS);
        hal->configWrite(hal->context, device, COMMAND_OFFSET, &off, 2);
    }
    WriteDword(hal, device, barOffset, 0xFFFFFFFFu);
    ReadDword(hal, device, barOffset, &lowMask);
    WriteDword(hal, device, barOffset, low);
    if (is64) {
        WriteDword(hal, device, barOffset + 4, 0xFFFFFFFFu);
        ReadDword(hal, device, barOffset + 4, &highMask);
        WriteDword(hal, device, barOffset + 4, high);
    }
    if (command & COMMAND_DECODE_BITS) {
        hal->configWrite(hal->context, device, COMMAND_OFFSET, &command, 2);
    }
    mask = ((uint64_t)highMask << 32) | (lowMask & ~0xFull);
    if (mask == 0 || (!is64 && (lowMask & ~0xFu) == 0)) return 0;
    /* A decoder answers with ones from the top down; anything else is no BAR to trust. */
    size = ~mask + 1;
    return (size & (size - 1)) == 0 ? size : 0;
}

/* The BAR's kind and base without touching it; returns the offset of the next BAR. */
static uint32_t ReadBar(const OvnVxdHal* hal, uint32_t device, uint32_t barOffset, OvnVxdBar* bar,
                        uint32_t* low, uint32_t* high) {
    uint32_t type;
    bar->base = 0;
    bar->size = 0;
    bar->isMemory = 0;
    bar->is64Bit = 0;
    *low = 0;
    *high = 0;
    if (!ReadDword(hal, device, barOffset, low)) return barOffset + 4;
    if (*low & 1u) return barOffset + 4; /* I/O space: never mapped */
    type = (*low >> 1) & 3u;
    if (type == 3u) return barOffset + 4; /* reserved encoding */
    if (type == 2u) {
        bar->is64Bit = 1;
        if (barOffset + 4 > LAST_BAR || !ReadDword(hal, device, barOffset + 4, high)) {
            return barOffset + 8;
        }
    }
    bar->isMemory = 1;
    bar->base = ((uint64_t)*high << 32) | (*low & ~0xFu);
    return barOffset + (bar->is64Bit ? 8u : 4u);
}

uint32_t OvnVxdDecodeBar(const OvnVxdHal* hal, uint32_t device, uint32_t barOffset,
                         OvnVxdBar* bar) {
    uint32_t low, high;
    const uint32_t next = ReadBar(hal, device, barOffset, bar, &low, &high);
    if (bar->isMemory && bar->base != 0) {
        bar->size = SizeMemoryBar(hal, device, barOffset, bar->is64Bit, low, high);
    }
    return next;
}

/* OVNVXD_OK, OVNVXD_BEYOND_BAR or OVNVXD_NOT_IN_K740_BAR for one K740 function. */
static OvnVxdResult CheckFunctionBars(const OvnVxdHal* hal, uint32_t device, uint64_t pageStart,
                                      uint64_t pageEnd, uint64_t address) {
    OvnVxdResult result = OVNVXD_NOT_IN_K740_BAR;
    uint32_t offset = FIRST_BAR;
    while (offset <= LAST_BAR) {
        OvnVxdBar bar;
        uint32_t low, high;
        const uint32_t barOffset = offset;
        offset = ReadBar(hal, device, barOffset, &bar, &low, &high);
        /* Only a BAR that can hold the address is sized: no needless writes to a live device. */
        if (!bar.isMemory || bar.base == 0 || bar.base > address) continue;
        bar.size = SizeMemoryBar(hal, device, barOffset, bar.is64Bit, low, high);
        if (bar.size == 0 || address - bar.base >= bar.size) continue;
        if (pageStart >= bar.base && pageEnd - bar.base <= bar.size) return OVNVXD_OK;
        result = OVNVXD_BEYOND_BAR;
    }
    return result;
}

OvnVxdResult OvnVxdCheckMapRange(const OvnVxdHal* hal, uint64_t address, uint32_t length) {
    OvnVxdResult result = OVNVXD_NOT_IN_K740_BAR;
    const uint64_t pageStart = address & ~(uint64_t)(OVNVXD_PAGE_SIZE - 1);
    const uint64_t end = address + length;
    uint64_t pageEnd;
    uint32_t next = 0;
    if (length == 0 || end < address || end > ~(uint64_t)(OVNVXD_PAGE_SIZE - 1)) {
        return OVNVXD_BAD_PARAMETER;
    }
    pageEnd = (end + OVNVXD_PAGE_SIZE - 1) & ~(uint64_t)(OVNVXD_PAGE_SIZE - 1);
    while (next < OVNVXD_ADDRESS_END) {
        uint16_t devices[32];
        uint32_t count = 0, i;
        next = OvnVxdWalkFunctions(hal, next, devices, 32, &count);
        for (i = 0; i < count; ++i) {
            OvnVxdResult one;
            if (!OvnVxdIsK740(hal, devices[i])) continue;
            one = CheckFunctionBars(hal, devices[i], pageStart, pageEnd, address);
            if (one == OVNVXD_OK) return OVNVXD_OK;
            if (one == OVNVXD_BEYOND_BAR) result = one;
        }
    }
    return result;
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
