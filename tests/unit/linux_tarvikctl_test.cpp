// tarvikctl on real drives, as the built program: the drives come from a
// sysfs tree made here and the simulator answers the SG_IO ioctl behind the
// transport (the program's test-only hook), so the whole Linux path runs:
// discovery, --device, the SG_IO set, the default settings file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tarvik {
namespace {

namespace fs = std::filesystem;

struct Result {
    int rc = -1;
    std::string out, err;
};

class LinuxTarvikctl : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = fs::read_symlink("/proc/self/exe").parent_path() / "tarvikctl";
        if (!fs::exists(exe_)) GTEST_SKIP() << "tarvikctl is not built next to the tests";
        dir_ = fs::temp_directory_path() /
               ("linux-ctl-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_ / "sys/class/block");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // sysfs lists srN at SCSI address `address`.
    void ListDrive(int n, const std::string& address) {
        const fs::path dev = dir_ / "sys/devices" / address;
        fs::create_directories(dev);
        std::ofstream(dev / "type") << "5\n";
        std::ofstream(dev / "vendor") << "TARVIKSM\n";
        const fs::path entry = dir_ / "sys/class/block" / ("sr" + std::to_string(n));
        fs::create_directories(entry);
        fs::create_symlink(fs::path("../../../devices") / address, entry / "device");
    }

    // One call; `sim` drives answer behind the ioctl (empty: none answers).
    Result Ctl(const std::string& args, const std::string& sim = "slim-laptop-24x") {
        std::string env = "XDG_CONFIG_HOME=" + (dir_ / "cfg").string() +
                          " TARVIKCTL_TEST_SYSFS=" + (dir_ / "sys").string();
        if (!sim.empty())
            env += " TARVIKCTL_TEST_SG_SIM=" + std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/" +
                   sim + ".json";
        const std::string out = (dir_ / "out").string(), err = (dir_ / "err").string();
        const int status = std::system(
            (env + " " + exe_.string() + " " + args + " >" + out + " 2>" + err).c_str());
        Result r;
        r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }
    static std::string Slurp(const fs::path& p) {
        std::ostringstream s;
        s << std::ifstream(p).rdbuf();
        return s.str();
    }

    fs::path exe_, dir_;
};

TEST_F(LinuxTarvikctl, NoOpticalDriveIsSaidClearly) {
    Result r = Ctl("--device /dev/sr0 drives", "");
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err,
              "tarvikctl: /dev/sr0: no such optical drive (this system lists no optical drive)\n");
    EXPECT_EQ(r.out, "");
    r = Ctl("drives", "");  // --device auto
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("no optical drive to use"), std::string::npos) << r.err;
    // What needs no drive still runs.
    EXPECT_EQ(Ctl("settings show", "").rc, 0);
    // Listed, but the node is not there.
    ListDrive(0, "2:0:0:0");
    r = Ctl("--device /dev/sr0 state 0", "");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("/dev/sr0: the drive is listed but its device is not there"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(Ctl("--sim x.json --device /dev/sr0 drives").rc, 2);
}

TEST_F(LinuxTarvikctl, ReadmeSessionOnARealDriveNode) {
    ListDrive(0, "2:0:1:0");
    const std::string t = "--state " + (dir_ / "my.state").string() + " ";
    Result r = Ctl("--device /dev/sr0 drives");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("address: 2:1:0 -"), std::string::npos) << r.out;

    r = Ctl(t + "detect 0 fast");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("found 1411 KB/s with command 1411\n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("    [3] 1411 KB/s (8x) command 1411\n"), std::string::npos) << r.out;
    const std::string at8x =
        "drive 0: CD medium=recordable mediumType=0x11 profile=-1 tray=closed audio=0x00 "
        "speed=1411 (8x) selected=1411\n";
    r = Ctl(t + "select 0 3");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, at8x);
    // The settings went to the user's file.
    EXPECT_TRUE(fs::exists(dir_ / "cfg/tarvik/settings.reg"));

    ASSERT_EQ(Ctl(t + "sim 0 open").rc, 0);
    ASSERT_EQ(Ctl(t + "sim 0 close").rc, 0);
    r = Ctl(t + "state 0");
    EXPECT_EQ(r.out,
              "drive 0: CD medium=recordable mediumType=0x11 profile=-1 tray=closed audio=0x00 "
              "speed=4234 (24x) selected=1411\n");
    r = Ctl(t + "--device /dev/sr0 event disk 0x8");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "event: disk\nletterMask: 0x8\n" + at8x);
    r = Ctl(t + "settings show");
    EXPECT_NE(r.out.find("Selected"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace tarvik
