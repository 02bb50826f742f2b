#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "base/log.h"
#include "platform/clock.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

// Each test runs in an empty directory of its own, as the log goes to the
// current directory.
class LogTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("tarvik-log-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        old_ = fs::current_path();
        fs::current_path(dir_);
        SetClock(&clock_);
    }
    void TearDown() override {
        LogClose();
        SetClock(nullptr);
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    static void Touch(const std::string& name) { std::ofstream(name) << "old"; }
    static std::string Read(const std::string& name) {
        std::ifstream in(name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir_, old_;
    VirtualClock clock_;
};

TEST_F(LogTest, TakesTheLowestFreeNumberAndNeverOverwrites) {
    Touch("tarvik00.log");
    Touch("tarvik01.log");
    ASSERT_EQ(LogOpen(nullptr, nullptr), 1);
    EXPECT_STREQ(LogPath(), "tarvik02.log");
    LogClose();
    EXPECT_EQ(Read("tarvik00.log"), "old");

    fs::remove("tarvik00.log");
    ASSERT_EQ(LogOpen(nullptr, nullptr), 1);
    EXPECT_STREQ(LogPath(), "tarvik00.log");
}

TEST_F(LogTest, GoesToThreeDigitsAfterNinetyNine) {
    for (int n = 0; n < 100; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "tarvik%02d.log", n);
        Touch(name);
    }
    ASSERT_EQ(LogOpen(nullptr, nullptr), 1);
    EXPECT_STREQ(LogPath(), "tarvik100.log");
}

TEST_F(LogTest, EveryMessageGetsATimeStampEvenMidLine) {
    clock_.Set(((14 * 60 + 3) * 60 + 7) * 1000ull + 250);
    ASSERT_EQ(LogOpen(nullptr, nullptr), 1);
    LogPrintf("First instance of %s%s started\n", "Tarvik", " [build x]");
    clock_.Advance(5);
    LogPrintf("no line end");
    LogPrintf("DONE\n");
    // Flushed per message: readable before the log is closed.
    EXPECT_EQ(Read("tarvik00.log"),
              "14:03:07.250 First instance of Tarvik [build x] started\n"
              "14:03:07.255 no line end14:03:07.255 DONE\n");
}

TEST_F(LogTest, OffWritesNothingAndDoesNotFormat) {
    int evaluated = 0;
    auto arg = [&] {
        ++evaluated;
        return 1;
    };
    LogPrintf("%d\n", arg());
    EXPECT_EQ(evaluated, 0);
    EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(LogTest, UnwritableDirectoryLeavesLoggingOff) {
    if (::geteuid() == 0) {
        // root writes anywhere; use a path that cannot be a directory instead
        ASSERT_EQ(LogOpen("missing-dir/tarvik", nullptr), 0);
    } else {
        fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(LogOpen(nullptr, nullptr), 0);
        fs::permissions(dir_, fs::perms::owner_all);
    }
    EXPECT_FALSE(LogEnabled());
    EXPECT_EQ(LogPath(), nullptr);
}

TEST_F(LogTest, LinesLostToAFullDiskAreCountedInOneLineOnceThereIsRoom) {
    ASSERT_EQ(LogOpen(nullptr, nullptr), 1);
    LogPrintf("before\n");
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::FILE* file = std::exchange(detail::g_logStream, full);
    for (int i = 0; i < 3; ++i) LogPrintf("line %d\n", i);
    detail::g_logStream = file;
    std::fclose(full);
    LogPrintf("after\n");
    LogPrintf("again\n");
    EXPECT_EQ(Read("tarvik00.log"),
              "00:00:00.000 before\n"
              "00:00:00.000 Log: 3 lines could not be written\n"
              "00:00:00.000 after\n"
              "00:00:00.000 again\n");
}

}  // namespace
}  // namespace tarvik
