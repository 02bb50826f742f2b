#pragma once
// A TextMetrics with fixed numbers, so that measuring and placing can be
// checked to the pixel: text widths come from a table (6 pixels a character
// at 96 DPI for anything not in it), every line is `lineHeight` high, and the control
// texts are the table's initial texts unless a test changes one.
#include <map>
#include <string>

#include "ui/dialog/dialog_layout.h"
#include "ui/dialog/dialog_table.h"

namespace tarvik::testing {

struct FakeFont {
    int dpi = 96;
    int charWidth = 6;  // of every character not in `widths`
    int lineHeight = 13;
    int maxCharWidth = 16;
    int scrollWidth = 17;
    int scrollHeight = 17;
    Size icon{32, 32};
    Size listView{};  // LVM_APPROXIMATEVIEWRECT's answer; 0 x 0: none
    std::map<std::u16string, int> widths;
};

class FakeMetrics final : public TextMetrics {
public:
    explicit FakeMetrics(FakeFont font) : font_(std::move(font)) {}

    // Texts as the template gives them: literals only (string ids are not
    // looked up here).
    void LoadTexts(DialogTable table) {
        for (const DialogItem& row : table)
            texts_[static_cast<uint16_t>(row.id)] = row.text ? row.text : u"";
    }
    // Texts as the template gives them, string ids looked up by `lookup`.
    void LoadTexts(DialogTable table, StringLookup lookup) {
        for (const DialogItem& row : table)
            texts_[static_cast<uint16_t>(row.id)] = ItemInitialText(row, lookup);
    }
    void SetText(uint16_t id, std::u16string text) { texts_[id] = std::move(text); }

    std::u16string Text(uint16_t id) override {
        auto it = texts_.find(id);
        return it == texts_.end() ? std::u16string() : it->second;
    }
    Size TextExtent(uint16_t, std::u16string_view line) override {
        ++extentCalls;
        auto it = font_.widths.find(std::u16string(line));
        const int width = it != font_.widths.end() ? it->second
                          : line == u"\n"          ? 0
                                          : font_.charWidth * static_cast<int>(line.size());
        return {width, font_.lineHeight};
    }
    int MaxCharWidth(uint16_t) override { return font_.maxCharWidth; }
    int Dpi(uint16_t) override { return font_.dpi; }
    int ScrollWidth() override { return font_.scrollWidth; }
    int ScrollHeight() override { return font_.scrollHeight; }
    Size IconSize(uint16_t) override { return font_.icon; }
    Size ListViewSize(uint16_t) override { return font_.listView; }

    int extentCalls = 0;

private:
    FakeFont font_;
    std::map<uint16_t, std::u16string> texts_;
};

inline bool Inside(const Box& inner, const Box& outer) {
    return inner.x >= outer.x && inner.y >= outer.y &&
           inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

inline bool Overlap(const Box& a, const Box& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

}  // namespace tarvik::testing
