// Speed detection and the speed lists.
#include "drive/speed_detect.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

#include "base/log.h"
#include "drive/drive_list.h"
#include "drive/medium.h"
#include "drive/speed_control.h"
#include "drive/speed_obey.h"
#include "platform/clock.h"
#include "scsi/errors.h"
#include "scsi/mmc.h"
#include "scsi/sense.h"
#include "scsi/transport.h"

namespace tarvik {

namespace {

constexpr uint32_t kMaxSpeedRequest = 0xFFFF;  // "as fast as you can" in both commands
constexpr uint32_t kProgressEveryMs = 250;
constexpr uint32_t kCeilingFactors = 64;

int SetByCdSpeed(CdromDrive* drive, uint32_t speed) {
    return SetCDROMSpeed(drive->Address, static_cast<int32_t>(speed),
                         static_cast<int32_t>(drive->Caps.currentWriteSpeed));
}
uint32_t GetByCapabilities(CdromDrive* drive) { return GetCDSpeed(drive->Address); }
int SetByStreaming(CdromDrive* drive, uint32_t speed) {
    return SetDVDSpeed(drive->Address, speed, drive->Caps.currentWriteSpeed);
}
uint32_t GetByPerformance(CdromDrive* drive) { return GetDVDSpeed(drive->Address); }

bool HasSpeed(const SpeedList& list, uint32_t speed) {
    const uint32_t n = EntryCount(list);
    for (uint32_t i = 0; i < n; ++i)
        if (list.Entries[i].Speed == speed) return true;
    return false;
}

uint32_t Distance(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

// Measurement plan per family: N measured steps below a W-step warm-up.
struct ReadPlan {
    uint32_t steps;
    uint32_t warmup;
};
ReadPlan PlanFor(const CdromDrive& drive) {
    if (drive.CurrentFamily == MediumFamily::BD) return {14, 3};
    if (drive.CurrentFamily == MediumFamily::DVD) return {24, 6};
    return {52, 13};
}

// Why reading on is pointless after a failed read: the drive went away (it
// is marked gone, every later command fails at once) or says the disc is
// no longer in it (NOT READY, MEDIUM NOT PRESENT). None otherwise.
MeasureJudgement ReadStopped(const CdromDrive& drive) {
    if (BrokenDriveFault(drive.Address) == DriveFault::Gone) return MeasureJudgement::DriveGone;
    ScsiLastError e;
    GetLastScsiError(&e);
    constexpr int32_t kMediumNotPresent = 0x3A;
    if (e.targetStatus == 2 && e.senseKey == kSenseNotReady && e.asc == kMediumNotPresent)
        return MeasureJudgement::MediumGone;
    return MeasureJudgement::None;
}

bool Stopped(MeasureJudgement j) {
    return j == MeasureJudgement::MediumGone || j == MeasureJudgement::DriveGone;
}

}  // namespace

const SpeedProbe kProbeSetCdSpeed = {SetByCdSpeed, GetByCapabilities};
const SpeedProbe kProbeSetStreaming = {SetByStreaming, GetByPerformance};

uint32_t ScanCeiling(const SpeedList& list) {
    return std::min(list.MaxSpeed, list.Factor * kCeilingFactors);
}

void InsertSpeed(SpeedList* list, uint32_t speed, uint32_t command, ProgressFn progress,
                 void* user) {
    if (speed == 0 || command == 0) {
        LogPrintf("        InsertSpeed: speed=%u, command=%u!\n", speed, command);
        return;
    }
    if (progress) (void)progress(0, 0, 0, speed, command, user);
    if (list->Count >= kMaxSpeedEntries) return;

    SpeedEntry* e = list->Entries;
    const uint32_t count = list->Count;
    uint32_t at = count;  // append when slower than the last entry
    if (count > 0 && speed >= e[count - 1].Speed) {
        at = 0;
        for (uint32_t i = count; i-- > 0;) {
            if (e[i].Speed == speed) return;  // the first pair for a speed stays
            if (e[i].Speed > speed) {
                at = i + 1;
                break;
            }
        }
    }
    for (uint32_t i = count; i > at; --i) e[i] = e[i - 1];
    e[at] = {speed, command};
    list->Count = count + 1;
}

void FastScan(CdromDrive* drive, ProgressFn progress, void* user, const SpeedProbe& probe) {
    SpeedList* list = &drive->CurrentList();
    const uint32_t step = list->Factor;
    const uint32_t max = ScanCeiling(*list);
    LogPrintf("    step=%u, max=%u, speed=%u\n", step, max, max);

    // Nothing ever reported a speed of at least 1x: there is nothing to probe.
    if (step != 0 && max >= step) {
        uint32_t a = max;
        for (;;) {
            (void)probe.Set(drive, a);
            const uint32_t b = probe.Get(drive);
            if (b == a) {
                InsertSpeed(list, a, a, progress, user);
                a -= step;
            } else if (b < a) {
                a = b;  // ask next for exactly what the drive fell back to
            } else {
                // Rounded up: confirm the reported speed by asking for it.
                if (!HasSpeed(*list, b)) {
                    (void)probe.Set(drive, b);
                    const uint32_t c = probe.Get(drive);
                    InsertSpeed(list, b, c == b ? b : a, progress, user);
                }
                a -= step;
            }
            if (progress && !progress(0, max, max - a, 0, 0, user)) break;
            if (a < step) break;
        }
    }
    if (progress) (void)progress(0, max, max, 0, 0, user);
}

void FullScan(CdromDrive* drive, ProgressFn progress, void* user, const SpeedProbe& probe) {
    SpeedList* list = &drive->CurrentList();
    const uint32_t step = list->Factor;
    const uint32_t max = ScanCeiling(*list);
    LogPrintf("    step=%u, max=%u\n", step, max);
    if (step == 0) return;

    Clock& clock = GetClock();
    uint32_t t = clock.TickCount();
    for (uint32_t s = max; s >= step; --s) {
        (void)probe.Set(drive, s);
        const uint32_t r = probe.Get(drive);
        if (r == 0) {
            LogPrintf("        speed=%u, new_speed=%u!\n", s, 0u);
        } else if (!HasSpeed(*list, r)) {
            (void)probe.Set(drive, r);
            const uint32_t c = probe.Get(drive);
            InsertSpeed(list, r, c == r ? r : s, progress, user);
        }
        if (progress && clock.TickCount() - t > kProgressEveryMs) {
            if (!progress(step, max, max + step - s, 0, 0, user)) break;
            t = clock.TickCount();
        }
    }
}

uint32_t MeasureSpeed(CdromDrive* drive, uint32_t last) {
    constexpr uint32_t kBlocksPerRead = 256;
    constexpr uint32_t kLeadBlocks = 42876;  // measure over the last ~84 MB
    // A drive that fails every read at once would otherwise keep the loop
    // below spinning without its clock ever reaching the one-second mark.
    constexpr unsigned kMaxFailuresInRow = 32;
    constexpr uint32_t kCdBlocksPerSecondAt1x = 75;
    constexpr uint32_t kMeasureMs = 1000;

    std::unique_ptr<uint8_t, decltype(&std::free)> buffer(
        static_cast<uint8_t*>(std::malloc(kBlocksPerRead * kBlockSize)), &std::free);
    if (!buffer) return 0;
    // A disc too small to hold the measuring zone: the read before it would
    // address an LBA past the end of the disc (the subtraction wraps).
    if (last < kLeadBlocks) return 0;
    if (!ReadCDROMBlocks(drive->Address, last - kLeadBlocks, 1, buffer.get())) return 0;

    Clock& clock = GetClock();
    const uint32_t t0 = clock.TickCount();
    const uint32_t start = last - (kLeadBlocks - 1);
    const uint32_t limit = last - kBlocksPerRead;
    uint32_t pos = start;
    uint32_t t = t0;
    unsigned failures = 0;
    do {
        if (ReadCDROMBlocks(drive->Address, pos, kBlocksPerRead, buffer.get())) {
            pos += kBlocksPerRead;
            failures = 0;
        } else if (++failures >= kMaxFailuresInRow || Stopped(ReadStopped(*drive))) {
            t = clock.TickCount();
            break;
        }
        t = clock.TickCount();
    } while (t - t0 < kMeasureMs && pos < limit);

    if (t == t0) return 0;
    // Speeds are in the drives' own KB/s, where 1x CD (75 blocks a second) is
    // kFactorCD = 176: one block a millisecond is 176 * 1000 / 75 = 7040 / 3 KB/s.
    return static_cast<uint32_t>(uint64_t{pos - start} * kFactorCD * 1000 /
                                 (uint64_t{t - t0} * kCdBlocksPerSecondAt1x));
}

void ScanRead(CdromDrive* drive, ProgressFn progress, void* user, const SpeedProbe& probe) {
    SpeedList* list = &drive->CurrentList();
    const uint32_t last = ReadCDROMCapacity(drive->Address);
    LogPrintf("    LBA=%u MB=%u\n", last, last / 512);
    if (last == 0) return;

    const ReadPlan plan = PlanFor(*drive);
    const uint32_t step = list->Factor;
    const uint32_t total = (step * (plan.warmup + plan.steps) - step) / 64;

    // A disc taken out or a drive gone ends the Measure at once: every
    // further read would fail the same way, each after the retries.
    const auto stopped = [drive] {
        drive->LastMeasure = ReadStopped(*drive);
        if (!Stopped(drive->LastMeasure)) drive->LastMeasure = MeasureJudgement::None;
        return drive->LastMeasure != MeasureJudgement::None;
    };
    (void)probe.Set(drive, kMaxSpeedRequest);
    for (uint32_t i = 1; i <= plan.warmup; ++i) {
        // Spins the disc up to full speed.
        if (!MeasureSpeed(drive, last) && stopped()) return;
        if (progress && !progress(0, total, i * step / 64, 0, 0, user)) return;
    }

    LogPrintf("    step=%u, max=%u\n", step, plan.steps * step);
    std::vector<std::pair<uint32_t, uint32_t>> rates;
    uint32_t q = plan.warmup * step;
    for (uint32_t cmd = plan.steps * step; cmd >= step && step != 0; cmd -= step, q += step) {
        (void)probe.Set(drive, cmd);
        const uint32_t m = MeasureSpeed(drive, last);
        if (m == 0) LogScsiError("ScanRead: MeasureSpeed() failed!");
        if (m == 0 && stopped()) return;
        rates.emplace_back(cmd, m);

        // A rate close to a listed speed is that speed: keep whichever
        // request lies nearer to it rather than adding a near-duplicate.
        SpeedEntry* near = nullptr;
        for (uint32_t i = EntryCount(*list); i-- > 0;) {
            if (Distance(list->Entries[i].Speed, m) <= 2 * step) {
                near = &list->Entries[i];
                break;
            }
        }
        if (near) {
            if (Distance(near->Speed, cmd) < Distance(near->Speed, near->Command))
                near->Command = cmd;
        } else {
            InsertSpeed(list, m, cmd, progress, user);
        }
        if (progress && !progress(0, total, q / 64, 0, 0, user)) break;
    }
    const bool noneTimed = !rates.empty() && std::all_of(rates.begin(), rates.end(),
                                                         [](const auto& r) { return !r.second; });
    drive->LastMeasure = noneTimed ? MeasureJudgement::Unmeasured : JudgeRates(rates);
}

namespace {

// The Measure judgements that are no list, by the name the log gives them;
// null for rates worth keeping.
const char* DiscardedRates(MeasureJudgement j) {
    switch (j) {
        case MeasureJudgement::Flat: return "flat";
        case MeasureJudgement::Noise: return "noise";
        case MeasureJudgement::Unmeasured: return "none";
        case MeasureJudgement::MediumGone: return "cut short, the disc was taken out";
        case MeasureJudgement::DriveGone: return "cut short, the drive went away";
        default: return nullptr;
    }
}

// The caller's progress callback, remembering a cancel: a cancelled
// detection runs no further scan.
struct Watched {
    ProgressFn progress;
    void* user;
    bool cancelled = false;
};

int WatchedProgress(uint32_t min, uint32_t max, uint32_t pos, uint32_t speed, uint32_t command,
                    void* user) {
    auto* w = static_cast<Watched*>(user);
    const int goOn = w->progress(min, max, pos, speed, command, w->user);
    const bool entryReport = !min && !max && !pos && (speed || command);
    if (!goOn && !entryReport) w->cancelled = true;  // a report's result means nothing
    return goOn;
}

}  // namespace

void RunSpeedDetection(CdromDrive* drive, ProgressFn progress, void* user, ScanFn scan) {
    // The callback runs the user interface, which may rebuild the drive list:
    // after that the record is gone and nothing may touch it any more.
    const uint32_t generation = DriveListGeneration();
    Watched watched{progress, user};
    if (progress) {
        progress = WatchedProgress;
        user = &watched;
    }
    const auto gone = [generation] { return DriveListGeneration() != generation; };

    (void)CheckDriveMode(drive);
    DetectMediumClass(drive);
    SpeedList* list = &drive->CurrentList();
    // A Measure whose rates do not follow the command must not replace the
    // list the user has: noise would become the speed menu.
    const bool measuring = scan == ScanRead;
    const SpeedList previous = *list;
    drive->LastMeasure = MeasureJudgement::None;
    DetectionFacts facts;
    facts.measured = measuring;
    list->MaxLevel = static_cast<uint32_t>(drive->MediumClass);
    LogPrintf("    MaxLevel=%d\n", drive->MediumClass);

    const uint32_t write = drive->Caps.currentWriteSpeed;
    int r = SetCDROMSpeed(drive->Address, kMaxSpeedRequest, static_cast<int32_t>(write));
    LogPrintf("    SetCDROMSpeed=%d\n", r);
    if (r) list->CanSetSpeed = 1;
    ScsiLastError failure;
    GetLastScsiError(&failure);
    facts.cdSpeedRefused = !r && WasIllegalRequest(failure);
    const uint32_t c = GetCDSpeed(drive->Address);
    LogPrintf("    GetCDSpeed=%u\n", c);
    if (c) list->CanGetSpeed = 1;
    list->MaxSpeed = std::max(list->MaxSpeed, c);

    r = SetDVDSpeed(drive->Address, kMaxSpeedRequest, write);
    LogPrintf("    SetDVDSpeed=%d\n", r);
    if (r) list->CanSetStreaming = 1;
    GetLastScsiError(&failure);
    facts.streamingRefused = !r && WasIllegalRequest(failure);
    const uint32_t d = GetDVDSpeed(drive->Address);
    LogPrintf("    GetDVDSpeed=%u\n", d);
    if (d) list->CanGetStreaming = 1;
    list->MaxSpeed = std::max(list->MaxSpeed, d);

    list->MethodDetected = kMethodAuto;
    if (ChooseSpeedMethod(*list, kMethodSetCdSpeed) == kMethodSetCdSpeed) {
        list->Count = 0;
        LogPrintf("    Using SET SPEED...\n");
        scan(drive, progress, user, kProbeSetCdSpeed);
        if (gone()) return;
        LogPrintf("    Count=%d\n", static_cast<int>(list->Count));
        if (list->Count > 1) list->MethodDetected = kMethodSetCdSpeed;
    }
    if (!watched.cancelled && !Stopped(drive->LastMeasure) &&
        ChooseSpeedMethod(*list, kMethodSetStreaming) == kMethodSetStreaming) {
        list->Count = 0;
        LogPrintf("    Using SET STREAMING...\n");
        scan(drive, progress, user, kProbeSetStreaming);
        if (gone()) return;
        LogPrintf("    Count=%d\n", static_cast<int>(list->Count));
        if (list->Count > 1) list->MethodDetected = kMethodSetStreaming;
    }

    facts.scanned = !watched.cancelled && !Stopped(drive->LastMeasure);
    // A cancel keeps what was found so far: rates cut short are no evidence
    // of a flat drive, and judging them would throw the found list away.
    if (watched.cancelled) drive->LastMeasure = MeasureJudgement::None;
    facts.count = EntryCount(*list);
    facts.judgement = drive->LastMeasure;
    const char* discarded = measuring ? DiscardedRates(drive->LastMeasure) : nullptr;
    if (discarded) {
        LogPrintf("    Measured rates %s: previous list kept\n", discarded);
        // What the commands answered stays learnt; the list and its method go back.
        list->Count = previous.Count;
        std::copy(std::begin(previous.Entries), std::end(previous.Entries), list->Entries);
        list->MethodDetected = previous.MethodDetected;
        list->MaxLevel = previous.MaxLevel;
    }
    NoteDetection(drive, facts);

    // Put the drive back where it was. When its speed was unknown, "back"
    // is its own default, the maximum: sending 0 would leave it at its
    // slowest speed, which nobody chose.
    const uint32_t back = drive->CurrentSpeed ? drive->CurrentSpeed : kMaxSpeedRequest;
    if (ChooseSpeedMethod(*list, kMethodAuto) == kMethodSetCdSpeed)
        (void)SetCDROMSpeed(drive->Address, static_cast<int32_t>(back),
                            static_cast<int32_t>(write));
    else
        (void)SetDVDSpeed(drive->Address, back, write);
}

namespace {

void RunNamed(const char* name, CdromDrive* drive, ProgressFn progress, void* user, ScanFn scan) {
    LogPrintf("%s [%s]\n", name, drive->Name);
    RunSpeedDetection(drive, progress, user, scan);
    LogPrintf("FINISHED %s\n", name);
}

}  // namespace

void ScanCDROMSpeedAuto(CdromDrive* drive, ProgressFn progress, void* user) {
    LogPrintf("ScanCDROMSpeedAuto [%s]\n", drive->Name);
    DriveOp op(drive);
    if (!op) return;
    RunSpeedDetection(drive, progress, user, FastScan);
    op.Release();
    LogPrintf("FINISHED ScanCDROMSpeedAuto\n");
}

void ScanCDROMSpeedFast(CdromDrive* drive, ProgressFn progress, void* user) {
    RunNamed("ScanCDROMSpeedFast", drive, progress, user, FastScan);
}

void ScanCDROMSpeedFull(CdromDrive* drive, ProgressFn progress, void* user) {
    RunNamed("ScanCDROMSpeedFull", drive, progress, user, FullScan);
}

void ScanCDROMSpeedRead(CdromDrive* drive, ProgressFn progress, void* user) {
    RunNamed("ScanCDROMSpeedRead", drive, progress, user, ScanRead);
}

}  // namespace tarvik
