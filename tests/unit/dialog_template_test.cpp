// The dialog template: every field of DLGTEMPLATEEX and its items where the
// size pass says it is, padded to 4 bytes, little-endian; the caption, the
// texts from the string table and the font's point size.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/bytes.h"
#include "ui/dialog/dialog_template.h"
#include "ui/text/strings.h"

namespace tarvik {
namespace {

std::size_t Round4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

// Sizes written out from the template format, apart from the builder's code.
std::size_t HeaderBytes(const DialogHeader& h) {
    std::size_t n = 30 + 2 * (h.caption.size() + 1);
    if (h.font) n += 6 + 2 * (h.font->face.size() + 1);
    return Round4(n);
}
std::size_t ItemBytes(std::u16string_view cls, std::u16string_view text) {
    return Round4(24 + 2 * (cls.size() + 1) + 2 * (text.size() + 1) + 2);
}

class Reader {
public:
    Reader(const std::vector<uint8_t>& b, std::size_t pos) : b_(b), pos_(pos) {}
    uint32_t U8() { return b_.at(pos_++); }
    uint32_t U16() {
        EXPECT_LE(pos_ + 2, b_.size());
        const uint32_t v = GetLe16(&b_.at(pos_));
        pos_ += 2;
        return v;
    }
    uint32_t U32() {
        EXPECT_LE(pos_ + 4, b_.size());
        const uint32_t v = GetLe32(&b_.at(pos_));
        pos_ += 4;
        return v;
    }
    std::u16string Sz() {
        std::u16string s;
        for (uint32_t c; (c = U16()) != 0;) s.push_back(static_cast<char16_t>(c));
        return s;
    }
    std::size_t pos() const { return pos_; }

private:
    const std::vector<uint8_t>& b_;
    std::size_t pos_;
};

// clang-format off
const DialogItem kTable[] = {
    {&ctl::GroupRow,      100, u"",       0,            0,   nullptr},
    {&ctl::Icon,          101, u"IconApp", 0,           100, nullptr},
    {&ctl::Label,         103, nullptr,   IDS_RESET_CONFIRM, 100, nullptr},
    {&ctl::DefaultButton, 1,   nullptr,   IDS_OK,       0,   nullptr},
    {&ctl::ListView,      0x12345, u"Speed\tCommand", 0, 0, nullptr},  // only 16 bits used later
    {&ctl::Edit,          105, nullptr,   0,            0,   nullptr},   // no text at all
    {&ctl::Label,         106, nullptr,   9999,         0,   nullptr},   // missing string
};
// clang-format on

std::u16string Lookup(unsigned id) { return std::u16string(ResString(id)); }

std::vector<std::u16string> Texts() {
    std::vector<std::u16string> texts;
    for (const DialogItem& row : kTable) texts.push_back(ItemInitialText(row, Lookup));
    return texts;
}

DialogHeader HeaderWithFont() {
    DialogHeader h;
    h.style = 0x00C80000 | kDsCenterMouse | kDsSetFont;
    h.exStyle = 0x00040000;
    h.caption = u"Tarvik 5.0";
    h.font = DialogFont{8, 400, 0, 1, u"MS Shell Dlg"};
    return h;
}

TEST(DialogTemplate, SizePassMatchesTheBytesAndTheFormat) {
    for (bool font : {true, false}) {
        SCOPED_TRACE(font ? "with font" : "without font");
        DialogHeader h = HeaderWithFont();
        if (!font) h.font.reset(), h.style &= ~kDsSetFont;
        const auto texts = Texts();
        std::size_t expected = HeaderBytes(h);
        for (std::size_t i = 0; i < std::size(kTable); ++i)
            expected += ItemBytes(kTable[i].cls->windowClass, texts[i]);
        EXPECT_EQ(DialogTemplateSize(h, kTable, texts), expected);
        EXPECT_EQ(BuildDialogTemplate(h, kTable, texts).size(), expected);
    }
}

TEST(DialogTemplate, HeaderFields) {
    const DialogHeader h = HeaderWithFont();
    const auto bytes = BuildDialogTemplate(h, kTable, Texts());
    Reader r(bytes, 0);
    EXPECT_EQ(r.U16(), 1u);       // version
    EXPECT_EQ(r.U16(), 0xFFFFu);  // extended template
    EXPECT_EQ(r.U32(), 0u);       // help id
    EXPECT_EQ(r.U32(), 0x00040000u);
    EXPECT_EQ(r.U32(), 0x00C81040u);
    EXPECT_EQ(r.U16(), std::size(kTable));
    EXPECT_EQ(r.U16(), 0u);
    EXPECT_EQ(r.U16(), 0u);
    EXPECT_EQ(r.U16(), 100u);
    EXPECT_EQ(r.U16(), 100u);
    EXPECT_EQ(r.U16(), 0u);  // no menu
    EXPECT_EQ(r.U16(), 0u);  // system dialog class
    EXPECT_EQ(r.Sz(), u"Tarvik 5.0");
    EXPECT_EQ(r.U16(), 8u);
    EXPECT_EQ(r.U16(), 400u);
    EXPECT_EQ(r.U8(), 0u);
    EXPECT_EQ(r.U8(), 1u);
    EXPECT_EQ(r.Sz(), u"MS Shell Dlg");
    EXPECT_EQ(Round4(r.pos()), HeaderBytes(h));
}

TEST(DialogTemplate, EveryItemOnItsBoundaryWithClassStyleIdAndText) {
    const DialogHeader h = HeaderWithFont();
    const auto texts = Texts();
    const auto bytes = BuildDialogTemplate(h, kTable, texts);
    std::size_t offset = HeaderBytes(h);
    for (std::size_t i = 0; i < std::size(kTable); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(offset % 4, 0u);
        Reader r(bytes, offset);
        EXPECT_EQ(r.U32(), 0u);  // help id
        EXPECT_EQ(r.U32(), kTable[i].cls->exStyle);
        EXPECT_EQ(r.U32(), kTable[i].cls->style | 0x50000000u);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(r.U16(), 0u);  // x, y, cx, cy
        EXPECT_EQ(r.U32(), kTable[i].id);
        EXPECT_EQ(r.Sz(), kTable[i].cls->windowClass);
        EXPECT_EQ(r.Sz(), texts[i]);
        EXPECT_EQ(r.U16(), 0u);  // no creation data
        const std::size_t next = offset + ItemBytes(kTable[i].cls->windowClass, texts[i]);
        for (std::size_t p = r.pos(); p < next; ++p) EXPECT_EQ(bytes[p], 0) << "padding at " << p;
        offset = next;
    }
    EXPECT_EQ(offset, bytes.size());
}

TEST(DialogTemplate, CaptionJoinsTitleAndStringOnlyWhenBothAreThere) {
    EXPECT_EQ(DialogCaption(u"", u""), u"");
    EXPECT_EQ(DialogCaption(u"Tarvik 5.0", u""), u"Tarvik 5.0");
    EXPECT_EQ(DialogCaption(u"", u"Drive options"), u"Drive options");
    EXPECT_EQ(DialogCaption(u"D: DVD", u"Drive options"), u"D: DVD - Drive options");
}

TEST(DialogTemplate, FontPointSizeFromThePixelHeight) {
    struct Case {
        int height, dpi;
        uint16_t points;
    };
    const Case cases[] = {
        {-11, 96, 8},   // the usual message font
        {-16, 144, 8},  // the same at 150 %
        {-15, 144, 8},  // 7.5 rounds up
        {-13, 96, 10},  // 9.75
        {11, 96, 8},    // a cell height already reduced by its leading
        {0, 96, 0},     // the system's default height
        {-11, 0, 0},    // no screen: no size rather than a division by zero
    };
    for (const Case& c : cases)
        EXPECT_EQ(DialogPointSize(c.height, c.dpi), c.points) << c.height << " at " << c.dpi;
}

TEST(DialogTemplate, MulDivRoundsHalfAwayFromZero) {
    EXPECT_EQ(MulDivRound(7, 1, 2), 4);
    EXPECT_EQ(MulDivRound(-7, 1, 2), -4);
    EXPECT_EQ(MulDivRound(7, 1, -2), -4);
    EXPECT_EQ(MulDivRound(-11, 72, 96), -8);
    EXPECT_EQ(MulDivRound(1, 1, 0), -1);
    EXPECT_EQ(MulDivRound(0x40000000, 4, 8), 0x20000000);  // the product needs 64 bits
    EXPECT_EQ(MulDivRound(0x40000000, 8, 4), -1);          // the result does not fit
}

}  // namespace
}  // namespace tarvik
