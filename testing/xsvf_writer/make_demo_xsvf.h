// The demo image for the simulated K740 FPGA: configures version 1.4.2 and checks it took.
#pragma once

#include <cstdint>
#include <vector>

#include "testing/xsvf_writer/xsvf_writer.h"

struct tagK740Version {
    std::uint8_t major, minor, patch, build;
};

// Version and size of the demo's bitstream.
inline constexpr tagK740Version K740_DEMO_VERSION = {1, 4, 2, 0};
inline constexpr std::uint32_t K740_DEMO_DATA_WORDS = 24000;
// A bitstream a hundredth of the demo's, for whole runs that test the run rather than the shifting.
inline constexpr std::uint32_t K740_QUICK_DATA_WORDS = 240;

// The configuration words of a bitstream: dummy, sync, header, version, data count, data, CRC.
// The data words are a fixed pseudo-random sequence.
std::vector<std::uint32_t> K740Bitstream(tagK740Version version, std::uint32_t dataWords);

// CRC-32 as the configuration engine computes it (IEEE 802.3, reflected, as zlib does).
std::uint32_t K740Crc32(const std::uint8_t* bytes, std::size_t length, std::uint32_t crc = 0);

// IDCODE check, JPROGRAM, CFG_IN of the bitstream, JSTART with run-test, STATUS check of DONE.
XsvfBytes MakeK740DemoXsvf();
// The same image for a bitstream that carries another version, of dataWords data words.
XsvfBytes MakeK740Xsvf(tagK740Version version, std::uint32_t dataWords = K740_DEMO_DATA_WORDS);
