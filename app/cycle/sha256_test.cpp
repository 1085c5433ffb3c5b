// SHA-256 against the published test vectors, including the block-boundary paddings.
#include "app/cycle/sha256.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring HexOf(const std::string& text) {
    return Sha256Hex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace

TEST(Sha256, KnownVectors) {
    EXPECT_EQ(HexOf(""), L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf("abc"), L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padding block.
    EXPECT_EQ(HexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              L"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(
        HexOf("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopq"
              "klmnopqrlmnopqrsmnopqrstnopqrstu"),
        L"cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(HexOf(std::string(1000000, 'a')),
              L"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, OneChangedByteChangesTheDigest) {
    std::string image(4096, '\x5a');
    const std::wstring before = HexOf(image);
    image[4095] ^= 1;
    EXPECT_NE(HexOf(image), before);
    EXPECT_EQ(before.size(), 64u);
}
