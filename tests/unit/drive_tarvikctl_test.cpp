// The tarvikctl drive commands as a user runs them: one --registry file kept
// across calls, so a sequence of calls behaves like the program over time.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "pty_run.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Result {
    int rc = -1;
    std::string out;
    std::string err;
};

class DriveTarvikctl : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = fs::read_symlink("/proc/self/exe").parent_path() / "tarvikctl";
        if (!fs::exists(exe_)) GTEST_SKIP() << "tarvikctl is not built next to the tests";
        dir_ = fs::temp_directory_path() /
               ("drive-ctl-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        reg_ = (dir_ / "settings.reg").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static std::string Profile(const char* name) {
        return std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/" + name + ".json";
    }
    // One call with the slim laptop drive (CD 24x, 16x, 10x, 8x; a CD-R in it).
    Result Ctl(const std::string& args, const char* profile = "slim-laptop-24x") {
        const std::string out = (dir_ / "out").string(), err = (dir_ / "err").string();
        const std::string cmd = exe_.string() + " --sim " + Profile(profile) + " --registry " +
                                reg_ + " " + args + " >" + out + " 2>" + err;
        Result r;
        const int status = std::system(cmd.c_str());
        r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }
    Json State(const Result& r) {
        Json j = Json::parse(r.out, nullptr, false);
        EXPECT_FALSE(j.is_discarded()) << r.out;
        return j.is_discarded() ? Json{} : j["drives"][0];
    }
    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path exe_, dir_;
    std::string reg_;
};

TEST_F(DriveTarvikctl, DetectSelectDiscChangeRestore) {
    Result r = Ctl("--json drives");
    ASSERT_EQ(r.rc, 0) << r.err;
    Json drives = Json::parse(r.out);
    ASSERT_EQ(drives["count"], 1);
    const Json cd = drives["drives"][0]["cd"];
    ASSERT_EQ(cd["entries"].size(), 4u);
    EXPECT_EQ(cd["entries"][3]["x"], "8x");
    EXPECT_EQ(cd["maxLevel"], 4);  // examined with the CD-R in it

    r = Ctl("detect 0 fast");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("found 1411 KB/s with command 1411"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "drive 0: CD 24x 16x 10x 8x  (none selected: the drive's own speed)\n");
    r = Ctl("--long detect 0 fast");
    EXPECT_NE(r.out.find("[3] 1411 KB/s (8x) command 1411"), std::string::npos) << r.out;

    r = Ctl("--json select 0 3");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(State(r)["currentSpeed"], 1411);
    EXPECT_EQ(State(r)["selected"], 1411);

    // A new call starts the drive afresh: like a drive after a disc change it
    // runs at its own maximum again, but the selection is kept in the file.
    r = Ctl("--json state 0");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(State(r)["currentSpeed"], 4234);
    EXPECT_EQ(State(r)["selected"], 1411);

    r = Ctl("--json event disk 0x10");  // another letter changed its disc
    EXPECT_EQ(State(r)["currentSpeed"], 4234);
    r = Ctl("--json event disk 0x8");  // D:
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(State(r)["currentSpeed"], 1411);
    EXPECT_EQ(State(r)["x"], "8x");
}

TEST_F(DriveTarvikctl, SpeedActionsStepAlongTheList) {
    EXPECT_EQ(State(Ctl("--json min 0"))["currentSpeed"], 1411);
    EXPECT_EQ(State(Ctl("--json slower 0"))["currentSpeed"], 2822);
    EXPECT_EQ(State(Ctl("--json set 0 2000"))["currentSpeed"], 1764);
    EXPECT_EQ(State(Ctl("--json restore 0"))["currentSpeed"], 4234);  // nothing selected
    ASSERT_EQ(Ctl("select 0 2").rc, 0);
    EXPECT_EQ(State(Ctl("--json restore 0"))["currentSpeed"], 1764);
}

TEST_F(DriveTarvikctl, TrayCommands) {
    Result r = Ctl("--json eject 0");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(State(r)["trayOpen"], 1);
    EXPECT_EQ(State(r)["mediumPresent"], 0);
    r = Ctl("--json eject-all");
    EXPECT_EQ(Json::parse(r.out)["mask"], "0x80000008");
    r = Ctl("close-all");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("allClosed: 1"), std::string::npos) << r.out;
    EXPECT_EQ(Ctl("lock 0").rc, 0);
}

// A full detection's progress: on a terminal one line rewritten with \r, each
// speed found on a line of its own, the line ended at the end; into a file
// no \r at all; --quiet nothing but what went wrong.
TEST_F(DriveTarvikctl, DetectionProgressSuitsWhereItGoes) {
    const PtyRun tty =
        RunOnPty(exe_.string() + " --sim " + Profile("slim-laptop-24x") + " --registry " + reg_ +
                 " detect 0 full >" + (dir_ / "out").string());
    ASSERT_EQ(tty.rc, 0) << tty.screen;
    EXPECT_NE(tty.screen.find("\r[####"), std::string::npos) << tty.screen;
    EXPECT_NE(tty.screen.find("% full detection, 4 speeds found"), std::string::npos);
    size_t found = 0;
    for (size_t at = 0; (at = tty.screen.find("found ", at)) != std::string::npos; ++at) {
        if (!std::isdigit(static_cast<unsigned char>(tty.screen[at + 6])))
            continue;  // "speeds found"
        ++found;
        EXPECT_TRUE(at == 0 || tty.screen[at - 1] == '\r' || tty.screen[at - 1] == '\n')
            << "a speed found ran into the progress line: " << tty.screen.substr(0, at + 8);
    }
    EXPECT_EQ(found, 4u) << tty.screen;
    ASSERT_FALSE(tty.screen.empty());
    EXPECT_EQ(tty.screen.back(), '\n') << "the progress line was left open";

    Result piped = Ctl("detect 0 full");
    ASSERT_EQ(piped.rc, 0) << piped.err;
    EXPECT_EQ(piped.err,
              "found 4234 KB/s with command 4234\nfound 2822 KB/s with command 2822\n"
              "found 1764 KB/s with command 1764\nfound 1411 KB/s with command 1411\n");
    piped = Ctl("--quiet detect 0 full");
    EXPECT_EQ(piped.rc, 0);
    EXPECT_EQ(piped.err, "");
}

TEST_F(DriveTarvikctl, BadArgumentsAreRefusedClearly) {
    struct Case {
        const char* args;
        int rc;
        const char* message;
    } cases[] = {
        {"state", 2, "state needs DRIVE"},
        {"state 7", 2, "no drive 7 in the drive list"},
        {"state x", 2, "DRIVE must be a drive number"},
        {"detect 0 slow", 2, "unknown detection"},
        {"select 0 200", 2, "INDEX must be"},
        {"select 0 9", 1, "has no entry 9"},
        {"set 0 0", 2, "KBPS must be"},
        {"event lunch", 2, "unknown event"},
        {"event disk 0x7FFFFFFF", 2, "LETTERMASK"},
        {"eject-all now", 2, "takes no arguments"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const Result r = Ctl(c.args);
        EXPECT_EQ(r.rc, c.rc);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST_F(DriveTarvikctl, DamagedRegistryFileIsReportedNotUsed) {
    std::ofstream(reg_) << "this is not a registry file";
    const Result r = Ctl("drives");
    EXPECT_NE(r.rc, 0);
    EXPECT_FALSE(r.err.empty());
}

}  // namespace
}  // namespace tarvik

namespace tarvik::test {
namespace {

// verify on the shipped profiles: the answer for each kind of drive, kept in
// the settings file for the next run.
TEST_F(DriveTarvikctl, VerifyTellsWhetherTheDriveObeys) {
    const struct {
        const char* profile;
        const char* args;
        const char* verdict;
        bool byRead;
    } cases[] = {
        {"slim-laptop-24x", "", "obeys", false},
        {"slim-laptop-24x", " --read", "obeys", true},
        {"ignores-read-speed", " --read", "ignores", true},
        {"emulated-atapi-stuck-medium-code", "", "ignores", false},
        {"emulator-rejects-speed", "", "refuses", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + c.args);
        fs::remove(reg_);
        const Result r = Ctl(std::string("--json verify 0") + c.args, c.profile);
        ASSERT_EQ(r.rc, 0) << r.err;
        const Json j = Json::parse(r.out);
        EXPECT_EQ(j["verdict"], c.verdict);
        EXPECT_EQ(j["byRead"], c.byRead);
        // The file is UTF-16: look for the value name's ASCII letters alone.
        std::string ascii;
        for (char ch : Slurp(reg_))
            if (ch != '\0') ascii.push_back(ch);
        EXPECT_NE(ascii.find("\"SpeedVerdictCD\"=dword:"), std::string::npos);
    }
    const Result text = Ctl("verify 0", "emulator-rejects-speed");
    EXPECT_NE(text.out.find("refuses"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("SET STREAMING: refused (ILLEGAL REQUEST)"), std::string::npos);
    EXPECT_EQ(Ctl("verify 0 --fast").rc, 2);
}

}  // namespace
}  // namespace tarvik::test
