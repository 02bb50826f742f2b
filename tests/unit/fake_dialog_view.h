#pragma once
// A dialog view over plain maps: what a model set can be read back, and a
// test plays the user by setting checks and texts before calling the model.
// Controls start checked false, empty, enabled and shown.
#include <map>
#include <set>
#include <string>

#include "ui/dialog_view.h"

namespace tarvik::testing {

class FakeDialogView : public DialogView {
public:
    bool Checked(uint16_t id) const override { return checked_.count(id) != 0; }
    void SetChecked(uint16_t id, bool checked) override {
        if (checked)
            checked_.insert(id);
        else
            checked_.erase(id);
    }
    std::u16string Text(uint16_t id) const override {
        auto it = texts_.find(id);
        return it == texts_.end() ? std::u16string() : it->second;
    }
    void SetText(uint16_t id, std::u16string_view text) override {
        texts_[id] = std::u16string(text);
    }
    bool Enabled(uint16_t id) const override { return disabled_.count(id) == 0; }
    void Enable(uint16_t id, bool enabled) override {
        if (enabled)
            disabled_.erase(id);
        else
            disabled_.insert(id);
    }
    void Show(uint16_t id, bool shown) override {
        if (shown)
            hidden_.erase(id);
        else
            hidden_.insert(id);
    }
    bool Shown(uint16_t id) const { return hidden_.count(id) == 0; }

private:
    std::set<uint16_t> checked_;
    std::set<uint16_t> disabled_;
    std::set<uint16_t> hidden_;
    std::map<uint16_t, std::u16string> texts_;
};

}  // namespace tarvik::testing
