/* The NTSTATUS the kernel driver completes each result of the driver core with. User mode sees it
 * as the Win32 error the system maps it to; the Wine probe prints that table. */
#ifndef OVNVXD_STATUS_H
#define OVNVXD_STATUS_H

#include <stdint.h>

#include "components/ovnvxd/ovnvxd_protocol.h"

static inline uint32_t OvnVxdStatusOf(OvnVxdResult result) {
    switch (result) {
        case OVNVXD_OK:
            return 0x00000000u; /* STATUS_SUCCESS */
        case OVNVXD_BAD_VERSION:
            return 0xC0000059u; /* STATUS_REVISION_MISMATCH */
        case OVNVXD_BAD_LENGTH:
            return 0xC0000004u; /* STATUS_INFO_LENGTH_MISMATCH */
        case OVNVXD_BAD_PARAMETER:
            return 0xC000000Du; /* STATUS_INVALID_PARAMETER */
        case OVNVXD_UNKNOWN_REQUEST:
            return 0xC0000010u; /* STATUS_INVALID_DEVICE_REQUEST */
        case OVNVXD_NO_DEVICE:
            return 0xC000000Eu; /* STATUS_NO_SUCH_DEVICE */
        case OVNVXD_NOT_K740:
        case OVNVXD_WRITE_REFUSED:
        case OVNVXD_NOT_GRANTED:
            return 0xC0000022u; /* STATUS_ACCESS_DENIED */
        case OVNVXD_BEYOND_GRANT:
            return 0xC0000206u; /* STATUS_INVALID_BUFFER_SIZE */
        case OVNVXD_OVER_RAM:
            return 0xC0000018u; /* STATUS_CONFLICTING_ADDRESSES */
        case OVNVXD_HANDLE_CLOSED:
            return 0xC0000128u; /* STATUS_FILE_CLOSED */
        case OVNVXD_NO_SUCH_MAPPING:
            return 0xC0000008u; /* STATUS_INVALID_HANDLE */
        case OVNVXD_TOO_MANY_MAPPINGS:
        case OVNVXD_MAP_FAILED:
        default:
            return 0xC000009Au; /* STATUS_INSUFFICIENT_RESOURCES */
    }
}

#endif /* OVNVXD_STATUS_H */
