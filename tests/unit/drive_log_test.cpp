// The diagnostic lines the drive operations write, in order and to the letter.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "drive/medium.h"
#include "drive/speed_detect.h"
#include "drive_sim_fixture.h"

namespace tarvik::test {
namespace {

namespace fs = std::filesystem;

class DriveLog : public DriveSim {
protected:
    void SetUp() override {
        DriveSim::SetUp();
        dir_ = fs::temp_directory_path() / ("drive-log-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        ASSERT_EQ(LogOpen((dir_ / "drive").string().c_str(), ".log"), 1);
    }
    void TearDown() override {
        LogClose();
        std::error_code ec;
        fs::remove_all(dir_, ec);
        DriveSim::TearDown();
    }
    // The messages written so far, without their time stamps.
    std::vector<std::string> Lines() {
        std::ifstream in(dir_ / "drive00.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line.size() >= 13 ? line.substr(13) : line);
        return lines;
    }
    // Whether `expected` appear in this order (other lines may come between).
    static void ExpectInOrder(const std::vector<std::string>& lines,
                              const std::vector<std::string>& expected) {
        size_t at = 0;
        for (const std::string& want : expected) {
            while (at < lines.size() && lines[at] != want) ++at;
            ASSERT_LT(at, lines.size()) << "missing or out of order: \"" << want << "\"";
            ++at;
        }
    }
    fs::path dir_;
};

TEST_F(DriveLog, GivingUpOnTheMediumWritesTheWaitsAndTheErrorReport) {
    sim::Profile p = DvdWriter("CD ONLY");
    p.Speeds(sim::Family::Dvd).present = false;
    p.readCaps = 0x03;
    p.medium = DvdOfBook(0);
    Add(p);
    Start();
    CdromDrive d = Record(0);
    d.CanSenseMedium = 1;
    (void)CheckDriveMode(&d);

    const std::vector<std::string> lines = Lines();
    ExpectInOrder(lines,
                  {"  CheckDriveMode", "    GetCDROMInfo OK", "    GetCDROMProfile OK",
                   "    waiting for media [01]...", "    waiting for media [29]...",
                   "    Can't wait anymore, let it be CD", "", "*** SCSI Error Info ***",
                   "***********************", "  FINISHED CheckDriveMode", "    TestUnitReady=1"});
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "    GetCDROMProfile OK"), 30);
}

TEST_F(DriveLog, FastScanNamesEachStep) {
    Add(DvdWriter());
    Start();
    Settle();
    CdromDrive d = Record(0);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);
    ExpectInOrder(Lines(), {"ScanCDROMSpeedFast [TARVIKSM DVDRW SIM24X     1.00]",
                            "  CheckDriveMode", "    Medium is CD", "  FINISHED CheckDriveMode",
                            "    MaxLevel=8", "    SetCDROMSpeed=1", "    GetCDSpeed=8448",
                            "    SetDVDSpeed=1", "    GetDVDSpeed=8448", "    Using SET SPEED...",
                            "    step=176, max=8448, speed=8448", "    Count=7",
                            "FINISHED ScanCDROMSpeedFast"});
}

TEST_F(DriveLog, MediumClassLinesShowWhatTheDriveAnswered) {
    Add(BdCombo(BdOf("BDR")));
    Add(DvdWriter("DVD", DvdOfBook(10)));
    Start();
    Settle();
    CdromDrive bd = Record(0);
    (void)CheckDriveMode(&bd);
    DetectMediumClass(&bd);
    CdromDrive dvd = Record(1);
    (void)CheckDriveMode(&dvd);
    DetectMediumClass(&dvd);
    ExpectInOrder(Lines(), {"    Profile is BD", "    ReadBlurayDiscType='BDR'",
                            "    Profile is DVD", "    ReadDVDBookType=0xA"});
}

}  // namespace
}  // namespace tarvik::test
