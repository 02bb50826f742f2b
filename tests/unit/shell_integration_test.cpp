#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>

#include "settings/shell.h"
#include "settings_fixture.h"

namespace tarvik {
namespace {

using testing_support::SettingsTest;
using Bytes = std::vector<uint8_t>;

class ShellTest : public SettingsTest {};

TEST_F(ShellTest, SetAutoRunChangesOnlyTheCdromBit) {
    struct Case {
        bool present;
        uint32_t stored;
        int enable;
        uint32_t written;
    };
    const Case cases[] = {
        {false, 0, 1, 0xDF},  // no value: start from FFh
        {false, 0, 0, 0xFF},   {true, 0x91, 1, 0x91},
        {true, 0x91, 0, 0xB1}, {true, 0xFFFFFFFF, 1, 0xFFFFFFDF},  // high bits kept too
    };
    for (const auto& c : cases) {
        reg_.Clear();
        if (c.present) PutDword(kHkeyCurrentUser, kPolicyKeyPath, kNoDriveTypeAutoRun, c.stored);
        EXPECT_EQ(SetAutoRunUser(c.enable), 1);
        const auto [type, data] = GetValue(kHkeyCurrentUser, kPolicyKeyPath, kNoDriveTypeAutoRun);
        EXPECT_EQ(type, kRegDword);
        ASSERT_EQ(data.size(), 4u);
        EXPECT_EQ(data[0] | data[1] << 8 | data[2] << 16 | uint32_t(data[3]) << 24, c.written)
            << "stored " << std::hex << c.stored << " enable " << c.enable;
        EXPECT_EQ(IsAutoRunUser(), c.enable);
    }
    EXPECT_EQ(sys_.broadcasts, 5);
    EXPECT_EQ(sys_.lastBroadcast, "Policy");
}

TEST_F(ShellTest, TheNinetyFiveFamilyGetsFourBytesOfBinary) {
    sys_.SetWindows(4, 10, 1);  // Windows 98
    EXPECT_EQ(SetAutoRunUser(0), 1);
    const auto [type, data] = GetValue(kHkeyCurrentUser, kPolicyKeyPath, kNoDriveTypeAutoRun);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(data, (Bytes{0xFF, 0, 0, 0}));
    // A binary value reads back the same way.
    EXPECT_EQ(IsAutoRunUser(), 0);
}

TEST_F(ShellTest, SetAutoRunLogsEveryStep) {
    PutDword(kHkeyCurrentUser, kPolicyKeyPath, kNoDriveTypeAutoRun, 0x91);
    StartLog();
    ASSERT_EQ(SetAutoRunUser(0), 1);
    const std::vector<std::string> expected = {
        "    SetAutoRun(0) STARTED",
        "        "
        "RegCreateKeyEx(SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer)...",
        "            DONE",
        "        GetValArray(NoDriveTypeAutoRun)...",
        "            DONE(0x91)",
        "        SetValDWORD(NoDriveTypeAutoRun, 0xB1)...",
        "            DONE(OK)",
        "        ShellUpdatePolicy...",
        "        ShellUpdatePolicy STARTED",
        "            SendMessageTimeout(WM_SETTINGCHANGE)...",
        "                DONE",
        "            ShellUpdatePolicy FINISHED",
        "            DONE",
        "        SetAutoRun FINISHED(1)",
    };
    EXPECT_EQ(LogLines(), expected);
}

TEST_F(ShellTest, SetAutoRunWithoutWriteAccessFailsAndSaysSo) {
    reg_.Deny(kHkeyLocalMachine, "", kKeyWrite);
    StartLog();
    EXPECT_EQ(SetAutoRunSystem(0), 0);
    const std::vector<std::string> expected = {
        "    SetAutoRun(0) STARTED",
        "        "
        "RegCreateKeyEx(SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer)...",
        "        SetAutoRun FAILED",
    };
    EXPECT_EQ(LogLines(), expected);
    EXPECT_EQ(sys_.broadcasts, 0);
    EXPECT_FALSE(HasKey(kHkeyLocalMachine, kPolicyKeyPath));
}

TEST_F(ShellTest, EnablingSystemAutoRunRemovesTheMachineValue) {
    // No value: nothing to delete, so 0 and no broadcast.
    StartLog();
    EXPECT_EQ(SetAutoRunSystem(1), 0);
    EXPECT_EQ(sys_.broadcasts, 0);
    std::vector<std::string> expected = {
        "    SetAutoRunSystem(1) STARTED",
        "        "
        "RegCreateKeyEx(SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer)...",
        "            DONE",
        "        RegDeleteValue(NoDriveTypeAutoRun)...",
        "            DONE",
        "        SetAutoRunSystem FINISHED(0)",
    };
    EXPECT_EQ(LogLines(), expected);

    PutDword(kHkeyLocalMachine, kPolicyKeyPath, kNoDriveTypeAutoRun, 0xB5);
    EXPECT_EQ(IsAutoRunSystem(), 0);
    EXPECT_EQ(SetAutoRunSystem(1), 1);
    EXPECT_EQ(sys_.broadcasts, 1);
    bool found = true;
    GetValue(kHkeyLocalMachine, kPolicyKeyPath, kNoDriveTypeAutoRun, &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(IsAutoRunSystem(), 1);
}

TEST_F(ShellTest, AutoRunCountsAsOnWhereNothingIsStored) {
    EXPECT_EQ(IsAutoRunUser(), 1);  // no key
    PutDword(kHkeyCurrentUser, kPolicyKeyPath, "Other", 1);
    EXPECT_EQ(IsAutoRunUser(), 1);  // key, no value
    PutDword(kHkeyCurrentUser, kPolicyKeyPath, kNoDriveTypeAutoRun, 0xDF);
    EXPECT_EQ(IsAutoRunUser(), 1);
    PutDword(kHkeyCurrentUser, kPolicyKeyPath, kNoDriveTypeAutoRun, 0x20);
    EXPECT_EQ(IsAutoRunUser(), 0);
    EXPECT_EQ(IsAutoRunSystem(), 1);  // the machine policy is apart
}

TEST_F(ShellTest, PolicyWritableProbeLeavesTheRegistryAsFound) {
    // An administrator on a machine without the key: 1, and still no key.
    EXPECT_EQ(CanSetAutoRunSystem(), 1);
    EXPECT_FALSE(HasKey(kHkeyLocalMachine, kPolicyKeyPath));
    EXPECT_TRUE(
        HasKey(kHkeyLocalMachine, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies"));

    // An existing key stays, with its values.
    PutDword(kHkeyCurrentUser, kPolicyKeyPath, kNoDriveTypeAutoRun, 0x91);
    EXPECT_EQ(CanSetAutoRunUser(), 1);
    bool found = false;
    GetValue(kHkeyCurrentUser, kPolicyKeyPath, kNoDriveTypeAutoRun, &found);
    EXPECT_TRUE(found);

    // A user without write access to the machine hive.
    reg_.Clear();
    reg_.Deny(kHkeyLocalMachine, "SOFTWARE", kKeyWrite);
    EXPECT_EQ(CanSetAutoRunSystem(), 0);
    EXPECT_EQ(CanSetAutoRunUser(), 1);
    EXPECT_FALSE(HasKey(kHkeyLocalMachine, "SOFTWARE\\Microsoft"));
}

TEST_F(ShellTest, AutoPlayIsTheDefaultVerbOfAudioCds) {
    EXPECT_EQ(IsAutoPlay(), 1);    // no key: counted as on
    EXPECT_EQ(SetAutoPlay(1), 0);  // the key is not created
    RegKey::Create(kHkeyClassesRoot, kAutoPlayKeyPath, kKeyAllAccess);
    EXPECT_EQ(IsAutoPlay(), 0);  // key without a default value
    EXPECT_EQ(SetAutoPlay(1), 1);
    EXPECT_EQ(GetValue(kHkeyClassesRoot, kAutoPlayKeyPath, nullptr).second,
              (Bytes{'p', 'l', 'a', 'y', 0}));
    EXPECT_EQ(IsAutoPlay(), 1);
    EXPECT_EQ(SetAutoPlay(0), 1);
    EXPECT_EQ(GetValue(kHkeyClassesRoot, kAutoPlayKeyPath, "").second, (Bytes{0}));
    EXPECT_EQ(IsAutoPlay(), 0);
    // A default verb longer than 64 bytes cannot be read: off.
    PutString(kHkeyClassesRoot, kAutoPlayKeyPath, nullptr, std::string(64, 'x'));
    EXPECT_EQ(IsAutoPlay(), 0);
    PutString(kHkeyClassesRoot, kAutoPlayKeyPath, nullptr, std::string(63, 'x'));
    EXPECT_EQ(IsAutoPlay(), 1);
}

TEST_F(ShellTest, AddAutoLoadWritesThePathInQuotesAndRemovesOldEntries) {
    PutString(kHkeyCurrentUser, kRunKeyPath, "Tarvik 2.0", "old");
    PutString(kHkeyCurrentUser, kRunKeyPath, "Tarvik 2.1", "old");
    PutString(kHkeyCurrentUser, kRunKeyPath, "Other", "keep");
    const std::string exe = sys_.modulePath;

    AddAutoLoad("Tarvik", "");
    auto value = GetValue(kHkeyCurrentUser, kRunKeyPath, "Tarvik");
    EXPECT_EQ(value.first, kRegSz);
    EXPECT_EQ(std::string(value.second.begin(), value.second.end()), '"' + exe + '"' + '\0');
    bool found = true;
    GetValue(kHkeyCurrentUser, kRunKeyPath, "Tarvik 2.0", &found);
    EXPECT_FALSE(found);
    GetValue(kHkeyCurrentUser, kRunKeyPath, "Tarvik 2.1", &found);
    EXPECT_FALSE(found);
    GetValue(kHkeyCurrentUser, kRunKeyPath, "Other", &found);
    EXPECT_TRUE(found);

    AddAutoLoad("Tarvik", "/exit");
    value = GetValue(kHkeyCurrentUser, kRunKeyPath, "Tarvik");
    EXPECT_EQ(std::string(value.second.begin(), value.second.end()), '"' + exe + "\" /exit" + '\0');
    // What it wrote, it recognises: the Options dialog leaves it alone.
    EXPECT_EQ(IsAutoLoad("Tarvik", "/exit"), 1);
    EXPECT_EQ(IsAutoLoad("Tarvik", ""), 0);
    AddAutoLoad("Tarvik", nullptr);
    EXPECT_EQ(IsAutoLoad("Tarvik", ""), 1);

    DeleteAutoLoad("Tarvik");
    GetValue(kHkeyCurrentUser, kRunKeyPath, "Tarvik", &found);
    EXPECT_FALSE(found);

    sys_.modulePath.clear();  // no module path: nothing written
    AddAutoLoad("Tarvik", nullptr);
    GetValue(kHkeyCurrentUser, kRunKeyPath, "Tarvik", &found);
    EXPECT_FALSE(found);
}

TEST_F(ShellTest, IsAutoLoadComparesWithoutRegardToCase) {
    sys_.modulePath = "C:\\Tools\\Tarvik.exe";
    struct Case {
        const char* stored;  // null: no value
        const char* argument;
        int expected;
    };
    const Case cases[] = {
        {"c:\\tools\\TARVIK.EXE /hide", "/hide", 1},
        {"c:\\tools\\TARVIK.EXE /hide", "/HIDE", 1},
        {"c:\\tools\\TARVIK.EXE /hide", "", 0},
        {"c:\\tools\\TARVIK.EXE /hide", nullptr, 1},
        {"c:\\tools\\TARVIK.EXE /hide", "/exit", 0},
        {"c:\\tools\\tarvik.exe", "", 1},
        {"c:\\tools\\tarvik.exe", nullptr, 1},
        {"c:\\tools\\tarvik.exe", "/hide", 0},
        {"C:\\Other\\Tarvik.exe /hide", "/hide", 0},
        {"C:\\Tools\\Tarvik.exe/hide", "/hide", 1},  // the character before is not examined
        {"C:\\Tools", nullptr, 0},
        // In quotes, as this version writes it.
        {"\"c:\\tools\\TARVIK.EXE\" /hide", "/hide", 1},
        {"\"c:\\tools\\TARVIK.EXE\" /hide", "", 0},
        {"\"c:\\tools\\TARVIK.EXE\" /hide", nullptr, 1},
        {"\"C:\\Tools\\Tarvik.exe\"", "", 1},
        {"\"C:\\Tools\\Tarvik.exe\"", nullptr, 1},
        {"\"C:\\Tools\\Tarvik.exe\"", "/exit", 0},
        {"\"C:\\Tools\\Tarvik.exe", nullptr, 0},     // no closing quote
        {"\"C:\\Tools\\Tarvik.exe2\"", nullptr, 0},  // another program
        {"\"C:\\Other\\Tarvik.exe\" /hide", "/hide", 0},
        {"\"\"", nullptr, 0},
        {nullptr, nullptr, 0},
    };
    for (const auto& c : cases) {
        reg_.Clear();
        if (c.stored) PutString(kHkeyCurrentUser, kRunKeyPath, "Tarvik", c.stored);
        EXPECT_EQ(IsAutoLoad("Tarvik", c.argument), c.expected)
            << (c.stored ? c.stored : "(none)") << " / " << (c.argument ? c.argument : "(null)");
    }
    // A stored text without its terminator still compares by its characters.
    reg_.Clear();
    const std::string text = "C:\\Tools\\Tarvik.exe /hide";
    PutValue(kHkeyCurrentUser, kRunKeyPath, "Tarvik", kRegSz, Bytes(text.begin(), text.end()));
    EXPECT_EQ(IsAutoLoad("Tarvik", "/hide"), 1);
}

// An old bare entry from "C:\Program Files\..." would start C:\Program.exe
// first: written again in quotes, its argument kept. Nothing else is touched.
TEST_F(ShellTest, QuoteAutoLoadQuotesOnlyThisProgramsBareEntryFromAPathWithABlank) {
    const std::string exe = sys_.modulePath, quoted = '"' + exe + '"';
    const std::pair<std::string, std::string> cases[] = {
        {exe, quoted},
        {"c:\\program files\\tarvik\\TARVIK.EXE /exit", quoted + " /exit"},
        {quoted + " /hide", quoted + " /hide"},
        {exe + ".old", exe + ".old"},  // another program
        {"C:\\Other Folder\\tarvik.exe", "C:\\Other Folder\\tarvik.exe"},
    };
    StartLog();
    for (const auto& [stored, after] : cases) {
        PutString(kHkeyCurrentUser, kRunKeyPath, "Tarvik", stored);
        PutString(kHkeyCurrentUser, kRunKeyPath, "Other", exe);
        EXPECT_EQ(QuoteAutoLoad("Tarvik"), after != stored ? 1 : 0) << stored;
        const auto value = GetValue(kHkeyCurrentUser, kRunKeyPath, "Tarvik").second;
        EXPECT_EQ(std::string(value.begin(), value.end()), after + '\0');
        EXPECT_EQ(GetValue(kHkeyCurrentUser, kRunKeyPath, "Other").second.size(), exe.size() + 1);
    }
    const auto lines = LogLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "    Start entry Tarvik written in quotes: " + quoted + " /exit"),
              lines.end());
    // Without a blank in the path there is no hole: a bare entry stays.
    sys_.modulePath = "C:\\Tools\\Tarvik.exe";
    PutString(kHkeyCurrentUser, kRunKeyPath, "Tarvik", sys_.modulePath);
    EXPECT_EQ(QuoteAutoLoad("Tarvik"), 0);
}

TEST_F(ShellTest, VersionWordOfEachFamily) {
    struct Case {
        uint32_t major, minor, platform, word;
    };
    const Case cases[] = {
        {4, 10, 1, 0x040A},     // Windows 98
        {5, 0, 2, 0x10500},     // Windows 2000
        {5, 1, 2, 0x10501},     // Windows XP
        {6, 0, 2, 0x10600},     // Vista
        {4, 0x15A, 1, 0x045A},  // only the minor version's low byte
    };
    for (const auto& c : cases) {
        sys_.SetWindows(c.major, c.minor, c.platform);
        EXPECT_EQ(GetWinVersion(), c.word);
    }
    // Cached: a later change of the system's answer is not seen.
    sys_.version = {10, 0, 0, 2};
    EXPECT_EQ(GetWinVersion(), 0x045Au);
    // Nothing cached while the system does not answer.
    ResetVersionCache();
    sys_.versionAvailable = false;
    EXPECT_EQ(GetWinVersion(), 0u);
    sys_.versionAvailable = true;
    EXPECT_EQ(GetWinVersion(), 0x10A00u);
}

TEST_F(ShellTest, DllVersionsAreCachedAfterTheFirstAnswer) {
    EXPECT_EQ(GetShellVersionMajor(), 0);
    sys_.shellMajor = 6;
    sys_.comctlMajor = 5;
    EXPECT_EQ(GetShellVersionMajor(), 6);  // 0 is not cached
    EXPECT_EQ(GetComctlVersionMajor(), 5);
    sys_.shellMajor = 4;
    EXPECT_EQ(GetShellVersionMajor(), 6);
}

TEST_F(ShellTest, HungAppTimeoutByVersion) {
    struct Case {
        uint32_t major, minor;
        const char* stored;  // null: no value
        uint32_t expected;
    };
    const Case cases[] = {
        {6, 1, "5000", 15000},  // Windows 7: whatever the registry holds
        {6, 0, nullptr, 15000},
        {5, 1, "5000", 5000},  // XP
        {5, 1, nullptr, 20000},
        {5, 1, "12x", 12},  // read as atoi reads it
        {5, 1, " +4000", 4000},
        {5, 1, "-5", 0},
        {5, 1, "123456789012345", 0x7FFFFFFF},  // 16 bytes with the NUL: fits, saturates
        {5, 1, "1234567890123456", 20000},      // 17 bytes: cannot be read
    };
    for (const auto& c : cases) {
        reg_.Clear();
        sys_.SetWindows(c.major, c.minor, 2);
        if (c.stored)
            PutString(kHkeyCurrentUser, "Control Panel\\Desktop", "HungAppTimeout", c.stored);
        EXPECT_EQ(GetHungAppTimeout(), c.expected) << (c.stored ? c.stored : "(none)");
    }
    // A value without terminator that fills the buffer is still read safely.
    reg_.Clear();
    sys_.SetWindows(5, 1, 2);
    PutValue(kHkeyCurrentUser, "Control Panel\\Desktop", "HungAppTimeout", kRegSz, Bytes(16, '7'));
    EXPECT_EQ(GetHungAppTimeout(), 0x7FFFFFFFu);
}

TEST_F(ShellTest, HelpFilePathReplacesTheFileExtension) {
    struct Case {
        const char* module;
        const char* help;  // null: none
    };
    const Case cases[] = {
        {"C:\\Program Files\\Tarvik\\tarvik.exe", "C:\\Program Files\\Tarvik\\tarvik.chm"},
        {"C:\\v1.2\\my.tools\\tarvik.exe", "C:\\v1.2\\my.tools\\tarvik.chm"},
        // Extensions shorter than ".chm": the module path ends before stem + 4.
        {"C:\\Tarvik\\tarvik.e", "C:\\Tarvik\\tarvik.chm"},
        {"C:\\Tarvik\\tarvik.", "C:\\Tarvik\\tarvik.chm"},
        {"C:\\a.b\\tarvik", nullptr},  // the folder's dot is no extension
        {"tarvik", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        sys_.modulePath = c.module;
        OwnedStr help = GetHelpFilePath();
        if (c.help) {
            ASSERT_TRUE(help) << c.module;
            EXPECT_STREQ(help.get(), c.help);
        } else {
            EXPECT_FALSE(help) << c.module;
        }
    }
}

TEST_F(ShellTest, ModulePathIsCutToTheSystemBuffer) {
    sys_.modulePath = "C:\\" + std::string(300, 'x') + ".exe";
    OwnedStr path = GetModulePath();
    ASSERT_TRUE(path);
    EXPECT_EQ(std::strlen(path.get()), 259u);
}

TEST_F(ShellTest, ParentKeyPathCutsAtTheLastBackslash) {
    EXPECT_STREQ(ParentKeyPath("Software\\Orvanto Software\\Tarvik\\4.0").get(),
                 "Software\\Orvanto Software\\Tarvik");
    EXPECT_STREQ(ParentKeyPath("a\\").get(), "a");
    EXPECT_STREQ(ParentKeyPath("\\a").get(), "");
    EXPECT_FALSE(ParentKeyPath("Software"));
    EXPECT_FALSE(ParentKeyPath(nullptr));
}

TEST_F(ShellTest, DeleteKeyTreeRemovesNestedKeysOnBothFamilies) {
    for (bool wholeTrees : {false, true}) {
        reg_.Clear();
        reg_.SetDeleteRemovesTree(wholeTrees);
        PutDword(kHkeyCurrentUser, "A\\B\\C\\D", "x", 1);
        PutDword(kHkeyCurrentUser, "A\\B\\E", "x", 1);
        PutDword(kHkeyCurrentUser, "A\\F", "x", 1);
        PutDword(kHkeyCurrentUser, "G", "x", 1);
        EXPECT_EQ(DeleteKeyTree(kHkeyCurrentUser, "A"), 1);
        EXPECT_FALSE(HasKey(kHkeyCurrentUser, "A"));
        EXPECT_TRUE(HasKey(kHkeyCurrentUser, "G"));
        EXPECT_EQ(DeleteKeyTree(kHkeyCurrentUser, "A"), 0);  // already gone
    }
    reg_.SetDeleteRemovesTree(false);
    // A subkey that may not go stops the walk; the tree stays and 0 says so.
    PutDword(kHkeyCurrentUser, "A\\B\\Locked\\Inner", "x", 1);
    PutDword(kHkeyCurrentUser, "A\\C", "x", 1);
    reg_.Deny(kHkeyCurrentUser, "A\\B\\Locked", kKeyDelete);
    EXPECT_EQ(DeleteKeyTree(kHkeyCurrentUser, "A"), 0);
    EXPECT_TRUE(HasKey(kHkeyCurrentUser, "A\\B\\Locked"));
}

}  // namespace
}  // namespace tarvik
