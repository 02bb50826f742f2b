// tarvikctl as a user runs it: the binary beside this test program, its exit
// codes, messages, decoded output and the command trace.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace tarvik {
namespace {

namespace fs = std::filesystem;

struct CtlRun {
    int rc = -1;
    std::string out;
    std::string err;
};

class Tarvikctl : public testing::Test {
protected:
    void SetUp() override {
        exe_ = fs::read_symlink("/proc/self/exe").parent_path() / "tarvikctl";
        if (!fs::exists(exe_)) GTEST_SKIP() << "tarvikctl is not built next to the tests";
        dir_ = fs::temp_directory_path() /
               ("tarvikctl-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    static std::string Profile(const std::string& name) {
        return std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/" + name + ".json";
    }

    CtlRun Ctl(const std::string& args) {
        const std::string outFile = (dir_ / "out").string();
        const std::string errFile = (dir_ / "err").string();
        const std::string cmd = exe_.string() + " " + args + " >" + outFile + " 2>" + errFile;
        CtlRun r;
        const int status = std::system(cmd.c_str());
        r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = Slurp(outFile);
        r.err = Slurp(errFile);
        return r;
    }

    static std::string Slurp(const fs::path& p) {
        std::ifstream in(p);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::vector<nlohmann::json> TraceLines(const fs::path& p) {
        std::vector<nlohmann::json> lines;
        std::ifstream in(p);
        for (std::string l; std::getline(in, l);) lines.push_back(nlohmann::json::parse(l));
        return lines;
    }

    fs::path exe_;
    fs::path dir_;
};

TEST_F(Tarvikctl, BadUsageExitsTwoWithAMessage) {
    const std::string drive = "--sim " + Profile("dvdrw-24x-streaming");
    fs::path broken = dir_ / "broken.json";
    std::ofstream(broken) << R"({"speeds": {"cd": {"read": [7056], "rounding": "sideways"}}})";
    fs::path notJson = dir_ / "notjson.json";
    std::ofstream(notJson) << "{\"speeds\": [";
    struct Case {
        std::string args;
        std::string message;
    };
    const Case cases[] = {
        {"", "no command given"},
        {drive + " frobnicate", "unknown command \"frobnicate\""},
        {"--bogus mmc 0 tur", "unknown option --bogus"},
        {drive + " mmc 0 warp", "unknown mmc operation \"warp\""},
        {drive + " mmc 0", "mmc needs DRIVE and OP"},
        {drive + " mmc 1 tur", "no drive 1"},
        {drive + " mmc x tur", "DRIVE must be a drive number"},
        {drive + " mmc 0 set-cd-speed 12x 0", "argument \"12x\""},
        {drive + " mmc 0 set-cd-speed 70000 0", "must be a number from -1 to 65535"},
        {drive + " mmc 0 read 0 99999999", "argument \"99999999\""},
        {drive + " mmc 0 read 0", "takes 2 argument(s)"},
        {drive + " mmc 0 load-eject 2", "from 0 to 1"},
        {"--sim /nonexistent/drive.json mmc 0 tur", "cannot open the profile"},
        {"--sim " + broken.string() + " mmc 0 tur", "profile.speeds.cd.rounding: must be one of"},
        {"--sim " + notJson.string() + " mmc 0 tur", "not valid JSON"},
        {"--sim", "--sim needs a profile file"},
        {drive + " --trace /nonexistent/dir/t.jsonl mmc 0 tur", "cannot write the trace file"},
    };
    for (const Case& c : cases) {
        const CtlRun r = Ctl(c.args);
        EXPECT_EQ(r.rc, 2) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

TEST_F(Tarvikctl, InquiryPrintsDecodedIdentity) {
    const CtlRun r = Ctl("--sim " + Profile("bd-combo-12x") + " --json mmc 0 inquiry");
    ASSERT_EQ(r.rc, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["result"], 1);
    EXPECT_EQ(j["record"]["deviceType"], 5);
    EXPECT_EQ(j["record"]["vendor"], "TARVIKSM");
    EXPECT_EQ(j["record"]["product"], "BD-ROM SIM12X   ");
}

TEST_F(Tarvikctl, TraceHoldsEveryCommandWithSenseAndDataOut) {
    const fs::path trace = dir_ / "trace.jsonl";
    // The emulator does not know SET CD SPEED: the operation fails, exit 1.
    CtlRun r = Ctl("--sim " + Profile("dvdrw-24x-streaming") + " --sim " +
                   Profile("emulator-rejects-speed") + " --trace " + trace.string() +
                   " mmc 1 set-cd-speed 0x0B08 0xFFFF");
    EXPECT_EQ(r.rc, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("set-cd-speed: result 0 (failed)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("senseKey 5"), std::string::npos) << r.out;
    auto lines = TraceLines(trace);
    ASSERT_EQ(lines.size(), 1u);  // ILLEGAL REQUEST is not retried
    EXPECT_EQ(lines[0]["drive"], 1);
    EXPECT_EQ(lines[0]["cdb"], "BB000B08FFFF000000000000");
    EXPECT_EQ(lines[0]["status"], 2);
    EXPECT_EQ(lines[0]["sense"], "05/20/00");
    EXPECT_FALSE(lines[0].contains("out"));

    // A new run starts a new trace; SET STREAMING carries its descriptor.
    r = Ctl("--sim " + Profile("dvdrw-24x-streaming") + " --trace " + trace.string() +
            " mmc 0 set-dvd-speed 8310 0");
    EXPECT_EQ(r.rc, 0) << r.err;
    lines = TraceLines(trace);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["cdb"], "B60000000000000000001C00");
    EXPECT_EQ(lines[0]["out"], "0000000000000000FFFFFFFF00002076000003E800000000000003E8");
    EXPECT_EQ(lines[0]["status"], 0);
    EXPECT_FALSE(lines[0].contains("sense"));
    EXPECT_EQ(lines[0]["in"], 0);
}

TEST_F(Tarvikctl, OperationsDecodeWhatTheDriveHas) {
    struct Case {
        std::string profile;
        std::string op;
        std::string expect;
    };
    const Case cases[] = {
        {"bd-combo-12x", "bd-disc-type", "discType: BDR"},
        {"bd-combo-12x", "feature 0x40", "present: true"},
        {"dvdrw-24x-streaming", "feature 64", "present: false"},
        {"dvdrw-24x-streaming", "profile", "profile: 0x0010"},
        {"rounds-up-streaming-end", "book-type", "bookType: DVD+R"},
        {"cdrom-old-blockdesc", "info", "pageShifted: 1"},
        {"cdrw-page-without-header", "info", "pageShifted: 1"},
        {"dvdrw-24x-streaming", "info", "currentReadSpeed: 22160"},
        {"cdrom-old-blockdesc", "capacity", "blocks: 300000"},
        {"dvdrom-inquiry-fails", "tur", "state: not ready"},
        {"slim-laptop-24x", "cd-speed", "cd-speed: result 4234"},
    };
    for (const Case& c : cases) {
        const CtlRun r = Ctl("--sim " + Profile(c.profile) + " mmc 0 " + c.op);
        EXPECT_NE(r.out.find(c.expect), std::string::npos) << c.profile << " " << c.op << "\n"
                                                           << r.out << r.err;
    }
}

TEST_F(Tarvikctl, ReadMeasuresTheSpeedInForce) {
    const CtlRun r = Ctl("--sim " + Profile("dvdrw-24x-streaming") + " --json mmc 0 read 0 2000");
    ASSERT_EQ(r.rc, 0) << r.err;
    const auto j = nlohmann::json::parse(r.out);
    const double rate = j["record"]["rateKBps"].get<double>();
    EXPECT_NEAR(rate, 22160, 22160 * 0.03);
    EXPECT_EQ(j["record"]["firstBytes"], "00000000");
}

TEST_F(Tarvikctl, StateFileCarriesSpeedTrayAndLockToTheNextRun) {
    const std::string sim = "--sim " + Profile("slim-laptop-24x") + " --state " +
                            (dir_ / "drives.state").string() + " mmc 0 ";
    EXPECT_EQ(Ctl(sim + "cd-speed").out, "cd-speed: result 4234\n");
    ASSERT_EQ(Ctl(sim + "set-cd-speed 2000 0").rc, 0);
    EXPECT_EQ(Ctl(sim + "cd-speed").out, "cd-speed: result 1764\n");
    ASSERT_EQ(Ctl(sim + "prevent 1").rc, 0);
    EXPECT_EQ(Ctl(sim + "load-eject 1").rc, 1);
    ASSERT_EQ(Ctl(sim + "prevent 0").rc, 0);
    ASSERT_EQ(Ctl(sim + "load-eject 1").rc, 0);
    EXPECT_NE(Ctl(sim + "tur").out.find("not ready"), std::string::npos);
    // This slim tray cannot be closed by command.
    EXPECT_EQ(Ctl(sim + "load-eject 0").rc, 1);

    std::ofstream(dir_ / "drives.state") << "{ not a state";
    const CtlRun bad = Ctl(sim + "tur");
    EXPECT_EQ(bad.rc, 2);
    EXPECT_NE(bad.err.find("drives.state"), std::string::npos) << bad.err;
}

// One drive whose INQUIRY holds a line break, ']' and '\\' used to leave a
// settings file that no longer loaded, and every later command failed.
TEST_F(Tarvikctl, AHostileInquiryCannotBreakTheSettingsFile) {
    nlohmann::json p = nlohmann::json::parse(std::ifstream(Profile("slim-laptop-24x")));
    p["identity"]["vendor"] = "EV\nIL]\\";
    p["identity"]["product"] = "]\r\n[x]\\\x1B[2J";
    const fs::path hostile = dir_ / "hostile.json";
    std::ofstream(hostile) << p.dump();
    const std::string reg = (dir_ / "settings.reg").string();
    const std::string both = "--sim " + hostile.string() + " --sim " + Profile("bd-combo-12x") +
                             " --registry " + reg + " ";
    CtlRun r = Ctl(both + "detect 0 fast");
    ASSERT_EQ(r.rc, 0) << r.err;
    ASSERT_EQ(Ctl(both + "detect 1 fast").rc, 0);
    ASSERT_EQ(Ctl(both + "select 0 1").rc, 0);
    // Later runs load the file, and find what the first ones stored.
    r = Ctl(both + "--json settings show");
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string shown = r.out;
    EXPECT_NE(shown.find("EV?IL]"), std::string::npos) << shown;
    EXPECT_NE(shown.find("BD-ROM SIM12X"), std::string::npos) << shown;
    r = Ctl(both + "drives");
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos) << "no escape reaches the terminal";
    EXPECT_EQ(Ctl(both + "restore 0").rc, 0);
    EXPECT_EQ(Ctl(both + "restore 1").rc, 0);
    // Each line of the file is a key, a value or empty: nothing broke one.
    const std::string file = Slurp(reg);
    std::string text;
    for (size_t i = 2; i + 1 < file.size(); i += 2) text.push_back(file[i]);  // UTF-16LE, ASCII
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        EXPECT_TRUE(line.empty() || line[0] == '[' || line[0] == '"' || line[0] == ' ' ||
                    line.starts_with("Windows Registry"))
            << line;
    }
}

TEST_F(Tarvikctl, SimCommandChangesDiscsForLaterRuns) {
    const std::string drive =
        "--sim " + Profile("bd-combo-12x") + " --state " + (dir_ / "s.state").string();
    EXPECT_NE(Ctl(drive + " mmc 0 profile").out.find("profile: 0x0041"), std::string::npos);
    ASSERT_EQ(Ctl(drive + " sim 0 open").rc, 0);
    ASSERT_EQ(Ctl(drive + " sim 0 insert dvd-r").rc, 0);
    const CtlRun closed = Ctl(drive + " --json sim 0 close");
    ASSERT_EQ(closed.rc, 0) << closed.err;
    const auto j = nlohmann::json::parse(closed.out);
    EXPECT_EQ(j["trayOpen"], false);
    EXPECT_EQ(j["medium"]["bookType"], 2);
    EXPECT_NE(Ctl(drive + " mmc 0 book-type").out.find("bookType: DVD-R"), std::string::npos);
    EXPECT_NE(Ctl(drive + " mmc 0 profile").out.find("profile: 0x0011"), std::string::npos);
    ASSERT_EQ(Ctl(drive + " sim 0 insert '{\"kind\":\"cd\",\"content\":\"audio\"}'").rc, 0);
    ASSERT_EQ(Ctl(drive + " sim 0 audio paused").rc, 0);
    EXPECT_NE(Ctl(drive + " mmc 0 audio-status").out.find("status: 0x12"), std::string::npos);
    // The button does nothing while the drive is locked.
    ASSERT_EQ(Ctl(drive + " mmc 0 prevent 1").rc, 0);
    const CtlRun locked = Ctl(drive + " sim 0 open");
    EXPECT_EQ(locked.rc, 1);
    EXPECT_NE(locked.err.find("locked"), std::string::npos);

    for (const std::string bad : {"sim 0 insert floppy", "sim 0 audio loud", "sim 0 shake",
                                  "sim 0 insert", "sim 0 open now", "sim 3 state"}) {
        const CtlRun r = Ctl(drive + " " + bad);
        EXPECT_EQ(r.rc, 2) << bad;
        EXPECT_NE(r.err.find("tarvikctl: "), std::string::npos) << bad;
    }
}

TEST_F(Tarvikctl, LockedDriveRefusesEjectInOneRun) {
    // Each run starts from the profile; a locked tray is given by a profile.
    fs::path locked = dir_ / "locked.json";
    std::ofstream(locked) << R"({"speeds": {"cd": {"read": [7056]}}, "medium": {"kind": "cd"},
                                "tray": {"locked": true}})";
    const fs::path trace = dir_ / "t.jsonl";
    const CtlRun r =
        Ctl("--sim " + locked.string() + " --trace " + trace.string() + " mmc 0 load-eject 1");
    EXPECT_EQ(r.rc, 1);
    const auto lines = TraceLines(trace);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["sense"], "05/53/02");
}

TEST_F(Tarvikctl, ASpeedTheDriveRefusesIsSaidAndExitsOne) {
    // SET CD SPEED answered 05/20/00: the user asked for a speed and must
    // not read "done" from the exit code. The same commands on a drive that
    // takes them succeed.
    const CtlRun refused = Ctl("--sim " + Profile("emulator-rejects-speed") + " set 0 706");
    EXPECT_EQ(refused.rc, 1) << refused.err;
    EXPECT_NE(refused.err.find("drive 0 did not take the speed: the drive refused it"),
              std::string::npos)
        << refused.err;
    const std::string reg = " --registry " + (dir_ / "r.reg").string() + " ";
    const std::string obeying = "--sim " + Profile("slim-laptop-24x") + reg;
    ASSERT_EQ(Ctl(obeying + "detect 0 fast").rc, 0);
    for (const char* command : {"set 0 1411", "select 0 3", "min 0"}) {
        SCOPED_TRACE(command);
        const CtlRun r = Ctl(obeying + command);
        EXPECT_EQ(r.rc, 0) << r.err;
        EXPECT_EQ(r.err.find("did not take"), std::string::npos) << r.err;
    }
}

}  // namespace
}  // namespace tarvik
