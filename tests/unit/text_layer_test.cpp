// The text layer's portable half: bounded builders that never write past
// their buffer and always terminate, the program's string blocks read
// directly, and cuts that never split a character.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/text/strings.h"
#include "ui/text/text_layer.h"

namespace tarvik {
namespace {

constexpr char16_t kGuard = u'#';

// A buffer with a guard unit after its `capacity` units.
struct Buffer {
    explicit Buffer(std::size_t capacity) : units(capacity + 1, kGuard), capacity(capacity) {}
    char16_t* begin() { return units.data(); }
    const char16_t* end() { return units.data() + capacity; }
    std::u16string text() const { return std::u16string(units.data()); }
    bool guardIntact() const { return units[capacity] == kGuard; }
    std::vector<char16_t> units;
    std::size_t capacity;
};

TEST(WideBuilders, ChainedCallsStopAtTheBufferAndStayTerminated) {
    struct Case {
        std::size_t capacity;
        std::u16string expected;
    };
    // "Drive " + 2400 + CR LF + "KB/s"
    const Case cases[] = {
        {64, u"Drive 2400\r\nKB/s"},
        {17, u"Drive 2400\r\nKB/s"},
        {16, u"Drive 2400\r\nKB/"},
        {13, u"Drive 2400\r\n"},
        {12, u"Drive 2400K"},  // CR LF go together or not at all
        {10, u"Drive \r\nK"},  // a number that does not fit is left out, not cut
        {1, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.capacity);
        Buffer b(c.capacity);
        char16_t* p = WStrCopy(b.begin(), b.end(), u"Drive ");
        p = WStrAppendNumber(p, b.end(), 2400);
        p = WStrAppendCrLf(p, b.end());
        p = WStrAppend(p, b.end(), std::u16string_view(u"KB/s"));
        EXPECT_EQ(b.text(), c.expected);
        EXPECT_EQ(*p, 0);
        EXPECT_EQ(static_cast<std::size_t>(p - b.begin()), c.expected.size());
        EXPECT_TRUE(b.guardIntact());
    }
}

TEST(WideBuilders, NoRoomAtAllWritesNothing) {
    Buffer b(0);
    EXPECT_EQ(WStrCopy(b.begin(), b.end(), u"x"), b.begin());
    EXPECT_EQ(WStrAppendNumber(b.begin(), b.end(), 7), b.begin());
    EXPECT_EQ(WStrAppendCrLf(b.begin(), b.end()), b.begin());
    EXPECT_EQ(b.units[0], kGuard);
}

TEST(WideBuilders, NumbersInDecimal) {
    const std::pair<uint32_t, std::u16string> cases[] = {
        {0, u"0"}, {7, u"7"}, {10, u"10"}, {2400, u"2400"}, {4294967295u, u"4294967295"}};
    for (const auto& [value, text] : cases) {
        Buffer b(16);
        WStrAppendNumber(b.begin(), b.end(), value);
        EXPECT_EQ(b.text(), text);
    }
}

TEST(WideBuilders, ASurrogatePairIsNeverSplit) {
    const std::u16string smile = u"a\U0001F600b";  // a, pair, b: 4 units
    Buffer b(3);                                   // room for 2 units
    WStrAppend(b.begin(), b.end(), std::u16string_view(smile));
    EXPECT_EQ(b.text(), u"a");
    Buffer c(4);
    WStrAppend(c.begin(), c.end(), std::u16string_view(smile));
    EXPECT_EQ(c.text(), u"a\U0001F600");
}

std::vector<uint16_t> Block(unsigned index) { return BuildResStringBlock(index); }

TEST(StringBlocks, FindsEachStringOfItsBlock) {
    // String 17 is the second string of the block named 2.
    const auto block = Block(ResStringBlockName(17) - 1);
    const auto text = FindResString(block, 17);
    ASSERT_TRUE(text);
    EXPECT_EQ(std::u16string(text->begin(), text->end()), u"Autorun");
    for (const ResStringEntry& e : ResStringTable()) {
        const std::vector<uint16_t> block = Block(e.id >> 4);
        const auto found = FindResString(block, e.id);
        ASSERT_TRUE(found) << e.name;
        EXPECT_EQ(std::u16string(found->begin(), found->end()), e.text) << e.name;
    }
    // A free id in a used block is an empty string, not a miss.
    const std::vector<uint16_t> first = Block(0);
    const auto free = FindResString(first, 0);
    ASSERT_TRUE(free);
    EXPECT_TRUE(free->empty());
}

TEST(StringBlocks, ABlockShorterThanItsEntriesIsAMiss) {
    const std::vector<uint16_t> full = Block(1);
    // Cut inside string 17's units, then right after its count, then before it.
    for (std::size_t keep :
         {std::size_t{1 + 8 + 1 + 3}, std::size_t{1 + 8 + 1}, std::size_t{1 + 8}, std::size_t{0}}) {
        SCOPED_TRACE(keep);
        const std::span<const uint16_t> cut(full.data(), keep);
        EXPECT_FALSE(FindResString(cut, 17));
    }
    // A count that claims more than the block holds.
    const std::vector<uint16_t> lying = {0, 500, u'x'};
    EXPECT_FALSE(FindResString(lying, 1));
}

TEST(StringBlocks, LoadResStringCopiesWhatFitsAndCountsWhatWasCopied) {
    const unsigned id = IDS_SCAN_FAST;  // "Fast scan", 9 units
    const auto block = Block(id >> 4);
    EXPECT_EQ(LoadResString<char16_t>(block, id, nullptr, 0), 9);
    Buffer five(5);
    EXPECT_EQ(LoadResString(block, id, five.begin(), 5), 4);
    EXPECT_EQ(five.text(), u"Fast");
    Buffer ten(10);
    EXPECT_EQ(LoadResString(block, id, ten.begin(), 10), 9);
    EXPECT_EQ(ten.text(), u"Fast scan");
    // Capacity 0: nothing written at all.
    Buffer none(0);
    EXPECT_EQ(LoadResString(block, id, none.begin(), 0), 0);
    EXPECT_EQ(none.units[0], kGuard);
    // A missing string: 0 and an empty text.
    Buffer missing(4);
    EXPECT_EQ(LoadResString(std::span<const uint16_t>(), id, missing.begin(), 4), 0);
    EXPECT_EQ(missing.text(), u"");
}

bool ShiftJisLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

TEST(AnsiCut, NeverSplitsADoubleByteCharacter) {
    const std::string text =
        "ab\x82\xa0"
        "cd";
    struct Case {
        std::size_t maxBytes;
        std::size_t expected;
    };
    const Case cases[] = {{0, 0}, {2, 2}, {3, 2}, {4, 4}, {5, 5}, {100, 6}};
    for (const Case& c : cases)
        EXPECT_EQ(AnsiPrefixLength(text, c.maxBytes, ShiftJisLead), c.expected) << c.maxBytes;
    // A lead byte whose partner was cut off already is dropped.
    EXPECT_EQ(AnsiPrefixLength("ab\x82", 10, ShiftJisLead), 2u);
    // A single-byte code page cuts anywhere.
    EXPECT_EQ(AnsiPrefixLength(text, 3, nullptr), 3u);
}

TEST(AnsiCut, AFullTipInADoubleByteCodePageFitsTheAnsiField) {
    // 127 wide characters of two bytes each are 254 bytes; the ANSI tip holds 127 and a NUL.
    std::string tip;
    for (int i = 0; i < 127; ++i) tip += "\x82\xa0";
    EXPECT_EQ(AnsiPrefixLength(tip, 127, ShiftJisLead), 126u);
}

}  // namespace
}  // namespace tarvik
