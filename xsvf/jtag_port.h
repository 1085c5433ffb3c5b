// GPIO JTAG port of one card: paced register writes, pins, TDO, open and close.
#pragma once

#include <cstdint>

#include "hwaccess/driver_access.h"
#include "xsvf/device_update.h"

// GPIO registers in the card's register aperture.
inline constexpr std::uint32_t GPIO_SELECT = 0x1798;
inline constexpr std::uint32_t GPIO_OUTPUT = 0x179C;
inline constexpr std::uint32_t GPIO_OUTPUT_ENABLE = 0x17A0;
inline constexpr std::uint32_t GPIO_INPUT = 0x17A4;

// Pin codes of setJtagPin.
inline constexpr int JTAG_TCK = 0;
inline constexpr int JTAG_TMS = 1;
inline constexpr int JTAG_TDI = 2;

// Signal bits in the GPIO registers; TDI is wired to three pins that always carry the same level.
inline constexpr std::uint32_t GPIO_TCK_MASK = 0x20000000;
inline constexpr std::uint32_t GPIO_TMS_MASK = 0x00000020;
inline constexpr std::uint32_t GPIO_TDI_MASK = 0x00003800;
inline constexpr std::uint32_t GPIO_TDO_MASK = 0x00000007;
inline constexpr std::uint32_t GPIO_AUX_MASK = 0x40000000;
inline constexpr std::uint32_t GPIO_END_PULSE_MASK = 0x00000040;

// The fixed unit of pacing work. The volatile counter keeps the optimiser from removing the loop.
inline void busyWaitIterations(std::uint32_t iterations) {
    volatile std::uint64_t counter = 2;
    for (std::uint32_t i = 0; i < iterations; ++i) counter = counter + 3;
}

// Register write followed by the pacing wait. Slow hosts (16 and up) also repeat the write once so
// the card sees the level even when the first posted write is merged away.
inline void writeGpio(std::uint32_t offset, std::uint32_t value, tagJtagPort* port) {
    memWrite32(port->regHandle, offset, value);
    std::uint32_t iterations = port->delayCount;
    if (iterations >= 16) {
        memWrite32(port->regHandle, offset, value);
        if (iterations < 38) iterations = 38;
    }
    if (iterations != 0) busyWaitIterations(iterations);
    if (offset == GPIO_OUTPUT) port->gpioOut = value;
}

inline std::uint32_t jtagPinMask(int pin) {
    switch (pin) {
        case JTAG_TCK:
            return GPIO_TCK_MASK;
        case JTAG_TMS:
            return GPIO_TMS_MASK;
        case JTAG_TDI:
            return GPIO_TDI_MASK;
        default:
            return 0;
    }
}

// TMS and TDI only collect in gpioOut; a TCK edge is a write of its own, preceded by a write that
// presents the collected data lines with TCK unchanged.
inline void setJtagPin(int pin, bool level, tagJtagPort* port) {
    std::uint32_t mask = jtagPinMask(pin);
    std::uint32_t next = level ? (port->gpioOut | mask) : (port->gpioOut & ~mask);
    if (pin != JTAG_TCK) {
        port->gpioOut = next;
        return;
    }
    if ((next ^ port->gpioOut) & GPIO_TCK_MASK) writeGpio(GPIO_OUTPUT, port->gpioOut, port);
    writeGpio(GPIO_OUTPUT, next, port);
}

// Input bits 0..2; the shifter uses bit 0. A failed read reads as 0.
inline std::uint32_t readTdo(tagJtagPort* port) {
    std::uint32_t value = 0;
    memRead32(port->regHandle, GPIO_INPUT, &value);
    return value & GPIO_TDO_MASK;
}

inline void pulseTck(tagJtagPort* port) {
    setJtagPin(JTAG_TCK, true, port);
    setJtagPin(JTAG_TCK, false, port);
}

// Releases the pins; mode 1 first gives the end pulse.
void closeJtagPort(tagJtagPort* port, std::int32_t mode);

// The performance counter in microseconds (truncated to 32 bits), and raw.
std::int32_t microsecondsNow();
std::int64_t ticksNow();
