#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "drive/drive.h"
#include "drive/drive_store.h"
#include "settings/reg_file.h"
#include "settings/store.h"
#include "settings_fixture.h"

namespace tarvik {
namespace {

using testing_support::SettingsTest;
using Bytes = std::vector<uint8_t>;

const std::string kRoot = kRootKeyPath;
const std::string kModel = kRoot + "\\HL-DT-ST DVDRAM GH24NSD1 LG00";

std::unique_ptr<CdromDrive> MakeDrive(const char* name, int dupIndex) {
    auto drive = std::make_unique<CdromDrive>();
    std::snprintf(drive->Name, sizeof(drive->Name), "%s", name);
    drive->DupIndex = dupIndex;
    drive->SpeedListCD.Factor = kFactorCD;
    drive->SpeedListDVD.Factor = kFactorDVD;
    drive->SpeedListBD.Factor = kFactorBD;
    return drive;
}

void FillList(SpeedList* list, uint32_t count, uint32_t base) {
    list->Count = count;
    for (uint32_t i = 0; i < count; ++i)
        list->Entries[i] = {base * (count - i), base * (count - i) + 1};
}

class StoreTest : public SettingsTest {};

TEST_F(StoreTest, GlobalSettingsRoundTripEveryOption) {
    // Distinct values so that a swapped name or field shows.
    uint32_t* fields = &GlobalSettings.ApiPrefered;
    for (uint32_t i = 0; i < 20; ++i) fields[i] = 100 + i;
    std::strcpy(GlobalSettings.Data, "$1$abcdefgh$0123456789abcdefghijkl");  // 34 characters
    std::strcpy(GlobalSettings.SavePath, "C:\\backup\\tarvik.reg");
    std::strcpy(GlobalSettings.Language, "fr");
    SaveGlobalSettings();

    const char* names[20] = {"ApiPrefered",  "NumNames",       "EjectSingle",     "ShowUnknown",
                             "ForceRefresh", "DNEject",        "DNClose",         "DNMessage",
                             "DNTimer",      "DeepMenu",       "TopNames",        "CloseOnRun",
                             "IconDisk",     "IconOpen",       "CmdOpen",         "CmdExplore",
                             "CmdAutorun",   "TimerAutoclose", "EnableAutoclose", "TimerEnable"};
    for (uint32_t i = 0; i < 20; ++i) {
        const auto [type, data] = GetValue(kHkeyCurrentUser, kRoot.c_str(), names[i]);
        EXPECT_EQ(type, kRegDword) << names[i];
        EXPECT_EQ(data, (Bytes{uint8_t(100 + i), 0, 0, 0})) << names[i];
    }
    const auto data = GetValue(kHkeyCurrentUser, (kRoot + "\\Lock").c_str(), "Data");
    EXPECT_EQ(data.first, kRegSz);
    EXPECT_EQ(data.second.size(), 35u);  // with its terminator

    GlobalSettings = GlobalSettingsRecord{};
    LoadGlobalSettings();
    for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(fields[i], 100 + i) << names[i];
    EXPECT_STREQ(GlobalSettings.Data, "$1$abcdefgh$0123456789abcdefghijkl");
    EXPECT_STREQ(GlobalSettings.SavePath, "C:\\backup\\tarvik.reg");
    EXPECT_STREQ(GlobalSettings.Language, "fr");
    // Automatic again: no value stored, none read.
    GlobalSettings.Language[0] = '\0';
    SaveGlobalSettings();
    EXPECT_EQ(GetValue(kHkeyCurrentUser, kRoot.c_str(), "Language").first, kRegNone);
    LoadGlobalSettings();
    EXPECT_STREQ(GlobalSettings.Language, "");
}

TEST_F(StoreTest, LoadStartsFromTheDefaults) {
    GlobalSettings.NumNames = 0;
    GlobalSettings.DNTimer = 99;
    std::strcpy(GlobalSettings.Data, "stale");
    LoadGlobalSettings();  // no root key at all
    EXPECT_EQ(GlobalSettings.NumNames, 1u);
    EXPECT_EQ(GlobalSettings.EjectSingle, 1u);
    EXPECT_EQ(GlobalSettings.DNTimer, 5u);
    EXPECT_EQ(GlobalSettings.IconDisk, 1u);
    EXPECT_EQ(GlobalSettings.CmdExplore, 1u);
    EXPECT_EQ(GlobalSettings.CmdAutorun, 1u);
    EXPECT_EQ(GlobalSettings.TimerEnable, 0u);
    EXPECT_STREQ(GlobalSettings.Data, "");

    // A partial key: stored values win, the rest are defaults.
    PutDword(kHkeyCurrentUser, kRoot.c_str(), "DNTimer", 15);
    GlobalSettings.NumNames = 0;
    LoadGlobalSettings();
    EXPECT_EQ(GlobalSettings.DNTimer, 15u);
    EXPECT_EQ(GlobalSettings.NumNames, 1u);
}

TEST_F(StoreTest, StringFieldsKeepTheirSizeAndTerminator) {
    struct Case {
        const char* what;
        Bytes stored;
        std::string expected;
    };
    const std::string fits(34, 'a');
    const Case cases[] = {
        {"34 characters fit", Bytes(fits.begin(), fits.end() + 1), fits},
        // No stored password is that long: it loads marked so that none matches
        // (the default, no password, would drop the eject protection).
        {"35 characters do not fit", Bytes(36, 'b'), std::string(33, 'b') + "*"},
        {"35 bytes without terminator", Bytes(35, 'c'), std::string(33, 'c') + "*"},
        {"short value without terminator", Bytes{'x', 'y'}, "xy"},
        {"empty string", Bytes{0}, ""},
        {"zero bytes", Bytes{}, ""},
    };
    for (const auto& c : cases) {
        reg_.Clear();
        PutValue(kHkeyCurrentUser, (kRoot + "\\Lock").c_str(), "Data", kRegBinary, c.stored);
        std::memset(GlobalSettings.Data, 'q', sizeof(GlobalSettings.Data));
        LoadGlobalSettings();
        EXPECT_EQ(std::string(GlobalSettings.Data), c.expected) << c.what;
        EXPECT_EQ(GlobalSettings.Data[34], '\0') << c.what;
    }
    // SavePath: a 260-byte field.
    reg_.Clear();
    PutString(kHkeyCurrentUser, kRoot.c_str(), "SavePath", std::string(259, 'p'));
    LoadGlobalSettings();
    EXPECT_EQ(std::strlen(GlobalSettings.SavePath), 259u);
    PutString(kHkeyCurrentUser, kRoot.c_str(), "SavePath", std::string(260, 'q'));
    LoadGlobalSettings();
    EXPECT_STREQ(GlobalSettings.SavePath, "");
    // Language: an 8-byte field; a longer value is no language, so automatic.
    char language[8] = "stale";
    PutString(kHkeyCurrentUser, kRoot.c_str(), "Language", "ru");
    ReadLanguageSetting(language, sizeof(language));
    EXPECT_STREQ(language, "ru");
    PutString(kHkeyCurrentUser, kRoot.c_str(), "Language", std::string(300, 'r'));
    ReadLanguageSetting(language, sizeof(language));
    EXPECT_STREQ(language, "");
    LoadGlobalSettings();
    EXPECT_STREQ(GlobalSettings.Language, "");
    PutValue(kHkeyCurrentUser, kRoot.c_str(), "Language", kRegBinary, Bytes{'d', 'e'});
    ReadLanguageSetting(language, sizeof(language));
    EXPECT_STREQ(language, "de");  // unterminated, still read within its field
}

TEST_F(StoreTest, UnterminatedFieldsAreWrittenTerminated) {
    std::memset(GlobalSettings.Data, 'z', sizeof(GlobalSettings.Data));
    SaveGlobalSettings();
    Bytes expected(34, 'z');
    expected.push_back(0);
    EXPECT_EQ(GetValue(kHkeyCurrentUser, (kRoot + "\\Lock").c_str(), "Data").second, expected);
}

TEST_F(StoreTest, DriveModelRoundTrip) {
    auto drive = MakeDrive("HL-DT-ST DVDRAM GH24NSD1 LG00", 0);
    drive->CanClose = 1;
    drive->CanSenseMedium = 1;
    drive->IsDVD = 1;
    drive->IsBD = 0;
    FillList(&drive->SpeedListCD, 6, 1764);
    drive->SpeedListCD.CanGetSpeed = 1;
    drive->SpeedListCD.MethodPrefered = 2;
    drive->SpeedListCD.MaxSpeed = 8467;
    drive->SpeedListCD.Selected = 2822;
    FillList(&drive->SpeedListDVD, 3, 2770);
    drive->SpeedListDVD.Selected = 5540;
    SaveDriveModel(drive.get());

    EXPECT_EQ(GetValue(kHkeyCurrentUser, kModel.c_str(), "IsDVD").second, (Bytes{1, 0, 0, 0}));
    const auto range = GetValue(kHkeyCurrentUser, (kModel + "\\SpeedListDVD").c_str(), "Range");
    EXPECT_EQ(range.first, kRegBinary);
    // Little-endian Speed then Command, fastest first.
    EXPECT_EQ(Bytes(range.second.begin(), range.second.begin() + 8),
              (Bytes{0x76, 0x20, 0, 0, 0x77, 0x20, 0, 0}));
    EXPECT_EQ(range.second.size(), 24u);

    auto loaded = MakeDrive("HL-DT-ST DVDRAM GH24NSD1 LG00", 0);
    EXPECT_EQ(LoadDriveModel(loaded.get()), 1);
    EXPECT_EQ(loaded->CanClose, 1u);
    EXPECT_EQ(loaded->IsDVD, 1u);
    EXPECT_EQ(loaded->SpeedListCD.Count, 6u);
    EXPECT_EQ(loaded->SpeedListCD.MethodPrefered, 2u);
    EXPECT_EQ(loaded->SpeedListCD.Selected, 2822u);
    EXPECT_EQ(loaded->SpeedListCD.Entries[5].Speed, 1764u);
    EXPECT_EQ(loaded->SpeedListCD.Entries[5].Command, 1765u);
    EXPECT_EQ(loaded->SpeedListDVD.Count, 3u);
    EXPECT_EQ(loaded->SpeedListBD.Count, 0u);
    EXPECT_EQ(loaded->SpeedListCD.Factor, kFactorCD);  // not stored, not touched
}

TEST_F(StoreTest, EmptyListIsOneByteAndReadsBackEmpty) {
    auto drive = MakeDrive("DRIVE", 0);
    drive->SpeedListBD.Count = 0;
    SaveDriveModel(drive.get());
    const auto range =
        GetValue(kHkeyCurrentUser, (kRoot + "\\DRIVE\\SpeedListBD").c_str(), "Range");
    EXPECT_EQ(range.second.size(), 1u);
    auto loaded = MakeDrive("DRIVE", 0);
    loaded->SpeedListBD.Count = 5;
    EXPECT_EQ(LoadDriveModel(loaded.get()), 1);
    EXPECT_EQ(loaded->SpeedListBD.Count, 0u);
}

TEST_F(StoreTest, RangeSizesDecideTheEntryCount) {
    struct Case {
        size_t bytes;
        uint32_t count;
    };
    const Case cases[] = {{1024, 128}, {1020, 127}, {1032, 0}, {1025, 0}, {7, 0}, {15, 1}, {0, 0}};
    for (const auto& c : cases) {
        reg_.Clear();
        auto drive = MakeDrive("DRIVE", 0);
        SaveDriveModel(drive.get());
        Bytes range(c.bytes);
        for (size_t i = 0; i < c.bytes; ++i) range[i] = static_cast<uint8_t>(i / 8 + 1);
        PutValue(kHkeyCurrentUser, (kRoot + "\\DRIVE\\SpeedListCD").c_str(), "Range", kRegBinary,
                 range);
        drive->SpeedListCD.Count = 77;
        EXPECT_EQ(LoadDriveModel(drive.get()), 1) << c.bytes;  // Range does not count
        EXPECT_EQ(drive->SpeedListCD.Count, c.count) << c.bytes;
        if (c.count) {
            const uint32_t last = c.count;  // entry i holds bytes of value i + 1
            EXPECT_EQ(drive->SpeedListCD.Entries[c.count - 1].Speed, last * 0x01010101u) << c.bytes;
        }
    }
}

TEST_F(StoreTest, OversizedCountInMemoryIsSavedAsAFullList) {
    auto drive = MakeDrive("DRIVE", 0);
    FillList(&drive->SpeedListCD, 128, 10);
    drive->SpeedListCD.Count = 500;  // corrupt: never more than 128 entries exist
    SaveDriveModel(drive.get());
    EXPECT_EQ(
        GetValue(kHkeyCurrentUser, (kRoot + "\\DRIVE\\SpeedListCD").c_str(), "Range").second.size(),
        1024u);
}

TEST_F(StoreTest, DriveModelIsCompleteOnlyWithEveryValue) {
    auto drive = MakeDrive("DRIVE", 0);
    EXPECT_EQ(LoadDriveModel(drive.get()), 0);  // no key
    SaveDriveModel(drive.get());
    EXPECT_EQ(LoadDriveModel(drive.get()), 1);

    struct Missing {
        std::string key;
        const char* value;  // null: the whole key
    };
    const Missing cases[] = {
        {"", "IsBD"},
        {"\\SpeedListCD", "CanGetSpeed"},
        {"\\SpeedListDVD", "Selected"},
        {"\\SpeedListBD", nullptr},
    };
    for (const auto& c : cases) {
        reg_.Clear();
        auto saved = MakeDrive("DRIVE", 0);
        saved->SpeedListBD.Selected = 4495;
        saved->SpeedListCD.MaxSpeed = 7056;
        SaveDriveModel(saved.get());
        const std::string path = kRoot + "\\DRIVE" + c.key;
        if (c.value) {
            RegKey key = RegKey::Open(kHkeyCurrentUser, path.c_str(), kKeyAllAccess);
            ASSERT_EQ(key.DeleteValue(c.value), kRegOk);
        } else {
            ASSERT_EQ(reg_.DeleteKey(kHkeyCurrentUser, path.c_str()), kRegOk);
        }
        auto loaded = MakeDrive("DRIVE", 0);
        EXPECT_EQ(LoadDriveModel(loaded.get()), 0) << c.key << " " << (c.value ? c.value : "");
        // The other lists were still loaded.
        EXPECT_EQ(loaded->SpeedListCD.MaxSpeed, 7056u) << c.key;
        if (c.key != "\\SpeedListBD") {
            EXPECT_EQ(loaded->SpeedListBD.Selected, 4495u);
        }
    }
    // Range alone missing still counts as complete.
    reg_.Clear();
    SaveDriveModel(drive.get());
    RegKey key =
        RegKey::Open(kHkeyCurrentUser, (kRoot + "\\DRIVE\\SpeedListCD").c_str(), kKeyAllAccess);
    ASSERT_EQ(key.DeleteValue("Range"), kRegOk);
    key.Reset();
    EXPECT_EQ(LoadDriveModel(drive.get()), 1);
}

TEST_F(StoreTest, TwoDrivesOfOneModelShareTheModelKey) {
    auto first = MakeDrive("HL-DT-ST DVDRAM GH24NSD1 LG00", 0);
    auto second = MakeDrive("HL-DT-ST DVDRAM GH24NSD1 LG00", 1);
    FillList(&first->SpeedListCD, 4, 1764);
    first->SpeedListCD.Selected = 3528;
    first->Ignore = 0;
    first->EventMask = kEventStart | kEventDiskChange;
    second->Ignore = 1;
    second->EventMask = kEventResume;
    SaveDriveModel(first.get());
    SaveDriveInstance(first.get());
    SaveDriveInstance(second.get());

    EXPECT_TRUE(HasKey(kHkeyCurrentUser, (kModel + "\\00").c_str()));
    EXPECT_TRUE(HasKey(kHkeyCurrentUser, (kModel + "\\01").c_str()));

    auto a = MakeDrive("HL-DT-ST DVDRAM GH24NSD1 LG00", 0);
    auto b = MakeDrive("HL-DT-ST DVDRAM GH24NSD1 LG00", 1);
    for (CdromDrive* d : {a.get(), b.get()}) {
        EXPECT_EQ(LoadDriveModel(d), 1);
        EXPECT_EQ(LoadDriveInstance(d), 1);
        EXPECT_EQ(d->SpeedListCD.Selected, 3528u);
        EXPECT_EQ(d->SpeedListCD.Count, 4u);
    }
    EXPECT_EQ(a->Ignore, 0u);
    EXPECT_EQ(a->EventMask, kEventStart | kEventDiskChange);
    EXPECT_EQ(b->Ignore, 1u);
    EXPECT_EQ(b->EventMask, kEventResume);

    // The instance number is taken modulo 100; a negative one never names a key "-1".
    auto third = MakeDrive("HL-DT-ST DVDRAM GH24NSD1 LG00", 101);
    auto odd = MakeDrive("HL-DT-ST DVDRAM GH24NSD1 LG00", -1);
    SaveDriveInstance(third.get());
    SaveDriveInstance(odd.get());
    EXPECT_EQ(LoadDriveInstance(b.get()), 1);
    EXPECT_EQ(b->Ignore, 0u);  // "01" was overwritten by instance 101
    EXPECT_TRUE(HasKey(kHkeyCurrentUser, (kModel + "\\99").c_str()));
}

TEST_F(StoreTest, DriveInstanceRoundTrip) {
    auto drive = MakeDrive("DRIVE", 3);
    drive->OnlyWithDisk = 1;
    drive->WhenAudio = 2;
    drive->IgnoreSpeed = 1;
    drive->ShortMenu = 1;
    drive->ForceRead = 1;
    drive->AutoLock = 1;
    drive->Timer = 30;
    std::u16string name = u"Brenner";
    std::copy(name.begin(), name.end(), drive->ShortName);
    for (uint32_t i = 0; i < kHotKeySlots; ++i) drive->HotKeys[i] = 0x0645 + i;
    SaveDriveInstance(drive.get());

    const std::string path = kRoot + "\\DRIVE\\03";
    const auto shortName = GetValue(kHkeyCurrentUser, path.c_str(), "ShortName");
    EXPECT_EQ(shortName.first, kRegBinary);
    EXPECT_EQ(shortName.second.size(), 16u);  // 2 x 7 + 2
    EXPECT_EQ(shortName.second[0], 'B');
    const auto hotKeys = GetValue(kHkeyCurrentUser, path.c_str(), "HotKeys");
    EXPECT_EQ(hotKeys.second.size(), 28u);
    EXPECT_EQ(Bytes(hotKeys.second.begin(), hotKeys.second.begin() + 4), (Bytes{0x45, 0x06, 0, 0}));
    EXPECT_EQ(GetValue(kHkeyCurrentUser, (path + "\\Lock").c_str(), "Value").second,
              (Bytes{1, 0, 0, 0}));

    auto loaded = MakeDrive("DRIVE", 3);
    EXPECT_EQ(LoadDriveInstance(loaded.get()), 1);
    EXPECT_EQ(std::u16string(loaded->ShortName), u"Brenner");
    EXPECT_EQ(loaded->Timer, 30u);
    EXPECT_EQ(loaded->WhenAudio, 2u);
    EXPECT_EQ(loaded->AutoLock, 1u);
    EXPECT_EQ(loaded->HotKeys[6], 0x064Bu);

    auto other = MakeDrive("DRIVE", 4);
    other->Timer = 9;
    EXPECT_EQ(LoadDriveInstance(other.get()), 0);  // missing: defaults stay
    EXPECT_EQ(other->Timer, 9u);
}

TEST_F(StoreTest, LockValueDecidesAutoLock) {
    auto drive = MakeDrive("DRIVE", 0);
    const std::string path = kRoot + "\\DRIVE\\00";
    PutDword(kHkeyCurrentUser, path.c_str(), "AutoLock", 1);
    PutDword(kHkeyCurrentUser, (path + "\\Lock").c_str(), "Value", 0);
    EXPECT_EQ(LoadDriveInstance(drive.get()), 1);
    EXPECT_EQ(drive->AutoLock, 0u);

    // Without the Lock subkey the instance value stands.
    ASSERT_EQ(reg_.DeleteKey(kHkeyCurrentUser, (path + "\\Lock").c_str()), kRegOk);
    EXPECT_EQ(LoadDriveInstance(drive.get()), 1);
    EXPECT_EQ(drive->AutoLock, 1u);
}

TEST_F(StoreTest, ShortNameAndHotKeysOfOddSizes) {
    const std::string path = kRoot + "\\DRIVE\\00";
    struct Case {
        Bytes stored;
        std::u16string expected;
    };
    const Case cases[] = {
        {{'A', 0, 'B', 0, 0, 0}, u"AB"},
        {{'A', 0, 'B', 0}, u"AB"},                        // no terminator
        {{'A', 0, 'B'}, u"A"},                            // half a character is dropped
        {Bytes(22, 'x'), std::u16string(10, u'\x7878')},  // full field, terminated anyway
        {Bytes(24, 'y'), u"old"},                         // longer than the field: not loaded
        {{}, u""},
    };
    for (const auto& c : cases) {
        reg_.Clear();
        PutValue(kHkeyCurrentUser, path.c_str(), "ShortName", kRegBinary, c.stored);
        auto drive = MakeDrive("DRIVE", 0);
        std::u16string old = u"old";
        std::copy(old.begin(), old.end(), drive->ShortName);
        EXPECT_EQ(LoadDriveInstance(drive.get()), 1);
        EXPECT_EQ(std::u16string(drive->ShortName), c.expected) << c.stored.size();
        EXPECT_EQ(drive->ShortName[kShortNameChars], u'\0');
    }
    // Hot keys: a short value fills the first words, a long one nothing.
    reg_.Clear();
    PutValue(kHkeyCurrentUser, path.c_str(), "HotKeys", kRegBinary, Bytes{1, 0, 0, 0, 2, 0});
    auto drive = MakeDrive("DRIVE", 0);
    for (auto& k : drive->HotKeys) k = 9;
    EXPECT_EQ(LoadDriveInstance(drive.get()), 1);
    EXPECT_EQ(drive->HotKeys[0], 1u);
    EXPECT_EQ(drive->HotKeys[1], 9u);
    PutValue(kHkeyCurrentUser, path.c_str(), "HotKeys", kRegBinary, Bytes(32, 1));
    EXPECT_EQ(LoadDriveInstance(drive.get()), 1);
    EXPECT_EQ(drive->HotKeys[0], 1u);
}

TEST_F(StoreTest, DwordOfAnyTypeIsReadIntoFourBytes) {
    const std::string path = kRoot + "\\DRIVE\\00";
    PutValue(kHkeyCurrentUser, path.c_str(), "Timer", kRegBinary, Bytes{0x10, 0});
    PutValue(kHkeyCurrentUser, path.c_str(), "EventMask", kRegBinary, Bytes{1, 2, 3, 4, 5});
    auto drive = MakeDrive("DRIVE", 0);
    drive->Timer = 0xAABBCCDD;
    drive->EventMask = 0x1F;
    EXPECT_EQ(LoadDriveInstance(drive.get()), 1);
    EXPECT_EQ(drive->Timer, 0xAABB0010u);  // only the delivered low bytes change
    EXPECT_EQ(drive->EventMask, 0x1Fu);    // too long: kept
}

TEST_F(StoreTest, ResetRemovesEveryVersionAndTheEmptyVendorKey) {
    for (bool wholeTrees : {false, true}) {
        reg_.Clear();
        reg_.SetDeleteRemovesTree(wholeTrees);
        SaveGlobalSettings();
        auto drive = MakeDrive("DRIVE", 0);
        SaveDriveModel(drive.get());
        SaveDriveInstance(drive.get());
        PutDword(kHkeyCurrentUser, "Software\\Orvanto Software\\Tarvik\\3.5", "Old", 1);
        PutDword(kHkeyCurrentUser, "Software\\Other", "Keep", 1);

        ResetConfiguration();
        EXPECT_FALSE(HasKey(kHkeyCurrentUser, "Software\\Orvanto Software")) << wholeTrees;
        EXPECT_TRUE(HasKey(kHkeyCurrentUser, "Software\\Other"));
    }
    // Another program of the vendor keeps the vendor key.
    reg_.Clear();
    SaveGlobalSettings();
    PutDword(kHkeyCurrentUser, "Software\\Orvanto Software\\Other Tool", "x", 1);
    ResetConfiguration();
    EXPECT_FALSE(HasKey(kHkeyCurrentUser, "Software\\Orvanto Software\\Tarvik"));
    EXPECT_TRUE(HasKey(kHkeyCurrentUser, "Software\\Orvanto Software\\Other Tool"));
    // Nothing stored at all: nothing happens.
    reg_.Clear();
    ResetConfiguration();
    EXPECT_FALSE(HasKey(kHkeyCurrentUser, "Software"));
}

TEST_F(StoreTest, ExportUsesTheToolOfTheVersion) {
    struct Case {
        uint32_t major, minor, platform;
        const char* program;
        const char* parameters;
    };
    const Case cases[] = {
        // By full path from the system's folders, never through the search path.
        {6, 1, 2, "C:\\WINDOWS\\system32\\reg.exe",
         "export \"HKEY_CURRENT_USER\\Software\\Orvanto Software\\Tarvik\\4.0\" \"C:\\t.reg\" /y"},
        {5, 1, 2, "C:\\WINDOWS\\regedit.exe",
         "/ea \"C:\\t.reg\" \"HKEY_CURRENT_USER\\Software\\Orvanto Software\\Tarvik\\4.0\""},
        {4, 10, 1, "C:\\WINDOWS\\regedit.exe",
         "/ea \"C:\\t.reg\" \"HKEY_CURRENT_USER\\Software\\Orvanto Software\\Tarvik\\4.0\""},
    };
    StartLog();
    for (const auto& c : cases) {
        sys_.SetWindows(c.major, c.minor, c.platform);
        sys_.launches.clear();
        SaveConfigToFile("C:\\t.reg");
        ASSERT_EQ(sys_.launches.size(), 1u);
        EXPECT_EQ(sys_.launches[0].file, c.program);
        EXPECT_EQ(sys_.launches[0].parameters, c.parameters);
        EXPECT_EQ(sys_.launches[0].show, 0);  // SW_HIDE
    }
    const auto lines = LogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], std::string("SaveConfigToFile: 'reg.exe' '") + cases[0].parameters + "'");
}

TEST_F(StoreTest, ExportWithoutRegistryToolsWritesTheFileItself) {
    const std::string file = ::testing::TempDir() + "tarvik-export-test.reg";
    GlobalSettings.DNTimer = 8;
    SaveGlobalSettings();
    std::string bytes;
    // No reg.exe there; then no system folder to start it from, so not started.
    for (const bool folderKnown : {true, false}) {
        std::remove(file.c_str());
        sys_.launchResult = 2;  // ERROR_FILE_NOT_FOUND
        if (!folderKnown) sys_.systemFolder.clear();
        sys_.launches.clear();
        SaveConfigToFile(file.c_str());
        EXPECT_EQ(sys_.launches.size(), folderKnown ? 1u : 0u);
        ASSERT_TRUE(ReadWholeFile(file, &bytes)) << folderKnown;
    }
    MemoryRegistry back;
    ASSERT_TRUE(ImportRegText(back, bytes, nullptr));
    RegKey mine = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead);
    RegKey theirs = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead, nullptr, &back);
    ASSERT_TRUE(theirs);
    std::string difference;
    EXPECT_TRUE(CompareRegTrees(reg_, mine.handle(), back, theirs.handle(), &difference))
        << difference;
    std::remove(file.c_str());
}

TEST_F(StoreTest, AnExportThatCannotBeWrittenKeepsTheLastOneAndIsLoggedOncePerStreak) {
    const std::string file = ::testing::TempDir() + "tarvik-export-kept.reg";
    // No new file can be opened (every descriptor taken, as good as a full
    // disk): the export cannot be written. Root passes any permission test,
    // and the temporary's name cannot be foreseen, so neither can block it.
    rlimit files{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &files), 0);
    const auto block = [&] {
        rlimit none = files;
        none.rlim_cur = 0;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    };
    const auto unblock = [&] { ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &files), 0); };
    std::remove(file.c_str());
    sys_.launchResult = 2;  // no reg.exe: the program writes the file itself
    SaveGlobalSettings();
    StartLog();
    SaveConfigToFile(file.c_str());
    std::string last;
    ASSERT_TRUE(ReadWholeFile(file, &last));
    block();
    SaveConfigToFile(file.c_str());
    SaveConfigToFile(file.c_str());
    unblock();
    std::string now;
    ASSERT_TRUE(ReadWholeFile(file, &now));
    EXPECT_EQ(now, last);
    SaveConfigToFile(file.c_str());
    block();
    SaveConfigToFile(file.c_str());
    unblock();
    // Nothing was left beside it.
    size_t beside = 0;
    for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir()))
        beside += entry.path().filename().string().starts_with("tarvik-export-kept.reg.");
    EXPECT_EQ(beside, 0u);
    std::remove(file.c_str());

    size_t failed = 0, written = 0;
    for (const std::string& line : LogLines()) {
        failed += line.find("own export FAILED") != std::string::npos;
        written += line.find("own export written") != std::string::npos;
    }
    EXPECT_EQ(failed, 2u);  // one per streak of failures
    EXPECT_EQ(written, 2u);
}

// A stored path that would close its quotes early in the tool's command line
// could add arguments of its own: neither the tool nor our own export runs.
TEST_F(StoreTest, AnExportPathThatCannotBeQuotedIsRefused) {
    const std::string dir = ::testing::TempDir();
    const std::string paths[] = {
        dir + "a\" /y x.reg",     // a quote: the rest becomes arguments
        dir + "tarvik-export\\",  // a trailing backslash escapes the closing quote
    };
    StartLog();
    sys_.launchResult = 2;  // no reg.exe: the own export would write the file
    for (const std::string& path : paths) {
        SaveConfigToFile(path.c_str());
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
        std::filesystem::remove(path);
    }
    EXPECT_TRUE(sys_.launches.empty());
    size_t refused = 0;
    for (const std::string& line : LogLines())
        refused += line.find("cannot be quoted, not exported") != std::string::npos;
    EXPECT_EQ(refused, 2u);
}

}  // namespace
}  // namespace tarvik
