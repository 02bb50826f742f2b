#include "ui/dialogs/password.h"

#include <cstring>

#include "settings/password_hash.h"
#include "string_ids.h"

namespace tarvik {
namespace {

constexpr uint16_t kPwdLabels = 102;
constexpr uint16_t kPwdBoxes = 106;
constexpr uint16_t kPwdButtons = 109;
// The labels' column takes the free height, so each label sits beside its box.
constexpr char16_t kFillVertical[] = u"7";

bool SameText(const SecretText& a, const SecretText& b) {
    return a.valid() && b.valid() && a.view() == b.view();
}

}  // namespace

std::array<DialogItem, 12> PasswordDialogRows(ItemHandler box, ItemHandler ok) {
    return {{
        {&ctl::GroupRow, 101, u"", 0, 0, nullptr},
        {&ctl::Column, kPwdLabels, kFillVertical, 0, 101, nullptr},
        {&ctl::Label, 103, nullptr, IDS_PASSWORD, kPwdLabels, nullptr},
        {&ctl::Label, kPwdVerifyLabel, nullptr, IDS_VERIFY, kPwdLabels, nullptr},
        {&ctl::Spacer, 105, nullptr, 0, 101, nullptr},
        {&ctl::Column, kPwdBoxes, nullptr, 0, 101, nullptr},
        {&ctl::Edit, kPwdFirstBox, nullptr, 0, kPwdBoxes, box},
        {&ctl::Edit, kPwdSecondBox, nullptr, 0, kPwdBoxes, box},
        {&ctl::GroupRow, kPwdButtons, u"", 0, 0, nullptr},
        {&ctl::DefaultButton, 1, nullptr, IDS_OK, kPwdButtons, ok},
        {&ctl::Spacer, 110, nullptr, 0, kPwdButtons, nullptr},
        {&ctl::Button, 2, nullptr, IDS_CANCEL, kPwdButtons, nullptr},
    }};
}

void InitPasswordDialog(const PasswordContext& context, DialogView& view) {
    if (!context.checkMode()) return;
    view.Show(kPwdVerifyLabel, false);
    view.Show(kPwdSecondBox, false);
}

void OnPasswordBoxesChanged(const PasswordContext& context, DialogView& view,
                            const SecretText& first, const SecretText& second) {
    if (context.checkMode()) return;
    view.Enable(1, SameText(first, second));
}

PasswordOk OnPasswordOk(const PasswordContext& context, const SecretText& first,
                        const SecretText& second) {
    if (!first.valid() || !context.data || context.capacity < 0) return PasswordOk::Unreadable;
    if (context.checkMode())
        return PasswordMatches(first.view(), context.data) ? PasswordOk::End : PasswordOk::Wrong;
    if (!second.valid()) return PasswordOk::Unreadable;
    if (!SameText(first, second)) return PasswordOk::Mismatch;
    const auto capacity = static_cast<size_t>(context.capacity);
    // A hash that cannot be made or stored whole must not replace the old one.
    return StoreNewPassword(first.view(), context.data, capacity) ? PasswordOk::End
                                                                  : PasswordOk::Mismatch;
}

}  // namespace tarvik
