/* The pages of a K740 register aperture that are ever mapped: the one holding the GPIO registers
 * and the one holding the I2C engine. The driver core grants them, the library's client and the
 * simulated library reach registers through nothing else, so the three agree by construction. */
#ifndef OVNVXD_GRANT_H
#define OVNVXD_GRANT_H

#include <stdint.h>

#define OVNVXD_APERTURE_LENGTH \
    0x10000u /* the window the utility maps: memMap64(aperture, 64 KiB) */
#define OVNVXD_GRANT_PAGE_SIZE 0x1000u
#define OVNVXD_GPIO_FIRST 0x1798u /* GPIO_SELECT .. GPIO_INPUT, 4 bytes each */
#define OVNVXD_GPIO_LAST 0x17A4u
#define OVNVXD_I2C_FIRST 0x60D0u /* the I2C engine's registers */
#define OVNVXD_I2C_LAST 0x60ECu
#define OVNVXD_GPIO_PAGE (OVNVXD_GPIO_FIRST & ~(OVNVXD_GRANT_PAGE_SIZE - 1))
#define OVNVXD_I2C_PAGE (OVNVXD_I2C_FIRST & ~(OVNVXD_GRANT_PAGE_SIZE - 1))
/* Granted pages sit inside the window; one window has at most this many pages. */
#define OVNVXD_WINDOW_PAGES (OVNVXD_APERTURE_LENGTH / OVNVXD_GRANT_PAGE_SIZE)

#ifdef __cplusplus
static_assert((OVNVXD_GPIO_LAST + 3) / OVNVXD_GRANT_PAGE_SIZE * OVNVXD_GRANT_PAGE_SIZE ==
                  OVNVXD_GPIO_PAGE,
              "the GPIO registers share one page");
static_assert((OVNVXD_I2C_LAST + 3) / OVNVXD_GRANT_PAGE_SIZE * OVNVXD_GRANT_PAGE_SIZE ==
                  OVNVXD_I2C_PAGE,
              "the I2C registers share one page");
#endif

/* Nonzero when the byte at apertureOffset of a register aperture lies in a granted page. */
static inline int OvnVxdGrantedOffset(uint64_t apertureOffset) {
    const uint64_t page = apertureOffset & ~(uint64_t)(OVNVXD_GRANT_PAGE_SIZE - 1);
    return page == OVNVXD_GPIO_PAGE || page == OVNVXD_I2C_PAGE;
}

#endif /* OVNVXD_GRANT_H */
