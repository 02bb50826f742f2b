// The SCSI error block in the diagnostic log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "platform/clock.h"
#include "scsi/errors.h"
#include "scsi/transport.h"
#include "scsi_fakes.h"

namespace tarvik {
namespace {

using testing_support::FakeSystem;

class ScsiErrorLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTransportState();
        SetClock(&clock_);
        SetSystem(&system_);
        system_.messages[5] = "Access is denied.";
        char dir[] = "/tmp/tarvik-scsierr-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        ASSERT_EQ(LogOpen((dir_ + "/e").c_str(), ".log"), 1);
        path_ = LogPath();
    }
    void TearDown() override {
        LogClose();
        std::remove(path_.c_str());
        rmdir(dir_.c_str());
        ResetTransportState();
        SetClock(nullptr);
        SetSystem(nullptr);
    }
    static void SetLast(int32_t os, int32_t aspi, int32_t ha, int32_t target, int32_t key) {
        ScsiRequest r;
        r.osError = os;
        r.aspiStatus = aspi;
        r.adapterStatus = ha;
        r.targetStatus = target;
        r.senseKey = key;
        SetLastScsiError(r);
    }
    // The lines written so far, without their time stamps.
    std::vector<std::string> Lines() {
        LogClose();
        std::ifstream in(path_);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line)) lines.push_back(line.size() >= 13 ? line.substr(13) : line);
        return lines;
    }

    VirtualClock clock_;
    FakeSystem system_;
    std::string dir_, path_;
};

using Text = std::vector<std::string>;

TEST_F(ScsiErrorLogTest, OsErrorAlone) {
    SetLast(5, -1, -1, -1, -1);
    LogScsiError(nullptr);
    EXPECT_EQ(Lines(), (Text{"*** SCSI Error Info ***", "SPTI: Access is denied. (0x05)",
                             "***********************"}));
}

TEST_F(ScsiErrorLogTest, OsErrorWithoutSystemText) {
    SetLast(0x1F, -1, -1, -1, -1);
    LogScsiError(nullptr);
    EXPECT_EQ(Lines().at(1), "SPTI:  (0x1F)");
}

TEST_F(ScsiErrorLogTest, AspiFailureWithCaption) {
    SetLast(-1, 0x04, 0x00, 0x02, 2);
    LogScsiError("ScanRead: MeasureSpeed() failed!");
    EXPECT_EQ(Lines(), (Text{"ScanRead: MeasureSpeed() failed!", "*** SCSI Error Info ***",
                             "ASPI: SRB completed with error (0x04)",
                             "HA: Host adapter did not detect an error (0x00)",
                             "Dev: Check Condition (0x02)", "Sense: Not Ready (0x02)",
                             "***********************"}));
}

TEST_F(ScsiErrorLogTest, EmptyCaptionAndNothingRecorded) {
    LogScsiError("");
    EXPECT_EQ(Lines(), (Text{"", "*** SCSI Error Info ***", "***********************"}));
}

TEST_F(ScsiErrorLogTest, UnknownCodes) {
    SetLast(-1, 0xE8, 0x01, 0x30, 11);
    LogScsiError(nullptr);
    EXPECT_EQ(Lines(), (Text{"*** SCSI Error Info ***", "ASPI: UNKNOWN ERROR CODE (0xE8)",
                             "HA: UNKNOWN ERROR CODE (0x01)", "Dev: UNKNOWN ERROR CODE (0x30)",
                             "Sense: UNKNOWN SENSE KEY (0x0B)", "***********************"}));
}

TEST_F(ScsiErrorLogTest, TimedOutAspiCommand) {
    SetLast(-1, 0, -1, -1, -1);
    LogScsiError(nullptr);
    EXPECT_EQ(Lines().at(1), "ASPI: SRB being processed (0x00)");
    EXPECT_EQ(Lines().size(), 3u);
}

TEST_F(ScsiErrorLogTest, ReportDoesNotChangeTheRecord) {
    SetLast(5, 1, 2, 3, 4);
    LogScsiError(nullptr);
    ScsiLastError e;
    GetLastScsiError(&e);
    EXPECT_EQ(e.osError, 5);
    EXPECT_EQ(e.senseKey, 4);
}

TEST(ScsiErrorTexts, Tables) {
    struct Row {
        const char* (*table)(int32_t);
        int32_t code;
        const char* text;
    };
    const Row rows[] = {
        {AspiStatusText, 0x01, "SRB completed without error"},
        {AspiStatusText, 0x82, "SCSI device not installed"},
        {AspiStatusText, 0xE3, "UNKNOWN ERROR CODE"},
        {AspiStatusText, 0xE6, "Buffer size too big to handle!"},
        {AspiStatusText, -5, "UNKNOWN ERROR CODE"},
        {AdapterStatusText, 0x09, "Timed out while SRB was waiting to beprocessed."},
        {AdapterStatusText, 0x11, "Selection Timeout"},
        {AdapterStatusText, 0x14, "Target bus phase sequence failure"},
        {AdapterStatusText, 0x0A, "UNKNOWN ERROR CODE"},
        {AdapterStatusText, 0x15, "UNKNOWN ERROR CODE"},
        {TargetStatusText, 0x18, "Reservation conflict"},
        {TargetStatusText, 0x28, "Queue full"},
        {TargetStatusText, 0x01, "UNKNOWN ERROR CODE"},
        {TargetStatusText, 0x29, "UNKNOWN ERROR CODE"},
        {SenseKeyText, 0, "No Sense"},
        {SenseKeyText, 6, "Unit Attention"},
        {SenseKeyText, 10, "Copy Abort"},
        {SenseKeyText, 12, "Equal (Search)"},
        {SenseKeyText, 15, "Reserved"},
        {SenseKeyText, 16, "UNKNOWN ERROR CODE"},
        {SenseKeyText, -2, "UNKNOWN ERROR CODE"},
    };
    for (const Row& row : rows) EXPECT_STREQ(row.table(row.code), row.text) << row.code;
}

}  // namespace
}  // namespace tarvik
