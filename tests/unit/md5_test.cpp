// The Md5 seam of the host build (libcrypto) on the standard test messages; the
// win level runs the same vectors through CryptoAPI.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/md5.h"

namespace tarvik {
namespace {

std::string Hex(const Md5Digest& d) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) s += {kDigits[b >> 4], kDigits[b & 15]};
    return s;
}

TEST(Md5, StandardMessagesWholeAndInPieces) {
    struct Case {
        std::string_view message, digest;
    };
    constexpr Case kCases[] = {
#define TARVIK_MD5_VECTOR(message, digest) {message, digest},
#include "../data/md5_vectors.inc"
#undef TARVIK_MD5_VECTOR
    };
    for (const Case& c : kCases) {
        Md5 whole;
        whole.Update(c.message);
        Md5Digest d{};
        ASSERT_TRUE(whole.Final(&d)) << c.message;
        EXPECT_EQ(Hex(d), c.digest) << c.message;

        // Pieces of 1, 2, 3, ... bytes cross every block boundary.
        Md5 pieces;
        for (size_t at = 0, n = 1; at < c.message.size(); at += n, ++n)
            pieces.Update(c.message.substr(at, n));
        ASSERT_TRUE(pieces.Final(&d));
        EXPECT_EQ(Hex(d), c.digest) << c.message;
    }
}

TEST(Md5, SecondFinalFails) {
    Md5 md5;
    md5.Update("abc");
    Md5Digest d{};
    ASSERT_TRUE(md5.Final(&d));
    EXPECT_FALSE(md5.Final(&d));
}

}  // namespace
}  // namespace tarvik
