// Structural check of an XSVF image before any hardware is touched.
#pragma once

#include <cstdint>
#include <string>

#include "xsvf/xsvf_decode.h"

// The first structural fault of an image, as the player would meet it.
struct tagXsvfValidation {
    std::int32_t code = 0;           // 0, or the player's code: 4, 5 or 6
    std::int32_t commandIndex = -1;  // 0-based index of the faulty command
    std::uint8_t command = 0;        // its code (0 when the image ends before a command byte)
    std::uint32_t byteOffset = 0;    // offset of its command byte (the image size at the end)
    std::string reason;              // short English text, e.g. "illegal command 0x1B"
    std::int32_t commandCount = 0;   // commands read, XCOMPLETE or the faulty one included
    // Upper bound of the TCK pulses a play makes (all retries failing), saturating: what a caller
    // needs to tell a long image from one that would clock for hours.
    std::uint64_t worstCaseTckPulses = 0;
};

// Walks the command stream exactly as playXsvf reads it, tracking the TAP state without pins.
// Accepts (code 0) every image the player can play to XCOMPLETE.
tagXsvfValidation validateXsvf(const std::uint8_t* image, std::uint32_t size);

// The fault as the utility states it when it refuses the image: "illegal command 0x1B (command 1
// at byte offset 2, error code 4)"; empty for a valid image.
std::string describeXsvfFault(const tagXsvfValidation& validation);
