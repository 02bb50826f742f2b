// tarvikctl menu as a user runs it: the tray menus a drive set and the stored
// settings give, printed without Windows.
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
using Json = nlohmann::json;

struct Result {
    int rc = -1;
    std::string out;
    std::string err;
};

class MenuTarvikctl : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = fs::read_symlink("/proc/self/exe").parent_path() / "tarvikctl";
        if (!fs::exists(exe_)) GTEST_SKIP() << "tarvikctl is not built next to the tests";
        dir_ = fs::temp_directory_path() /
               ("menu-ctl-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        // The slim laptop drive with ten CD speeds, 48x down to 4x.
        Json profile;
        std::ifstream(std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/slim-laptop-24x.json") >>
            profile;
        profile["identity"]["product"] = "MENU SIM48";
        profile["speeds"]["cd"]["read"] = {8467, 7056, 5645, 4234, 3528,
                                           2822, 2117, 1764, 1411, 706};
        profile["capabilities"]["writeSpeeds"] = {4234};
        std::ofstream((dir_ / "ten.json").string()) << profile.dump();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    Result Ctl(const std::string& args, const std::string& drives = "") {
        const std::string out = (dir_ / "out").string(), err = (dir_ / "err").string();
        const std::string sims = drives.empty() ? " --sim " + (dir_ / "ten.json").string() : drives;
        const std::string cmd = exe_.string() + sims + " --registry " + (dir_ / "r.reg").string() +
                                " --state " + (dir_ / "s.state").string() + " " + args + " >" +
                                out + " 2>" + err;
        Result r;
        const int status = std::system(cmd.c_str());
        r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path exe_, dir_;
};

TEST_F(MenuTarvikctl, ShortMenuGroupsTheTenSpeeds) {
    // A list of more than eight speeds is shown grouped from the start.
    Result r = Ctl("menu left");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out,
              ">20x >\n"
              "    24x  0x830C\n"
              ">10x >\n"
              "    16x  0x850C\n"
              "    12x  0x860C\n"
              "----\n"
              "48x  0x800C  [checked: BitmapCSpeed]\n"
              "40x  0x810C\n"
              "32x  0x820C\n"
              "20x  0x840C\n"
              "10x  0x870C\n"
              "8x  0x880C\n"
              "4x  0x890C\n"
              "----\n"
              "Autorun  0x800B  [grey]\n"
              "Explorer  0x800A\n"
              "----\n"
              "TARVIKSM  0x8001  [checked: BitmapEject]\n");

    // 16x chosen; the disc changed, so the drive runs at full speed again.
    ASSERT_EQ(Ctl("select 0 5").rc, 0);
    ASSERT_EQ(Ctl("sim 0 open").rc, 0);
    ASSERT_EQ(Ctl("sim 0 close").rc, 0);
    r = Ctl("menu left");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("----")),
              ">20x >\n"
              "    24x  0x830C\n"
              ">10x >  [checked]\n"
              "    16x  0x850C  [checked]\n"
              "    12x  0x860C\n");
    EXPECT_NE(r.out.find("48x  0x800C  [checked: BitmapCSpeed]\n"), std::string::npos);

    // The stored options shape the menu.
    ASSERT_EQ(Ctl("settings set TopNames 1").rc, 0);
    r = Ctl("menu left");
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "TARVIKSM  [disabled]");
    EXPECT_EQ(r.out.substr(r.out.rfind("----")), "----\n<BitmapEject>  0x8001\n");
}

TEST_F(MenuTarvikctl, RightMenuAsJson) {
    const std::string two = " --sim " + (dir_ / "ten.json").string() + " --sim " +
                            std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/bd-combo-12x.json";
    const Result r = Ctl("--json menu right", two);
    ASSERT_EQ(r.rc, 0) << r.err;
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j["menu"], "right");
    const Json& items = j["items"];
    ASSERT_EQ(items.size(), 14u);
    EXPECT_EQ(items[1]["text"], "Help");
    EXPECT_EQ(items[1]["grayed"], true);  // no help file beside the program
    EXPECT_EQ(items[9]["id"], 0x8000);
    EXPECT_EQ(items[9]["data"], 107);
    EXPECT_EQ(items[10]["id"], 0x8010);
    EXPECT_EQ(items[11]["kind"], "submenu");
    EXPECT_EQ(items[11]["text"], "Ignored");
    EXPECT_EQ(items[11]["grayed"], true);
    EXPECT_EQ(items[13]["id"], 109);
}

TEST_F(MenuTarvikctl, BadArgumentsExitTwo) {
    struct Case {
        const char* args;
        const char* message;
    };
    const Case cases[] = {
        {"menu", "menu needs left or right"},
        {"menu middle", "unknown menu \"middle\""},
        {"menu left right", "menu needs left or right"},
    };
    for (const Case& c : cases) {
        const Result r = Ctl(c.args);
        EXPECT_EQ(r.rc, 2) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

}  // namespace
}  // namespace tarvik
