// `tarvikctl --registry FILE settings ...`, run as the built program.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "drive/drive.h"
#include "drive/drive_store.h"
#include "platform/registry.h"
#include "platform/registry_memory.h"
#include "settings/reg_file.h"
#include "settings/store.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

class SettingsCtlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ctl_ = fs::read_symlink("/proc/self/exe").parent_path() / "tarvikctl";
        if (!fs::exists(ctl_)) GTEST_SKIP() << "tarvikctl is not built next to the tests";
        dir_ = fs::temp_directory_path() / ("tarvik-ctl-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        file_ = (dir_ / "settings.reg").string();
    }
    void TearDown() override {
        SetRegistry(nullptr);
        GlobalSettings = GlobalSettingsRecord{};
        if (!dir_.empty()) fs::remove_all(dir_);
    }
    // Runs tarvikctl; returns the exit code, stdout in *out.
    int Run(const std::string& args, std::string* out = nullptr) {
        const std::string outFile = (dir_ / "out.txt").string();
        const std::string command = ctl_.string() + " --registry '" + file_ + "' " + args + " >'" +
                                    outFile + "' 2>'" + (dir_ / "err.txt").string() + "'";
        const int status = std::system(command.c_str());
        if (out) (void)ReadWholeFile(outFile, out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string FileBytes() {
        std::string bytes;
        (void)ReadWholeFile(file_, &bytes);
        return bytes;
    }
    // Loads the file into a memory registry and the global settings.
    void LoadFile(MemoryRegistry* reg) {
        ASSERT_TRUE(ImportRegText(*reg, FileBytes(), nullptr));
        SetRegistry(reg);
        LoadGlobalSettings();
    }

    fs::path ctl_, dir_;
    std::string file_;
};

TEST_F(SettingsCtlTest, SetChangesOneOptionAndSaves) {
    ASSERT_EQ(Run("settings set DNTimer 8"), 0);
    ASSERT_EQ(Run("settings set iconopen 0x1"), 0);  // names without regard to case
    ASSERT_EQ(Run("settings set SavePath 'C:\\t.reg'"), 0);
    ASSERT_EQ(Run("settings set language DE"), 0);  // stored as the program reads it
    {
        MemoryRegistry reg;
        LoadFile(&reg);
        EXPECT_EQ(GlobalSettings.DNTimer, 8u);
        EXPECT_EQ(GlobalSettings.IconOpen, 1u);
        EXPECT_EQ(GlobalSettings.NumNames, 1u);
        EXPECT_STREQ(GlobalSettings.SavePath, "C:\\t.reg");
        EXPECT_STREQ(GlobalSettings.Language, "de");
        SetRegistry(nullptr);
    }
    // "auto" takes the value out: the program follows the display language.
    ASSERT_EQ(Run("settings set Language auto"), 0);
    {
        MemoryRegistry reg;
        LoadFile(&reg);
        EXPECT_STREQ(GlobalSettings.Language, "");
        const RegKey root = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead);
        ASSERT_TRUE(root);
        uint32_t size = 0;
        EXPECT_NE(root.Query("Language", nullptr, nullptr, &size), kRegOk);
        EXPECT_EQ(GlobalSettings.DNTimer, 8u);  // the rest stays
        SetRegistry(nullptr);
    }
    ASSERT_EQ(Run("settings set Language ru"), 0);
    MemoryRegistry reg;
    LoadFile(&reg);
    EXPECT_STREQ(GlobalSettings.Language, "ru");
    char stored[8] = "junk";
    ReadLanguageSetting(stored, sizeof(stored));
    EXPECT_STREQ(stored, "ru");
}

// `sudo -E tarvikctl ...` keeps the user's HOME: root must not take settings
// from a file or folder that user owns, and says which one it refused.
TEST_F(SettingsCtlTest, RootRefusesAnotherUsersSettings) {
    ASSERT_EQ(Run("settings set DNTimer 8"), 0);
    const std::string before = FileBytes();
    if (::geteuid() != 0) return;  // only root is refused; the run above was not
    constexpr uid_t kOther = 4242;
    std::string err;
    const auto refused = [&](const char* args) {
        const int rc = Run(args);
        (void)ReadWholeFile((dir_ / "err.txt").string(), &err);
        return rc;
    };
    ASSERT_EQ(::chown(file_.c_str(), kOther, kOther), 0);
    EXPECT_EQ(refused("settings show"), 1);
    EXPECT_NE(err.find("refusing the settings file " + file_ + ": it belongs to uid 4242"),
              std::string::npos)
        << err;
    EXPECT_EQ(refused("settings set DNTimer 9"), 1);
    EXPECT_EQ(FileBytes(), before);
    ASSERT_EQ(::chown(file_.c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(dir_.c_str(), kOther, kOther), 0);
    EXPECT_EQ(refused("settings show"), 1);
    EXPECT_NE(
        err.find("refusing the settings folder " + dir_.string() + ": it belongs to uid 4242"),
        std::string::npos)
        << err;
    // A file still to be made: the nearest folder there is counts.
    const std::string mine = file_;
    file_ = (dir_ / "new/deeper/settings.reg").string();
    EXPECT_EQ(refused("settings set DNTimer 9"), 1);
    EXPECT_NE(err.find("refusing the settings folder " + dir_.string()), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir_ / "new"));
    file_ = mine;
    ASSERT_EQ(::chown(dir_.c_str(), 0, 0), 0);
    EXPECT_EQ(refused("settings show"), 0) << err;
}

TEST_F(SettingsCtlTest, BadNamesAndValuesLeaveTheFileUntouched) {
    ASSERT_EQ(Run("settings set DNTimer 8"), 0);
    const std::string before = FileBytes();
    ASSERT_FALSE(before.empty());
    const char* bad[] = {"settings set Bogus 1",
                         "settings set DNTimer -1",
                         "settings set DNTimer 4294967296",
                         "settings set DNTimer five",
                         "settings set DNTimer",
                         "settings frobnicate",
                         "settings",
                         "settings set Data x",
                         "settings set Language deutsch",
                         "settings set Language xx",
                         "settings set Language ''"};
    for (const char* args : bad) {
        EXPECT_EQ(Run(args), 2) << args;
        EXPECT_EQ(FileBytes(), before) << args;
    }
    // A file that is not a registry file is reported and not overwritten.
    ASSERT_TRUE(WriteWholeFile(file_, "not a registry file"));
    EXPECT_EQ(Run("settings set DNTimer 3"), 1);
    EXPECT_EQ(FileBytes(), "not a registry file");
}

TEST_F(SettingsCtlTest, ShowPrintsWhatTheProgramWouldLoad) {
    MemoryRegistry reg;
    SetRegistry(&reg);
    GlobalSettings.DeepMenu = 1;
    SaveGlobalSettings();
    CdromDrive drive;
    std::strcpy(drive.Name, "VENDOR MODEL 1.00");
    drive.IsDVD = 1;
    drive.SpeedListCD.Count = 2;
    drive.SpeedListCD.Entries[0] = {7056, 7056};
    drive.SpeedListCD.Entries[1] = {1764, 1765};
    drive.SpeedListCD.Selected = 1764;
    SaveDriveModel(&drive);
    drive.DupIndex = 1;
    drive.AutoLock = 1;
    drive.ShortName[0] = u'Q';
    SaveDriveInstance(&drive);
    ASSERT_TRUE(WriteWholeFile(file_, EncodeRegFile(ExportAllRegText(reg))));
    SetRegistry(nullptr);

    std::string out;
    ASSERT_EQ(Run("settings show", &out), 0);
    EXPECT_NE(out.find("DeepMenu 1\n"), std::string::npos) << out;
    EXPECT_NE(out.find("DNTimer 5\n"), std::string::npos) << out;
    EXPECT_NE(out.find("model \"VENDOR MODEL 1.00\": CanClose=0 CanSenseMedium=0 IsDVD=1 IsBD=0"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("Selected=1764 Count=2"), std::string::npos) << out;
    EXPECT_NE(out.find("Range: 7056/7056 1764/1765"), std::string::npos) << out;
    EXPECT_NE(out.find("instance 01: "), std::string::npos) << out;
    EXPECT_NE(out.find("AutoLock=1"), std::string::npos) << out;
    EXPECT_NE(out.find("ShortName=\"Q\""), std::string::npos) << out;

    ASSERT_EQ(Run("--json settings show", &out), 0);
    const auto json = nlohmann::json::parse(out);
    EXPECT_EQ(json["global"]["DeepMenu"], 1);
    EXPECT_EQ(json["global"].size(), 20u);
    ASSERT_EQ(json["models"].size(), 1u);
    const auto& model = json["models"][0];
    EXPECT_EQ(model["Name"], "VENDOR MODEL 1.00");
    EXPECT_EQ(model["complete"], true);
    EXPECT_EQ(model["SpeedListCD"]["Range"], nlohmann::json::parse("[[7056, 7056], [1764, 1765]]"));
    ASSERT_EQ(model["instances"].size(), 1u);
    EXPECT_EQ(model["instances"][0]["DupIndex"], 1);
    EXPECT_EQ(model["instances"][0]["ShortName"], "Q");
}

TEST_F(SettingsCtlTest, CompareFindsTheFirstDifference) {
    ASSERT_EQ(Run("settings set DNTimer 8"), 0);
    const std::string other = (dir_ / "other.reg").string();
    ASSERT_EQ(Run("settings export '" + other + "'"), 0);
    EXPECT_EQ(Run("settings compare '" + other + "'"), 0);
    // reg.exe's own form: UTF-16, but also plain text with CRLF.
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(other, &bytes));
    MemoryRegistry reg;
    ASSERT_TRUE(ImportRegText(reg, bytes, nullptr));
    RegKey key = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyAllAccess, nullptr, &reg);
    ASSERT_EQ(key.SetDword("DNTimer", 9), kRegOk);
    key.Reset();
    std::string text;
    ASSERT_TRUE(ExportRegText(reg, kHkeyCurrentUser, kRootKeyPath, &text));
    ASSERT_TRUE(WriteWholeFile(other, text));
    std::string out;
    EXPECT_EQ(Run("settings compare '" + other + "'", &out), 1);
    EXPECT_NE(out.find("DNTimer"), std::string::npos) << out;
    EXPECT_EQ(Run("settings compare '" + (dir_ / "missing.reg").string() + "'"), 1);
}

TEST_F(SettingsCtlTest, ResetAndExport) {
    ASSERT_EQ(Run("settings set TimerEnable 1"), 0);
    const std::string exported = (dir_ / "export.reg").string();
    ASSERT_EQ(Run("settings export '" + exported + "'"), 0);
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(exported, &bytes));
    MemoryRegistry fromExport, fromFile;
    ASSERT_TRUE(ImportRegText(fromExport, bytes, nullptr));
    ASSERT_TRUE(ImportRegText(fromFile, FileBytes(), nullptr));
    std::string difference;
    EXPECT_TRUE(
        CompareRegTrees(fromFile, kHkeyCurrentUser, fromExport, kHkeyCurrentUser, &difference))
        << difference;

    ASSERT_EQ(Run("settings reset"), 0);
    MemoryRegistry after;
    ASSERT_TRUE(ImportRegText(after, FileBytes(), nullptr));
    EXPECT_FALSE(
        RegKey::Open(kHkeyCurrentUser, "Software\\Orvanto Software", kKeyRead, nullptr, &after));
    EXPECT_EQ(Run("settings export '" + exported + "'"), 1);  // nothing left to export
}

}  // namespace
}  // namespace tarvik
