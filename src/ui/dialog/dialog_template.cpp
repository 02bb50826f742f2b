#include "ui/dialog/dialog_template.h"

#include <cstdlib>

#include "base/bytes.h"

namespace tarvik {
namespace {

// The size pass and the write pass run the same code: with no buffer the
// writer only counts, so the two can never disagree.
class TemplateWriter {
public:
    explicit TemplateWriter(uint8_t* out) : out_(out) {}

    void U8(uint32_t v) {
        if (out_) out_[pos_] = static_cast<uint8_t>(v);
        pos_ += 1;
    }
    void U16(uint32_t v) {
        if (out_) PutLe16(out_ + pos_, v);
        pos_ += 2;
    }
    void U32(uint32_t v) {
        if (out_) PutLe32(out_ + pos_, v);
        pos_ += 4;
    }
    // A NUL-terminated UTF-16 string.
    void Sz(std::u16string_view s) {
        for (char16_t c : s) U16(c);
        U16(0);
    }
    void AlignTo4() {
        while (pos_ % 4) U8(0);
    }
    std::size_t pos() const { return pos_; }

private:
    uint8_t* out_;
    std::size_t pos_ = 0;
};

void WriteHeader(TemplateWriter& w, const DialogHeader& h, std::size_t count) {
    w.U16(1);       // dlgVer
    w.U16(0xFFFF);  // signature: extended template
    w.U32(0);       // helpID
    w.U32(h.exStyle);
    w.U32(h.style);
    w.U16(static_cast<uint32_t>(count));
    w.U16(0);  // x
    w.U16(0);  // y
    w.U16(kTemplateWidth);
    w.U16(kTemplateHeight);
    w.U16(0);  // no menu
    w.U16(0);  // the system dialog class
    w.Sz(h.caption);
    if (h.font) {
        w.U16(h.font->pointSize);
        w.U16(h.font->weight);
        w.U8(h.font->italic);
        w.U8(h.font->charset);
        w.Sz(h.font->face);
    }
    w.AlignTo4();
}

void WriteItem(TemplateWriter& w, const DialogItem& item, std::u16string_view text) {
    w.U32(0);  // helpID
    w.U32(item.cls->exStyle);
    w.U32(item.cls->style | kWsChildVisible);
    w.U16(0);  // x, y, cx, cy: placed later
    w.U16(0);
    w.U16(0);
    w.U16(0);
    w.U32(item.id);
    w.Sz(item.cls->windowClass);
    w.Sz(text);
    w.U16(0);  // no creation data
    w.AlignTo4();
}

// Runs the pass; the number of bytes it covered.
std::size_t Emit(TemplateWriter& w, const DialogHeader& header, DialogTable table,
                 std::span<const std::u16string> texts) {
    WriteHeader(w, header, table.size());
    for (std::size_t i = 0; i < table.size(); ++i) WriteItem(w, table[i], texts[i]);
    return w.pos();
}

}  // namespace

std::size_t DialogTemplateSize(const DialogHeader& header, DialogTable table,
                               std::span<const std::u16string> texts) {
    if (texts.size() != table.size()) return 0;
    TemplateWriter counter(nullptr);
    return Emit(counter, header, table, texts);
}

std::vector<uint8_t> BuildDialogTemplate(const DialogHeader& header, DialogTable table,
                                         std::span<const std::u16string> texts) {
    const std::size_t size = DialogTemplateSize(header, table, texts);
    if (size == 0) return {};
    std::vector<uint8_t> bytes(size);
    TemplateWriter writer(bytes.data());
    (void)Emit(writer, header, table, texts);
    return bytes;
}

int MulDivRound(int a, int b, int c) {
    if (c == 0) return -1;
    const long long product = static_cast<long long>(a) * b;
    const long long half = std::llabs(static_cast<long long>(c)) / 2;
    const bool negative = (product < 0) != (c < 0);
    const long long magnitude =
        (std::llabs(product) + half) / std::llabs(static_cast<long long>(c));
    if (magnitude > 0x7FFFFFFF) return -1;
    return static_cast<int>(negative ? -magnitude : magnitude);
}

uint16_t DialogPointSize(int charHeight, int dpi) {
    if (dpi <= 0) return 0;
    const int points = MulDivRound(std::abs(charHeight), 72, dpi);
    return static_cast<uint16_t>(points > 0xFFFF ? 0xFFFF : points);
}

}  // namespace tarvik
