// tarvikctl on real drives, as the built program: the drives come from a
// sysfs tree made here and the simulator answers the SG_IO ioctl behind the
// transport (the hooks of the test build, tarvikctl_hooks), so the whole
// Linux path runs: discovery, --device, the SG_IO set, the default settings
// file. The shipped tarvikctl must have no such hooks.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

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
        exe_ = fs::read_symlink("/proc/self/exe").parent_path() / "tarvikctl_hooks";
        if (!fs::exists(exe_)) GTEST_SKIP() << "tarvikctl_hooks is not built next to the tests";
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

    // A copy of a shipped profile with `patch` merged in; returns its path.
    std::string Profile(const std::string& name, const nlohmann::json& patch) {
        nlohmann::json p = nlohmann::json::parse(
            std::ifstream(std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/" + name + ".json"));
        p.merge_patch(patch);
        const fs::path path = dir_ / (name + "-patched.json");
        std::ofstream(path) << p.dump();
        return path.string();
    }

    // One call; the `sims` profiles (names of shipped ones, or paths) answer
    // behind the ioctl on /dev/sr0, ... (none: nothing answers); `extra` adds
    // variables.
    Result Ctl(const std::string& args, std::vector<std::string> sims = {"slim-laptop-24x"},
               const std::string& extra = "") {
        std::string env = extra + " XDG_CONFIG_HOME=" + (dir_ / "cfg").string() +
                          " TARVIKCTL_TEST_SYSFS=" + (dir_ / "sys").string();
        std::string list;
        for (const std::string& sim : sims)
            list += sim.starts_with('/')
                        ? sim + ";"
                        : std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/" + sim + ".json;";
        if (!list.empty()) env += " TARVIKCTL_TEST_SG_SIM='" + list + "'";
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
    Result r = Ctl("--device /dev/sr0 drives", {});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err,
              "tarvikctl: /dev/sr0: no such optical drive (this system lists no optical drive)\n");
    EXPECT_EQ(r.out, "");
    r = Ctl("drives", {});  // --device auto
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("no optical drive to use"), std::string::npos) << r.err;
    // What needs no drive still runs.
    EXPECT_EQ(Ctl("settings show", {}).rc, 0);
    // Listed, but the node is not there.
    ListDrive(0, "2:0:0:0");
    r = Ctl("--device /dev/sr0 state 0", {});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("/dev/sr0: the drive is listed but its device is not there"),
              std::string::npos)
        << r.err;
    r = Ctl("--sim " + std::string(TARVIK_SOURCE_DIR) +
            "/sim/profiles/slim-laptop-24x.json --device /dev/sr0 drives");
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("cannot be mixed"), std::string::npos) << r.err;
}

// Root runs the shipped program from udev and under sudo: whoever sets its
// environment must not hand it drives (or files) of their choosing.
TEST_F(LinuxTarvikctl, TheShippedProgramHasNoTestHooks) {
    ListDrive(0, "2:0:0:0");
    const fs::path hooked = exe_;
    Result r = Ctl("--json drives");
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_NE(r.out.find("TARVIKSM"), std::string::npos) << "the hooks work in the test build";
    exe_ = hooked.parent_path() / "tarvikctl";
    r = Ctl("--json drives");
    EXPECT_EQ(r.out.find("TARVIKSM"), std::string::npos) << r.out;
    for (const fs::path& exe : {hooked, exe_}) {
        const std::string bytes = Slurp(exe);
        EXPECT_EQ(bytes.find("TARVIKCTL_TEST_") != std::string::npos, exe == hooked) << exe;
    }
}

TEST_F(LinuxTarvikctl, DriveTheUserMayNotOpenIsNamed) {
    ListDrive(0, "2:0:0:0");
    ListDrive(1, "3:0:0:0");
    const std::vector<std::string> two = {"slim-laptop-24x", "dvdrw-24x-streaming"};
    Result r = Ctl("--device /dev/sr0 drives", two, "TARVIKCTL_TEST_SG_DENY=/dev/sr0");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("/dev/sr0: permission denied"), std::string::npos) << r.err;
    // With every drive wanted, the others are still used.
    r = Ctl("--json drives", two, "TARVIKCTL_TEST_SG_DENY=/dev/sr0");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("/dev/sr0: permission denied"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("\"count\": 1"), std::string::npos) << r.out;
    // Read-only access: usable, with a warning.
    r = Ctl("--device /dev/sr1 drives", two, "TARVIKCTL_TEST_SG_READONLY=1");
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("/dev/sr1 opens read-only"), std::string::npos) << r.err;
}

TEST_F(LinuxTarvikctl, ReadmeSessionOnARealDriveNode) {
    ListDrive(0, "2:0:1:0");
    const std::string t = "--state " + (dir_ / "my.state").string() + " ";
    Result r = Ctl("--device /dev/sr0 drives");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out,
              "drive 0: TARVIKSM SLIM DVDRW SIM8  LS03 (/dev/sr0)\n"
              "  reads CD, DVD\n"
              "  CD: 24x 16x 10x 8x  (none selected: the drive's own speed)\n"
              "  DVD: no speeds detected yet\n");
    r = Ctl("--device /dev/sr0 --long drives");
    EXPECT_NE(r.out.find("address: 2:1:0 -"), std::string::npos) << r.out;

    r = Ctl(t + "detect 0 fast");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("found 1411 KB/s with command 1411\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "drive 0: CD 24x 16x 10x 8x  (none selected: the drive's own speed)\n");
    const std::string at8x =
        "drive 0: recordable CD, tray closed, unlocked, speed 8x (1411 KB/s), selected 8x (1411 "
        "KB/s)\n";
    r = Ctl(t + "select 0 3");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, at8x);
    // The settings went to the user's file.
    EXPECT_TRUE(fs::exists(dir_ / "cfg/tarvik/settings.reg"));
    EXPECT_NE(Ctl(t + "drives").out.find("  CD: 24x 16x 10x 8x*  (* selected)\n"),
              std::string::npos);

    ASSERT_EQ(Ctl(t + "sim 0 open").rc, 0);
    ASSERT_EQ(Ctl(t + "sim 0 close").rc, 0);
    ASSERT_EQ(Ctl(t + "lock 0").rc, 0);
    r = Ctl(t + "state 0");
    EXPECT_EQ(r.out,
              "drive 0: recordable CD, tray closed, locked, speed 24x (4234 KB/s), selected 8x "
              "(1411 KB/s)\n");
    ASSERT_EQ(Ctl(t + "unlock 0").rc, 0);
    r = Ctl(t + "--long state 0");
    EXPECT_EQ(r.out,
              "drive 0: CD medium=recordable mediumType=0x11 profile=-1 tray=closed audio=0x00 "
              "speed=4234 (24x) selected=1411\n");
    r = Ctl(t + "--device /dev/sr0 event disk 0x8");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "event: disk\nletterMask: 0x8\n" + at8x);
    r = Ctl(t + "settings show");
    EXPECT_NE(r.out.find("Selected"), std::string::npos) << r.out;
    // The information names the pass-through in use, not the Windows ones.
    r = Ctl(t + "info");
    EXPECT_EQ(r.out.rfind("Drive access method: SG_IO\n", 0), 0u) << r.out;
    EXPECT_EQ(r.out.find("SPTI"), std::string::npos) << r.out;
}

// A drive seen for the first time with no disc has no list yet, and says so;
// a name that holds a terminal's control sequences reaches the terminal as
// plain text, in every form.
TEST_F(LinuxTarvikctl, AnEmptyDriveWithAHostileNameIsShownSafely) {
    ListDrive(0, "2:0:0:0");
    const std::string drive = Profile(
        "dvdrw-24x-streaming",
        {{"identity", {{"product", "DVD\x1b[2J\x1b]0;X\x07"}}}, {"medium", {{"kind", "none"}}}});
    Result r = Ctl("drives", {drive});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.rfind("drive 0: TARVIKSM DVD", 0), 0u) << r.out;
    // Examined with no disc: the CD list is what the drive reports, the DVD
    // one was never detected.
    EXPECT_NE(r.out.find("(/dev/sr0)\n  reads CD, DVD\n  CD: 48x 40x 32x 24x 16x 8x 4x  (none "
                         "selected: the drive's own speed)\n  DVD: no speeds detected yet\n"),
              std::string::npos)
        << r.out;
    const Result longForm = Ctl("--long drives", {drive});
    ASSERT_EQ(longForm.rc, 0) << longForm.err;
    for (const std::string& text : {r.out, longForm.out})
        for (const char c : text)
            EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F))
                << "byte " << int(static_cast<unsigned char>(c)) << " in\n"
                << text;
    EXPECT_NE(Ctl("state 0", {drive}).out.find("drive 0: no disc, tray closed, unlocked, speed "),
              std::string::npos);
}

// The package's bash completion, run by bash as a TAB runs it: the commands
// are those --help lists, the drive numbers those of the line's drives, the
// speed indexes those of the drive's list.
TEST_F(LinuxTarvikctl, BashCompletesCommandsDrivesAndDetections) {
    const std::string sim =
        "--sim " + std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/slim-laptop-24x.json ";
    std::ofstream(dir_ / "complete.sh")
        << "source " << TARVIK_SOURCE_DIR << "/packaging/linux/tarvikctl.bash-completion\n"
        << "t() { COMP_WORDS=($1); [[ $1 == *' ' ]] && COMP_WORDS+=(''); "
           "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=(); _tarvikctl; "
           "echo \"${COMPREPLY[*]}\"; }\n"
        << "t 'tarvikctl sel'\nt 'tarvikctl " << sim << sim << "select '\n"
        << "t 'tarvikctl " << sim << "select 0 '\nt 'tarvikctl " << sim << "detect 0 '\n"
        << "t 'tarvikctl --sim x.json detect 0 f'\nt 'tarvikctl --q'\nt 'tarvikctl '\n";
    const std::string out = (dir_ / "completed").string();
    ASSERT_EQ(std::system(("PATH=" + exe_.parent_path().string() + ":$PATH bash " +
                           (dir_ / "complete.sh").string() + " >" + out + " 2>&1")
                              .c_str()),
              0);
    std::istringstream lines(Slurp(out));
    std::vector<std::string> got;
    for (std::string line; std::getline(lines, line);) got.push_back(line);
    ASSERT_EQ(got.size(), 7u) << Slurp(out);
    EXPECT_EQ(got[0], "select");
    EXPECT_EQ(got[1], "0 1");
    EXPECT_EQ(got[2], "0 1 2 3");
    EXPECT_EQ(got[3], "auto fast full measure");
    EXPECT_EQ(got[4], "fast full");
    EXPECT_EQ(got[5], "--quiet");

    // Every command of --help, and no other: the commands' lines are those
    // indented by two spaces.
    const Result help = Ctl("--help", {});
    std::string commands;
    std::istringstream text(help.out.substr(help.out.find("\ncommands")));
    for (std::string line; std::getline(text, line);) {
        if (line == "examples:") break;
        if (line.size() > 2 && line.rfind("  ", 0) == 0 && line[2] != ' ')
            commands += (commands.empty() ? "" : " ") + line.substr(2, line.find(' ', 2) - 2);
    }
    EXPECT_EQ(got[6], commands);
}

// What udev starts when a disc goes in: the event comes while the drive still
// reports NOT READY, becoming ready. It waits for the disc, so the DVD speed
// chosen is the one in force (taken for a CD or no disc, it would not be);
// a drive that never gets ready, or has no disc, holds the event no longer
// than the bound, or not at all.
TEST_F(LinuxTarvikctl, DiscEventWaitsForTheDiscToSpinUp) {
    ListDrive(0, "2:0:0:0");
    const std::string drive = "dvdrw-24x-streaming";
    ASSERT_EQ(Ctl("detect 0 fast", {drive}).rc, 0);
    ASSERT_EQ(Ctl("select 0 3", {drive}).rc, 0);  // 6x
    const std::string event = "--system --device /dev/sr0 --registry " +
                              (dir_ / "cfg/tarvik/settings.reg").string() + " --trace " +
                              (dir_ / "trace").string() + " event disk";
    // The last command's time on the drive's clock, in ms.
    const auto lastTime = [&] {
        std::istringstream lines(Slurp(dir_ / "trace"));
        int64_t t = -1;
        for (std::string line; std::getline(lines, line);)
            if (!line.empty()) t = nlohmann::json::parse(line).value("t", int64_t{-1});
        return t;
    };

    Result r = Ctl(event, {Profile(drive, {{"startsReady", false}})});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out,
              "event: disk\nletterMask: 0x0\ndrive 0: DVD (kind unknown), tray closed, unlocked, "
              "speed 6x (8310 KB/s), selected 6x (8310 KB/s)\n");
    EXPECT_EQ(r.err, "");
    EXPECT_GE(lastTime(), 4000);  // the profile's DVD spin-up

    r = Ctl(
        event,
        {Profile(drive, {{"startsReady", false}, {"speeds", {{"dvd", {{"spinUpMs", 120000}}}}}})});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("drive 0 is still not ready after 30 s"), std::string::npos) << r.err;
    EXPECT_LT(lastTime(), 60000);

    for (const nlohmann::json& empty : {nlohmann::json{{"tray", {{"open", true}}}},
                                        nlohmann::json{{"medium", {{"kind", "none"}}}}}) {
        r = Ctl(event, {Profile(drive, empty)});
        EXPECT_EQ(r.rc, 0) << r.err;
        EXPECT_NE(r.out.find("drive 0: no disc, tray "), std::string::npos) << r.out;
        EXPECT_LT(lastTime(), 2000) << empty.dump();
    }
}

// A lock from one run still holds in the next: the drive's eject button does
// nothing until an unlock, and a drive that cannot lock is not called locked.
TEST_F(LinuxTarvikctl, LockOutlivesTheRun) {
    ListDrive(0, "2:0:0:0");
    const std::string t = "--state " + (dir_ / "my.state").string() + " ";
    Result r = Ctl(t + "lock 0");
    ASSERT_EQ(r.rc, 0) << r.err;
    r = Ctl(t + "sim 0 open");
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("the tray is locked"), std::string::npos) << r.err;
    ASSERT_EQ(Ctl(t + "state 0").rc, 0);  // other runs open and close the node
    EXPECT_EQ(Ctl(t + "sim 0 open").rc, 1);

    ASSERT_EQ(Ctl(t + "unlock 0").rc, 0);
    EXPECT_EQ(Ctl(t + "sim 0 open").rc, 0);

    // A drive that refuses the eject: exit 1 with its reason, never "done".
    const std::string stuck = Profile(
        "slim-laptop-24x",
        {{"faults",
          nlohmann::json::array({{{"opcode", "0x1B"}, {"times", 0}, {"sense", "05/53/02"}}})}});
    r = Ctl("eject 0", {stuck});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("tarvikctl: drive 0: the tray was not ejected: the drive refused it: the "
                         "tray is locked: medium removal is prevented (05/53/02, Illegal Request)"),
              std::string::npos)
        << r.err;
    r = Ctl("close 0", {stuck});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("the tray was not closed: "), std::string::npos) << r.err;

    r = Ctl("lock 0", {Profile("slim-laptop-24x", {{"capabilities", {{"canLock", false}}}})});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("tarvikctl: drive 0: the tray was not locked: the drive cannot lock "
                         "its tray"),
              std::string::npos)
        << r.err;
}

// --trace on a real drive: each command the SG_IO set carried, with the
// answer, in the simulator's own line format; a lock says it went through
// the driver's ioctl.
TEST_F(LinuxTarvikctl, TraceOfARealDriveHoldsCommandsAndAnswers) {
    ListDrive(0, "2:0:0:0");
    const fs::path trace = dir_ / "real.jsonl";
    const auto lines = [&] {
        std::vector<nlohmann::json> v;
        std::istringstream in(Slurp(trace));
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) v.push_back(nlohmann::json::parse(line));
        return v;
    };
    const std::string t = "--trace " + trace.string() + " ";

    Result r = Ctl(t + "mmc 0 inquiry");
    ASSERT_EQ(r.rc, 0) << r.err;
    auto v = lines();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0]["drive"], 0);
    EXPECT_EQ(v[0]["cdb"], "120000002400");
    EXPECT_EQ(v[0]["status"], 0);
    EXPECT_EQ(v[0]["in"], 36);
    EXPECT_EQ(v[0].value("data", "").substr(16, 16), "54415256494B534D");  // "TARVIKSM"

    r = Ctl(t + "mmc 0 set-dvd-speed 2000 0");
    ASSERT_EQ(r.rc, 0) << r.err;
    v = lines();
    ASSERT_EQ(v.size(), 1u);  // a new run, a new trace
    EXPECT_EQ(v[0]["cdb"], "B60000000000000000001C00");
    EXPECT_EQ(v[0]["out"], "0000000000000000FFFFFFFF000007D0000003E800000000000003E8");

    ASSERT_EQ(Ctl(t + "lock 0").rc, 0);  // after the drive list is built
    size_t locks = 0;
    for (const nlohmann::json& line : lines()) {
        if (line["cdb"] != "1E0000000100") continue;
        ++locks;
        EXPECT_EQ(line["status"], 0);
        EXPECT_EQ(line["via"], "CDROM_LOCKDOOR");
    }
    EXPECT_EQ(locks, 1u);

    r = Ctl(t + "mmc 0 tur", {Profile("slim-laptop-24x", {{"medium", {{"kind", "none"}}}})});
    v = lines();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0]["status"], 2);
    EXPECT_EQ(v[0]["sense"], "02/3A/00");
    EXPECT_EQ(v[0].value("senseData", "").substr(0, 6), "700002");

    // --state stays with the simulator.
    r = Ctl("--state " + (dir_ / "s").string() + " state 0", {}, "");
    EXPECT_EQ(r.rc, 2);
}

}  // namespace
}  // namespace tarvik
