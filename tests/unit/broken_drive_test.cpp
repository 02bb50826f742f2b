// A drive that stops answering costs one time-out, not one per command: it is
// marked broken, left alone, shown as such, and tried again by Detect drives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/app.h"
#include "base/log.h"
#include "base/utf8.h"
#include "drive/drive_list.h"
#include "drive_sim_fixture.h"
#include "scsi/aspi_defs.h"
#include "ui/dialogs/drive_info.h"
#include "ui/text/strings.h"

namespace tarvik::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kTimeoutMs = 30000;

sim::FaultRule Dead(uint32_t after, uint32_t times, sim::FaultKind kind = sim::FaultKind::Timeout) {
    sim::FaultRule rule;
    rule.after = after;
    rule.times = times;
    rule.kind = kind;
    return rule;
}

class BrokenDrive : public DriveSim {
protected:
    void SetUp() override {
        DriveSim::SetUp();
        dir_ = fs::temp_directory_path() / ("broken-drive-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        ASSERT_EQ(LogOpen((dir_ / "t").string().c_str(), ".log"), 1);
    }
    void TearDown() override {
        app_.reset();
        LogClose();
        std::error_code ec;
        fs::remove_all(dir_, ec);
        DriveSim::TearDown();
    }
    // Starts the program; returns the virtual ms its start-up took.
    uint32_t StartApp() {
        Start();
        const uint32_t t0 = Clock().TickCount();
        app_ = std::make_unique<App>(host_);
        app_->Start();
        return Clock().TickCount() - t0;
    }
    size_t SentTo(unsigned drive) const {
        size_t n = 0;
        for (const sim::TraceEntry& e : bus_.Trace()) n += e.drive == drive ? 1 : 0;
        return n;
    }
    std::string Log() {
        std::ifstream in(dir_ / "t00.log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string Info() {
        return Utf8FromUtf16(DriveInfoText(CurrentDriveInfoSources(nullptr), CdromList.drives));
    }
    // What a user can do to every drive: clicks, a disc change, the timer.
    void UseEverything() {
        app_->Command(CMD_LEFT_CLICK, 0);
        app_->Command(CMD_MEDIA_ARRIVED, 0);
        app_->Command(CMD_RESUME, 0);
        for (uint32_t i = 0; i < CdromList.count(); ++i)
            for (unsigned a : {DRIVE_CMD_SET_SPEED, DRIVE_CMD_EJECT, DRIVE_CMD_CLOSE,
                               DRIVE_CMD_FASTER, DRIVE_CMD_RESTORE})
                app_->Command(DriveCommand{0, i, a}.Encode(), 0);
        for (int i = 0; i < 20; ++i) {
            Clock().Advance(kTimerPeriodMs);
            app_->Command(CMD_TIMER_TICK, 0);
        }
    }

    fs::path dir_;
    NoWindowHost host_;
    std::unique_ptr<App> app_;
};

TEST_F(BrokenDrive, FirstTimeOutMarksItNothingIsSentAfterAndDetectDrivesTriesAgain) {
    GlobalSettings.TimerEnable = 1;
    Add(DvdWriter("GOOD"));
    sim::Profile dead = DvdWriter("DEAD");
    dead.faults = {Dead(1, 1)};  // answers INQUIRY, then the next command never completes
    Add(dead);

    const uint32_t startMs = StartApp();
    ASSERT_EQ(CdromList.count(), 2u);
    EXPECT_EQ(SentTo(1), 2u) << "INQUIRY and the one command that timed out";
    // Without the mark the model detection and the start restore wait 30 s a command.
    EXPECT_LT(startMs, kTimeoutMs + 10000);
    EXPECT_NE(Log().find("Drive (E:) timed out - marked broken, nothing is sent to it until "
                         "Detect drives\n"),
              std::string::npos);
    const std::string info = Info();
    EXPECT_NE(info.find(std::string(ResStringUtf8(IDS_INFO_BROKEN_TIMEOUT)) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(info.find(ResStringUtf8(IDS_INFO_BROKEN_TIMEOUT)),
              info.rfind(ResStringUtf8(IDS_INFO_BROKEN_TIMEOUT)))
        << "the good drive is not shown as broken";

    ClearTrace();
    const uint32_t t0 = Clock().TickCount();
    UseEverything();
    EXPECT_EQ(SentTo(1), 0u);
    EXPECT_GT(SentTo(0), 0u) << "the good drive is served as before";
    EXPECT_LT(Clock().TickCount() - t0, 30000u) << "no time-out and no wait for a medium";

    // The fault has passed: Detect drives examines the drive afresh.
    app_->Command(CMD_DETECT_DRIVES, 0);
    EXPECT_GT(SentTo(1), 2u);
    EXPECT_EQ(Info().find(ResStringUtf8(IDS_INFO_BROKEN_TIMEOUT)), std::string::npos);
    ClearTrace();
    app_->Command(CMD_LEFT_CLICK, 0);
    EXPECT_GT(SentTo(1), 0u);
}

TEST_F(BrokenDrive, ADeviceThatWentAwayIsMarkedGoneAndAFailingOneIsNot) {
    sim::Profile gone = DvdWriter("GONE");
    gone.faults = {Dead(3, 0, sim::FaultKind::Vanish)};
    Add(gone);
    sim::Profile failing = DvdWriter("FAILING");
    failing.faults = {Dead(1, 0, sim::FaultKind::TransportError)};  // fails at once, every time
    Add(failing);
    StartApp();
    ASSERT_EQ(CdromList.count(), 2u);
    EXPECT_TRUE(IsDriveBroken(CdromList.drives[0].Address));
    EXPECT_NE(Info().find(ResStringUtf8(IDS_INFO_BROKEN_GONE)), std::string::npos);
    EXPECT_NE(Log().find("Drive (D:) is gone - marked broken"), std::string::npos);
    // An I/O error costs no wait: such a drive is kept and asked again.
    EXPECT_FALSE(IsDriveBroken(CdromList.drives[1].Address));
    ClearTrace();
    app_->Command(CMD_LEFT_CLICK, 0);
    EXPECT_EQ(SentTo(0), 0u);
    EXPECT_GT(SentTo(1), 0u);
}

TEST(BrokenDriveFaults, OnlyTimeOutsAndMissingDevicesCount) {
    const auto with = [](int32_t osError, int32_t aspiStatus) {
        ScsiRequest r;
        r.osError = osError;
        r.aspiStatus = aspiStatus;
        return FaultOfRequest(r);
    };
    EXPECT_EQ(with(-1, aspi::SS_PENDING), DriveFault::TimedOut);  // the ASPI wait ran out
    EXPECT_EQ(with(121, -1), DriveFault::TimedOut);               // pass-through time-out
    EXPECT_EQ(with(-1, aspi::SS_NO_DEVICE), DriveFault::Gone);
    EXPECT_EQ(with(1167, -1), DriveFault::Gone);
    EXPECT_EQ(with(2, -1), DriveFault::Gone);
    EXPECT_EQ(with(-1, aspi::SS_ERR), DriveFault::None);  // CHECK CONDITION and sense
    EXPECT_EQ(with(50, -1), DriveFault::None);  // Wine's pass-through: fails at once, always
    EXPECT_EQ(with(1117, -1), DriveFault::None);
}

}  // namespace
}  // namespace tarvik::test
