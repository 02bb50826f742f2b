// Buffers for typed passwords: cleared exactly, bounded, owned once.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "base/secret.h"

namespace tarvik {
namespace {

TEST(SecureWipe, ClearsExactlyTheRange) {
    char buffer[32];
    std::memset(buffer, 'p', sizeof buffer);
    SecureWipe(buffer + 4, 20);
    for (size_t i = 0; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], i >= 4 && i < 24 ? 0 : 'p') << i;
    SecureWipe(nullptr, 10);  // nothing to do, no crash
}

TEST(SecretText, HoldsAtMostItsCapacityAndMovesOwnership) {
    SecretText text(22);
    ASSERT_TRUE(text.valid());
    EXPECT_TRUE(text.Assign("twenty-two characters!"));
    EXPECT_EQ(text.view(), "twenty-two characters!");
    EXPECT_FALSE(text.Assign("twenty-three characters"));  // cut, and said so
    EXPECT_EQ(text.view(), "twenty-three character");
    EXPECT_EQ(text.data()[22], 0);

    SecretText moved = std::move(text);
    EXPECT_FALSE(text.valid());
    EXPECT_EQ(text.view(), "");
    EXPECT_FALSE(text.Assign("x"));
    EXPECT_EQ(moved.view(), "twenty-three character");
    moved.Wipe();
    EXPECT_EQ(moved.view(), "");
    for (size_t i = 0; i <= moved.capacity(); ++i) EXPECT_EQ(moved.data()[i], 0);

    SecretText none;
    EXPECT_FALSE(none.valid());
    EXPECT_EQ(none.view(), "");
}

}  // namespace
}  // namespace tarvik
