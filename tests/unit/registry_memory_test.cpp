#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "platform/registry_memory.h"
#include "settings/reg_file.h"

namespace tarvik {
namespace {

using Bytes = std::vector<uint8_t>;

class RegistryMemoryTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(reg_.OpenHandles(), 0u); }
    MemoryRegistry reg_;
};

TEST_F(RegistryMemoryTest, CreateReportsNewKeysAndNamesIgnoreCase) {
    bool created = false;
    RegKey key = RegKey::Create(kHkeyCurrentUser, "Software\\Vendor\\App", kKeyAllAccess, &created,
                                nullptr, &reg_);
    ASSERT_TRUE(key);
    EXPECT_TRUE(created);
    RegKey again = RegKey::Create(kHkeyCurrentUser, "SOFTWARE\\vendor\\APP", kKeyAllAccess,
                                  &created, nullptr, &reg_);
    ASSERT_TRUE(again);
    EXPECT_FALSE(created);
    ASSERT_EQ(key.SetDword("Value", 7), kRegOk);
    uint8_t data[4] = {};
    uint32_t size = 4, type = 0;
    EXPECT_EQ(again.Query("VALUE", &type, data, &size), kRegOk);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(data[0], 7);
    // The first spelling stays.
    RegKey vendor = RegKey::Open(kHkeyCurrentUser, "software\\VENDOR", kKeyRead, nullptr, &reg_);
    char name[32];
    uint32_t chars = sizeof(name);
    ASSERT_EQ(vendor.EnumKey(0, name, &chars), kRegOk);
    EXPECT_STREQ(name, "App");
    EXPECT_EQ(chars, 3u);
}

TEST_F(RegistryMemoryTest, QueryFollowsTheSizeRules) {
    RegKey key = RegKey::Create(kHkeyLocalMachine, "K", kKeyAllAccess, nullptr, nullptr, &reg_);
    ASSERT_EQ(key.SetString("S", "hello"), kRegOk);
    uint32_t type = 0, size = 0;
    EXPECT_EQ(key.Query("S", &type, nullptr, &size), kRegOk);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, kRegSz);
    char small[4] = {'-', '-', '-', '-'};
    size = sizeof(small);
    EXPECT_EQ(key.Query("S", nullptr, small, &size), kRegMoreData);
    EXPECT_EQ(size, 6u);
    char exact[6];
    size = sizeof(exact);
    EXPECT_EQ(key.Query("S", nullptr, exact, &size), kRegOk);
    EXPECT_STREQ(exact, "hello");
    EXPECT_EQ(key.Query("missing", nullptr, nullptr, &size), kRegFileNotFound);
    EXPECT_EQ(key.Query(nullptr, nullptr, nullptr, &size), kRegFileNotFound);  // no default value
    ASSERT_EQ(key.SetString("", "dflt"), kRegOk);
    EXPECT_EQ(key.Query(nullptr, nullptr, nullptr, &size), kRegOk);
    EXPECT_EQ(size, 5u);
}

TEST_F(RegistryMemoryTest, AccessRightsOfTheHandleAreEnforced) {
    RegKey::Create(kHkeyCurrentUser, "K", kKeyAllAccess, nullptr, nullptr, &reg_).SetDword("v", 1);
    RegKey reader = RegKey::Open(kHkeyCurrentUser, "K", kKeyRead, nullptr, &reg_);
    EXPECT_EQ(reader.SetDword("v", 2), kRegAccessDenied);
    EXPECT_EQ(reader.DeleteValue("v"), kRegAccessDenied);
    RegKey writer = RegKey::Open(kHkeyCurrentUser, "K", kKeyWrite, nullptr, &reg_);
    uint32_t size = 0;
    EXPECT_EQ(writer.Query("v", nullptr, nullptr, &size), kRegAccessDenied);
    EXPECT_EQ(writer.SetDword("v", 3), kRegOk);
}

TEST_F(RegistryMemoryTest, DenialRefusesWithoutCreatingAnything) {
    reg_.Deny(kHkeyLocalMachine, "SOFTWARE\\Policies", kKeyWrite);
    long status = 0;
    RegKey key = RegKey::Create(kHkeyLocalMachine, "software\\policies\\Explorer",
                                kKeyRead | kKeyWrite, nullptr, &status, &reg_);
    EXPECT_FALSE(key);
    EXPECT_EQ(status, kRegAccessDenied);
    EXPECT_FALSE(RegKey::Open(kHkeyLocalMachine, "SOFTWARE", kKeyRead, nullptr, &reg_));
    // Reading is still allowed, writing elsewhere too.
    EXPECT_TRUE(
        RegKey::Create(kHkeyLocalMachine, "SOFTWARE\\Policies", kKeyRead, nullptr, &status, &reg_));
    EXPECT_FALSE(
        RegKey::Open(kHkeyLocalMachine, "SOFTWARE\\Policies", kKeyAllAccess, &status, &reg_));
    EXPECT_TRUE(RegKey::Create(kHkeyLocalMachine, "SOFTWARE\\Other", kKeyAllAccess, nullptr,
                               nullptr, &reg_));
}

TEST_F(RegistryMemoryTest, DeleteKeyNeedsAnEmptyKeyUnlessTheFamilyRemovesTrees) {
    RegKey::Create(kHkeyCurrentUser, "A\\B", kKeyAllAccess, nullptr, nullptr, &reg_);
    EXPECT_EQ(reg_.DeleteKey(kHkeyCurrentUser, "A"), kRegAccessDenied);
    EXPECT_EQ(reg_.DeleteKey(kHkeyCurrentUser, "A\\Missing"), kRegFileNotFound);
    EXPECT_EQ(reg_.DeleteKey(kHkeyCurrentUser, ""), kRegInvalidParameter);
    reg_.SetDeleteRemovesTree(true);
    EXPECT_EQ(reg_.DeleteKey(kHkeyCurrentUser, "A"), kRegOk);
    EXPECT_FALSE(RegKey::Open(kHkeyCurrentUser, "A", kKeyRead, nullptr, &reg_));
}

TEST_F(RegistryMemoryTest, HandleOfADeletedKeyStaysDeadWhenTheNameReturns) {
    RegKey old = RegKey::Create(kHkeyCurrentUser, "A", kKeyAllAccess, nullptr, nullptr, &reg_);
    ASSERT_EQ(reg_.DeleteKey(kHkeyCurrentUser, "A"), kRegOk);
    RegKey fresh = RegKey::Create(kHkeyCurrentUser, "A", kKeyAllAccess, nullptr, nullptr, &reg_);
    EXPECT_EQ(old.SetDword("x", 1), kRegKeyDeleted);
    uint32_t size = 0;
    EXPECT_EQ(fresh.Query("x", nullptr, nullptr, &size), kRegFileNotFound);
    EXPECT_EQ(reg_.Query(0x12345, "x", nullptr, nullptr, &size), kRegInvalidHandle);
}

TEST_F(RegistryMemoryTest, EnumerationAndCounts) {
    for (const char* name : {"b", "A", "c"})
        RegKey::Create(kHkeyCurrentUser, (std::string("P\\") + name).c_str(), kKeyAllAccess,
                       nullptr, nullptr, &reg_);
    RegKey parent = RegKey::Open(kHkeyCurrentUser, "P", kKeyAllAccess, nullptr, &reg_);
    uint32_t count = 0;
    ASSERT_EQ(parent.CountSubkeys(&count), kRegOk);
    EXPECT_EQ(count, 3u);
    std::vector<std::string> names;
    char name[8];
    for (uint32_t i = 0;; ++i) {
        uint32_t chars = sizeof(name);
        if (parent.EnumKey(i, name, &chars) != kRegOk) break;
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"A", "b", "c"}));
    uint32_t chars = 1;  // no room for a name and its terminator
    EXPECT_EQ(parent.EnumKey(0, name, &chars), kRegMoreData);
    chars = sizeof(name);
    EXPECT_EQ(parent.EnumKey(3, name, &chars), kRegNoMoreItems);

    ASSERT_EQ(parent.SetDword("second", 2), kRegOk);
    ASSERT_EQ(parent.SetDword("first", 1), kRegOk);
    uint32_t size = 4, type = 0;
    uint8_t data[4];
    chars = sizeof(name);
    ASSERT_EQ(reg_.EnumValue(parent.handle(), 0, name, &chars, &type, data, &size), kRegOk);
    EXPECT_STREQ(name, "second");  // values keep the order they were set in
}

// ---- .reg files ------------------------------------------------------------

std::string Utf16(const std::string& ascii) {
    std::string out("\xFF\xFE", 2);
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

const char kSample[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Orvanto Software\\Tarvik\\4.0]\r\n"
    "\"NumNames\"=dword:00000001\r\n"
    "\"SavePath\"=\"C:\\\\backup\\\\t \\\"x\\\".reg\"\r\n"
    "@=\"default\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Orvanto Software\\Tarvik\\4.0\\DRIVE\\SpeedListCD]\r\n"
    "\"Range\"=hex:14,21,00,00,15,21,00,00,08,1b,00,00,09,1b,00,00,fc,14,00,00,fd,14,\\\r\n"
    "  00,00,f0,0e,00,00,f1,0e,00,00\r\n"
    "\"Empty\"=hex:\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\"Expand\"=hex(2):25,00,54,00,4d,00,50,00,25,00,00,00\r\n"
    "\r\n";

TEST(RegFileTest, ImportsWhatTheRegistryToolsWriteInEveryEncoding) {
    for (const std::string& bytes :
         {Utf16(kSample), std::string(kSample), std::string("\xEF\xBB\xBF") + kSample}) {
        MemoryRegistry reg;
        std::string error;
        ASSERT_TRUE(ImportRegText(reg, bytes, &error)) << error;
        RegKey root = RegKey::Open(kHkeyCurrentUser, "Software\\Orvanto Software\\Tarvik\\4.0",
                                   kKeyRead, nullptr, &reg);
        ASSERT_TRUE(root);
        char text[64] = {};
        uint32_t size = sizeof(text), type = 0;
        ASSERT_EQ(root.Query("SavePath", &type, text, &size), kRegOk);
        EXPECT_STREQ(text, "C:\\backup\\t \"x\".reg");
        EXPECT_EQ(size, 20u);
        uint8_t dword[4];
        size = 4;
        ASSERT_EQ(root.Query("NumNames", &type, dword, &size), kRegOk);
        EXPECT_EQ(type, kRegDword);
        EXPECT_EQ(dword[0], 1);
        RegKey list = RegKey::Open(root.handle(), "DRIVE\\SpeedListCD", kKeyRead, nullptr, &reg);
        uint8_t range[64];
        size = sizeof(range);
        ASSERT_EQ(list.Query("Range", &type, range, &size), kRegOk);
        EXPECT_EQ(type, kRegBinary);
        EXPECT_EQ(size, 32u);
        EXPECT_EQ(range[0], 0x14);
        EXPECT_EQ(range[31], 0x00);
        size = sizeof(range);
        ASSERT_EQ(list.Query("Empty", &type, range, &size), kRegOk);
        EXPECT_EQ(size, 0u);
        // String types in a version 5 file are UTF-16 and arrive as ANSI.
        size = sizeof(range);
        ASSERT_EQ(list.Query("Multi", &type, range, &size), kRegOk);
        EXPECT_EQ(type, kRegMultiSz);
        EXPECT_EQ(Bytes(range, range + size), (Bytes{'a', 0, 'b', 0, 0}));
        size = sizeof(range);
        ASSERT_EQ(list.Query("Expand", &type, range, &size), kRegOk);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(range)), "%TMP%");
    }
}

TEST(RegFileTest, ExportImportRoundTripKeepsTheTree) {
    MemoryRegistry a;
    RegKey key = RegKey::Create(kHkeyCurrentUser, "S\\T", kKeyAllAccess, nullptr, nullptr, &a);
    ASSERT_EQ(key.SetString("plain", "C:\\x \"quoted\""), kRegOk);
    ASSERT_EQ(key.SetString("latin", "K\xF6ln \x80"), kRegOk);  // o-umlaut, euro sign
    ASSERT_EQ(key.SetString("lines", "a\r\nb"), kRegOk);
    ASSERT_EQ(key.Set("unterminated", kRegSz, "abc", 3), kRegOk);
    ASSERT_EQ(key.SetDword("d", 0xDEADBEEF), kRegOk);
    ASSERT_EQ(key.Set("short dword", kRegDword, "\x01\x02", 2), kRegOk);
    Bytes big(300);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(key.Set("big", kRegBinary, big.data(), 300), kRegOk);
    ASSERT_EQ(key.Set("none", kRegNone, nullptr, 0), kRegOk);
    ASSERT_EQ(key.Set("q", kRegQword, "\1\2\3\4\5\6\7\x08", 8), kRegOk);
    RegKey::Create(kHkeyCurrentUser, "S\\T\\Empty\\Deeper", kKeyAllAccess, nullptr, nullptr, &a);
    key.Reset();

    std::string text;
    ASSERT_TRUE(ExportRegText(a, kHkeyCurrentUser, "S", &text));
    EXPECT_EQ(
        text.rfind("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\S]\r\n", 0),
        0u);
    EXPECT_NE(text.find("\"d\"=dword:deadbeef\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"plain\"=\"C:\\\\x \\\"quoted\\\"\"\r\n"), std::string::npos);
    for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
         start = end + 2)
        EXPECT_LE(end - start, 80u) << "lines are wrapped";

    MemoryRegistry b;
    std::string error;
    ASSERT_TRUE(ImportRegText(b, EncodeRegFile(text), &error)) << error;
    std::string difference;
    EXPECT_TRUE(CompareRegTrees(a, kHkeyCurrentUser, b, kHkeyCurrentUser, &difference))
        << difference;

    // The comparison does see a difference.
    RegKey changed = RegKey::Open(kHkeyCurrentUser, "S\\T", kKeyAllAccess, nullptr, &b);
    ASSERT_EQ(changed.SetDword("d", 1), kRegOk);
    EXPECT_FALSE(CompareRegTrees(a, kHkeyCurrentUser, b, kHkeyCurrentUser, &difference));
    EXPECT_NE(difference.find("\"d\""), std::string::npos) << difference;
    ASSERT_EQ(changed.SetDword("d", 0xDEADBEEF), kRegOk);
    ASSERT_EQ(changed.SetDword("extra", 1), kRegOk);
    EXPECT_FALSE(CompareRegTrees(a, kHkeyCurrentUser, b, kHkeyCurrentUser, &difference));
    ASSERT_EQ(changed.DeleteValue("extra"), kRegOk);
    RegKey::Create(kHkeyCurrentUser, "S\\T\\New", kKeyAllAccess, nullptr, nullptr, &b);
    EXPECT_FALSE(CompareRegTrees(a, kHkeyCurrentUser, b, kHkeyCurrentUser, &difference));
    EXPECT_NE(difference.find("New"), std::string::npos) << difference;
}

// A key name the file cannot hold (a drive's INQUIRY put a line break in it)
// is left out and named; the rest of the file still loads, and value names
// with line breaks, quotes and backslashes come back as they were.
TEST(RegFileTest, KeyNamesThatCannotBeReadBackAreRefusedAndTheRestIsKept) {
    MemoryRegistry a;
    RegKey bad = RegKey::Create(kHkeyCurrentUser, "S\\EVIL\nX]\"=\"\\Inner", kKeyAllAccess, nullptr,
                                nullptr, &a);
    ASSERT_TRUE(bad);
    ASSERT_EQ(bad.SetDword("v", 1), kRegOk);
    RegKey good = RegKey::Create(kHkeyCurrentUser, "S\\Good]", kKeyAllAccess, nullptr, nullptr, &a);
    ASSERT_EQ(good.SetDword("line\nbreak \"q\" \\", 7), kRegOk);
    ASSERT_TRUE(RegKey::Create(kHkeyCurrentUser, "Tab\tTop", kKeyAllAccess, nullptr, nullptr, &a));
    EXPECT_FALSE(RegKeyNameWritable("EVIL\nX"));
    EXPECT_FALSE(RegKeyNameWritable(""));
    EXPECT_TRUE(RegKeyNameWritable("Good] \"x\" \x7F\xE9"));

    std::string text;
    std::vector<std::string> refused;
    ASSERT_TRUE(ExportRegText(a, kHkeyCurrentUser, "S", &text, &refused));
    EXPECT_EQ(refused, std::vector<std::string>{"HKEY_CURRENT_USER\\S\\EVIL\\x0AX]\"=\""});
    refused.clear();
    text = ExportAllRegText(a, &refused);
    EXPECT_EQ(refused, (std::vector<std::string>{"HKEY_CURRENT_USER\\S\\EVIL\\x0AX]\"=\"",
                                                 "HKEY_CURRENT_USER\\Tab\\x09Top"}));
    MemoryRegistry b;
    std::string error;
    ASSERT_TRUE(ImportRegText(b, EncodeRegFile(text), &error)) << error << "\n" << text;
    RegKey back = RegKey::Open(kHkeyCurrentUser, "S\\Good]", kKeyRead, nullptr, &b);
    ASSERT_TRUE(back);
    uint32_t value = 0, size = sizeof(value);
    EXPECT_EQ(back.Query("line\nbreak \"q\" \\", nullptr, &value, &size), kRegOk);
    EXPECT_EQ(value, 7u);
    uint32_t count = 9;
    RegKey s = RegKey::Open(kHkeyCurrentUser, "S", kKeyRead, nullptr, &b);
    ASSERT_EQ(s.CountSubkeys(&count), kRegOk);
    EXPECT_EQ(count, 1u) << "only Good]";
}

TEST(RegFileTest, RemovalLinesDeleteKeysAndValues) {
    MemoryRegistry reg;
    ASSERT_TRUE(ImportRegText(reg,
                              "REGEDIT4\n[HKEY_CURRENT_USER\\A\\B\\C]\n\"v\"=dword:1\n"
                              "[HKCU\\A]\n\"w\"=\"x\"\n\"w\"=-\n[-HKEY_CURRENT_USER\\A\\B]\n",
                              nullptr));
    EXPECT_FALSE(RegKey::Open(kHkeyCurrentUser, "A\\B", kKeyRead, nullptr, &reg));
    RegKey a = RegKey::Open(kHkeyCurrentUser, "A", kKeyRead, nullptr, &reg);
    ASSERT_TRUE(a);
    uint32_t size = 0;
    EXPECT_EQ(a.Query("w", nullptr, nullptr, &size), kRegFileNotFound);
}

TEST(RegFileTest, MalformedTextIsRefusedWithTheLine) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"", "empty"},
        {"hello\r\n", "line 1"},
        {"REGEDIT4\r\n\"v\"=dword:1\r\n", "line 2"},                       // value before a key
        {"REGEDIT4\r\n[HKEY_NOWHERE\\A]\r\n", "line 2"},                   // unknown root
        {"REGEDIT4\r\n[HKCU\\A]\r\n\"v\"=dword:123456789\r\n", "line 3"},  // nine digits
        {"REGEDIT4\r\n[HKCU\\A]\r\n\"v\"=dword:12x4\r\n", "line 3"},
        {"REGEDIT4\r\n[HKCU\\A]\r\n\"v\"=hex:1,2,zz\r\n", "line 3"},
        {"REGEDIT4\r\n[HKCU\\A]\r\n\"v\"=hex(1ffffffff):00\r\n", "line 3"},
        {"REGEDIT4\r\n[HKCU\\A]\r\n\"v=\"x\r\n", "line 3"},
        {"REGEDIT4\r\n[HKCU\\A]\r\n\"v\"=\"open\r\n", "line 3"},
        {"REGEDIT4\r\n[HKCU\\A]\r\nv=1\r\n", "line 3"},
        {"REGEDIT4\r\n[HKCU\\A\r\n", "line 2"},
    };
    for (const auto& c : cases) {
        MemoryRegistry reg;
        std::string error;
        EXPECT_FALSE(ImportRegText(reg, c.text, &error)) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " -> " << error;
        EXPECT_EQ(reg.OpenHandles(), 0u);
    }
}

TEST(RegFileTest, DeepKeysAreRefusedNotRecursedInto) {
    std::string path = "HKEY_CURRENT_USER";
    for (int i = 0; i < 600; ++i) path += "\\k";
    MemoryRegistry reg;
    std::string error;
    EXPECT_FALSE(ImportRegText(reg, "REGEDIT4\n[" + path + "]\n", &error));
}

TEST(RegFileTest, LinesAreCountedAcrossBlankOnesAndTheLastNeedsNoLineEnd) {
    MemoryRegistry reg;
    std::string error;
    ASSERT_TRUE(ImportRegText(reg, "REGEDIT4\n\n[HKCU\\A]\r\n\r\n\"v\"=dword:2", &error)) << error;
    RegKey a = RegKey::Open(kHkeyCurrentUser, "A", kKeyRead, nullptr, &reg);
    ASSERT_TRUE(a);
    uint8_t dword[4] = {};
    uint32_t size = sizeof(dword);
    ASSERT_EQ(a.Query("v", nullptr, dword, &size), kRegOk) << "the unterminated last line";
    EXPECT_EQ(dword[0], 2);

    MemoryRegistry bad;
    EXPECT_FALSE(ImportRegText(bad, "REGEDIT4\n\n[HKCU\\A]\n\n\"v\"=dword:2x", &error));
    EXPECT_NE(error.find("line 5"), std::string::npos) << error;
}

TEST(RegFileTest, WholeFilesKeepEveryByteAndMissingOnesFail) {
    const std::string file = ::testing::TempDir() + "tarvik_whole_file.bin";
    std::string bytes("\xFF\xFE\0\r\n\x1A", 6);
    bytes += std::string(10000, 'x');  // more than one read
    ASSERT_TRUE(WriteWholeFile(file, bytes));
    std::string back = "old";
    ASSERT_TRUE(ReadWholeFile(file, &back));
    EXPECT_EQ(back, bytes);
    ASSERT_TRUE(WriteWholeFile(file, "ab"));
    ASSERT_TRUE(ReadWholeFile(file, &back));
    EXPECT_EQ(back, "ab") << "a rewrite truncates";
    std::remove(file.c_str());

    EXPECT_FALSE(ReadWholeFile(file, &back));
    EXPECT_FALSE(WriteWholeFile(::testing::TempDir() + "no/such/folder/x.reg", "x"));
}

// Root replaces the settings file in folders others may write to: links put
// where a temporary might go, or in the file's place, lead nowhere, and the
// file (it holds the password's hash) is for its owner only.
TEST(RegFileTest, ReplacingAFileFollowsNoPlantedLink) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("tarvik-replace-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "settings.reg", victim = dir / "victim";
    ASSERT_TRUE(WriteWholeFile(victim.string(), "precious"));
    const std::string guesses[] = {".tmp", "." + std::to_string(::getpid()) + ".tmp", ".old",
                                   ".new", "~"};
    for (const std::string& guess : guesses) fs::create_symlink(victim, file.string() + guess);
    ASSERT_TRUE(ReplaceWholeFile(file.string(), "new settings"));
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(victim.string(), &bytes));
    EXPECT_EQ(bytes, "precious");
    EXPECT_FALSE(fs::is_symlink(file));
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    // A link in the file's own place is replaced, not written through.
    fs::remove(file);
    fs::create_symlink(victim, file);
    ASSERT_TRUE(ReplaceWholeFile(file.string(), "again"));
    ASSERT_TRUE(ReadWholeFile(victim.string(), &bytes));
    EXPECT_EQ(bytes, "precious");
    ASSERT_TRUE(ReadWholeFile(file.string(), &bytes));
    EXPECT_EQ(bytes, "again");
    // A folder that is not there: false, and nothing left behind.
    EXPECT_FALSE(ReplaceWholeFile((dir / "none" / "x.reg").string(), "x"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator{}), 7)
        << "the file, the victim and the five links";
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tarvik
