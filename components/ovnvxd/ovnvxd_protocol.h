/* The IOCTL protocol between OvnVxd.dll and OvnVxd.sys: request codes, versioned layouts, results.
 *
 * Shared by the kernel driver (C), the driver core (C) and the library's client (C++). Every layout
 * has fixed-width fields only and the same size on i686 and x86_64, so a 32-bit library on 64-bit
 * Windows talks to the 64-bit driver unchanged. Every request and response begins with the protocol
 * version; the driver refuses any other version. METHOD_BUFFERED: one system buffer carries the
 * request in and the response out. */
#ifndef OVNVXD_PROTOCOL_H
#define OVNVXD_PROTOCOL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define OVNVXD_PROTOCOL_VERSION 0x4F560002u /* "OV", layout 2 */

/* Device names: the kernel's and the one user mode opens. */
#define OVNVXD_KERNEL_DEVICE_NAME L"\\Device\\OvnVxd"
#define OVNVXD_KERNEL_LINK_NAME L"\\DosDevices\\OvnVxd"
#define OVNVXD_USER_DEVICE_PATH L"\\\\.\\OvnVxd"

/* CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS),
 * spelled out so that user mode and the host build need no Windows header. */
#define OVNVXD_IOCTL(function) ((0x22u << 16) | (3u << 14) | ((uint32_t)(function) << 2) | 0u)
#define OVNVXD_IOCTL_CONFIG_READ OVNVXD_IOCTL(0x900)
#define OVNVXD_IOCTL_CONFIG_WRITE OVNVXD_IOCTL(0x901)
#define OVNVXD_IOCTL_ENUMERATE OVNVXD_IOCTL(0x902)
#define OVNVXD_IOCTL_MAP OVNVXD_IOCTL(0x903)
#define OVNVXD_IOCTL_UNMAP OVNVXD_IOCTL(0x904)

/* Results of the driver core. The kernel driver turns each into an NTSTATUS, the library sees that
 * as a Win32 error (see OvnVxdResultName and ovnvxd_driver.c). */
typedef enum OvnVxdResult {
    OVNVXD_OK = 0,
    OVNVXD_BAD_VERSION = 1,      /* request's version is not OVNVXD_PROTOCOL_VERSION */
    OVNVXD_BAD_LENGTH = 2,       /* input or output buffer of the wrong size */
    OVNVXD_BAD_PARAMETER = 3,    /* offset, size, address or length out of range or wrapping */
    OVNVXD_UNKNOWN_REQUEST = 4,  /* not one of the five request codes */
    OVNVXD_NO_DEVICE = 5,        /* no PCI function at that address */
    OVNVXD_NOT_K740 = 6,         /* configuration write to a function that is not a K740 */
    OVNVXD_WRITE_REFUSED = 7,    /* configuration write to another offset, size or bit */
    OVNVXD_NOT_GRANTED = 8,      /* mapping outside the granted pages of every K740 aperture */
    OVNVXD_BEYOND_GRANT = 9,     /* mapping longer than the rest of its granted page */
    OVNVXD_NO_SUCH_MAPPING = 10, /* unmapping a mapping this handle does not hold */
    OVNVXD_TOO_MANY_MAPPINGS = 11,
    OVNVXD_MAP_FAILED = 12,    /* the system could not map the page */
    OVNVXD_OVER_RAM = 13,      /* the page overlaps physical memory, or RAM could not be listed */
    OVNVXD_HANDLE_CLOSED = 14, /* the handle has been cleaned up: it takes no new mapping */
    OVNVXD_RESULT_COUNT = 15
} OvnVxdResult;

/* Most mappings one handle may hold at once. */
#define OVNVXD_MAX_MAPPINGS 64
/* Functions per enumeration answer; the caller continues from nextAddress. */
#define OVNVXD_ENUMERATE_BATCH 256
/* Enumeration is complete when nextAddress reaches this (one past bus 255, device 31, fn 7). */
#define OVNVXD_ADDRESS_END 0x10000u

typedef struct OvnVxdConfigRead {
    uint32_t version;
    uint32_t device; /* bus << 8 | device << 3 | function */
    uint32_t offset; /* 0..255, offset + size <= 256 */
    uint32_t size;   /* 1, 2 or 4 */
} OvnVxdConfigRead;

typedef struct OvnVxdConfigReadAnswer {
    uint32_t version;
    uint32_t value; /* the bytes read, little-endian, upper bytes 0 */
} OvnVxdConfigReadAnswer;

typedef struct OvnVxdConfigWrite {
    uint32_t version;
    uint32_t device;
    uint32_t offset; /* 0x04 or 0xE0 */
    uint32_t size;   /* 4 */
    uint32_t value;
} OvnVxdConfigWrite;

typedef struct OvnVxdEnumerate {
    uint32_t version;
    uint32_t firstAddress; /* 0 to start */
} OvnVxdEnumerate;

typedef struct OvnVxdEnumerateAnswer {
    uint32_t version;
    uint32_t count;       /* entries used in devices */
    uint32_t nextAddress; /* OVNVXD_ADDRESS_END when the whole bus space has been walked */
    uint32_t reserved;
    uint16_t devices[OVNVXD_ENUMERATE_BATCH];
} OvnVxdEnumerateAnswer;

/* One page of a K740 register aperture, or part of one: the aperture is the function's BAR after
 * BAR0 (OvnVxdApertureOf), and only its granted pages (ovnvxd_grant.h) are ever mapped. The caller
 * names the offset it expects the page at, so that the driver and the caller agree on which
 * register each byte is. */
typedef struct OvnVxdMap {
    uint32_t version;
    uint32_t apertureOffset; /* offset of physicalAddress inside its register aperture */
    uint64_t physicalAddress;
    uint64_t length; /* 1 .. the rest of the granted page */
} OvnVxdMap;

typedef struct OvnVxdMapAnswer {
    uint32_t version;
    uint32_t mapping;     /* nonzero id, valid for this handle only */
    uint64_t userAddress; /* where physicalAddress is in the caller's address space */
} OvnVxdMapAnswer;

typedef struct OvnVxdUnmap {
    uint32_t version;
    uint32_t mapping;
} OvnVxdUnmap;

/* The layouts are the protocol: any change of size is a new version. */
#ifdef __cplusplus
#define OVNVXD_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define OVNVXD_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
OVNVXD_STATIC_ASSERT(sizeof(OvnVxdConfigRead) == 16, "layout");
OVNVXD_STATIC_ASSERT(sizeof(OvnVxdConfigReadAnswer) == 8, "layout");
OVNVXD_STATIC_ASSERT(sizeof(OvnVxdConfigWrite) == 20, "layout");
OVNVXD_STATIC_ASSERT(sizeof(OvnVxdEnumerate) == 8, "layout");
OVNVXD_STATIC_ASSERT(sizeof(OvnVxdEnumerateAnswer) == 16 + 2 * OVNVXD_ENUMERATE_BATCH, "layout");
OVNVXD_STATIC_ASSERT(sizeof(OvnVxdMap) == 24, "layout");
OVNVXD_STATIC_ASSERT(sizeof(OvnVxdMapAnswer) == 16, "layout");
OVNVXD_STATIC_ASSERT(sizeof(OvnVxdUnmap) == 8, "layout");

#ifdef __cplusplus
}
#endif

#endif /* OVNVXD_PROTOCOL_H */
