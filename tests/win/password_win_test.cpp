// The eject password on the system's CryptoAPI: the same MD5 and password
// vectors the unit level checks against libcrypto and crypt().
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "../data/md5_check.h"
#include "platform/clock.h"
#include "platform/md5.h"
#include "settings/password_hash.h"

namespace tarvik {
namespace {

TEST(Md5CryptoApi, StandardMessages) { testing_support::CheckMd5Vectors(); }

TEST(PasswordCryptoApi, VectorsMadeByCrypt) {
    struct Vector {
        std::string_view password, salt, stored;
    };
    constexpr Vector kVectors[] = {
#define TARVIK_PASSWORD_VECTOR(password, salt, stored) {password, salt, stored},
#include "../data/password_vectors.inc"
#undef TARVIK_PASSWORD_VECTOR
    };
    for (const Vector& v : kVectors) {
        EXPECT_EQ(PasswordHash(v.password, v.salt), v.stored);
        EXPECT_TRUE(PasswordMatches(v.password, v.stored)) << v.stored;
        EXPECT_FALSE(PasswordMatches(std::string(v.password) + " ", v.stored)) << v.stored;
    }
}

TEST(PasswordCryptoApi, NewPasswordSaltFromTheSystemClock) {
    SetClock(nullptr);
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    const int64_t now = GetClock().CalendarTime();
    const int64_t after = static_cast<int64_t>(std::time(nullptr));
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);

    char data[kStoredPasswordSize];
    ASSERT_TRUE(StoreNewPassword("eject me", data, sizeof data));
    EXPECT_EQ(std::strlen(data), 30u);
    EXPECT_TRUE(PasswordMatches("eject me", data));
    std::string salt(4, ' ');
    MakeSalt(salt.data(), static_cast<uint64_t>(GetClock().CalendarTime()), 4);
    // The salt is the time of the store, give or take the second it may have crossed.
    std::string earlier(4, ' ');
    MakeSalt(earlier.data(), static_cast<uint64_t>(GetClock().CalendarTime() - 1), 4);
    const std::string stored(data + 3, 4);
    EXPECT_TRUE(stored == salt || stored == earlier) << stored;
}

}  // namespace
}  // namespace tarvik
