// The settings code against the system's own registry (Wine's, in a throw-away
// prefix), and the memory registry held to the same rules.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "drive/drive.h"
#include "drive/drive_store.h"
#include "platform/registry_memory.h"
#include "platform/system.h"
#include "settings/reg_file.h"
#include "settings/shell.h"
#include "settings/store.h"

namespace tarvik {
namespace {

const std::string kRoot = kRootKeyPath;

class Win32RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegistry(nullptr);  // the system registry
        SetSystem(nullptr);
        ResetVersionCache();
        (void)DeleteKeyTree(kHkeyCurrentUser, "Software\\Orvanto Software");
        (void)DeleteKeyTree(kHkeyCurrentUser, "Software\\TarvikTest");
        GlobalSettings = GlobalSettingsRecord{};
    }
    void TearDown() override {
        (void)DeleteKeyTree(kHkeyCurrentUser, "Software\\Orvanto Software");
        (void)DeleteKeyTree(kHkeyCurrentUser, "Software\\TarvikTest");
        GlobalSettings = GlobalSettingsRecord{};
    }
    static bool HasKey(RegHandle root, const std::string& path) {
        return static_cast<bool>(RegKey::Open(root, path.c_str(), kKeyRead));
    }
};

// One scenario run against a registry through the seam.
void Scenario(bool oddValues = false) {
    std::memset(GlobalSettings.Data, 0, sizeof(GlobalSettings.Data));
    std::strcpy(GlobalSettings.Data, "$1$salt$hash");
    GlobalSettings.DNTimer = 10;
    // Backslashes, quotes and a Windows-1252 letter must survive an export.
    std::strcpy(GlobalSettings.SavePath, "C:\\Users\\J\xF6rg \"x\"\\t.reg");
    SaveGlobalSettings();
    // Values the program never writes, for the export. (Wine's "A" functions
    // hand back a string stored without terminator with one added, so the
    // memory registry cannot build the same tree from them.)
    RegKey odd = oddValues
                     ? RegKey::Create(kHkeyCurrentUser, (kRoot + "\\Odd").c_str(), kKeyAllAccess)
                     : RegKey();
    (void)odd.Set("unterminated", kRegSz, "abc", 3);
    (void)odd.Set("lines", kRegSz, "a\r\nb", 5);
    (void)odd.Set("empty", kRegBinary, "", 0);
    (void)odd.Set("multi", kRegMultiSz, "a\0b\0", 5);
    (void)odd.Set("", kRegSz, "default", 8);
    CdromDrive drive;
    std::strcpy(drive.Name, "TEST DRIVE 1.0");
    drive.IsDVD = 1;
    drive.SpeedListCD.Count = 3;
    drive.SpeedListCD.Entries[0] = {7056, 7056};
    drive.SpeedListCD.Entries[1] = {3528, 3528};
    drive.SpeedListCD.Entries[2] = {1764, 1765};
    drive.SpeedListDVD.Count = 0;
    drive.AutoLock = 1;
    drive.HotKeys[0] = 0x0645;
    drive.ShortName[0] = u'X';
    SaveDriveModel(&drive);
    SaveDriveInstance(&drive);
    drive.DupIndex = 1;
    SaveDriveInstance(&drive);
}

TEST_F(Win32RegistryTest, StoreRoundTripOnTheSystemRegistry) {
    Scenario();
    GlobalSettings = GlobalSettingsRecord{};
    LoadGlobalSettings();
    EXPECT_EQ(GlobalSettings.DNTimer, 10u);
    EXPECT_STREQ(GlobalSettings.Data, "$1$salt$hash");

    CdromDrive drive;
    std::strcpy(drive.Name, "TEST DRIVE 1.0");
    EXPECT_EQ(LoadDriveModel(&drive), 1);
    EXPECT_EQ(drive.IsDVD, 1u);
    EXPECT_EQ(drive.SpeedListCD.Count, 3u);
    EXPECT_EQ(drive.SpeedListCD.Entries[2].Command, 1765u);
    EXPECT_EQ(drive.SpeedListDVD.Count, 0u);
    EXPECT_EQ(LoadDriveInstance(&drive), 1);
    EXPECT_EQ(drive.AutoLock, 1u);
    EXPECT_EQ(drive.HotKeys[0], 0x0645u);
    EXPECT_EQ(drive.ShortName[0], u'X');
    EXPECT_TRUE(HasKey(kHkeyCurrentUser, kRoot + "\\TEST DRIVE 1.0\\01"));

    // The empty DVD list is one byte.
    RegKey list = RegKey::Open(kHkeyCurrentUser, (kRoot + "\\TEST DRIVE 1.0\\SpeedListDVD").c_str(),
                               kKeyRead);
    uint32_t size = 0;
    ASSERT_EQ(list.Query("Range", nullptr, nullptr, &size), kRegOk);
    EXPECT_EQ(size, 1u);
}

TEST_F(Win32RegistryTest, RangeLimitAndLockValueOnTheSystemRegistry) {
    CdromDrive drive;
    std::strcpy(drive.Name, "TEST DRIVE 1.0");
    SaveDriveModel(&drive);
    SaveDriveInstance(&drive);
    const std::string listPath = kRoot + "\\TEST DRIVE 1.0\\SpeedListCD";
    RegKey list = RegKey::Create(kHkeyCurrentUser, listPath.c_str(), kKeyAllAccess);
    std::string range(1032, '\x01');
    ASSERT_EQ(list.Set("Range", kRegBinary, range.data(), 1032), kRegOk);
    drive.SpeedListCD.Count = 9;
    EXPECT_EQ(LoadDriveModel(&drive), 1);
    EXPECT_EQ(drive.SpeedListCD.Count, 0u);
    ASSERT_EQ(list.Set("Range", kRegBinary, range.data(), 1024), kRegOk);
    EXPECT_EQ(LoadDriveModel(&drive), 1);
    EXPECT_EQ(drive.SpeedListCD.Count, 128u);

    RegKey instance =
        RegKey::Open(kHkeyCurrentUser, (kRoot + "\\TEST DRIVE 1.0\\00").c_str(), kKeyAllAccess);
    ASSERT_EQ(instance.SetDword("AutoLock", 1), kRegOk);
    RegKey lock = RegKey::Open(instance.handle(), "Lock", kKeyAllAccess);
    ASSERT_EQ(lock.SetDword("Value", 0), kRegOk);
    EXPECT_EQ(LoadDriveInstance(&drive), 1);
    EXPECT_EQ(drive.AutoLock, 0u);
}

TEST_F(Win32RegistryTest, ResetOnTheSystemRegistry) {
    Scenario();
    RegKey::Create(kHkeyCurrentUser, "Software\\Orvanto Software\\Other Tool", kKeyAllAccess);
    ResetConfiguration();
    EXPECT_FALSE(HasKey(kHkeyCurrentUser, "Software\\Orvanto Software\\Tarvik"));
    EXPECT_TRUE(HasKey(kHkeyCurrentUser, "Software\\Orvanto Software\\Other Tool"));
    ASSERT_EQ(GetRegistry().DeleteKey(kHkeyCurrentUser, "Software\\Orvanto Software\\Other Tool"),
              kRegOk);
    Scenario();
    ResetConfiguration();
    EXPECT_FALSE(HasKey(kHkeyCurrentUser, "Software\\Orvanto Software"));
}

TEST_F(Win32RegistryTest, MemoryRegistryBuildsTheSameTree) {
    Scenario();
    MemoryRegistry memory;
    SetRegistry(&memory);
    Scenario();
    SetRegistry(nullptr);
    RegKey real = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead);
    RegKey mine = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead, nullptr, &memory);
    ASSERT_TRUE(real);
    ASSERT_TRUE(mine);
    std::string difference;
    EXPECT_TRUE(CompareRegTrees(GetRegistry(), real.handle(), memory, mine.handle(), &difference))
        << difference;
}

TEST_F(Win32RegistryTest, SystemRulesTheMemoryRegistryCopies) {
    Registry& reg = GetRegistry();
    bool created = false;
    RegKey key =
        RegKey::Create(kHkeyCurrentUser, "Software\\TarvikTest\\A\\B", kKeyAllAccess, &created);
    ASSERT_TRUE(key);
    EXPECT_TRUE(created);
    RegKey::Create(kHkeyCurrentUser, "software\\tarviktest\\a\\b", kKeyAllAccess, &created);
    EXPECT_FALSE(created);
    EXPECT_EQ(reg.DeleteKey(kHkeyCurrentUser, "Software\\TarvikTest\\A"), kRegAccessDenied);
    ASSERT_EQ(key.SetString("s", "hello"), kRegOk);
    char small[4];
    uint32_t size = sizeof(small);
    EXPECT_EQ(key.Query("s", nullptr, small, &size), kRegMoreData);
    EXPECT_EQ(size, 6u);
    RegKey reader = RegKey::Open(kHkeyCurrentUser, "Software\\TarvikTest\\A\\B", kKeyRead);
    EXPECT_EQ(reader.SetDword("x", 1), kRegAccessDenied);
    RegKey parent = RegKey::Open(kHkeyCurrentUser, "Software\\TarvikTest\\A", kKeyRead);
    char name[2];
    uint32_t chars = 1;
    EXPECT_EQ(parent.EnumKey(0, name, &chars), kRegMoreData);
    uint32_t count = 0;
    ASSERT_EQ(parent.CountSubkeys(&count), kRegOk);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(DeleteKeyTree(kHkeyCurrentUser, "Software\\TarvikTest"), 1);
}

TEST_F(Win32RegistryTest, AutoRunPolicyOnTheSystemRegistry) {
    // This user's policy: the bit and the value type of the NT family.
    RegKey existing = RegKey::Open(kHkeyCurrentUser, kPolicyKeyPath, kKeyRead);
    const bool hadKey = static_cast<bool>(existing);
    existing.Reset();
    ASSERT_EQ(SetAutoRunUser(0), 1);
    EXPECT_EQ(IsAutoRunUser(), 0);
    RegKey policy = RegKey::Open(kHkeyCurrentUser, kPolicyKeyPath, kKeyAllAccess);
    uint32_t type = 0, size = 4;
    unsigned char data[4] = {};
    ASSERT_EQ(policy.Query(kNoDriveTypeAutoRun, &type, data, &size), kRegOk);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(data[0] & 0x20, 0x20);
    ASSERT_EQ(SetAutoRunUser(1), 1);
    EXPECT_EQ(IsAutoRunUser(), 1);
    ASSERT_EQ(policy.DeleteValue(kNoDriveTypeAutoRun), kRegOk);
    policy.Reset();
    if (!hadKey) (void)GetRegistry().DeleteKey(kHkeyCurrentUser, kPolicyKeyPath);

    // The machine probe leaves the registry as it found it.
    const bool machineKey =
        static_cast<bool>(RegKey::Open(kHkeyLocalMachine, kPolicyKeyPath, kKeyRead));
    EXPECT_EQ(CanSetAutoRunSystem(), 1);  // Wine's user may write the machine hive
    EXPECT_EQ(static_cast<bool>(RegKey::Open(kHkeyLocalMachine, kPolicyKeyPath, kKeyRead)),
              machineKey);
}

TEST_F(Win32RegistryTest, VersionAndPathsFromTheSystem) {
    const uint32_t version = GetWinVersion();
    EXPECT_TRUE(version & kWinVersionNt);
    EXPECT_GE(version & 0xFF00, 0x0500u);
    EXPECT_GT(GetShellVersionMajor(), 0);
    EXPECT_GT(GetComctlVersionMajor(), 0);
    OwnedStr path = GetModulePath();
    ASSERT_TRUE(path);
    OwnedStr help = GetHelpFilePath();
    ASSERT_TRUE(help);
    const std::string p = path.get(), h = help.get();
    EXPECT_EQ(h.substr(h.size() - 4), ".chm");
    EXPECT_EQ(p.substr(0, p.rfind('.')), h.substr(0, h.rfind('.')));
}

// reg.exe writes the export within 20 s. A 32-bit one under qemu-user (a host
// that runs no 32-bit code, scripts/ia32.sh) starts several times slower.
DWORD ExportBoundMs() {
    const char* ia32 = std::getenv("TARVIK_IA32");
    const bool emulated = sizeof(void*) == 4 && ia32 && std::string(ia32) == "emulated";
    return emulated ? 100000 : 20000;
}

// The export as the program runs it: reg.exe started hidden, not waited for.
// The file it writes must load into the memory registry as the same tree.
TEST_F(Win32RegistryTest, RegExeExportLoadsBackIntoTheSameTree) {
    Scenario(true);
    char dir[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathA(sizeof(dir), dir), 0u);
    const std::string file = std::string(dir) + "tarvik-export.reg";
    ::DeleteFileA(file.c_str());
    // Twice: the second run must overwrite without asking.
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            GlobalSettings.DNTimer = 15;
            SaveGlobalSettings();
        }
        const DWORD before = ::GetTickCount();
        WIN32_FILE_ATTRIBUTE_DATA old{};
        const bool existed = ::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &old);
        SaveConfigToFile(file.c_str());
        std::string bytes;
        MemoryRegistry loaded;
        std::string difference = "no file";
        bool same = false;
        while (::GetTickCount() - before < ExportBoundMs() && !same) {
            ::Sleep(200);
            WIN32_FILE_ATTRIBUTE_DATA now{};
            if (!::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &now)) continue;
            if (existed && CompareFileTime(&now.ftLastWriteTime, &old.ftLastWriteTime) == 0 &&
                now.nFileSizeLow == old.nFileSizeLow)
                continue;
            if (!ReadWholeFile(file, &bytes) || bytes.size() < 2) continue;
            loaded.Clear();
            std::string error;
            if (!ImportRegText(loaded, bytes, &error)) {
                difference = error;
                continue;  // maybe still being written
            }
            RegKey real = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead);
            RegKey back = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead, nullptr, &loaded);
            if (!back) continue;
            same =
                CompareRegTrees(GetRegistry(), real.handle(), loaded, back.handle(), &difference);
        }
        EXPECT_TRUE(same) << "round " << round << ": " << difference;
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);  // UTF-16LE with BOM
        EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFE);
    }
    ::DeleteFileA(file.c_str());
}

}  // namespace
}  // namespace tarvik
