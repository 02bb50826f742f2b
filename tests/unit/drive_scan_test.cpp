// Speed detection on simulated drives: fast, full and measuring scans, the
// choice of speed command, progress and cancel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "drive/speed_detect.h"
#include "drive_sim_fixture.h"

namespace tarvik::test {
namespace {

class DriveScan : public DriveSim {
protected:
    // A record of drive `index` with its disc spun up.
    CdromDrive Ready(size_t index) {
        Settle();
        return Record(index);
    }
};

// What the progress callback saw.
struct ProgressLog {
    struct Call {
        uint32_t min, max, pos, speed, command;
        uint64_t at;
    };
    std::vector<Call> calls;
    VirtualClock* clock = nullptr;
    int cancelAfter = -1;  // progress calls to allow before answering 0

    static int Fn(uint32_t min, uint32_t max, uint32_t pos, uint32_t speed, uint32_t command,
                  void* user) {
        auto* self = static_cast<ProgressLog*>(user);
        self->calls.push_back({min, max, pos, speed, command, self->clock->Elapsed()});
        if (speed != 0) return 1;  // entry reports cannot cancel
        if (self->cancelAfter >= 0 &&
            self->ProgressCalls() > static_cast<size_t>(self->cancelAfter))
            return 0;
        return 1;
    }
    size_t ProgressCalls() const {
        size_t n = 0;
        for (const Call& c : calls) n += c.speed == 0;
        return n;
    }
    std::vector<Call> Progress() const {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.speed == 0) out.push_back(c);
        return out;
    }
};

Pairs Same(const std::vector<uint32_t>& speeds) {
    Pairs out;
    for (uint32_t s : speeds) out.emplace_back(s, s);
    return out;
}

TEST_F(DriveScan, FastScanOnDriveThatRoundsDown) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Ready(0);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);

    EXPECT_EQ(EntriesOf(d.SpeedListCD), Same(kCd48x));
    EXPECT_EQ(d.SpeedListCD.MethodDetected, kMethodSetCdSpeed);
    EXPECT_EQ(d.SpeedListCD.MaxLevel, static_cast<uint32_t>(kMediumPressed));
    EXPECT_EQ(d.SpeedListCD.CanSetSpeed, 1u);
    // A request the drive answers lower is followed by one for exactly that speed.
    const std::vector<uint32_t> asked = SpeedRequests(sim::kOpSetCdSpeed);
    ASSERT_GE(asked.size(), 4u);
    EXPECT_EQ(asked[1], 8448u);                    // the scan's first probe: the maximum
    EXPECT_EQ(asked[2], 8448u - 176u);             // one step down ...
    EXPECT_EQ(asked[3], 7040u);                    // ... answered with 7040, asked again
    EXPECT_EQ(CountOp(sim::kOpSetStreaming), 1u);  // the probe and nothing else
}

TEST_F(DriveScan, FastScanOnDriveThatRoundsUpConfirmsTheReportedSpeed) {
    sim::Profile p = DvdWriter("ROUNDS UP");
    p.Speeds(sim::Family::Cd).read = {8467, 7056, 5645, 4234, 2822, 1411};
    p.Speeds(sim::Family::Cd).rounding = sim::Rounding::Up;
    Add(p);
    Start();
    CdromDrive d = Ready(0);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);

    EXPECT_EQ(EntriesOf(d.SpeedListCD), Same({8467, 7056, 5645, 4234, 2822, 1411}));
    // 8467 - 8 steps = 7059 is answered with 7056 (below), 7056 itself is then
    // asked; further down a request of 5651 is rounded up to 5645... every new
    // speed was confirmed by asking for it.
    const std::vector<uint32_t> asked = SpeedRequests(sim::kOpSetCdSpeed);
    for (uint32_t s : {7056u, 5645u, 4234u, 2822u, 1411u})
        EXPECT_NE(std::find(asked.begin(), asked.end(), s), asked.end()) << s;
}

TEST_F(DriveScan, RoundedUpSpeedThatIsNotConfirmedKeepsTheRequestAsCommand) {
    sim::Profile p = DvdWriter("ROUNDS UP");
    p.Speeds(sim::Family::Cd).read = {8467, 7056, 5645, 4234, 2822, 1411};
    p.Speeds(sim::Family::Cd).rounding = sim::Rounding::Up;
    Add(p);
    Start();
    // A first run finds where the scan asks back for 7056 (after 6883 was
    // rounded up to it) ...
    CdromDrive first = Ready(0);
    ScanCDROMSpeedFast(&first, nullptr, nullptr);
    uint32_t modeSenses = 0;
    for (const sim::TraceEntry& e : bus_.Trace()) {
        if (e.cdb[0] == sim::kOpSetCdSpeed && (e.cdb[2] << 8 | e.cdb[3]) == 7056) break;
        modeSenses += e.cdb[0] == sim::kOpModeSense10;
    }
    // ... and a twin drive fails exactly the read-back of that confirmation.
    p.faults.push_back({sim::kOpModeSense10, modeSenses, 1, sim::FaultKind::Sense, {4, 0x44, 0}});
    const size_t twin = Add(p);
    CdromDrive d = Ready(twin);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);
    ASSERT_GE(d.SpeedListCD.Count, 2u);
    EXPECT_EQ(d.SpeedListCD.Entries[1].Speed, 7056u);
    EXPECT_EQ(d.SpeedListCD.Entries[1].Command, 8467u - 9u * 176u);  // 6883, the request
    EXPECT_EQ(first.SpeedListCD.Entries[1].Command, 7056u);
}

TEST_F(DriveScan, FastScanOnDriveThatReportsTheRequestedValue) {
    sim::Profile p = DvdWriter("ECHOES");
    p.Speeds(sim::Family::Cd).reportCurrent = sim::Report::Requested;
    Add(p);
    Start();
    CdromDrive d = Ready(0);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);

    // Asked for FFFFh, it reports 65535 KB/s as its speed, and every probe
    // "succeeds": one entry per 1x step, from the highest speed a scan
    // believes (64x) down to 1x.
    EXPECT_EQ(d.SpeedListCD.MaxSpeed, 0xFFFFu);
    ASSERT_EQ(d.SpeedListCD.Count, 64u);
    for (uint32_t i = 0; i < 64; ++i) {
        EXPECT_EQ(d.SpeedListCD.Entries[i].Speed, 64u * 176u - i * 176u);
        EXPECT_EQ(d.SpeedListCD.Entries[i].Command, d.SpeedListCD.Entries[i].Speed);
    }
}

TEST_F(DriveScan, DvdOnDriveObeyingOnlySetStreamingIsListedFromSetStreaming) {
    Add(DvdWriter("STREAMING DVD", DvdOfBook(0)));
    Start();
    CdromDrive d = Ready(0);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);

    EXPECT_EQ(d.CurrentFamily, MediumFamily::DVD);
    EXPECT_EQ(d.SpeedListDVD.CanSetSpeed, 1u);  // accepted, but it changes nothing
    EXPECT_EQ(d.SpeedListDVD.CanSetStreaming, 1u);
    EXPECT_EQ(d.SpeedListDVD.MethodDetected, kMethodSetStreaming);
    EXPECT_EQ(EntriesOf(d.SpeedListDVD), Same(kDvd16x));
    EXPECT_EQ(d.SpeedListCD.Count, 0u);
    // The drive is put back with the method the list now uses.
    EXPECT_EQ(Ops().back(), sim::kOpSetStreaming);
    EXPECT_EQ(Sim(0).SpeedInForce(sim::Family::Dvd), kDvd16x.front());
}

TEST_F(DriveScan, DriveRejectingSetCdSpeedIsScannedWithSetStreamingOnly) {
    sim::Profile p = DvdWriter("NO SET CD SPEED");
    p.Speeds(sim::Family::Cd).setCdSpeed = sim::Obey::Unknown;
    p.Speeds(sim::Family::Cd).setStreaming = sim::Obey::Obey;
    Add(p);
    Start();
    CdromDrive d = Ready(0);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);
    EXPECT_EQ(d.SpeedListCD.CanSetSpeed, 0u);
    EXPECT_EQ(d.SpeedListCD.MethodDetected, kMethodSetStreaming);
    EXPECT_EQ(SpeedsOf(d.SpeedListCD), kCd48x);
}

TEST_F(DriveScan, PreferredMethodRunsOnlyItsOwnScan) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Ready(0);
    d.SpeedListCD.MethodPrefered = kMethodSetStreaming;
    ScanCDROMSpeedFast(&d, nullptr, nullptr);
    EXPECT_EQ(CountOp(sim::kOpSetCdSpeed), 1u);  // the probe of the maximum only
    // The drive ignores SET STREAMING for CD: a single speed, no method found.
    EXPECT_EQ(d.SpeedListCD.Count, 1u);
    EXPECT_EQ(d.SpeedListCD.MethodDetected, kMethodAuto);
}

TEST_F(DriveScan, FastScanWithoutAnySpeedEndsAndStillReportsTheEnd) {
    sim::Profile p = DvdWriter("SPEECHLESS");
    sim::SpeedModel& cd = p.Speeds(sim::Family::Cd);
    cd.reportCurrent = sim::Report::Fixed;
    cd.fixedCurrent = 100;  // below 1x: nothing to probe
    cd.reportMax = sim::Report::Zero;
    cd.performance = sim::Perf::Unsupported;
    Add(p);
    Start();
    CdromDrive d = Ready(0);
    ProgressLog log;
    log.clock = &Clock();
    ScanCDROMSpeedFast(&d, ProgressLog::Fn, &log);

    EXPECT_EQ(d.SpeedListCD.MaxSpeed, 100u);
    EXPECT_EQ(d.SpeedListCD.Count, 0u);
    ASSERT_FALSE(log.Progress().empty());
    EXPECT_EQ(log.Progress().back().pos, log.Progress().back().max);
    EXPECT_LT(CountOp(sim::kOpSetCdSpeed), 4u);
}

TEST_F(DriveScan, CancelledFastScanKeepsWhatItFoundAndSendsTheFinalProgress) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Ready(0);
    ProgressLog log;
    log.clock = &Clock();
    log.cancelAfter = 2;
    ScanCDROMSpeedFast(&d, ProgressLog::Fn, &log);

    const auto progress = log.Progress();
    ASSERT_EQ(progress.size(), 4u);  // two answered 1, the third cancelled, then the end
    EXPECT_EQ(progress.back().min, 0u);
    EXPECT_EQ(progress.back().max, 8448u);
    EXPECT_EQ(progress.back().pos, 8448u);
    EXPECT_EQ(SpeedsOf(d.SpeedListCD), (std::vector<uint32_t>{8448, 7040}));
    EXPECT_EQ(d.SpeedListCD.MethodDetected, kMethodSetCdSpeed);
    // Entry reports came before each insert.
    EXPECT_EQ(log.calls.front().speed, 8448u);
    EXPECT_EQ(log.calls.front().command, 8448u);
}

// Five rates of a drive that ignores the speed look flat, but a cancel keeps
// what was found so far: no judgement, and no list from before brought back.
TEST_F(DriveScan, CancelledMeasureKeepsWhatItFoundHoweverFlat) {
    sim::Profile p = DvdWriter();
    p.medium.blocks = 330000;
    p.Speeds(sim::Family::Cd).setCdSpeed = sim::Obey::Ignore;
    Add(p);
    Start();
    CdromDrive d = Ready(0);
    d.SpeedListCD.Count = 2;
    d.SpeedListCD.Entries[0] = {3000, 3000};
    d.SpeedListCD.Entries[1] = {1000, 1000};
    ProgressLog log;
    log.clock = &Clock();
    log.cancelAfter = 13 + 5;  // the CD warm-up, then five timed rates
    ScanCDROMSpeedRead(&d, ProgressLog::Fn, &log);
    EXPECT_EQ(d.LastMeasure, MeasureJudgement::None);
    EXPECT_EQ(EntriesOf(d.SpeedListCD), (Pairs{{8445, 8448}})) << "the list from before came back";
}

TEST_F(DriveScan, FullScanFindsEverySpeedWithThrottledProgress) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Ready(0);
    ProgressLog log;
    log.clock = &Clock();
    ScanCDROMSpeedFull(&d, ProgressLog::Fn, &log);

    EXPECT_EQ(EntriesOf(d.SpeedListCD), Same(kCd48x));
    const auto progress = log.Progress();
    ASSERT_GT(progress.size(), 20u);
    for (size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GT(progress[i].at - progress[i - 1].at, 250u);
        EXPECT_GT(progress[i].pos, progress[i - 1].pos);
        EXPECT_EQ(progress[i].min, 176u);
        EXPECT_EQ(progress[i].max, 8448u);
    }
    // Every KB/s from the top down to 1x was asked for.
    EXPECT_GE(CountOp(sim::kOpSetCdSpeed), 8448u - 176u);
}

TEST_F(DriveScan, FullScanCancelStopsAtOnce) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Ready(0);
    ProgressLog log;
    log.clock = &Clock();
    log.cancelAfter = 2;
    ScanCDROMSpeedFull(&d, ProgressLog::Fn, &log);
    EXPECT_EQ(log.ProgressCalls(), 3u);
    EXPECT_LT(CountOp(sim::kOpSetCdSpeed), 500u);
    EXPECT_GE(d.SpeedListCD.Count, 1u);
    EXPECT_LT(d.SpeedListCD.Count, kCd48x.size());
}

TEST_F(DriveScan, MeasuringScanMatchesRatesToListedSpeeds) {
    sim::Profile p = DvdWriter("MEASURED");
    p.Speeds(sim::Family::Cd).readEfficiency = 97;  // reads never quite reach the nominal rate
    Add(p);
    Start();
    CdromDrive d = Ready(0);
    ProgressLog log;
    log.clock = &Clock();
    const uint64_t before = Clock().Elapsed();
    ScanCDROMSpeedRead(&d, ProgressLog::Fn, &log);

    // One second per step: 13 warm-up and 52 measured steps.
    EXPECT_GE(Clock().Elapsed() - before, 65u * 1000u);
    EXPECT_LT(Clock().Elapsed() - before, 80u * 1000u);
    ASSERT_EQ(d.SpeedListCD.Count, kCd48x.size());
    for (uint32_t i = 0; i < d.SpeedListCD.Count; ++i) {
        const SpeedEntry& e = d.SpeedListCD.Entries[i];
        EXPECT_LE(std::abs(static_cast<int>(e.Speed) - static_cast<int>(kCd48x[i])), 2 * 176) << i;
        // The request nearest to the speed won: the listed speed itself.
        EXPECT_EQ(e.Command, kCd48x[i]) << i;
    }
    const auto progress = log.Progress();
    ASSERT_EQ(progress.size(), 13u + 52u);
    const uint32_t total = (176 * 65 - 176) / 64;
    EXPECT_EQ(progress.back().max, total);
    EXPECT_EQ(progress.back().pos, (176u * 64u) / 64u);
}

TEST_F(DriveScan, MeasuringScanOnSmallDiscAddsNothingAndReadsNothingPastTheEnd) {
    sim::Medium small = PressedCd();
    small.blocks = 40000;  // less than the measuring zone
    Add(DvdWriter("SMALL DISC", small));
    Start();
    CdromDrive d = Ready(0);
    ScanCDROMSpeedRead(&d, nullptr, nullptr);
    EXPECT_EQ(d.SpeedListCD.Count, 0u);
    EXPECT_EQ(CountOp(sim::kOpRead10), 0u);
}

TEST_F(DriveScan, DetectionPutsTheDriveBackAtItsSpeed) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Ready(0);
    ASSERT_NE(SetCDROMSpeed(d.Address, 1408, 0), 0);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);
    EXPECT_EQ(Sim(0).SpeedInForce(sim::Family::Cd), 1408u);
}

TEST_F(DriveScan, DriveWithUnknownSpeedIsLeftAtItsMaximumNotItsMinimum) {
    sim::Profile p = DvdWriter("QUIET ABOUT SPEED");
    p.Speeds(sim::Family::Cd).reportCurrent = sim::Report::Zero;
    p.Speeds(sim::Family::Cd).performance = sim::Perf::Unsupported;
    Add(p);
    Start();
    CdromDrive d = Ready(0);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);
    EXPECT_EQ(SpeedRequests(sim::kOpSetCdSpeed).back(), 0xFFFFu);
    EXPECT_EQ(Sim(0).SpeedInForce(sim::Family::Cd), kCd48x.front());
}

TEST_F(DriveScan, AutoScanTakesTheBusyFlagTheOthersDoNot) {
    Add(DvdWriter());
    Start();
    CdromDrive d = Ready(0);
    d.Busy = 1;  // the options dialog holds it
    ScanCDROMSpeedAuto(&d, nullptr, nullptr);
    EXPECT_EQ(d.SpeedListCD.Count, 0u);
    ScanCDROMSpeedFast(&d, nullptr, nullptr);
    EXPECT_EQ(d.SpeedListCD.Count, kCd48x.size());
    EXPECT_EQ(d.Busy, 1u);
}

}  // namespace
}  // namespace tarvik::test
