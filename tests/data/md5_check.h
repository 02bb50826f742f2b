#pragma once
// The standard MD5 messages, checked whole and in pieces of 1, 2, 3, ...
// bytes (which cross every block boundary): the unit level runs them on
// libcrypto, the win level on CryptoAPI.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/md5.h"

namespace tarvik::testing_support {

inline std::string DigestHex(const Md5Digest& d) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) s += {kDigits[b >> 4], kDigits[b & 15]};
    return s;
}

inline void CheckMd5Vectors() {
    struct Case {
        std::string_view message, digest;
    };
    constexpr Case kCases[] = {
#define TARVIK_MD5_VECTOR(message, digest) {message, digest},
#include "md5_vectors.inc"
#undef TARVIK_MD5_VECTOR
    };
    for (const Case& c : kCases) {
        Md5 whole;
        whole.Update(c.message);
        Md5Digest d{};
        ASSERT_TRUE(whole.Final(&d)) << c.message;
        EXPECT_EQ(DigestHex(d), c.digest) << c.message;

        Md5 pieces;
        for (size_t at = 0, n = 1; at < c.message.size(); at += n, ++n)
            pieces.Update(c.message.substr(at, n));
        ASSERT_TRUE(pieces.Final(&d)) << c.message;
        EXPECT_EQ(DigestHex(d), c.digest) << c.message;
    }
}

}  // namespace tarvik::testing_support
