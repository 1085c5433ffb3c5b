// Tests of the XSVF decoder: every command's length, truncation inside each argument, unknown
// codes, and the lengths that earlier commands set for later ones.
#include "xsvf/xsvf_decode.h"

#include <gtest/gtest.h>

#include <vector>

#include "testing/xsvf_writer/xsvf_writer.h"

namespace {

// A stream that sets a 12-bit shift size and a data mask with five 1 bits, then one of every
// legal command; the decoder must cut it into exactly the pieces the writer wrote.
struct Stream {
    XsvfBytes bytes;
    std::vector<std::uint32_t> starts;  // offset of each command byte
};

Stream EveryCommand() {
    XsvfWriter w;
    Stream s;
    auto mark = [&] { s.starts.push_back(static_cast<std::uint32_t>(w.Bytes().size())); };
    mark(), w.SdrSize(12);
    mark(), w.SetSdrMasks({0x00, 0x01}, {0x0F, 0x80});
    mark(), w.TdoMask(0x0FFF);
    mark(), w.Sir(9, 0x1FF);
    mark(), w.Sir2(17, 0x1FFFF);
    mark(), w.Sdr(0x123);
    mark(), w.RunTest(1000);
    mark(), w.Repeat(3);
    mark(), w.SdrTdo(0x1, 0x2);
    mark(), w.SdrInc({0x00, 0x10}, {{0x1F}, {0x02}});
    mark(), w.SdrB({1, 2}).SdrC({3, 4}).SdrE({5, 6});
    s.starts.push_back(s.starts.back() + 3), s.starts.push_back(s.starts.back() + 3);
    mark(), w.SdrTdoB({1, 2}, {3, 4}).SdrTdoC({1, 2}, {3, 4}).SdrTdoE({1, 2}, {3, 4});
    s.starts.push_back(s.starts.back() + 5), s.starts.push_back(s.starts.back() + 5);
    mark(), w.State(1);
    mark(), w.EndIr(1);
    mark(), w.EndDr(0);
    mark(), w.Comment("hello");
    mark(), w.Wait(1, 1, 50);
    mark(), w.Complete();
    s.bytes = w.Bytes();
    return s;
}

TEST(XsvfDecode, EveryCommandHasTheLengthTheWriterGaveIt) {
    const Stream s = EveryCommand();
    tagXsvfLengths lengths;
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < s.starts.size(); ++i) {
        ASSERT_EQ(offset, s.starts[i]) << "command " << i;
        const tagXsvfCommand x = decodeXsvf(s.bytes, offset, lengths);
        ASSERT_EQ(x.fault, XsvfFault::kNone) << "command " << i << " at " << offset;
        EXPECT_EQ(x.offset, offset);
        EXPECT_EQ(x.code, s.bytes[offset]);
        offset += x.length;
    }
    EXPECT_EQ(offset, s.bytes.size());
    EXPECT_EQ(lengths.shiftBits, 12);
    EXPECT_EQ(lengths.shiftBytes, 2);
    EXPECT_EQ(lengths.dataMaskOnes, 5);
}

TEST(XsvfDecode, ArgumentsAreTheWrittenBytes) {
    tagXsvfLengths lengths;
    const XsvfBytes sir2 = XsvfWriter().Sir2(17, 0x1ABCD).Bytes();
    const tagXsvfCommand ir = decodeXsvf(sir2, 0, lengths);
    EXPECT_EQ(ir.Number(0), 17u);
    EXPECT_EQ(ir.args[1].size(), 3u);  // 17 bits
    EXPECT_EQ(ir.Number(1), 0x1ABCDu);

    const XsvfBytes wait = XsvfWriter().Wait(2, 13, 0x01020304).Bytes();
    const tagXsvfCommand w = decodeXsvf(wait, 0, lengths);
    EXPECT_EQ(w.Number(0), 2u);
    EXPECT_EQ(w.Number(1), 13u);
    EXPECT_EQ(w.Number(2), 0x01020304u);
}

// Every proper prefix of a command ends inside one of its arguments: a truncation with the
// player's code at the command's own offset, and the lengths left as they were.
TEST(XsvfDecode, EveryPrefixOfACommandIsTruncated) {
    const Stream s = EveryCommand();
    tagXsvfLengths lengths;
    for (std::size_t i = 0; i + 1 < s.starts.size(); ++i) {
        const std::uint32_t start = s.starts[i];
        const std::uint32_t end = s.starts[i + 1];
        for (std::uint32_t cut = start + 1; cut < end; ++cut) {
            tagXsvfLengths before = lengths;
            const std::span<const std::uint8_t> prefix(s.bytes.data(), cut);
            const tagXsvfCommand x = decodeXsvf(prefix, start, before);
            EXPECT_EQ(x.fault, XsvfFault::kTruncated) << "command " << i << " cut at " << cut;
            EXPECT_EQ(x.error, XSVF_ILLEGAL_COMMAND);
            EXPECT_EQ(x.offset, start);
            EXPECT_EQ(x.code, s.bytes[start]);
            EXPECT_EQ(before.shiftBits, lengths.shiftBits) << "command " << i;
            EXPECT_EQ(before.dataMaskOnes, lengths.dataMaskOnes) << "command " << i;
        }
        ASSERT_EQ(decodeXsvf(s.bytes, start, lengths).fault, XsvfFault::kNone);
    }
}

TEST(XsvfDecode, UnknownCodesAndTheEndOfTheImage) {
    tagXsvfLengths lengths;
    for (std::uint8_t code : {5, 6, 24, 255}) {
        const XsvfBytes image = {0x00, code, 0x00};
        const tagXsvfCommand x = decodeXsvf(image, 1, lengths);
        EXPECT_EQ(x.fault, XsvfFault::kIllegal) << int(code);
        EXPECT_EQ(x.error, XSVF_ILLEGAL_COMMAND);
        EXPECT_EQ(x.code, code);
        EXPECT_EQ(x.offset, 1u);
    }
    const XsvfBytes image = {XCOMPLETE};
    const tagXsvfCommand end = decodeXsvf(image, 1, lengths);
    EXPECT_EQ(end.fault, XsvfFault::kEnd);
    EXPECT_EQ(end.error, XSVF_ILLEGAL_COMMAND);
    EXPECT_EQ(end.code, 0);
    EXPECT_EQ(end.offset, 1u);
    EXPECT_EQ(decodeXsvf({}, 0, lengths).fault, XsvfFault::kEnd);
}

TEST(XsvfDecode, ShiftSizesBeyondTheBuffersOverflowAndChangeNothing) {
    tagXsvfLengths lengths;
    ASSERT_EQ(decodeXsvf(XsvfWriter().SdrSize(XSVF_MAX_SHIFT_BITS).Bytes(), 0, lengths).fault,
              XsvfFault::kNone);
    EXPECT_EQ(lengths.shiftBytes, 2000000);
    for (std::uint32_t bits : {XSVF_MAX_SHIFT_BITS + 1, 0x80000000u, 0xFFFFFFFFu}) {
        const XsvfBytes image = XsvfWriter().SdrSize(bits).Bytes();
        const tagXsvfCommand x = decodeXsvf(image, 0, lengths);
        EXPECT_EQ(x.fault, XsvfFault::kOverflow) << bits;
        EXPECT_EQ(x.error, XSVF_DATA_OVERFLOW);
        EXPECT_EQ(x.Number(0), bits);  // kept for the message
        EXPECT_EQ(lengths.shiftBits, static_cast<std::int32_t>(XSVF_MAX_SHIFT_BITS));
    }
}

TEST(XsvfDecode, IncrementDataFollowsTheDataMaskAndCommentsNeedTheirZero) {
    tagXsvfLengths lengths;
    lengths.shiftBits = 8;
    lengths.shiftBytes = 1;
    lengths.dataMaskOnes = 9;  // two bytes per increment
    const XsvfBytes inc = {XSDRINC, 0xAA, 3, 1, 2, 3, 4, 5, 6};
    const tagXsvfCommand x = decodeXsvf(inc, 0, lengths);
    EXPECT_EQ(x.length, inc.size());
    EXPECT_EQ(x.args[2].size(), 6u);

    const XsvfBytes open = {XCOMMENT, 'a', 'b'};
    EXPECT_EQ(decodeXsvf(open, 0, lengths).fault, XsvfFault::kTruncated);
    EXPECT_EQ(decodeXsvf(XsvfBytes{XCOMMENT, 0}, 0, lengths).length, 2u);
}

TEST(XsvfDecode, EveryLegalCodeIsNamed) {
    for (int code = 0; code < XSVF_COMMAND_COUNT; ++code) {
        const bool named =
            std::string(xsvfCommandName(static_cast<std::uint8_t>(code))) != "illegal";
        EXPECT_EQ(named, kXsvfLayouts[code].legal) << code;
    }
}

}  // namespace
