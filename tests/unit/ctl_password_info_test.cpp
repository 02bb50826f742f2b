// `tarvikctl password ...` and `tarvikctl info`, run as the built program
// with its arguments passed unquoted (no shell: stored texts hold '$').
#include <fcntl.h>
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pty_run.h"
#include "settings/password_hash.h"

extern char** environ;

namespace tarvik {
namespace {

namespace fs = std::filesystem;

struct CtlRun {
    int rc = -1;
    std::string out, err;
};

class CtlPasswordInfo : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = fs::read_symlink("/proc/self/exe").parent_path() / "tarvikctl";
        if (!fs::exists(exe_)) GTEST_SKIP() << "tarvikctl is not built next to the tests";
        dir_ = fs::temp_directory_path() /
               ("tarvikctl-pw-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }

    // input: what stdin holds (a file), else the test's own stdin.
    CtlRun Ctl(std::vector<std::string> args, const std::string* input = nullptr) {
        args.insert(args.begin(), exe_.string());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string out = (dir_ / "out").string(), err = (dir_ / "err").string();
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        posix_spawn_file_actions_addopen(&files, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
        const std::string in = (dir_ / "in").string();
        if (input) {
            std::ofstream(in, std::ios::binary) << *input;
            posix_spawn_file_actions_addopen(&files, 0, in.c_str(), O_RDONLY, 0);
        }
        pid_t pid = 0;
        CtlRun r;
        if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            (void)waitpid(pid, &status, 0);
            r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&files);
        r.out = Slurp(out);
        r.err = Slurp(err);
        return r;
    }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static std::string Profile(const std::string& name) {
        return std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/" + name + ".json";
    }

    fs::path exe_, dir_;
};

TEST_F(CtlPasswordInfo, HashAndCheck) {
    const CtlRun fixed = Ctl({"password", "hash", "password", "$1$saltstri$"});
    EXPECT_EQ(fixed.rc, 0) << fixed.err;
    EXPECT_EQ(fixed.out, "$1$saltstri$qQY4WxjABChYG1ccLpfkz/\n");

    const CtlRun fresh = Ctl({"password", "hash", "open sesame"});
    ASSERT_EQ(fresh.rc, 0) << fresh.err;
    const std::string stored = fresh.out.substr(0, fresh.out.find('\n'));
    EXPECT_EQ(stored.size(), 30u) << stored;

    struct Case {
        std::string password, stored;
        int rc;
    };
    const Case kCases[] = {
        {"open sesame", stored, 0},
        {"open sesamE", stored, 1},
        {"", stored, 1},
        {"password", "$1$saltstri$qQY4WxjABChYG1ccLpfkz/", 0},
        {"password", "$1$saltstri$qQY4WxjABChYG1ccLpfkz", 1},  // malformed: refused
        {"password", "", 1},
    };
    for (const Case& c : kCases) {
        const CtlRun r = Ctl({"password", "check", c.password, c.stored});
        EXPECT_EQ(r.rc, c.rc) << c.password << " " << c.stored << r.err;
        EXPECT_EQ(r.out, c.rc == 0 ? "match\n" : "no match\n");
    }
}

TEST_F(CtlPasswordInfo, UsageErrorsExitTwo) {
    const std::vector<std::vector<std::string>> kCases = {
        {"password"},
        {"password", "hash"},
        {"password", "check"},
        {"password", "check", "a", "b", "c"},
        {"password", "crack", "a"},
        // Simulated drives keep no settings unless a file is named.
        {"--sim", Profile("slim-laptop-24x"), "password", "set", "a"},
        {"info", "extra"},
    };
    for (const auto& args : kCases) {
        const CtlRun r = Ctl(args);
        EXPECT_EQ(r.rc, 2) << args.size() << " " << args.back();
        EXPECT_NE(r.err.find("usage: tarvikctl"), std::string::npos) << r.err;
    }
}

TEST_F(CtlPasswordInfo, SetStoresOnlyTheHashAndAnEmptyTextRemovesIt) {
    const std::string reg = (dir_ / "s.reg").string();
    const CtlRun set = Ctl({"--registry", reg, "password", "set", "hunter22"});
    ASSERT_EQ(set.rc, 0) << set.err;
    const std::string stored = set.out.substr(0, set.out.find('\n'));
    EXPECT_TRUE(PasswordMatches("hunter22", stored)) << stored;
    const std::string file = Slurp(reg);
    // The file is UTF-16: look for the password's and the hash's first bytes
    // spelled that way.
    auto wide = [](const std::string& s) {
        std::string w;
        for (char c : s) w += {c, '\0'};
        return w;
    };
    EXPECT_NE(file.find(wide(stored)), std::string::npos);
    EXPECT_EQ(file.find(wide("hunter22")), std::string::npos);

    const CtlRun show = Ctl({"--registry", reg, "settings", "show"});
    EXPECT_NE(show.out.find("Data \"" + stored + "\""), std::string::npos) << show.out;

    const CtlRun removed = Ctl({"--registry", reg, "password", "set", ""});
    EXPECT_EQ(removed.rc, 0) << removed.err;
    EXPECT_EQ(removed.out, "password removed\n");
    EXPECT_NE(Ctl({"--registry", reg, "settings", "show"}).out.find("Data \"\""),
              std::string::npos);
}

// Left off the command line (where every user sees it in the process list),
// the password comes from stdin, or from the terminal with the echo off and
// typed twice for a new one.
TEST_F(CtlPasswordInfo, APasswordLeftOutIsReadFromStdinOrTheTerminalWithoutEcho) {
    const std::string reg = (dir_ / "s.reg").string();
    const std::string piped = "hunter22\r\n";
    const CtlRun set = Ctl({"--registry", reg, "password", "set"}, &piped);
    ASSERT_EQ(set.rc, 0) << set.err;
    const std::string stored = set.out.substr(0, set.out.find('\n'));
    EXPECT_TRUE(PasswordMatches("hunter22", stored)) << stored;
    EXPECT_EQ(set.err, "");  // no prompt when nobody is there to read it
    for (const auto& [typed, rc] :
         {std::pair<std::string, int>{"hunter22\n", 0}, {"hunter2\n", 1}}) {
        const CtlRun check = Ctl({"password", "check", stored}, &typed);
        EXPECT_EQ(check.rc, rc) << typed << check.err;
    }
    // No line at all is no password, not an empty one that would remove it.
    const std::string nothing;
    const CtlRun none = Ctl({"--registry", reg, "password", "set"}, &nothing);
    EXPECT_EQ(none.rc, 1);
    EXPECT_NE(none.err.find("no password was given"), std::string::npos) << none.err;

    const std::string ctl =
        exe_.string() + " --registry " + reg + " password set >" + (dir_ / "out").string();
    const PtyRun typed =
        RunOnPty(ctl, {{"New eject password", "s3cret!\n"}, {"The same again: ", "s3cret!\n"}});
    ASSERT_EQ(typed.rc, 0) << typed.screen;
    EXPECT_EQ(typed.screen.find("s3cret"), std::string::npos) << typed.screen;
    const std::string mine = Slurp((dir_ / "out").string());
    EXPECT_TRUE(PasswordMatches("s3cret!", mine.substr(0, mine.find('\n')))) << mine;
    // A typing error, unseen, must not lock the trays under a password nobody knows.
    const PtyRun differ =
        RunOnPty(ctl, {{"New eject password", "abc\n"}, {"The same again: ", "abd\n"}});
    EXPECT_EQ(differ.rc, 1);
    EXPECT_NE(differ.screen.find("the two passwords differ"), std::string::npos) << differ.screen;
    const CtlRun show = Ctl({"--registry", reg, "settings", "show"});
    EXPECT_NE(show.out.find("Data \"" + mine.substr(0, mine.find('\n')) + "\""), std::string::npos)
        << show.out;
}

TEST_F(CtlPasswordInfo, InfoPrintsTheTextOfTheSimulatedDrives) {
    // Without --sim tarvikctl looks for the machine's own drives and settings:
    // an empty system tree and a fresh settings folder keep this machine's out.
    fs::create_directories(dir_ / "sys");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string oldConfig = config ? config : "";
    exe_ = exe_.parent_path() / "tarvikctl_hooks";  // the build that reads the hook
    ::setenv("TARVIKCTL_TEST_SYSFS", (dir_ / "sys").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    const CtlRun none = Ctl({"info"});
    ::unsetenv("TARVIKCTL_TEST_SYSFS");
    if (config)
        ::setenv("XDG_CONFIG_HOME", oldConfig.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(none.rc, 0) << none.err;
    EXPECT_TRUE(none.out.ends_with("\nNo drives found!\n")) << none.out;
    EXPECT_EQ(none.out.find('\r'), std::string::npos);

    const CtlRun two =
        Ctl({"--sim", Profile("dvdrw-24x-streaming"), "--sim", Profile("slim-laptop-24x"), "info"});
    ASSERT_EQ(two.rc, 0) << two.err;
    EXPECT_NE(two.out.find("Drive access method: SPTI (Windows NT - 10)\n"), std::string::npos);
    size_t drives = 0;
    for (size_t at = 0; (at = two.out.find("\n[", at)) != std::string::npos; ++at) ++drives;
    EXPECT_EQ(drives, 2u) << two.out;
    EXPECT_NE(two.out.find("Speed list: "), std::string::npos) << two.out;
    EXPECT_EQ(two.out.find("No drives found!"), std::string::npos);
}

}  // namespace
}  // namespace tarvik
