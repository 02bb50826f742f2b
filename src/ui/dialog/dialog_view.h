#pragma once
// What a dialog's model sees of its controls: check state, text, numbers,
// enabling and visibility, by control id. The models (options, drive options,
// password, reminders) speak only to this, so their rules run and are tested
// without Windows; the _win32 view adapts it to the live controls.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "ui/dialog/dialog_layout.h"

namespace tarvik {

// A number's decimal digits, as SetDlgItemInt writes them.
inline std::u16string DecimalText(uint64_t value) {
    std::u16string s;
    do {
        s.insert(s.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value);
    return s;
}

class DialogView {
public:
    virtual ~DialogView() = default;

    virtual bool Checked(uint16_t id) const = 0;
    virtual void SetChecked(uint16_t id, bool checked) = 0;
    virtual std::u16string Text(uint16_t id) const = 0;
    virtual void SetText(uint16_t id, std::u16string_view text) = 0;
    virtual bool Enabled(uint16_t id) const = 0;
    virtual void Enable(uint16_t id, bool enabled) = 0;
    virtual void Show(uint16_t id, bool shown) = 0;

    // An unsigned number as GetDlgItemInt reads it: 0 when empty, not a
    // number or beyond 32 bits.
    unsigned Number(uint16_t id) const { return ParseDlgInt(Text(id)); }
    void SetNumber(uint16_t id, unsigned value) { SetText(id, DecimalText(value)); }
};

// A view over plain maps, for what runs a model without windows (tests, the
// fault matrix): what the model set can be read back, and a caller plays the
// user by setting checks and texts. Controls start unchecked, empty, enabled
// and shown.
class MapDialogView : public DialogView {
public:
    bool Checked(uint16_t id) const override { return checked_.count(id) != 0; }
    void SetChecked(uint16_t id, bool checked) override { Put(checked_, id, checked); }
    std::u16string Text(uint16_t id) const override {
        auto it = texts_.find(id);
        return it == texts_.end() ? std::u16string() : it->second;
    }
    void SetText(uint16_t id, std::u16string_view text) override {
        texts_[id] = std::u16string(text);
    }
    bool Enabled(uint16_t id) const override { return disabled_.count(id) == 0; }
    void Enable(uint16_t id, bool enabled) override { Put(disabled_, id, !enabled); }
    void Show(uint16_t id, bool shown) override { Put(hidden_, id, !shown); }
    bool Shown(uint16_t id) const { return hidden_.count(id) == 0; }

private:
    static void Put(std::set<uint16_t>& set, uint16_t id, bool in) {
        if (in)
            set.insert(id);
        else
            set.erase(id);
    }

    std::set<uint16_t> checked_;
    std::set<uint16_t> disabled_;
    std::set<uint16_t> hidden_;
    std::map<uint16_t, std::u16string> texts_;
};

}  // namespace tarvik
