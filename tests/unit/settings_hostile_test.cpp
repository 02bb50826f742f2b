// Hand-edited and damaged settings: every value the program stores, replaced
// in turn by wrong types, wrong lengths, extreme numbers, unterminated text or
// nothing at all, goes through a load and a save. The program rewrites what it
// owns in its own form and leaves everything else in its keys alone; a key the
// user may not write costs the save, not the load.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "drive/drive.h"
#include "drive/drive_store.h"
#include "settings/store.h"
#include "settings_fixture.h"

namespace tarvik {
namespace {

using testing_support::SettingsTest;
using Bytes = std::vector<uint8_t>;

const std::string kRoot = kRootKeyPath;
constexpr char kName[] = "HOSTILE DRIVE 1.0";

struct Stored {
    std::string path;  // below HKCU
    std::string name;
    uint32_t type;
    Bytes data;
};

struct Form {
    const char* what;
    uint32_t type;
    Bytes data;
    bool missing = false;
};

std::unique_ptr<CdromDrive> MakeDrive() {
    auto drive = std::make_unique<CdromDrive>();
    std::snprintf(drive->Name, sizeof(drive->Name), "%s", kName);
    drive->DupIndex = 1;
    drive->SpeedListCD.Factor = kFactorCD;
    drive->SpeedListDVD.Factor = kFactorDVD;
    drive->SpeedListBD.Factor = kFactorBD;
    return drive;
}

class HostileSettingsTest : public SettingsTest {
protected:
    // What a user who has used the program for a while has stored.
    void SaveHealthy() {
        reg_.Clear();
        GlobalSettings = GlobalSettingsRecord{};
        std::snprintf(GlobalSettings.SavePath, sizeof(GlobalSettings.SavePath), "C:\\t.reg");
        SaveGlobalSettings();
        auto drive = MakeDrive();
        drive->SpeedListCD.Count = 3;
        for (uint32_t i = 0; i < 3; ++i) drive->SpeedListCD.Entries[i] = {7040 - 1408 * i, i};
        drive->SpeedListCD.Selected = 4224;
        drive->AutoLock = 1;
        drive->ShortName[0] = u'X';
        SaveDriveModel(drive.get());
        SaveDriveInstance(drive.get());
    }

    void Walk(const std::string& path, std::vector<Stored>* out) {
        RegKey key = RegKey::Open(kHkeyCurrentUser, path.c_str(), kKeyRead);
        ASSERT_TRUE(key);
        for (uint32_t i = 0;; ++i) {
            char name[256];
            uint32_t chars = sizeof(name), type = 0, size = 4096;
            Bytes data(size);
            if (reg_.EnumValue(key.handle(), i, name, &chars, &type, data.data(), &size) != kRegOk)
                break;
            data.resize(size);
            out->push_back({path, name, type, data});
        }
        for (uint32_t i = 0;; ++i) {
            char name[256];
            uint32_t chars = sizeof(name);
            if (reg_.EnumKey(key.handle(), i, name, &chars) != kRegOk) break;
            Walk(path + "\\" + name, out);
        }
    }

    // Load and save as a start and an exit of the program do.
    void LoadAndSave() {
        LoadGlobalSettings();
        auto drive = MakeDrive();
        (void)LoadDriveModel(drive.get());
        (void)LoadDriveInstance(drive.get());
        SaveGlobalSettings();
        SaveDriveModel(drive.get());
        SaveDriveInstance(drive.get());
    }
};

TEST_F(HostileSettingsTest, EveryValueInEveryBadFormIsRewrittenAndForeignOnesAreKept) {
    SaveHealthy();
    std::vector<Stored> owned;
    Walk(kRoot, &owned);
    ASSERT_GT(owned.size(), 40u);  // the global options, the model, its lists, the instance

    std::vector<Form> forms = {
        {"missing", kRegNone, {}, true},
        {"empty", kRegBinary, {}},
        {"one byte", kRegBinary, {0xFF}},
        {"three bytes", kRegBinary, {1, 2, 3}},
        {"huge", kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"negative", kRegDword, {0x00, 0x00, 0x00, 0x80}},
        {"qword", kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"unterminated text", kRegSz, {'x', 'y', 'z'}},
        {"long text", kRegMultiSz, Bytes(5000, 'A')},
    };
    for (const Stored& target : owned) {
        for (const Form& form : forms) {
            SCOPED_TRACE(target.path + " " + target.name + ": " + form.what);
            SaveHealthy();
            {
                RegKey key = RegKey::Open(kHkeyCurrentUser, target.path.c_str(), kKeyAllAccess);
                ASSERT_TRUE(key);
                if (form.missing) {
                    ASSERT_EQ(key.DeleteValue(target.name.c_str()), kRegOk);
                } else {
                    ASSERT_EQ(key.Set(target.name.c_str(), form.type, form.data.data(),
                                      static_cast<uint32_t>(form.data.size())),
                              kRegOk);
                }
            }
            // Someone else's value beside it and a key of theirs below it.
            PutString(kHkeyCurrentUser, target.path.c_str(), "Note", "mine");
            PutDword(kHkeyCurrentUser, (target.path + "\\Other\\Deeper").c_str(),
                     target.name.c_str(), 7);

            LoadAndSave();

            std::vector<Stored> after;
            Walk(kRoot, &after);
            for (const Stored& was : owned) {
                bool found = false;
                for (const Stored& now : after) {
                    if (now.path != was.path || now.name != was.name) continue;
                    found = true;
                    EXPECT_EQ(now.type, was.type) << was.path << " " << was.name;
                    if (now.type == kRegDword) {
                        EXPECT_EQ(now.data.size(), 4u);
                    }
                }
                EXPECT_TRUE(found) << was.path << " " << was.name << " not written back";
            }
            EXPECT_EQ(GetValue(kHkeyCurrentUser, target.path.c_str(), "Note").second,
                      (Bytes{'m', 'i', 'n', 'e', 0}));
            EXPECT_EQ(GetValue(kHkeyCurrentUser, (target.path + "\\Other\\Deeper").c_str(),
                               target.name.c_str())
                          .second,
                      (Bytes{7, 0, 0, 0}));
        }
    }
}

TEST_F(HostileSettingsTest, MissingKeysLoadAsDefaultsAndAreWrittenAgain) {
    for (const char* sub : {"\\Lock", "\\HOSTILE DRIVE 1.0\\SpeedListCD", "\\HOSTILE DRIVE 1.0\\01",
                            "\\HOSTILE DRIVE 1.0\\01\\Lock", "\\HOSTILE DRIVE 1.0"}) {
        SCOPED_TRACE(sub);
        SaveHealthy();
        reg_.SetDeleteRemovesTree(true);
        ASSERT_EQ(reg_.DeleteKey(kHkeyCurrentUser, (kRoot + sub).c_str()), kRegOk);
        reg_.SetDeleteRemovesTree(false);
        LoadAndSave();
        EXPECT_TRUE(HasKey(kHkeyCurrentUser, (kRoot + sub).c_str()));
    }
}

TEST_F(HostileSettingsTest, AKeyTheUserCannotWriteIsReadAndLeftAsItWas) {
    SaveHealthy();
    PutDword(kHkeyCurrentUser, kRoot.c_str(), "TimerEnable", 1);
    std::vector<Stored> before;
    Walk(kRoot, &before);
    reg_.Deny(kHkeyCurrentUser, kRoot, kKeySetValue | kKeyCreateSubKey);
    GlobalSettings.TimerEnable = 0;
    LoadGlobalSettings();
    EXPECT_EQ(GlobalSettings.TimerEnable, 1u);
    GlobalSettings.TimerEnable = 0;
    LoadAndSave();
    reg_.ClearDenials();
    std::vector<Stored> after;
    Walk(kRoot, &after);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].data, before[i].data) << after[i].name;
}

}  // namespace
}  // namespace tarvik
