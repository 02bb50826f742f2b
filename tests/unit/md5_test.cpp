// The Md5 seam of the host build (libcrypto) on the standard test messages; the
// win level runs the same vectors through CryptoAPI.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "../data/md5_check.h"
#include "platform/md5.h"

namespace tarvik {
namespace {

TEST(Md5, StandardMessagesWholeAndInPieces) { testing_support::CheckMd5Vectors(); }

TEST(Md5, SecondFinalFails) {
    Md5 md5;
    md5.Update("abc");
    Md5Digest d{};
    ASSERT_TRUE(md5.Final(&d));
    EXPECT_FALSE(md5.Final(&d));
}

}  // namespace
}  // namespace tarvik
