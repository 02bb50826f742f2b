// The eject password: MD5-crypt against the system's crypt(), the salt of a
// new password, and the dialog's check and store steps.
#include <crypt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "platform/clock.h"
#include "settings/password_hash.h"

namespace tarvik {
namespace {

struct Vector {
    std::string_view password, salt, stored;
};
constexpr Vector kVectors[] = {
#define TARVIK_PASSWORD_VECTOR(password, salt, stored) {password, salt, stored},
#include "../data/password_vectors.inc"
#undef TARVIK_PASSWORD_VECTOR
};

// The system's "$1$" implementation; empty when it refuses the setting.
std::string SystemCrypt(const std::string& password, const std::string& setting) {
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof *data);
    const char* h = crypt_r(password.c_str(), setting.c_str(), data.get());
    return h && h[0] == '$' ? h : "";
}

TEST(PasswordHash, CommittedVectorsMatchCryptAndOurs) {
    for (const Vector& v : kVectors) {
        const std::string password(v.password);
        EXPECT_EQ(SystemCrypt(password, std::string(v.salt)), v.stored) << v.stored;
        EXPECT_EQ(PasswordHash(v.password, v.salt), v.stored);
        EXPECT_TRUE(PasswordMatches(v.password, v.stored));
    }
}

TEST(PasswordHash, RandomPasswordsAndSaltsMatchCrypt) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(1, 255);  // typed text holds no NUL
    std::uniform_int_distribution<int> length(0, 90);
    std::uniform_int_distribution<int> saltLength(0, 8);
    std::uniform_int_distribution<int> saltChar(0, 63);
    for (int n = 0; n < 300; ++n) {
        std::string password(static_cast<size_t>(length(rng)), ' ');
        for (char& c : password) c = static_cast<char>(byte(rng));
        std::string salt(static_cast<size_t>(saltLength(rng)), ' ');
        for (char& c : salt) c = itoa64[static_cast<size_t>(saltChar(rng))];

        const std::string expected = SystemCrypt(password, "$1$" + salt + "$");
        ASSERT_FALSE(expected.empty());
        // The salt given bare, with the prefix, or as a whole stored text.
        const std::string given[] = {salt, "$1$" + salt, expected};
        EXPECT_EQ(PasswordHash(password, given[n % 3]), expected) << n;
        EXPECT_TRUE(PasswordMatches(password, expected)) << n;
        // A longer or a shorter text does not check out.
        const std::string other = n % 2 ? password + "x" : password.substr(0, password.size() / 2);
        if (other != password) {
            EXPECT_FALSE(PasswordMatches(other, expected)) << n;
        }
    }
}

TEST(PasswordHash, SaltEdgesMatchCrypt) {
    struct Case {
        const char* password;
        const char* salt;     // as given to PasswordHash
        const char* setting;  // the same salt as crypt() takes it
        const char* saltProper;
    };
    const std::string long80(80, 'L');
    const Case kCases[] = {
        {"", "abcd", "$1$abcd$", "abcd"},
        {long80.c_str(), "$1$abcd", "$1$abcd$", "abcd"},
        {"pw", "$1$abcdefghijk$", "$1$abcdefghijk$", "abcdefgh"},  // cut to 8
        {"pw", "abcdefghijk", "$1$abcdefghijk", "abcdefgh"},
        {"pw", "ab$cd", "$1$ab$cd", "ab"},  // the salt ends at '$'
        {"pw", "$1$ab$cd$ef", "$1$ab$cd$ef", "ab"},
        {"pw", "", "$1$", ""},
        {"pw", "$1$", "$1$", ""},
        {"pw", "$1$$", "$1$$", ""},
    };
    for (const Case& c : kCases) {
        const std::string h = PasswordHash(c.password, c.salt);
        EXPECT_EQ(h, SystemCrypt(c.password, c.setting)) << c.salt;
        EXPECT_EQ(h.substr(0, h.rfind('$')), std::string("$1$") + c.saltProper) << c.salt;
        EXPECT_EQ(h.size(), 3 + std::strlen(c.saltProper) + 1 + 22) << c.salt;
    }
}

TEST(PasswordHash, MalformedStoredTextsNeverMatch) {
    const std::string good = PasswordHash("pw", "abcd");
    const char* kBad[] = {
        "",
        "$1$",
        "$1$abcd",
        "$1$abcd$",
        "pw",
        "abcd",                                 // bare salt: the hash would be "$1$abcd$..."
        "$2$abcd$aaaaaaaaaaaaaaaaaaaaaa",       // another scheme
        "$1$abcdefghi$aaaaaaaaaaaaaaaaaaaaaa",  // salt of 9
        "$1$abcd$aaaaaaaaaaaaaaaaaaaaa",        // 21 hash characters
        "$1$abcd$aaaaaaaaaaaaaaaaaaaaaaa",      // 23
        "$1$abcd$aaaaaaaaaaa!aaaaaaaaaa",       // not itoa64
    };
    for (const char* stored : kBad) {
        EXPECT_FALSE(IsStoredPassword(stored)) << stored;
        EXPECT_FALSE(PasswordMatches("pw", stored)) << stored;
        EXPECT_FALSE(PasswordMatches("", stored)) << stored;
    }
    EXPECT_TRUE(IsStoredPassword(good));
    EXPECT_FALSE(PasswordMatches("pw", good + "x"));
    EXPECT_FALSE(PasswordMatches("pw", good.substr(0, good.size() - 1)));
    // The stored text as the setting holds it: any tail after a NUL is not read.
    EXPECT_TRUE(PasswordMatches("pw", std::string_view(good.c_str())));
    // The empty text is hashed like any other and does not match.
    EXPECT_FALSE(PasswordMatches("", good));
}

TEST(MakeSalt, SixBitsPerCharacterLowestFirst) {
    struct Case {
        uint64_t time;
        size_t n;
        const char* salt;
    };
    const Case kCases[] = {
        {0, 4, "...."},          {1, 4, "/..."},           {63, 4, "z..."}, {64, 4, "./.."},
        {0xFFFFFF, 4, "zzzz"},   {0x1000000, 4, "...."},  // only the low 24 bits fit in four
        {0x1000000, 5, "..../"}, {1718100000, 4, nullptr},
    };
    for (const Case& c : kCases) {
        std::string out(c.n + 1, '#');
        MakeSalt(out.data(), c.time, c.n);
        EXPECT_EQ(out.back(), '#') << "wrote past n";
        out.pop_back();
        if (c.salt) {
            EXPECT_EQ(out, c.salt) << c.time;
        }
        uint64_t back = 0;
        for (size_t k = c.n; k-- > 0;) back = back << 6 | itoa64.find(out[k]);
        EXPECT_EQ(back, c.time & ((uint64_t{1} << (6 * c.n)) - 1)) << c.time;
    }
}

class NewPassword : public ::testing::Test {
protected:
    void SetUp() override { SetClock(&clock_); }
    void TearDown() override { SetClock(nullptr); }
    VirtualClock clock_;
};

TEST_F(NewPassword, SaltComesFromTheClockCalendarTime) {
    clock_.Set(0);
    const int64_t t0 = clock_.CalendarTime();
    EXPECT_EQ(t0, 1767225600);  // 2026-01-01 00:00:00, the virtual clock's day
    std::string expected(4, ' ');
    MakeSalt(expected.data(), static_cast<uint64_t>(t0), 4);
    EXPECT_EQ(NewPasswordSalt(), expected);
    clock_.Advance(3723000);  // 01:02:03
    EXPECT_EQ(clock_.CalendarTime(), t0 + 3723);
    MakeSalt(expected.data(), static_cast<uint64_t>(t0 + 3723), 4);
    EXPECT_EQ(NewPasswordSalt(), expected);
}

TEST_F(NewPassword, SameTextAtDifferentTimesStoresDifferentHashesThatBothCheckOut) {
    char first[kStoredPasswordSize];
    char second[kStoredPasswordSize];
    ASSERT_TRUE(StoreNewPassword("open sesame", first, sizeof first));
    clock_.Advance(1000);
    ASSERT_TRUE(StoreNewPassword("open sesame", second, sizeof second));
    EXPECT_STRNE(first, second);
    for (const char* stored : {first, second}) {
        EXPECT_EQ(std::strlen(stored), 30u) << stored;
        EXPECT_TRUE(IsStoredPassword(stored)) << stored;
        EXPECT_TRUE(PasswordMatches("open sesame", stored));
        EXPECT_FALSE(PasswordMatches("open sesamE", stored));
    }
}

TEST_F(NewPassword, StoreTerminatesRemovesAndRefusesWhatDoesNotFit) {
    struct Case {
        const char* typed;
        size_t capacity;
        bool ok;
        size_t length;  // of the stored text when ok
    };
    const Case kCases[] = {
        {"pw", kStoredPasswordSize, true, 30},
        {"pw", 31, true, 30},  // just room for the NUL
        {"pw", 30, false, 0},  // a cut hash would lock the user out
        {"pw", 0, false, 0},
        {"", kStoredPasswordSize, true, 0},  // both boxes empty: no password
        {"", 1, true, 0},
    };
    for (const Case& c : kCases) {
        char data[kStoredPasswordSize + 1];
        std::memset(data, 'X', sizeof data);
        EXPECT_EQ(StoreNewPassword(c.typed, data, c.capacity), c.ok) << c.typed << c.capacity;
        if (c.ok) {
            EXPECT_EQ(::strnlen(data, c.capacity), c.length);
            for (size_t i = c.length; i < c.capacity; ++i) EXPECT_EQ(data[i], 0) << i;
            if (c.length) {
                EXPECT_TRUE(PasswordMatches(c.typed, data));
            }
        } else {
            for (size_t i = 0; i < c.capacity; ++i) EXPECT_EQ(data[i], 'X') << "changed " << i;
        }
        EXPECT_EQ(data[c.capacity], 'X') << "wrote past the capacity";
    }
}

}  // namespace
}  // namespace tarvik
