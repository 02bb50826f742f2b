// A sample of the fault matrix (tools/faults runs the whole of it): each cell
// fires its fault, ends within the operation's bound, leaves the drive list
// and the stored settings whole, and leaves a log whose line of the failing
// operation names the failure, which the healthy run's log does not.
// The first rows are the failures the log once passed over in silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>

#include "fault_matrix.h"

namespace tarvik::faults {
namespace {

struct Sample {
    const char* name;
    Op op;
    const char* fault;
    uint8_t opcode;
};

void PrintTo(const Sample& s, std::ostream* os) { *os << s.name; }

class FaultMatrixSample : public ::testing::TestWithParam<Sample> {
protected:
    void SetUp() override {
        dir_ = (std::filesystem::temp_directory_path() /
                ("tarvik_fault_sample_" + std::string(GetParam().name)))
                   .string();
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
};

TEST_P(FaultMatrixSample, EndsInBoundWholeAndLogged) {
    const Sample& s = GetParam();
    const auto& faults = Faults();
    const auto fault = std::find_if(faults.begin(), faults.end(), [&](const FaultInfo& f) {
        return f.name == std::string(s.fault);
    });
    ASSERT_NE(fault, faults.end());

    const CellResult healthy = RunCell(s.op, nullptr, s.opcode, dir_);
    ASSERT_TRUE(healthy.broken.empty()) << healthy.broken.front();
    EXPECT_FALSE(healthy.named) << "a healthy run's log names a failure";
    ASSERT_NE(std::find(healthy.opcodes.begin(), healthy.opcodes.end(), s.opcode),
              healthy.opcodes.end());

    const CellResult r = RunCell(s.op, &*fault, s.opcode, dir_);
    EXPECT_GT(r.fired, 0u);
    for (const std::string& b : r.broken) ADD_FAILURE() << b;
    EXPECT_LE(r.ms, BoundMs(healthy));
    EXPECT_TRUE(r.logged);
    EXPECT_TRUE(r.named || !fault->fails) << "no line of the failing operation says so";
}

INSTANTIATE_TEST_SUITE_P(
    Cells, FaultMatrixSample,
    ::testing::Values(
        // A refused speed command, and the reads that follow it.
        Sample{"SetSpeedRefused", Op::SetSpeed, "hardware", 0xBB},
        Sample{"SetSpeedReadFails", Op::SetSpeed, "medium", 0x28},
        Sample{"RestoreNoCapacity", Op::Restore, "not-ready", 0x25},
        // A tray that does not move, and a lock that does not hold.
        Sample{"EjectTransport", Op::LockedEject, "transport", 0x1B},
        Sample{"EjectUnlockRefused", Op::LockedEject, "illegal", 0x1E},
        Sample{"TimerLockFails", Op::TimerTick, "medium", 0x1E},
        // A drive that does not say what it is is left out of the list.
        Sample{"StartInquiryFails", Op::Start4, "illegal", 0x12},
        // Answers that lie, and a drive that goes away.
        Sample{"DetectOnGarbagePage", Op::DetectFast, "garbage", 0x5A},
        Sample{"FirstStartShortInquiry", Op::Start1, "short", 0x12},
        Sample{"ArrivalLongStructure", Op::MediaArrival, "long", 0xAD},
        Sample{"SessionEndVanish", Op::SessionEnd, "vanish", 0x1B},
        Sample{"OptionsOkAttentionStorm", Op::DriveOptionsOk, "UA-storm", 0x5A}),
    [](const ::testing::TestParamInfo<Sample>& info) { return info.param.name; });

}  // namespace
}  // namespace tarvik::faults
