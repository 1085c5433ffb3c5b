// Builds XSVF images command by command, for tests and for the sample images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using XsvfBytes = std::vector<std::uint8_t>;

// Each method appends one command with its arguments as the player reads them. Vectors are given
// most significant byte first, as they stand in the stream; the numeric overloads size the vector
// from the current XSDRSIZE (or the IR length). Nothing is checked: tests build broken images too.
class XsvfWriter {
public:
    XsvfWriter& Complete();
    XsvfWriter& TdoMask(std::uint64_t value);
    XsvfWriter& TdoMask(const XsvfBytes& mask);
    XsvfWriter& Sir(std::uint8_t bits, std::uint64_t value);
    XsvfWriter& Sir2(std::uint16_t bits, std::uint64_t value);
    XsvfWriter& Sdr(std::uint64_t value);
    XsvfWriter& Sdr(const XsvfBytes& tdi);
    XsvfWriter& RunTest(std::uint32_t microseconds);
    XsvfWriter& Repeat(std::uint8_t times);
    XsvfWriter& SdrSize(std::uint32_t bits);
    XsvfWriter& SdrTdo(std::uint64_t tdi, std::uint64_t tdo);
    XsvfWriter& SdrTdo(const XsvfBytes& tdi, const XsvfBytes& tdo);
    XsvfWriter& SetSdrMasks(const XsvfBytes& addressMask, const XsvfBytes& dataMask);
    // Start value, then one data chunk per increment (N = chunks.size()).
    XsvfWriter& SdrInc(const XsvfBytes& start, const std::vector<XsvfBytes>& chunks);
    XsvfWriter& SdrB(const XsvfBytes& tdi);
    XsvfWriter& SdrC(const XsvfBytes& tdi);
    XsvfWriter& SdrE(const XsvfBytes& tdi);
    XsvfWriter& SdrTdoB(const XsvfBytes& tdi, const XsvfBytes& tdo);
    XsvfWriter& SdrTdoC(const XsvfBytes& tdi, const XsvfBytes& tdo);
    XsvfWriter& SdrTdoE(const XsvfBytes& tdi, const XsvfBytes& tdo);
    XsvfWriter& State(std::uint8_t state);
    XsvfWriter& EndIr(std::uint8_t which);
    XsvfWriter& EndDr(std::uint8_t which);
    XsvfWriter& Comment(const std::string& text);
    XsvfWriter& Wait(std::uint8_t waitState, std::uint8_t endState, std::uint32_t microseconds);
    XsvfWriter& Raw(const XsvfBytes& bytes);

    const XsvfBytes& Bytes() const { return bytes_; }
    std::uint32_t SdrBits() const { return sdrBits_; }

private:
    XsvfWriter& Command(std::uint8_t code);
    void Number(std::uint64_t value, int bytes);
    void Append(const XsvfBytes& bytes);

    XsvfBytes bytes_;
    std::uint32_t sdrBits_ = 0;
};

// The value as a vector of (bits + 7) / 8 bytes, most significant byte first.
XsvfBytes XsvfVector(std::uint32_t bits, std::uint64_t value);

// A DR vector that shifts the words in order, each from its bit 0: the first word's low byte is
// the vector's last byte. This is how the K740 configuration engine takes its bitstream.
XsvfBytes WordsToDrVector(const std::vector<std::uint32_t>& words);
