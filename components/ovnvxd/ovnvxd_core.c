/* The driver core's request dispatch and per-handle mapping table. */
#include "components/ovnvxd/ovnvxd_core.h"

#define SLOT_BITS 8u /* mapping id = generation << 8 | slot + 1 */

void OvnVxdHandleInit(OvnVxdHandle* handle, uint32_t seed) {
    uint32_t i;
    handle->generation = seed & 0x00FFFFFFu;
    handle->closed = 0;
    for (i = 0; i < OVNVXD_MAX_MAPPINGS; ++i) {
        handle->mappings[i].id = 0;
        handle->mappings[i].userAddress = 0;
        handle->mappings[i].halMapping = 0;
    }
}

static void ReleaseEntry(OvnVxdMappingEntry* entry, const OvnVxdHal* hal) {
    hal->unmapPhysical(hal->context, entry->halMapping);
    entry->id = 0;
    entry->userAddress = 0;
    entry->halMapping = 0;
}

void OvnVxdHandleCleanup(OvnVxdHandle* handle, const OvnVxdHal* hal) {
    uint32_t i;
    handle->closed = 1;
    for (i = 0; i < OVNVXD_MAX_MAPPINGS; ++i) {
        if (handle->mappings[i].id != 0) ReleaseEntry(&handle->mappings[i], hal);
    }
}

uint32_t OvnVxdHandleMappingCount(const OvnVxdHandle* handle) {
    uint32_t i, count = 0;
    for (i = 0; i < OVNVXD_MAX_MAPPINGS; ++i) count += handle->mappings[i].id != 0;
    return count;
}

static OvnVxdResult ConfigRead(const OvnVxdHal* hal, void* buffer, uint32_t* answerLength) {
    const OvnVxdConfigRead* request = (const OvnVxdConfigRead*)buffer;
    const uint32_t device = request->device, offset = request->offset, size = request->size;
    OvnVxdConfigReadAnswer* answer = (OvnVxdConfigReadAnswer*)buffer;
    uint32_t value = 0;
    if (device > 0xFFFFu || (size != 1 && size != 2 && size != 4) || offset >= 256u ||
        size > 256u - offset) {
        return OVNVXD_BAD_PARAMETER;
    }
    if (!hal->configRead(hal->context, device, offset, &value, size)) return OVNVXD_NO_DEVICE;
    answer->version = OVNVXD_PROTOCOL_VERSION;
    answer->value = value;
    *answerLength = sizeof *answer;
    return OVNVXD_OK;
}

static OvnVxdResult ConfigWrite(const OvnVxdHal* hal, const void* buffer) {
    const OvnVxdConfigWrite* request = (const OvnVxdConfigWrite*)buffer;
    uint32_t offset = 0, value = 0, size = 0;
    OvnVxdResult result =
        OvnVxdCheckConfigWrite(hal, request->device, request->offset, request->size, request->value,
                               &offset, &value, &size);
    if (result != OVNVXD_OK) return result;
    return hal->configWrite(hal->context, request->device, offset, &value, size) ? OVNVXD_OK
                                                                                 : OVNVXD_NO_DEVICE;
}

static OvnVxdResult Enumerate(const OvnVxdHal* hal, void* buffer, uint32_t* answerLength) {
    const uint32_t first = ((const OvnVxdEnumerate*)buffer)->firstAddress;
    OvnVxdEnumerateAnswer* answer = (OvnVxdEnumerateAnswer*)buffer;
    uint32_t count = 0, next, i;
    if (first > OVNVXD_ADDRESS_END) return OVNVXD_BAD_PARAMETER;
    next = OvnVxdWalkFunctions(hal, first, answer->devices, OVNVXD_ENUMERATE_BATCH, &count);
    for (i = count; i < OVNVXD_ENUMERATE_BATCH; ++i) answer->devices[i] = 0;
    answer->version = OVNVXD_PROTOCOL_VERSION;
    answer->count = count;
    answer->nextAddress = next;
    answer->reserved = 0;
    *answerLength = sizeof *answer;
    return OVNVXD_OK;
}

static OvnVxdResult Map(OvnVxdHandle* handle, const OvnVxdHal* hal, void* buffer,
                        uint32_t* answerLength) {
    const OvnVxdMap* request = (const OvnVxdMap*)buffer;
    const uint64_t address = request->physicalAddress, length = request->length;
    const uint64_t pageStart = address & ~(uint64_t)(OVNVXD_PAGE_SIZE - 1);
    OvnVxdMapAnswer* answer = (OvnVxdMapAnswer*)buffer;
    OvnVxdMappingEntry* entry = 0;
    uint64_t userAddress = 0;
    uint32_t slot;
    void* halMapping = 0;
    OvnVxdResult result;
    /* A map that waited while the handle was cleaned up must not outlive the cleanup. */
    if (handle->closed) return OVNVXD_HANDLE_CLOSED;
    result = OvnVxdCheckMapRange(hal, address, request->apertureOffset, length);
    if (result != OVNVXD_OK) return result;
    for (slot = 0; slot < OVNVXD_MAX_MAPPINGS && entry == 0; ++slot) {
        if (handle->mappings[slot].id == 0) entry = &handle->mappings[slot];
    }
    if (entry == 0) return OVNVXD_TOO_MANY_MAPPINGS;
    slot = (uint32_t)(entry - handle->mappings);
    /* Exactly the one granted page: the check above keeps the range inside it. */
    if (!hal->mapPhysical(hal->context, pageStart, OVNVXD_PAGE_SIZE, &halMapping, &userAddress)) {
        return OVNVXD_MAP_FAILED;
    }
    handle->generation = (handle->generation + 1) & 0x00FFFFFFu;
    if (handle->generation == 0) handle->generation = 1;
    entry->id = (handle->generation << SLOT_BITS) | (slot + 1);
    entry->userAddress = userAddress;
    entry->halMapping = halMapping;
    answer->version = OVNVXD_PROTOCOL_VERSION;
    answer->mapping = entry->id;
    answer->userAddress = userAddress + (address - pageStart);
    *answerLength = sizeof *answer;
    return OVNVXD_OK;
}

static OvnVxdResult Unmap(OvnVxdHandle* handle, const OvnVxdHal* hal, const void* buffer) {
    const uint32_t id = ((const OvnVxdUnmap*)buffer)->mapping;
    const uint32_t slot = (id & ((1u << SLOT_BITS) - 1)) - 1;
    if (id == 0 || slot >= OVNVXD_MAX_MAPPINGS || handle->mappings[slot].id != id) {
        return OVNVXD_NO_SUCH_MAPPING;
    }
    ReleaseEntry(&handle->mappings[slot], hal);
    return OVNVXD_OK;
}

/* Exact sizes: a request of another size is another layout, whatever its version word says. */
static int Sizes(uint32_t code, uint32_t* in, uint32_t* out) {
    switch (code) {
        case OVNVXD_IOCTL_CONFIG_READ:
            *in = sizeof(OvnVxdConfigRead);
            *out = sizeof(OvnVxdConfigReadAnswer);
            return 1;
        case OVNVXD_IOCTL_CONFIG_WRITE:
            *in = sizeof(OvnVxdConfigWrite);
            *out = 0;
            return 1;
        case OVNVXD_IOCTL_ENUMERATE:
            *in = sizeof(OvnVxdEnumerate);
            *out = sizeof(OvnVxdEnumerateAnswer);
            return 1;
        case OVNVXD_IOCTL_MAP:
            *in = sizeof(OvnVxdMap);
            *out = sizeof(OvnVxdMapAnswer);
            return 1;
        case OVNVXD_IOCTL_UNMAP:
            *in = sizeof(OvnVxdUnmap);
            *out = 0;
            return 1;
        default:
            return 0;
    }
}

OvnVxdResult OvnVxdDispatch(OvnVxdHandle* handle, const OvnVxdHal* hal, uint32_t code, void* buffer,
                            uint32_t inLength, uint32_t outLength, uint32_t* answerLength) {
    uint32_t in = 0, out = 0;
    *answerLength = 0;
    if (!Sizes(code, &in, &out)) return OVNVXD_UNKNOWN_REQUEST;
    if (buffer == 0 || inLength != in || outLength != out) return OVNVXD_BAD_LENGTH;
    if (*(const uint32_t*)buffer != OVNVXD_PROTOCOL_VERSION) return OVNVXD_BAD_VERSION;
    switch (code) {
        case OVNVXD_IOCTL_CONFIG_READ:
            return ConfigRead(hal, buffer, answerLength);
        case OVNVXD_IOCTL_CONFIG_WRITE:
            return ConfigWrite(hal, buffer);
        case OVNVXD_IOCTL_ENUMERATE:
            return Enumerate(hal, buffer, answerLength);
        case OVNVXD_IOCTL_MAP:
            return Map(handle, hal, buffer, answerLength);
        default:
            return Unmap(handle, hal, buffer);
    }
}

const char* OvnVxdResultName(OvnVxdResult result) {
    static const char* const kNames[OVNVXD_RESULT_COUNT] = {"OVNVXD_OK",
                                                            "OVNVXD_BAD_VERSION",
                                                            "OVNVXD_BAD_LENGTH",
                                                            "OVNVXD_BAD_PARAMETER",
                                                            "OVNVXD_UNKNOWN_REQUEST",
                                                            "OVNVXD_NO_DEVICE",
                                                            "OVNVXD_NOT_K740",
                                                            "OVNVXD_WRITE_REFUSED",
                                                            "OVNVXD_NOT_GRANTED",
                                                            "OVNVXD_BEYOND_GRANT",
                                                            "OVNVXD_NO_SUCH_MAPPING",
                                                            "OVNVXD_TOO_MANY_MAPPINGS",
                                                            "OVNVXD_MAP_FAILED",
                                                            "OVNVXD_OVER_RAM",
                                                            "OVNVXD_HANDLE_CLOSED"};
    return (unsigned)result < OVNVXD_RESULT_COUNT ? kNames[result] : "OVNVXD_?";
}
