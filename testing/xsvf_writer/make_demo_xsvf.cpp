// The demo image for the simulated K740 FPGA: configures version 1.4.2 and checks it took.
#include "testing/xsvf_writer/make_demo_xsvf.h"

#include <algorithm>
#include <string>

namespace {

// Instructions of the K740 configuration FPGA (6-bit IR).
constexpr std::uint8_t kIrBits = 6;
constexpr std::uint64_t kIdcode = 0x09;
constexpr std::uint64_t kJprogram = 0x0B;
constexpr std::uint64_t kCfgIn = 0x05;
constexpr std::uint64_t kJstart = 0x0C;
constexpr std::uint64_t kStatus = 0x07;
constexpr std::uint64_t kBypass = 0x3F;

constexpr std::uint32_t kCardIdcode = 0x0A740093;
constexpr std::uint32_t kSyncWord = 0xAA995566;
constexpr std::uint32_t kVersionHeader = 0x30000001;
constexpr std::uint32_t kDataHeader = 0x50000000;
// Words per XSDRB/XSDRC/XSDRE chunk of the bitstream.
constexpr std::size_t kChunkWords = 4096;

void appendLittleEndian(std::vector<std::uint8_t>& bytes, std::uint32_t word) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(word >> (8 * i)));
}

}  // namespace

std::uint32_t K740Crc32(const std::uint8_t* bytes, std::size_t length, std::uint32_t crc) {
    crc = ~crc;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::vector<std::uint32_t> K740Bitstream(tagK740Version version, std::uint32_t dataWords) {
    std::uint32_t versionWord = (std::uint32_t{version.major} << 24) |
                                (std::uint32_t{version.minor} << 16) |
                                (std::uint32_t{version.patch} << 8) | version.build;
    std::vector<std::uint32_t> words = {0xFFFFFFFF, kSyncWord, kVersionHeader, versionWord,
                                        kDataHeader | dataWords};
    std::vector<std::uint8_t> crcBytes;
    appendLittleEndian(crcBytes, versionWord);
    std::uint32_t state = 0x4B740001;
    for (std::uint32_t i = 0; i < dataWords; ++i) {
        state = state * 1664525u + 1013904223u;
        words.push_back(state);
        appendLittleEndian(crcBytes, state);
    }
    words.push_back(K740Crc32(crcBytes.data(), crcBytes.size()));
    return words;
}

XsvfBytes MakeK740DemoXsvf() { return MakeK740Xsvf(K740_DEMO_VERSION); }

XsvfBytes MakeK740Xsvf(tagK740Version version, std::uint32_t dataWords) {
    const tagK740Version v = version;
    std::uint32_t statusVersion = (std::uint32_t{v.major} << 24) | (std::uint32_t{v.minor} << 16) |
                                  (std::uint32_t{v.patch} << 8);
    XsvfWriter w;
    const std::string title = "Orvane K740 configuration FPGA, version " + std::to_string(v.major) +
                              "." + std::to_string(v.minor) + "." + std::to_string(v.patch) +
                              " (demo bitstream)";
    w.Comment(title).Repeat(0).EndIr(0).EndDr(0).State(0).State(1);
    // The chain holds a K740 FPGA: the version nibble of the IDCODE is not compared.
    w.Sir(kIrBits, kIdcode).SdrSize(32).TdoMask(0x0FFFFFFF).SdrTdo(0, kCardIdcode);
    // JPROGRAM clears the configuration; the engine is then ready for CFG_IN.
    w.RunTest(1000).Sir(kIrBits, kJprogram).RunTest(0);
    w.Sir(kIrBits, kCfgIn);
    XsvfBytes stream = WordsToDrVector(K740Bitstream(v, dataWords));
    // The vector's last byte is shifted first, so the chunks go from the end of the vector.
    std::size_t chunkBytes = kChunkWords * 4;
    std::size_t end = stream.size();
    bool first = true;
    while (end > 0) {
        std::size_t begin = end > chunkBytes ? end - chunkBytes : 0;
        XsvfBytes chunk(stream.begin() + static_cast<std::ptrdiff_t>(begin),
                        stream.begin() + static_cast<std::ptrdiff_t>(end));
        w.SdrSize(static_cast<std::uint32_t>(chunk.size() * 8));
        if (begin == 0) {
            w.SdrE(chunk);
        } else if (first) {
            w.SdrB(chunk);
        } else {
            w.SdrC(chunk);
        }
        first = false;
        end = begin;
    }
    // Start-up needs 16 clocks in Run-Test/Idle with JSTART in the IR.
    w.RunTest(32).Sir(kIrBits, kJstart).RunTest(0);
    // DONE set, CRC error clear, and the new version in bits 8..31.
    w.Sir(kIrBits, kStatus).SdrSize(32).TdoMask(0xFFFFFF05).SdrTdo(0, statusVersion | 0x1);
    w.Sir(kIrBits, kBypass).State(1).Complete();
    return w.Bytes();
}
