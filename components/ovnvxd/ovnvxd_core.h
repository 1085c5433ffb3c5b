/* The driver core of OvnVxd.sys: every request's checks and the per-handle mapping table, written
 * against a small hardware-abstraction interface so that the same C code runs in the kernel driver
 * and in the host tests.
 *
 * Ownership: the kernel glue (or a test) owns one OvnVxdHandle per open handle and serialises the
 * calls on it; different handles may be used from different threads at once. */
#ifndef OVNVXD_CORE_H
#define OVNVXD_CORE_H

#include <stdint.h>

#include "components/ovnvxd/ovnvxd_grant.h"
#include "components/ovnvxd/ovnvxd_protocol.h"

#ifdef __cplusplus
extern "C" {
#endif

#define OVNVXD_PAGE_SIZE 4096u

#define OVNVXD_K740_IDENTITY 0x68281002u  /* device 0x6828 << 16 | vendor 0x1002 */
#define OVNVXD_K740_SUBSYSTEM 0x25401FA7u /* subsystem 0x2540 << 16 | subsystem vendor 0x1FA7 */

/* Called once per range of physical RAM; returns nonzero to go on. */
typedef int (*OvnVxdRamVisitor)(void* visitContext, uint64_t base, uint64_t length);

/* The platform under the core. Every function returns nonzero on success. */
typedef struct OvnVxdHal {
    void* context;
    /* size bytes (1, 2 or 4) at offset of a function's configuration space; 0 when no function
     * answers at that address. */
    int (*configRead)(void* context, uint32_t device, uint32_t offset, void* data, uint32_t size);
    int (*configWrite)(void* context, uint32_t device, uint32_t offset, const void* data,
                       uint32_t size);
    /* Calls visit for every range of physical RAM the system has; 0 when the list cannot be had
     * (the core then maps nothing). */
    int (*forEachRamRange)(void* context, OvnVxdRamVisitor visit, void* visitContext);
    /* Maps length bytes (whole pages) of physical address space, page-aligned, into the calling
     * process; *mapping is what unmapPhysical gets back. */
    int (*mapPhysical)(void* context, uint64_t physicalAddress, uint64_t length, void** mapping,
                       uint64_t* userAddress);
    void (*unmapPhysical)(void* context, void* mapping);
} OvnVxdHal;

typedef struct OvnVxdMappingEntry {
    uint32_t id;          /* 0: free */
    uint64_t userAddress; /* of the mapped page */
    void* halMapping;
} OvnVxdMappingEntry;

/* The state of one open handle: the mappings it made, and whether it has been cleaned up. */
typedef struct OvnVxdHandle {
    uint32_t generation;
    uint32_t closed;
    OvnVxdMappingEntry mappings[OVNVXD_MAX_MAPPINGS];
} OvnVxdHandle;

/* seed starts the handle's id sequence, so that two handles rarely hand out the same ids. */
void OvnVxdHandleInit(OvnVxdHandle* handle, uint32_t seed);
/* The handle's cleanup (its close, its owner's exit): releases every mapping it still holds, and
 * every later map request on it is refused with OVNVXD_HANDLE_CLOSED. Calling it again does
 * nothing. */
void OvnVxdHandleCleanup(OvnVxdHandle* handle, const OvnVxdHal* hal);
uint32_t OvnVxdHandleMappingCount(const OvnVxdHandle* handle);

/* One METHOD_BUFFERED request: the request is in buffer[0..inLength), the answer goes to
 * buffer[0..outLength); *answerLength receives the bytes of answer written (0 on failure). */
OvnVxdResult OvnVxdDispatch(OvnVxdHandle* handle, const OvnVxdHal* hal, uint32_t code, void* buffer,
                            uint32_t inLength, uint32_t outLength, uint32_t* answerLength);

/* --- PCI checks, used by the dispatcher and tested on their own --- */

/* Nonzero when a function answers at device (vendor neither 0xFFFF nor 0). */
int OvnVxdFunctionPresent(const OvnVxdHal* hal, uint32_t device);
/* Nonzero when the function's identity and subsystem are a K740's. */
int OvnVxdIsK740(const OvnVxdHal* hal, uint32_t device);

/* Walks the bus space from firstAddress in address order (functions 1-7 only of multi-function
 * devices), storing up to capacity present functions; returns the address to continue from,
 * OVNVXD_ADDRESS_END when done. */
uint32_t OvnVxdWalkFunctions(const OvnVxdHal* hal, uint32_t firstAddress, uint16_t* devices,
                             uint32_t capacity, uint32_t* count);

/* The register aperture of a K740 function, read as the utility's scan reads it (the BAR after
 * BAR0, its low byte cleared), from configuration reads alone: no BAR is ever written or sized.
 * Nonzero only when that BAR is a memory BAR whose own base is the same address and is aligned to
 * the 64 KiB the aperture spans. */
int OvnVxdApertureOf(const OvnVxdHal* hal, uint32_t device, uint64_t* aperture);

/* Nonzero when [base, base + length) meets no RAM the system reports (and the report was had). */
int OvnVxdClearOfRam(const OvnVxdHal* hal, uint64_t base, uint64_t length);

/* Whether [address, address + length), said to lie at apertureOffset of a register aperture, may be
 * mapped: OVNVXD_OK only when it lies in one granted page of a K740 function's aperture and that
 * page is clear of RAM. Reads configuration space only. */
OvnVxdResult OvnVxdCheckMapRange(const OvnVxdHal* hal, uint64_t address, uint32_t apertureOffset,
                                 uint64_t length);

/* Whether a configuration write is one the utility makes: 0x04 setting bit 1, 0xE0 clearing bits
 * 1-0, on a K740. On OVNVXD_OK, the write to make is returned through the three out-parameters. */
OvnVxdResult OvnVxdCheckConfigWrite(const OvnVxdHal* hal, uint32_t device, uint32_t offset,
                                    uint32_t size, uint32_t value, uint32_t* writeOffset,
                                    uint32_t* writeValue, uint32_t* writeSize);

/* "OVNVXD_NOT_K740" and so on, for messages and test output. */
const char* OvnVxdResultName(OvnVxdResult result);

#ifdef __cplusplus
}
#endif

#endif /* OVNVXD_CORE_H */
