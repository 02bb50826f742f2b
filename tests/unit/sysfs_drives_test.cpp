// Drive discovery on a sysfs tree built in a temporary folder, laid out as
// the kernel lays it out (class/block/srN -> device link -> h:c:t:l), and the
// settings file's place.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/sysfs_drives.h"
#include "settings/settings_path.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

class SysfsTree : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("sysfs-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(root_ / "class/block");
        fs::create_directories(root_ / "class/scsi_generic");
    }
    void TearDown() override { fs::remove_all(root_); }

    // A SCSI device folder and its class entry linking to it.
    fs::path Add(const std::string& cls, const std::string& name, const std::string& address,
                 const std::string& type, const std::string& vendor = "TARVIKSM",
                 const std::string& model = "SIM DRIVE       ") {
        const fs::path dev = root_ / "devices/host" / address;
        fs::create_directories(dev);
        Write(dev / "type", type + "\n");
        Write(dev / "vendor", vendor + "\n");
        Write(dev / "model", model + "\n");
        Write(dev / "rev", "1.00\n");
        const fs::path entry = root_ / "class" / cls / name;
        fs::create_directories(entry);
        fs::create_symlink(fs::path("../../../devices/host") / address, entry / "device");
        return entry;
    }
    static void Write(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

    fs::path root_;
};

TEST_F(SysfsTree, ListsOpticalDrivesInNumberOrder) {
    Add("block", "sr10", "5:0:0:0", "5");
    Add("block", "sr2", "3:0:1:2", "5", "HL-DT-ST", "DVDRAM GH24NSD1 ");
    Add("block", "sda", "0:0:0:0", "0");
    Add("block", "sr3", "6:0:0:0", "0");  // not an MMC device whatever its name
    const auto drives = ListOpticalDrives(root_.string());
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].name, "sr2");
    EXPECT_EQ(drives[0].node, "/dev/sr2");
    EXPECT_EQ(drives[0].vendor, "HL-DT-ST");
    EXPECT_EQ(drives[0].model, "DVDRAM GH24NSD1");
    EXPECT_EQ(drives[0].revision, "1.00");
    EXPECT_EQ(drives[0].host, 3u);
    EXPECT_EQ(drives[0].target, 1u);
    EXPECT_EQ(drives[0].lun, 2u);
    EXPECT_EQ(drives[1].name, "sr10");
    EXPECT_TRUE(ListOpticalDrives((root_ / "nothing").string()).empty());
}

TEST_F(SysfsTree, OddContentsStaySafe) {
    Add("block", "sr0", "not:an:address", "5", std::string("VEN\x01\x7F") + std::string(200, 'X'));
    const fs::path e = Add("block", "sr1", "1:0:0:0:9", "5");
    Write(e / "uevent", "MAJOR=11\nDEVNAME=../etc/passwd\n");
    const fs::path g = Add("block", "sr4", "2:0:0:0", "5");
    Write(g / "uevent", "DEVNAME=sr4\n");
    const auto drives = ListOpticalDrives(root_.string());
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].vendor.substr(0, 5), "VEN??");
    EXPECT_EQ(drives[0].vendor.size(), 64u);
    // No address: each still has one of its own.
    EXPECT_EQ(drives[0].host, kUnknownHost);
    EXPECT_EQ(drives[0].target, 0u);
    EXPECT_EQ(drives[1].host, kUnknownHost);
    EXPECT_EQ(drives[1].target, 1u);
    EXPECT_EQ(drives[1].node, "/dev/sr1");  // the DEVNAME leading out of /dev is not taken
    EXPECT_EQ(drives[2].node, "/dev/sr4");
}

TEST_F(SysfsTree, FindsTheDriveAPathNames) {
    Add("block", "sr0", "2:0:0:0", "5");
    Add("scsi_generic", "sg1", "2:0:0:0", "5");
    Add("scsi_generic", "sg0", "0:0:0:0", "0");
    SysfsDrive d;
    ASSERT_TRUE(FindOpticalDrive(root_.string(), "/dev/sr0", &d));
    EXPECT_EQ(d.node, "/dev/sr0");
    EXPECT_EQ(d.host, 2u);
    ASSERT_TRUE(FindOpticalDrive(root_.string(), "/dev/sg1", &d));
    EXPECT_EQ(d.node, "/dev/sg1");
    EXPECT_FALSE(FindOpticalDrive(root_.string(), "/dev/sg0", &d));  // the disk
    EXPECT_FALSE(FindOpticalDrive(root_.string(), "/dev/sr1", &d));
    EXPECT_FALSE(FindOpticalDrive(root_.string(), "/dev/sda", &d));
    EXPECT_FALSE(FindOpticalDrive(root_.string(), "", &d));
}

TEST(SettingsPath, UserSystemAndFallbacks) {
    EXPECT_EQ(SettingsFilePath(true, "/x", "/home/u"), "/etc/tarvik/settings.reg");
    EXPECT_EQ(SettingsFilePath(false, "/cfg/", "/home/u"), "/cfg/tarvik/settings.reg");
    EXPECT_EQ(SettingsFilePath(false, nullptr, "/home/u"), "/home/u/.config/tarvik/settings.reg");
    EXPECT_EQ(SettingsFilePath(false, "", "/home/u"), "/home/u/.config/tarvik/settings.reg");
    EXPECT_EQ(SettingsFilePath(false, "rel/cfg", "/home/u"), "/home/u/.config/tarvik/settings.reg");
    EXPECT_EQ(SettingsFilePath(false, nullptr, "/"), "/.config/tarvik/settings.reg");
    EXPECT_EQ(SettingsFilePath(false, nullptr, "relative"), "");
    EXPECT_EQ(SettingsFilePath(false, nullptr, nullptr), "");
}

}  // namespace
}  // namespace tarvik
