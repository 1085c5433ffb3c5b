// The XSVF decoder: a command's arguments cut from the image by its layout, all before any is used.
#include "xsvf/xsvf_decode.h"

#include <algorithm>
#include <bit>

namespace {

tagXsvfCommand fault(tagXsvfCommand command, XsvfFault why, std::int32_t error) {
    command.fault = why;
    command.error = error;
    command.length = 0;
    command.args = {};
    return command;
}

// Bytes of one argument, or -1 when its length runs past the image. previous is the value of the
// argument before it (a bit count or an increment count).
std::int64_t argumentBytes(XsvfArg arg, std::span<const std::uint8_t> rest, std::uint32_t previous,
                           const tagXsvfLengths& lengths) {
    switch (arg) {
        case XsvfArg::kNone:
            return 0;
        case XsvfArg::kByte:
            return 1;
        case XsvfArg::kNumber2:
            return 2;
        case XsvfArg::kNumber4:
            return 4;
        case XsvfArg::kShiftVector:
            return lengths.shiftBytes;
        case XsvfArg::kBitsVector:
            return vectorBytes(static_cast<std::int32_t>(previous));
        case XsvfArg::kIncrementData:
            return static_cast<std::int64_t>(previous) * vectorBytes(lengths.dataMaskOnes);
        case XsvfArg::kText: {
            auto end = std::find(rest.begin(), rest.end(), std::uint8_t{0});
            return end == rest.end() ? -1 : (end - rest.begin()) + 1;
        }
    }
    return 0;
}

// The lengths the command sets for the ones after it; false when XSDRSIZE exceeds the buffers.
bool applyLengths(const tagXsvfCommand& command, tagXsvfLengths& lengths) {
    if (command.code == XSDRSIZE) {
        // Sizes of 2^31 bits and more would be negative as int32: refused like every size too big.
        const std::uint32_t bits = command.Number(0);
        if (bits > XSVF_MAX_SHIFT_BITS) return false;
        lengths.shiftBits = static_cast<std::int32_t>(bits);
        lengths.shiftBytes = vectorBytes(lengths.shiftBits);
    } else if (command.code == XSETSDRMASKS) {
        lengths.dataMaskOnes = 0;
        for (std::uint8_t b : command.args[1]) lengths.dataMaskOnes += std::popcount(b);
    }
    return true;
}

}  // namespace

tagXsvfCommand decodeXsvf(std::span<const std::uint8_t> image, std::uint32_t offset,
                          tagXsvfLengths& lengths) {
    tagXsvfCommand command;
    command.offset = offset;
    if (offset >= image.size()) return fault(command, XsvfFault::kEnd, XSVF_ILLEGAL_COMMAND);
    command.code = image[offset];
    if (command.code >= XSVF_COMMAND_COUNT || !kXsvfLayouts[command.code].legal) {
        return fault(command, XsvfFault::kIllegal, XSVF_ILLEGAL_COMMAND);
    }
    std::span<const std::uint8_t> rest = image.subspan(offset + 1);
    std::uint32_t previous = 0;
    std::size_t used = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const XsvfArg arg = kXsvfLayouts[command.code].args[i];
        if (arg == XsvfArg::kNone) break;
        const std::int64_t bytes = argumentBytes(arg, rest.subspan(used), previous, lengths);
        if (bytes < 0 || static_cast<std::uint64_t>(bytes) > rest.size() - used) {
            return fault(command, XsvfFault::kTruncated, XSVF_ILLEGAL_COMMAND);
        }
        command.args[i] = rest.subspan(used, static_cast<std::size_t>(bytes));
        used += static_cast<std::size_t>(bytes);
        // Only a number sizes the argument after it; vectors are never summed up here.
        if (arg == XsvfArg::kByte || arg == XsvfArg::kNumber2 || arg == XsvfArg::kNumber4) {
            previous = command.Number(static_cast<int>(i));
        }
    }
    command.length = static_cast<std::uint32_t>(used) + 1;
    if (!applyLengths(command, lengths)) {
        // The size stays readable in the argument, for the message.
        command.fault = XsvfFault::kOverflow;
        command.error = XSVF_DATA_OVERFLOW;
        command.length = 0;
    }
    return command;
}

const char* xsvfCommandName(std::uint8_t command) {
    static const char* const kNames[XSVF_COMMAND_COUNT] = {
        "XCOMPLETE", "XTDOMASK", "XSIR",     "XSDR",     "XRUNTEST",     "illegal",
        "illegal",   "XREPEAT",  "XSDRSIZE", "XSDRTDO",  "XSETSDRMASKS", "XSDRINC",
        "XSDRB",     "XSDRC",    "XSDRE",    "XSDRTDOB", "XSDRTDOC",     "XSDRTDOE",
        "XSTATE",    "XENDIR",   "XENDDR",   "XSIR2",    "XCOMMENT",     "XWAIT"};
    return command < XSVF_COMMAND_COUNT ? kNames[command] : "illegal";
}
