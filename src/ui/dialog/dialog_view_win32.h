#pragma once
// The dialog view over a live dialog's controls.
#include <windows.h>

#include "ui/dialog/dialog_view.h"

namespace tarvik {

class WindowDialogView : public DialogView {
public:
    explicit WindowDialogView(HWND dialog) : dialog_(dialog) {}
    HWND window() const { return dialog_; }

    bool Checked(uint16_t id) const override;
    void SetChecked(uint16_t id, bool checked) override;
    std::u16string Text(uint16_t id) const override;
    void SetText(uint16_t id, std::u16string_view text) override;
    bool Enabled(uint16_t id) const override;
    void Enable(uint16_t id, bool enabled) override;
    void Show(uint16_t id, bool shown) override;

private:
    HWND dialog_;
};

}  // namespace tarvik
