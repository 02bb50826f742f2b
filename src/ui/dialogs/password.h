#pragma once
// The password dialog as a model: its table, and what its OK button and its
// boxes do in each mode. The typed texts reach it in wiped buffers; the
// _win32 side reads the boxes and acts on the outcome.
#include <array>
#include <cstddef>
#include <cstdint>

#include "base/secret.h"
#include "settings/password_hash.h"
#include "ui/dialog/dialog_table.h"
#include "ui/dialog/dialog_view.h"

namespace tarvik {

enum : uint16_t {
    kPwdVerifyLabel = 104,
    kPwdFirstBox = 107,
    kPwdSecondBox = 108,
};

// The dialog's context: the stored-password buffer and, in set mode, its
// size; capacity 0 is check mode ("Enter password").
struct PasswordContext {
    char* data = nullptr;
    int capacity = 0;
    int limit = kPasswordLimit;  // each box takes limit - 1 characters
    bool checkMode() const { return capacity == 0; }
};

// The 12 rows; the two boxes and OK route to the given handlers.
std::array<DialogItem, 12> PasswordDialogRows(ItemHandler box, ItemHandler ok);

// At opening: check mode hides the second box and its label.
void InitPasswordDialog(const PasswordContext& context, DialogView& view);

// Set mode, whenever either box changes: OK only while both agree.
void OnPasswordBoxesChanged(const PasswordContext& context, DialogView& view,
                            const SecretText& first, const SecretText& second);

enum class PasswordOk {
    End,        // the dialog ends with OK
    Wrong,      // check mode: clear the first box and beep, stay open
    Mismatch,   // set mode: the texts differ (or no new hash could be made): beep, stay
    Unreadable  // a box could not be read: nothing happens
};

// OK pressed. Check mode compares the first box with the stored text; set mode
// stores the new password (or removes it, both boxes empty) into the context's
// buffer, which it leaves unchanged unless the result is End.
PasswordOk OnPasswordOk(const PasswordContext& context, const SecretText& first,
                        const SecretText& second);

}  // namespace tarvik
