// The XSVF command set: each command's argument layout, and the one decoder of the stream that the
// player and the image validation share.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "xsvf/bit_vector.h"

// Error codes of a play.
inline constexpr std::int32_t XSVF_OK = 0;
inline constexpr std::int32_t XSVF_TDO_MISMATCH = 2;
inline constexpr std::int32_t XSVF_TDO_MISMATCH_RETRIES = 3;
inline constexpr std::int32_t XSVF_ILLEGAL_COMMAND = 4;  // also: the image ends before XCOMPLETE
inline constexpr std::int32_t XSVF_ILLEGAL_STATE = 5;
inline constexpr std::int32_t XSVF_DATA_OVERFLOW = 6;  // also: the vector buffers cannot be had

// Command codes.
inline constexpr std::uint8_t XCOMPLETE = 0;
inline constexpr std::uint8_t XTDOMASK = 1;
inline constexpr std::uint8_t XSIR = 2;
inline constexpr std::uint8_t XSDR = 3;
inline constexpr std::uint8_t XRUNTEST = 4;
inline constexpr std::uint8_t XREPEAT = 7;
inline constexpr std::uint8_t XSDRSIZE = 8;
inline constexpr std::uint8_t XSDRTDO = 9;
inline constexpr std::uint8_t XSETSDRMASKS = 10;
inline constexpr std::uint8_t XSDRINC = 11;
inline constexpr std::uint8_t XSDRB = 12;
inline constexpr std::uint8_t XSDRC = 13;
inline constexpr std::uint8_t XSDRE = 14;
inline constexpr std::uint8_t XSDRTDOB = 15;
inline constexpr std::uint8_t XSDRTDOC = 16;
inline constexpr std::uint8_t XSDRTDOE = 17;
inline constexpr std::uint8_t XSTATE = 18;
inline constexpr std::uint8_t XENDIR = 19;
inline constexpr std::uint8_t XENDDR = 20;
inline constexpr std::uint8_t XSIR2 = 21;
inline constexpr std::uint8_t XCOMMENT = 22;
inline constexpr std::uint8_t XWAIT = 23;
inline constexpr int XSVF_COMMAND_COUNT = 24;

// Largest XSDRSIZE: what the vector buffers hold.
inline constexpr std::uint32_t XSVF_MAX_SHIFT_BITS =
    static_cast<std::uint32_t>(BIT_VECTOR_CAPACITY) * 8;

// How long one argument is.
enum class XsvfArg : std::uint8_t {
    kNone,           // no further argument
    kByte,           // one byte
    kNumber2,        // two bytes, most significant first
    kNumber4,        // four bytes, most significant first
    kShiftVector,    // the bytes of the current XSDRSIZE
    kBitsVector,     // the bytes of as many bits as the previous argument says
    kIncrementData,  // previous argument × the bytes of the data mask's 1 bits
    kText,           // bytes up to and including a zero byte
};

struct tagXsvfLayout {
    bool legal;
    std::array<XsvfArg, 3> args;
};

// The argument layout of every command code, indexed by code.
constexpr std::array<tagXsvfLayout, XSVF_COMMAND_COUNT> xsvfLayouts() {
    using enum XsvfArg;
    return {{
        {true, {}},                                     // XCOMPLETE
        {true, {kShiftVector}},                         // XTDOMASK: mask
        {true, {kByte, kBitsVector}},                   // XSIR: bits, TDI
        {true, {kShiftVector}},                         // XSDR: TDI
        {true, {kNumber4}},                             // XRUNTEST: microseconds
        {false, {}},                                    // 5
        {false, {}},                                    // 6
        {true, {kByte}},                                // XREPEAT: retries
        {true, {kNumber4}},                             // XSDRSIZE: bits
        {true, {kShiftVector, kShiftVector}},           // XSDRTDO: TDI, expected TDO
        {true, {kShiftVector, kShiftVector}},           // XSETSDRMASKS: address, data mask
        {true, {kShiftVector, kByte, kIncrementData}},  // XSDRINC: TDI, count, data
        {true, {kShiftVector}},                         // XSDRB: TDI
        {true, {kShiftVector}},                         // XSDRC: TDI
        {true, {kShiftVector}},                         // XSDRE: TDI
        {true, {kShiftVector, kShiftVector}},           // XSDRTDOB: TDI, expected TDO
        {true, {kShiftVector, kShiftVector}},           // XSDRTDOC: TDI, expected TDO
        {true, {kShiftVector, kShiftVector}},           // XSDRTDOE: TDI, expected TDO
        {true, {kByte}},                                // XSTATE: state
        {true, {kByte}},                                // XENDIR: 0 idle, 1 pause
        {true, {kByte}},                                // XENDDR: 0 idle, 1 pause
        {true, {kNumber2, kBitsVector}},                // XSIR2: bits, TDI
        {true, {kText}},                                // XCOMMENT: text
        {true, {kByte, kByte, kNumber4}},               // XWAIT: wait state, end state, time
    }};
}
inline constexpr std::array<tagXsvfLayout, XSVF_COMMAND_COUNT> kXsvfLayouts = xsvfLayouts();

// The lengths that earlier commands set for later ones; the decoder keeps them up to date.
struct tagXsvfLengths {
    std::int32_t shiftBits = 0;     // XSDRSIZE
    std::int32_t shiftBytes = 0;    // its bytes
    std::int32_t dataMaskOnes = 0;  // 1 bits of XSETSDRMASKS' data mask
};

// Why a command could not be decoded.
enum class XsvfFault : std::uint8_t {
    kNone,
    kEnd,        // the image ends before a command byte (before XCOMPLETE)
    kTruncated,  // the image ends inside the command's arguments
    kIllegal,    // no such command
    kOverflow,   // XSDRSIZE beyond the vector buffers
};

// One command of the stream as decoded, or the fault that stops the stream at offset.
struct tagXsvfCommand {
    std::uint8_t code = 0;     // 0 when the image ended before a command byte
    std::uint32_t offset = 0;  // of the command byte
    std::uint32_t length = 0;  // command byte and arguments; 0 on a fault
    XsvfFault fault = XsvfFault::kNone;
    std::int32_t error = XSVF_OK;  // the player's code for the fault
    std::array<std::span<const std::uint8_t>, 3> args{};

    // Big-endian value of argument i (its last four bytes).
    std::uint32_t Number(int i) const {
        std::uint32_t value = 0;
        for (std::uint8_t b : args[static_cast<std::size_t>(i)]) value = (value << 8) | b;
        return value;
    }
};

// Decodes the command at offset. A command is decoded only when all its arguments lie within the
// image, so nothing past the last byte is ever read. On success lengths takes what the command
// sets (XSDRSIZE, XSETSDRMASKS).
tagXsvfCommand decodeXsvf(std::span<const std::uint8_t> image, std::uint32_t offset,
                          tagXsvfLengths& lengths);

// Name of a command code ("XSDRTDO"), or "illegal" for codes without one.
const char* xsvfCommandName(std::uint8_t command);
