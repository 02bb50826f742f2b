// tarvikctl menu as a user runs it: the speed menu a drive with ten CD speeds
// gives, as the stored choice and the drive's own speed change.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

namespace tarvik {
namespace {

namespace fs = std::filesystem;

class MenuTarvikctl : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path() / "tarvikctl";
        if (!fs::exists(exe)) GTEST_SKIP() << "tarvikctl is not built next to the tests";
        dir_ = fs::temp_directory_path() / ("menu-ctl-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        // The slim laptop drive reading CDs at 48x down to 4x.
        nlohmann::json profile;
        std::ifstream(std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/slim-laptop-24x.json") >>
            profile;
        profile["identity"]["product"] = "MENU SIM48";
        profile["speeds"]["cd"]["read"] = {8467, 7056, 5645, 4234, 3528,
                                           2822, 2117, 1764, 1411, 706};
        std::ofstream(dir_ / "ten.json") << profile.dump();
        ctl_ = exe.string() + " --sim " + (dir_ / "ten.json").string() + " --registry " +
               (dir_ / "r.reg").string() + " --state " + (dir_ / "s.state").string() + " ";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Standard output of one call; its exit code in rc_.
    std::string Ctl(const std::string& args) {
        const fs::path out = dir_ / "out";
        const int status =
            std::system((ctl_ + args + " >" + out.string() + " 2>/dev/null").c_str());
        rc_ = WEXITSTATUS(status);
        std::ostringstream s;
        s << std::ifstream(out).rdbuf();
        return s.str();
    }

    fs::path dir_;
    std::string ctl_;
    int rc_ = -1;
};

TEST_F(MenuTarvikctl, TenSpeedsGroupedByTens) {
    // More than eight speeds: the drive's menu is grouped from the start.
    EXPECT_EQ(Ctl("menu left"),
              ">20x >\n    24x  0x830C\n>10x >\n    16x  0x850C\n    12x  0x860C\n----\n"
              "48x  0x800C  [checked: BitmapCSpeed]\n40x  0x810C\n32x  0x820C\n20x  0x840C\n"
              "10x  0x870C\n8x  0x880C\n4x  0x890C\n----\n"
              "Autorun  0x800B  [grey]\nExplorer  0x800A\n----\n"
              "TARVIKSM  0x8001  [checked: BitmapEject]\n");
    EXPECT_EQ(rc_, 0);

    // 16x chosen, then a disc change lets the drive run at full speed again.
    Ctl("select 0 5");
    Ctl("sim 0 open");
    Ctl("sim 0 close");
    const std::string menu = Ctl("menu left");
    EXPECT_EQ(menu.substr(0, menu.find("----")),
              ">20x >\n    24x  0x830C\n>10x >  [checked]\n    16x  0x850C  [checked]\n    12x  "
              "0x860C\n");
    EXPECT_NE(menu.find("\n48x  0x800C  [checked: BitmapCSpeed]\n"), std::string::npos);

    const auto right = nlohmann::json::parse(Ctl("--json menu right"));
    EXPECT_EQ(right["items"][9]["text"], "TARVIKSM MENU SIM48       LS03");
    EXPECT_EQ(right["items"][9]["data"], 107);

    EXPECT_EQ(Ctl("menu middle"), "");
    EXPECT_EQ(rc_, 2);
}

}  // namespace
}  // namespace tarvik
