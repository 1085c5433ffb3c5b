// Builds XSVF images command by command, for tests and for the sample images.
#include "testing/xsvf_writer/xsvf_writer.h"

namespace {

enum : std::uint8_t {
    kComplete = 0,
    kTdoMask = 1,
    kSir = 2,
    kSdr = 3,
    kRunTest = 4,
    kRepeat = 7,
    kSdrSize = 8,
    kSdrTdo = 9,
    kSetSdrMasks = 10,
    kSdrInc = 11,
    kSdrB = 12,
    kSdrC = 13,
    kSdrE = 14,
    kSdrTdoB = 15,
    kSdrTdoC = 16,
    kSdrTdoE = 17,
    kState = 18,
    kEndIr = 19,
    kEndDr = 20,
    kSir2 = 21,
    kComment = 22,
    kWait = 23,
};

}  // namespace

XsvfBytes XsvfVector(std::uint32_t bits, std::uint64_t value) {
    std::uint32_t bytes = (bits + 7) / 8;
    XsvfBytes vector(bytes, 0);
    for (std::uint32_t i = 0; i < bytes && i < 8; ++i) {
        vector[bytes - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    return vector;
}

XsvfBytes WordsToDrVector(const std::vector<std::uint32_t>& words) {
    XsvfBytes vector(words.size() * 4);
    std::size_t last = vector.size() - 1;
    for (std::size_t w = 0; w < words.size(); ++w) {
        for (std::size_t b = 0; b < 4; ++b) {
            vector[last - (w * 4 + b)] = static_cast<std::uint8_t>(words[w] >> (8 * b));
        }
    }
    return vector;
}

XsvfWriter& XsvfWriter::Command(std::uint8_t code) {
    bytes_.push_back(code);
    return *this;
}

void XsvfWriter::Number(std::uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void XsvfWriter::Append(const XsvfBytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

XsvfWriter& XsvfWriter::Complete() { return Command(kComplete); }

XsvfWriter& XsvfWriter::TdoMask(std::uint64_t value) {
    return TdoMask(XsvfVector(sdrBits_, value));
}

XsvfWriter& XsvfWriter::TdoMask(const XsvfBytes& mask) {
    Command(kTdoMask);
    Append(mask);
    return *this;
}

XsvfWriter& XsvfWriter::Sir(std::uint8_t bits, std::uint64_t value) {
    Command(kSir);
    Number(bits, 1);
    Append(XsvfVector(bits, value));
    return *this;
}

XsvfWriter& XsvfWriter::Sir2(std::uint16_t bits, std::uint64_t value) {
    Command(kSir2);
    Number(bits, 2);
    Append(XsvfVector(bits, value));
    return *this;
}

XsvfWriter& XsvfWriter::Sdr(std::uint64_t value) { return Sdr(XsvfVector(sdrBits_, value)); }

XsvfWriter& XsvfWriter::Sdr(const XsvfBytes& tdi) {
    Command(kSdr);
    Append(tdi);
    return *this;
}

XsvfWriter& XsvfWriter::RunTest(std::uint32_t microseconds) {
    Command(kRunTest);
    Number(microseconds, 4);
    return *this;
}

XsvfWriter& XsvfWriter::Repeat(std::uint8_t times) {
    Command(kRepeat);
    Number(times, 1);
    return *this;
}

XsvfWriter& XsvfWriter::SdrSize(std::uint32_t bits) {
    sdrBits_ = bits;
    Command(kSdrSize);
    Number(bits, 4);
    return *this;
}

XsvfWriter& XsvfWriter::SdrTdo(std::uint64_t tdi, std::uint64_t tdo) {
    return SdrTdo(XsvfVector(sdrBits_, tdi), XsvfVector(sdrBits_, tdo));
}

XsvfWriter& XsvfWriter::SdrTdo(const XsvfBytes& tdi, const XsvfBytes& tdo) {
    Command(kSdrTdo);
    Append(tdi);
    Append(tdo);
    return *this;
}

XsvfWriter& XsvfWriter::SetSdrMasks(const XsvfBytes& addressMask, const XsvfBytes& dataMask) {
    Command(kSetSdrMasks);
    Append(addressMask);
    Append(dataMask);
    return *this;
}

XsvfWriter& XsvfWriter::SdrInc(const XsvfBytes& start, const std::vector<XsvfBytes>& chunks) {
    Command(kSdrInc);
    Append(start);
    Number(chunks.size(), 1);
    for (const auto& chunk : chunks) Append(chunk);
    return *this;
}

XsvfWriter& XsvfWriter::SdrB(const XsvfBytes& tdi) { return Command(kSdrB).Raw(tdi); }
XsvfWriter& XsvfWriter::SdrC(const XsvfBytes& tdi) { return Command(kSdrC).Raw(tdi); }
XsvfWriter& XsvfWriter::SdrE(const XsvfBytes& tdi) { return Command(kSdrE).Raw(tdi); }

XsvfWriter& XsvfWriter::SdrTdoB(const XsvfBytes& tdi, const XsvfBytes& tdo) {
    return Command(kSdrTdoB).Raw(tdi).Raw(tdo);
}
XsvfWriter& XsvfWriter::SdrTdoC(const XsvfBytes& tdi, const XsvfBytes& tdo) {
    return Command(kSdrTdoC).Raw(tdi).Raw(tdo);
}
XsvfWriter& XsvfWriter::SdrTdoE(const XsvfBytes& tdi, const XsvfBytes& tdo) {
    return Command(kSdrTdoE).Raw(tdi).Raw(tdo);
}

XsvfWriter& XsvfWriter::State(std::uint8_t state) {
    Command(kState);
    Number(state, 1);
    return *this;
}

XsvfWriter& XsvfWriter::EndIr(std::uint8_t which) {
    Command(kEndIr);
    Number(which, 1);
    return *this;
}

XsvfWriter& XsvfWriter::EndDr(std::uint8_t which) {
    Command(kEndDr);
    Number(which, 1);
    return *this;
}

XsvfWriter& XsvfWriter::Comment(const std::string& text) {
    Command(kComment);
    bytes_.insert(bytes_.end(), text.begin(), text.end());
    bytes_.push_back(0);
    return *this;
}

XsvfWriter& XsvfWriter::Wait(std::uint8_t waitState, std::uint8_t endState,
                             std::uint32_t microseconds) {
    Command(kWait);
    Number(waitState, 1);
    Number(endState, 1);
    Number(microseconds, 4);
    return *this;
}

XsvfWriter& XsvfWriter::Raw(const XsvfBytes& bytes) {
    Append(bytes);
    return *this;
}
