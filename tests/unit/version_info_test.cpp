// Version blocks as GetFileVersionInfo returns them, built byte by byte: the
// lookups, the translation key, and damaged blocks that must not be read past
// their end.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/version_info.h"
#include "version_block.h"

namespace tarvik {
namespace {

using test::Block;
using test::Bytes;
using test::kUsEnglishUnicode;
using test::String;
using test::VNode;

TEST(VersionInfo, StringsOfTheFirstTranslation) {
    struct Case {
        const char* name;
        std::u16string tableKey;
        std::vector<uint8_t> translation;
        std::string key;
    };
    const Case kCases[] = {
        {"US English, Unicode", u"040904b0", kUsEnglishUnicode, "040904b0"},
        {"German, Windows-1252", u"040704E4", {0x07, 0x04, 0xE4, 0x04}, "040704e4"},
        {"first of two", u"040c04e4", {0x0C, 0x04, 0xE4, 0x04, 0x09, 0x04, 0xB0, 0x04}, "040c04e4"},
    };
    for (const Case& c : kCases) {
        AspiVersionInfo info;
        info.StoreVersionInfo(Bytes(Block(c.tableKey, c.translation)));
        EXPECT_EQ(info.key(), c.key) << c.name;
        EXPECT_EQ(info.ASPIGetVersionInfo("ProductName"), u"ASPI for Win32") << c.name;
        EXPECT_EQ(info.ASPIGetVersionInfo("FileVersion"), u"4.60 (1021)") << c.name;
        EXPECT_EQ(info.ASPIGetVersionInfo("fileversion"), u"4.60 (1021)") << c.name;
        EXPECT_EQ(info.ASPIGetVersionInfo("LegalCopyright"), u"(c) Someone 1999") << c.name;
        EXPECT_EQ(info.ASPIGetVersionInfo("CompanyName"), std::nullopt) << c.name;
    }
}

TEST(VersionInfo, WithoutAWholeTranslationEntryTheDefaultKeyIsUsed) {
    struct Case {
        const char* name;
        VNode root;
    };
    const Case kCases[] = {
        {"no VarFileInfo", Block(u"040904b0", {}, false)},
        {"empty translation", Block(u"040904b0", {})},
        {"half an entry", Block(u"040904b0", {0x07, 0x04})},
        {"three bytes", Block(u"040904b0", {0x07, 0x04, 0xE4})},
    };
    for (const Case& c : kCases) {
        AspiVersionInfo info;
        info.StoreVersionInfo(Bytes(c.root));
        EXPECT_EQ(info.key(), "040904b0") << c.name;
        EXPECT_EQ(info.ASPIGetVersionInfo("FileVersion"), u"4.60 (1021)") << c.name;
    }
}

TEST(VersionInfo, BlockEndingInsideItsTranslationIsNotReadPastItsEnd) {
    // The translation is the block's last node; cut the block two bytes into
    // its value, so the node's lengths promise more than there is.
    std::vector<uint8_t> whole = Bytes(Block(u"040904b0", {0x07, 0x04, 0xE4, 0x04}));
    std::vector<uint8_t> cut(whole.begin(), whole.end() - 2);
    cut.shrink_to_fit();
    AspiVersionInfo info;
    info.StoreVersionInfo(cut);
    EXPECT_EQ(info.key(), "040904b0");

    // A value length beyond its node is cut to the node as well.
    VNode root = Block(u"040904b0", {0x07, 0x04});
    root.children.back().children.back().valueLength = 400;
    info.StoreVersionInfo(Bytes(root));
    EXPECT_EQ(info.key(), "040904b0");
}

TEST(VersionInfo, TextValuesEndAtTheirNulOrTheirNode) {
    VNode table{
        u"040904b0", {}, true, {String(u"ProductName", u"ASPI"), String(u"FileVersion", u"1.0")}};
    // A length in bytes instead of characters, as some compilers wrote it.
    table.children[0].valueLength = 10;
    // No NUL at all, the value running to the node's end.
    table.children[1].value.resize(table.children[1].value.size() - 2);
    VNode root{u"VS_VERSION_INFO", {}, false, {VNode{u"StringFileInfo", {}, true, {table}}}};
    AspiVersionInfo info;
    info.StoreVersionInfo(Bytes(root));
    EXPECT_EQ(info.ASPIGetVersionInfo("ProductName"), u"ASPI");
    EXPECT_EQ(info.ASPIGetVersionInfo("FileVersion"), u"1.0");
}

TEST(VersionInfo, NothingStoredAnswersNothing) {
    AspiVersionInfo info;
    EXPECT_FALSE(info.loaded());
    EXPECT_EQ(info.ASPIGetVersionInfo("FileVersion"), std::nullopt);
}

// Every prefix of a block, and blocks with random bytes changed: each lookup
// ends and gives a value or nothing. Under the sanitizers this proves that
// no read leaves the block.
TEST(VersionInfo, DamagedBlocksAreWalkedSafely) {
    const std::vector<uint8_t> whole = Bytes(Block(u"040904b0", kUsEnglishUnicode));
    auto walk = [](std::vector<uint8_t> b) {
        b.shrink_to_fit();
        AspiVersionInfo info;
        info.StoreVersionInfo(b);
        for (const char* key : {"LegalCopyright", "ProductName", "FileVersion"}) {
            const auto v = info.ASPIGetVersionInfo(key);
            if (v) {
                EXPECT_LE(v->size() * 2, b.size());
            }
        }
        EXPECT_EQ(info.key().size(), 8u);
    };
    for (size_t n = 0; n <= whole.size(); ++n)
        walk(std::vector<uint8_t>(whole.begin(), whole.begin() + static_cast<long>(n)));
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint8_t> b = whole;
        for (int k = 0; k < 4; ++k) b[rng() % b.size()] = static_cast<uint8_t>(rng());
        walk(b);
    }
    // A child of length 0 must not hold the walk in place.
    std::vector<uint8_t> zero = whole;
    // Header, "VS_VERSION_INFO" and its NUL, padding to 40, the 52-byte value.
    const size_t firstChild = 92;
    zero[firstChild] = zero[firstChild + 1] = 0;
    walk(zero);
}

}  // namespace
}  // namespace tarvik
