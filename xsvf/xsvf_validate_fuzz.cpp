// libFuzzer target: the image validator alone on arbitrary bytes, fast enough for millions of runs.
#include <cstdio>
#include <cstdlib>

#include "xsvf/xsvf_player.h"
#include "xsvf/xsvf_validate.h"

namespace {

[[noreturn]] void Broken(const char* what, const tagXsvfValidation& v) {
    std::fprintf(stderr, "%s: code %d command %d (0x%02X) at offset %u of %d commands (%s)\n", what,
                 v.code, v.commandIndex, static_cast<unsigned>(v.command), v.byteOffset,
                 v.commandCount, v.reason.c_str());
    std::abort();
}

bool SameVerdict(const tagXsvfValidation& a, const tagXsvfValidation& b) {
    return a.code == b.code && a.commandIndex == b.commandIndex && a.command == b.command &&
           a.byteOffset == b.byteOffset && a.commandCount == b.commandCount &&
           a.worstCaseTckPulses == b.worstCaseTckPulses;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto length = static_cast<std::uint32_t>(size);
    const tagXsvfValidation v = validateXsvf(data, length);

    if (v.byteOffset > length) Broken("offset past the end", v);
    if (v.byteOffset < length && data[v.byteOffset] != v.command) {
        Broken("command is not the byte at its offset", v);
    }
    if (v.code == 0) {
        if (v.command != XCOMPLETE || v.commandIndex != -1 || v.byteOffset >= length) {
            Broken("accepted image does not end at an XCOMPLETE", v);
        }
        // Bytes after XCOMPLETE are never read, and without the XCOMPLETE the image is truncated.
        if (!SameVerdict(validateXsvf(data, v.byteOffset + 1), v)) {
            Broken("bytes after XCOMPLETE changed the verdict", v);
        }
        const tagXsvfValidation cut = validateXsvf(data, v.byteOffset);
        if (cut.code != XSVF_ILLEGAL_COMMAND || cut.commandIndex != v.commandCount - 1) {
            Broken("image cut before its XCOMPLETE was accepted", cut);
        }
        return 0;
    }
    if (v.code != XSVF_ILLEGAL_COMMAND && v.code != XSVF_ILLEGAL_STATE &&
        v.code != XSVF_DATA_OVERFLOW) {
        Broken("code the player never returns", v);
    }
    if (v.reason.empty()) Broken("fault without a reason", v);
    const bool endedBeforeCommand = v.byteOffset == length && v.command == 0;
    const std::int32_t expectedIndex = endedBeforeCommand ? v.commandCount : v.commandCount - 1;
    if (v.commandIndex != expectedIndex) Broken("fault index is not the last command read", v);
    return 0;
}
