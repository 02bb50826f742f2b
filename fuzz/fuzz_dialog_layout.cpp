// A dialog table made from the input (any classes, ids, parents, texts and
// layout codes, cycles and orphans included) measured and placed with metrics
// that answer from the input. It must end quickly: a bound on the metrics'
// calls turns a runaway walk into a crash the fuzzer reports.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "ui/dialog/dialog_layout.h"

using namespace tarvik;

namespace {

constexpr std::array<const ControlClass*, 22> kClasses = {
    &ctl::SmallButton, &ctl::DefaultButton, &ctl::Button,    &ctl::RadioFirst, &ctl::Radio,
    &ctl::CheckBox,    &ctl::EditRight,     &ctl::Edit,      &ctl::Spacer,     &ctl::GroupRow,
    &ctl::GroupColumn, &ctl::HotKey,        &ctl::SmallIcon, &ctl::Icon,       &ctl::LabelRight,
    &ctl::LabelCenter, &ctl::Label,         &ctl::ListView,  &ctl::Progress,   &ctl::RichText,
    &ctl::Row,         &ctl::Column};

// What GDI can answer: sizes within a 16-bit device space.
constexpr int kMaxPixels = 0x7FFF;
constexpr int kCallBudget = 1 << 20;

struct Font {
    int charWidth = 0, lineHeight = 0, maxChar = 0, dpi = 96;
    Size icon, listView;
};

class InputMetrics : public TextMetrics {
public:
    explicit InputMetrics(FuzzedDataProvider& in) {
        scrollWidth_ = in.ConsumeIntegralInRange(0, 64);
        scrollHeight_ = in.ConsumeIntegralInRange(0, 64);
        for (int n = in.ConsumeIntegralInRange(0, 16); n > 0; --n) {
            const uint16_t id = in.ConsumeIntegralInRange<uint16_t>(0, 15);
            Font& f = fonts_[id];
            f.charWidth = in.ConsumeIntegralInRange(0, 200);
            f.lineHeight = in.ConsumeIntegralInRange(0, 200);
            f.maxChar = in.ConsumeIntegralInRange(0, 400);
            f.dpi = in.ConsumeIntegralInRange(0, 960);
            f.icon = {in.ConsumeIntegralInRange(0, 256), in.ConsumeIntegralInRange(0, 256)};
            f.listView = {in.ConsumeIntegralInRange(0, 2000), in.ConsumeIntegralInRange(0, 2000)};
            texts_[id] = Text16(in.ConsumeRandomLengthString(24));
        }
    }

    std::u16string Text(uint16_t id) override {
        Count();
        const auto it = texts_.find(id);
        return it == texts_.end() ? std::u16string() : it->second;
    }
    Size TextExtent(uint16_t id, std::u16string_view line) override {
        Count();
        const Font& f = FontOf(id);
        const long long width = static_cast<long long>(f.charWidth) * line.size();
        return {static_cast<int>(std::min<long long>(width, kMaxPixels)), f.lineHeight};
    }
    int MaxCharWidth(uint16_t id) override { return Count(), FontOf(id).maxChar; }
    int Dpi(uint16_t id) override { return Count(), FontOf(id).dpi; }
    int ScrollWidth() override { return Count(), scrollWidth_; }
    int ScrollHeight() override { return Count(), scrollHeight_; }
    Size IconSize(uint16_t id) override { return Count(), FontOf(id).icon; }
    Size ListViewSize(uint16_t id) override { return Count(), FontOf(id).listView; }

private:
    // Bytes widened; the layout codes are digits and spaces, '\n' breaks lines.
    static std::u16string Text16(const std::string& bytes) { return {bytes.begin(), bytes.end()}; }
    const Font& FontOf(uint16_t id) {
        const auto it = fonts_.find(id);
        return it == fonts_.end() ? default_ : it->second;
    }
    void Count() {
        if (++calls_ > kCallBudget) std::abort();
    }

    std::map<uint16_t, Font> fonts_;
    std::map<uint16_t, std::u16string> texts_;
    Font default_{7, 15, 14, 96, {32, 32}, {0, 0}};
    int scrollWidth_ = 0, scrollHeight_ = 0;
    int calls_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<DialogItem> table(in.ConsumeIntegralInRange(0, 48));
    for (DialogItem& row : table) {
        row.cls = kClasses[in.ConsumeIntegralInRange<size_t>(0, kClasses.size() - 1)];
        // Few ids, so that rows share them, contain each other and form cycles.
        row.id = in.ConsumeIntegralInRange<uint32_t>(0, 15);
        row.parent = in.ConsumeIntegralInRange<uint32_t>(0, 15);
        row.text = nullptr;
        row.stringId = 0;
        row.handler = nullptr;
    }
    InputMetrics metrics(in);
    std::vector<ItemState> items = MakeItemStates(table);
    const Size client = MeasureDialog(items, metrics);
    const int width = client.width + in.ConsumeIntegralInRange(-200, 2000);
    const int height = client.height + in.ConsumeIntegralInRange(-200, 2000);
    const std::vector<Placement> placed = PlaceDialog(items, metrics, width, height);
    // Each row is placed once at most, whatever the table says.
    if (placed.size() > items.size()) std::abort();
    for (const Placement& p : placed)
        if (p.index >= items.size()) std::abort();
    return 0;
}
