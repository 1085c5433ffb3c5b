// Tests of the XSVF writer and of the committed demo image.
#include "testing/xsvf_writer/xsvf_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "testing/xsvf_writer/make_demo_xsvf.h"

namespace {

TEST(XsvfWriter, CommandsWithTheirArgumentsBigEndian) {
    XsvfWriter w;
    w.Sir(6, 0x09).SdrSize(12).SdrTdo(0xABC, 0x123).RunTest(0x01020304).Wait(1, 2, 5).Complete();
    XsvfBytes expected = {0x02, 6, 0x09, 0x08, 0, 0,  0, 12, 0x09, 0x0A, 0xBC, 0x01, 0x23,
                          0x04, 1, 2,    3,    4, 23, 1, 2,  0,    0,    0,    5,    0x00};
    EXPECT_EQ(w.Bytes(), expected);
}

TEST(XsvfWriter, CommentEndsWithZeroAndSdrIncCountsChunks) {
    XsvfWriter w;
    w.Comment("hi").SdrInc({0x01}, {{0x02}, {0x03}});
    EXPECT_EQ(w.Bytes(), (XsvfBytes{22, 'h', 'i', 0, 11, 0x01, 2, 0x02, 0x03}));
}

TEST(XsvfWriter, WordsBecomeAVectorWhoseLastByteIsShiftedFirst) {
    EXPECT_EQ(WordsToDrVector({0x11223344, 0xAABBCCDD}),
              (XsvfBytes{0xAA, 0xBB, 0xCC, 0xDD, 0x11, 0x22, 0x33, 0x44}));
}

TEST(DemoImage, CrcIsTheZlibOne) {
    const char text[] = "123456789";
    EXPECT_EQ(K740Crc32(reinterpret_cast<const std::uint8_t*>(text), 9), 0xCBF43926u);
}

TEST(DemoImage, CommittedFileEqualsTheGeneratedOne) {
    std::ifstream in(std::string(OVN_SAMPLES_DIR) + "/k740_demo.xsvf", std::ios::binary);
    ASSERT_TRUE(in.good());
    XsvfBytes committed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(committed, MakeK740DemoXsvf());
}

}  // namespace
