// XSVF interpreter: plays one image into the JTAG chain of one card.
#pragma once

#include <cstdint>

#include "xsvf/bit_vector.h"
#include "xsvf/device_update.h"

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

// State of one play; owned by playXsvf on the card's worker thread and discarded when it returns.
struct tagXsvfContext {
    std::uint8_t complete = 0;
    std::uint8_t command = 0;
    std::int32_t commandCount = 0;
    std::int32_t error = 0;
    std::uint8_t tapState = 0;
    std::uint8_t endIR = 1;
    std::uint8_t endDR = 1;
    std::uint8_t maxRepeat = 0;
    std::int32_t runTestTime = 0;
    std::int32_t shiftBits = 0;
    std::int32_t shiftBytes = 0;
    tagBitVector tdi;
    tagBitVector tdoExpected;
    tagBitVector tdoCaptured;
    tagBitVector tdoMask;
    tagBitVector addressMask;
    tagBitVector dataMask;
    tagBitVector nextData;

    // Diagnostics: where the current command starts, and whether its compare used tdoMask.
    const std::uint8_t* imageStart = nullptr;
    std::int32_t commandIndex = 0;
    std::uint32_t commandOffset = 0;
    bool comparedUnderMask = false;
};

// Plays the image at port->imageCursor / imageSize; returns the error code (0 = XCOMPLETE reached)
// and fills port->failure on failure.
std::int32_t playXsvf(tagDeviceUpdate* port);

// Reads and executes one command; returns the context's error field. The vectors must point at
// buffers of BIT_VECTOR_CAPACITY bytes.
std::int32_t stepXsvf(tagXsvfContext& context, tagDeviceUpdate* port);
