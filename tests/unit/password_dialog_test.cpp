// The password dialog's model: what OK does in each mode to the caller's
// buffer, the OK enabling of set mode, and the table the engine lays out.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "settings/password_hash.h"
#include "ui/dialog/dialog_view.h"
#include "ui/dialogs/password.h"

namespace tarvik {
namespace {

SecretText Typed(std::string_view text) {
    SecretText s(text.size());
    EXPECT_TRUE(s.Assign(text));
    return s;
}

TEST(PasswordDialog, SetModeStoresRemovesOrRefuses) {
    char data[kStoredPasswordSize] = "untouched";
    const PasswordContext set{data, static_cast<int>(sizeof data)};
    MapDialogView view;

    OnPasswordBoxesChanged(set, view, Typed("abc"), Typed("abd"));
    EXPECT_FALSE(view.Enabled(1));
    EXPECT_EQ(OnPasswordOk(set, Typed("abc"), Typed("abd")), PasswordOk::Mismatch);
    EXPECT_STREQ(data, "untouched");
    EXPECT_EQ(OnPasswordOk(set, Typed("abc"), SecretText()), PasswordOk::Unreadable);
    EXPECT_STREQ(data, "untouched");

    OnPasswordBoxesChanged(set, view, Typed("abc"), Typed("abc"));
    EXPECT_TRUE(view.Enabled(1));
    EXPECT_EQ(OnPasswordOk(set, Typed("abc"), Typed("abc")), PasswordOk::End);
    EXPECT_TRUE(IsStoredPassword(data)) << data;
    EXPECT_TRUE(PasswordMatches("abc", data));

    // Both boxes empty: the password goes.
    EXPECT_EQ(OnPasswordOk(set, Typed(""), Typed("")), PasswordOk::End);
    EXPECT_STREQ(data, "");

    // A buffer too small for the stored form keeps what it had.
    char small[20] = "old";
    EXPECT_EQ(OnPasswordOk({small, static_cast<int>(sizeof small)}, Typed("abc"), Typed("abc")),
              PasswordOk::Mismatch);
    EXPECT_STREQ(small, "old");
}

TEST(PasswordDialog, CheckModeHidesVerifyAndComparesWithTheStoredHash) {
    char stored[kStoredPasswordSize] = {};
    ASSERT_TRUE(StoreNewPassword("secret", stored, sizeof stored));
    const std::string before = stored;
    const PasswordContext check{stored, 0};
    MapDialogView view;
    InitPasswordDialog(check, view);
    EXPECT_FALSE(view.Shown(kPwdSecondBox));
    EXPECT_FALSE(view.Shown(kPwdVerifyLabel));

    EXPECT_EQ(OnPasswordOk(check, Typed("secret"), SecretText()), PasswordOk::End);
    EXPECT_EQ(OnPasswordOk(check, Typed("Secret"), SecretText()), PasswordOk::Wrong);
    EXPECT_EQ(OnPasswordOk(check, Typed(""), SecretText()), PasswordOk::Wrong);
    EXPECT_EQ(OnPasswordOk(check, SecretText(), SecretText()), PasswordOk::Unreadable);
    EXPECT_EQ(stored, before);  // checking never writes
    // Changes in check mode never disable OK.
    OnPasswordBoxesChanged(check, view, Typed("a"), Typed("b"));
    EXPECT_TRUE(view.Enabled(1));
}

TEST(PasswordDialog, TableIsATreeOfContainers) {
    const auto rows = PasswordDialogRows(nullptr, nullptr);
    std::set<uint32_t> seen{0};
    for (const DialogItem& row : rows) {
        // Each parent comes earlier and holds children: no cycles, no orphans.
        EXPECT_TRUE(seen.count(row.parent)) << row.id;
        EXPECT_TRUE(seen.insert(row.id).second) << "repeated id " << row.id;
    }
    for (const DialogItem& row : rows) {
        if (row.parent == 0) continue;
        for (const DialogItem& p : rows) {
            if (p.id == row.parent) {
                EXPECT_TRUE(IsContainer(p.cls) || p.cls == &ctl::GroupRow) << row.id;
            }
        }
    }
}

}  // namespace
}  // namespace tarvik
