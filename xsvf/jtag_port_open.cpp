// Opening the card's JTAG port: its PCI function and GPIO pins set up, then the pacing calibrated.
#include "xsvf/jtag_port_open.h"

#include "xsvf/calibration.h"

void openJtagPort(tagJtagPort* port) {
    std::uint32_t value = 0;
    csRead32(port->pciHandle, 0x04, &value);
    csWrite32(port->pciHandle, 0x04, value | 0x2);  // memory space enable
    value = 0;
    csRead32(port->pciHandle, 0xE0, &value);
    csWrite32(port->pciHandle, 0xE0, value & ~0x3u);

    writeGpio(GPIO_SELECT, GPIO_AUX_MASK, port);
    writeGpio(GPIO_OUTPUT_ENABLE, GPIO_AUX_MASK, port);
    writeGpio(GPIO_OUTPUT, GPIO_AUX_MASK, port);
    writeGpio(GPIO_SELECT, GPIO_TCK_MASK | GPIO_TDI_MASK | GPIO_TMS_MASK | GPIO_TDO_MASK, port);
    writeGpio(GPIO_OUTPUT_ENABLE, GPIO_TCK_MASK | GPIO_TDI_MASK | GPIO_TMS_MASK, port);
    setJtagPin(JTAG_TMS, true, port);
    setJtagPin(JTAG_TCK, false, port);

    calibrateGpioDelay(port);
    setJtagPin(JTAG_TDI, false, port);
}
