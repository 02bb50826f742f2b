// The eject password kept secret end to end: the typed text reaches neither
// the log nor the export file, and a "Data" value planted in the registry in
// any form but a whole "$1$" hash refuses every password, the empty one too.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "base/secret.h"
#include "settings/password_hash.h"
#include "settings/reg_file.h"
#include "settings_fixture.h"
#include "ui/dialogs/password.h"

namespace tarvik {
namespace {

constexpr char kLockPath[] = "Software\\Orvanto Software\\Tarvik\\4.0\\Lock";

class PasswordSecurity : public testing_support::SettingsTest {
protected:
    // What the box holds: it takes kPasswordLimit - 1 characters at most.
    static SecretText Typed(std::string_view text) {
        SecretText s(kPasswordLimit - 1);
        (void)s.Assign(text);
        return s;
    }
    // OK in the "Enter password" dialog over the loaded settings.
    static PasswordOk Check(std::string_view typed) {
        return OnPasswordOk({GlobalSettings.Data, 0}, Typed(typed), SecretText());
    }
    static bool Contains(const std::string& haystack, std::string_view text) {
        std::string wide;  // the export file is UTF-16LE
        for (char c : text) wide += {c, '\0'};
        return haystack.find(text) != std::string::npos || haystack.find(wide) != std::string::npos;
    }
};

TEST_F(PasswordSecurity, TypedTextReachesNeitherTheLogNorTheExport) {
    const std::string typed = "Qx7-never-written";
    const std::string other = "Qx7-also-not-this";
    StartLog();
    // Set: a mismatch first, then both boxes the same; then wrong and right checks.
    PasswordContext set{GlobalSettings.Data, static_cast<int>(sizeof GlobalSettings.Data)};
    EXPECT_EQ(OnPasswordOk(set, Typed(typed), Typed(other)), PasswordOk::Mismatch);
    ASSERT_EQ(OnPasswordOk(set, Typed(typed), Typed(typed)), PasswordOk::End);
    SaveGlobalSettings();
    LoadGlobalSettings();
    EXPECT_EQ(Check(other), PasswordOk::Wrong);
    EXPECT_EQ(Check(typed), PasswordOk::End);

    const std::string file = ::testing::TempDir() + "tarvik-password-export.reg";
    std::remove(file.c_str());
    sys_.launchResult = 2;  // no reg.exe: the program writes the export itself
    SaveConfigToFile(file.c_str());
    std::string exported;
    ASSERT_TRUE(ReadWholeFile(file, &exported));
    std::remove(file.c_str());
    const std::string stored = GlobalSettings.Data;
    EXPECT_TRUE(IsStoredPassword(stored)) << stored;
    EXPECT_TRUE(Contains(exported, "\"Data\"=\"" + stored + "\""));
    EXPECT_FALSE(Contains(exported, typed));
    EXPECT_FALSE(Contains(exported, other));

    std::ifstream in(LogPath(), std::ios::binary);
    const std::string log{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(log.find("SaveConfigToFile"), std::string::npos);  // the log was on
    EXPECT_FALSE(Contains(log, typed));
    EXPECT_FALSE(Contains(log, other));
}

TEST_F(PasswordSecurity, PlantedFormsThatAreNoWholeHashRefuseEveryPassword) {
    const std::string good = PasswordHash("secret", "abcd");
    const std::string hash = good.substr(good.size() - kPasswordHashChars);
    const std::string planted[] = {
        "5ebe2294ecd0e0f08eab7690d2a6ee69",  // MD5 of "secret" in hex
        "$1$$" + hash.substr(0, 20),         // no salt and a short hash
        "$1$" + hash,                        // no salt and no separator
        good.substr(0, good.size() - 1),     // cut by one
        "$1$",
        "$1$abcd$",
        "$5$rounds=5000$abcd$" + hash + hash,  // another scheme, longer than the field
        // A whole hash with a tail, longer than the field: loaded as nothing
        // it would have left the eject unprotected.
        PasswordHash("secret", "abcdefgh") + "tail",
        std::string(40, 'x'),
    };
    for (const std::string& value : planted) {
        PutString(kHkeyCurrentUser, kLockPath, "Data", value);
        LoadGlobalSettings();
        const std::string data = GlobalSettings.Data;
        ASSERT_FALSE(data.empty()) << value << ": the eject would not be protected";
        for (const std::string& typed : {std::string(), std::string("secret"), value, data, hash})
            EXPECT_EQ(Check(typed), PasswordOk::Wrong) << value << " took '" << typed << "'";
    }
    // The same through the .reg import a user might run.
    ASSERT_TRUE(ImportRegText(reg_,
                              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\" + std::string(kLockPath) +
                                  "]\r\n\"Data\"=hex:24,31,24,01,00\r\n",
                              nullptr));
    LoadGlobalSettings();
    EXPECT_STREQ(GlobalSettings.Data, "$1$\x01");
    EXPECT_EQ(Check(""), PasswordOk::Wrong);
    EXPECT_EQ(Check("$1$\x01"), PasswordOk::Wrong);
    // A whole hash still checks out, and only for its password.
    PutString(kHkeyCurrentUser, kLockPath, "Data", good);
    LoadGlobalSettings();
    EXPECT_EQ(Check("secret"), PasswordOk::End);
    EXPECT_EQ(Check(""), PasswordOk::Wrong);
}

}  // namespace
}  // namespace tarvik
