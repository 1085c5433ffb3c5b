// The image digest against the published test vectors and across block boundaries.
#include "app/image_sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const std::string& text) {
    return ImageSha256Hex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

TEST(ImageSha256, MatchesThePublishedVectors) {
    EXPECT_EQ(Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the padding needs a second block.
    EXPECT_EQ(Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(
        Hex("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklm"
            "nopqrlmnopqrsmnopqrstnopqrstu"),
        "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(ImageSha256, PiecesOfAnyLengthGiveTheDigestOfTheWhole) {
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::string whole = ImageSha256Hex(bytes.data(), bytes.size());
    for (std::size_t piece : {1u, 13u, 63u, 64u, 65u, 200u}) {
        CImageSha256 sha;
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            sha.Add(bytes.data() + at, std::min(piece, bytes.size() - at));
        std::string text;
        static const char digits[] = "0123456789abcdef";
        for (std::uint8_t b : sha.Finish()) {
            text += digits[b >> 4];
            text += digits[b & 15];
        }
        EXPECT_EQ(text, whole) << "pieces of " << piece;
    }
}

}  // namespace
