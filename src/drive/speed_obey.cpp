// Whether a drive obeys the speed commands, and winning back a speed that
// another program raised.
#include "drive/speed_obey.h"

#include <algorithm>
#include <vector>

#include "base/log.h"
#include "drive/drive_list.h"
#include "drive/drive_store.h"
#include "drive/medium.h"
#include "drive/speed_control.h"
#include "drive/speed_detect.h"
#include "scsi/mmc.h"
#include "scsi/sense.h"
#include "scsi/transport.h"

namespace tarvik {

namespace {

constexpr uint32_t kMaxRequest = 0xFFFF;
// The low request of a check: 4x is a speed nearly every drive offers, far
// enough below any drive's top speed to tell a moving report from a fixed one.
constexpr uint32_t kLowFactors = 4;
// A SetSpeed request counts for "stays put" only this many 1x steps away from
// the reported speed: nearer ones may be rounded back to where it is.
constexpr uint32_t kFarFactors = 2;

// Reads obey when the full-speed rate is at least 3/2 of the low one.
bool ReadsFollow(uint32_t low, uint32_t high) { return uint64_t{high} * 2 >= uint64_t{low} * 3; }

const char* KindName(uint32_t v) {
    switch (VerdictKind(v)) {
        case kVerdictObeys: return "obeys";
        case kVerdictIgnores: return "ignores";
        case kVerdictRefuses: return "refuses";
        default: return "unknown";
    }
}

bool Set(CdromDrive* drive, uint32_t& field, uint32_t value) {
    if (field == value) return false;
    LogPrintf("    Speed verdict [%s]: %s%s\n", drive->Name, KindName(value),
              value & kVerdictByRead ? " (timed read)" : "");
    field = value;
    return true;
}

// A verdict from the drive's answers: never over one a read gave.
bool SetFromAnswers(CdromDrive* drive, uint32_t verdict) {
    uint32_t& field = drive->VerdictOf(drive->CurrentFamily);
    if (field & kVerdictByRead) return false;
    return Set(drive, field, verdict);
}

}  // namespace

bool WasIllegalRequest(const ScsiLastError& e) {
    constexpr int32_t kCheckCondition = 2;  // SCSI status; ASPI reports the same
    return e.targetStatus == kCheckCondition && e.senseKey == kSenseIllegalRequest;
}

bool NoteSpeedAnswer(CdromDrive* drive, uint32_t command, uint32_t before) {
    const uint32_t after = drive->CurrentSpeed;
    if (drive->SpeedCommandFailed || before == 0 || after == 0) return false;
    const MediumFamily family = drive->CurrentFamily;
    const uint32_t far = kFarFactors * drive->CurrentList().Factor;
    bool changed = false;
    if ((command < before && after < before) || (command > before && after > before)) {
        drive->StayedWays = 0;
        changed = Set(drive, drive->ReportOf(family), kReportFollows);
        // A drive seen obeying once is not turned to "ignores" by a later
        // answer that lags (some take up a speed only with a read).
        return SetFromAnswers(drive, kVerdictObeys) || changed;
    }
    if (after != before) return false;
    const uint32_t way = command >= before + far ? 1u : command + far <= before ? 2u : 0u;
    if (way == 0) return false;
    if (drive->StayedAt != after) {
        drive->StayedAt = after;
        drive->StayedWays = 0;
    }
    drive->StayedWays |= way;
    if (drive->StayedWays != 3) return false;
    if (drive->ReportOf(family) == kReportFollows) return false;
    changed = Set(drive, drive->ReportOf(family), kReportFixed);
    return SetFromAnswers(drive, kVerdictIgnores) || changed;
}

void NoteDetection(CdromDrive* drive, const DetectionFacts& f) {
    const MediumFamily family = drive->CurrentFamily;
    uint32_t& verdict = drive->VerdictOf(family);
    if (f.cdSpeedRefused && f.streamingRefused) {
        (void)Set(drive, verdict, kVerdictRefuses);
        (void)Set(drive, drive->ReportOf(family), kReportUnknown);
        return;
    }
    // A command went through: whatever said "refuses" before is out of date.
    if (VerdictKind(verdict) == kVerdictRefuses) (void)Set(drive, verdict, kVerdictUnknown);
    if (!f.scanned) return;
    if (f.measured) {
        if (f.judgement == MeasureJudgement::Follows)
            (void)Set(drive, verdict, kVerdictObeys | kVerdictByRead);
        else if (f.judgement == MeasureJudgement::Flat)
            (void)Set(drive, verdict, kVerdictIgnores | kVerdictByRead);
        return;
    }
    // The scans ask from the top speed down to 1x: more than one speed found
    // means the report moved with the command; exactly one, that it stayed.
    if (f.count > 1) {
        (void)Set(drive, drive->ReportOf(family), kReportFollows);
        (void)SetFromAnswers(drive, kVerdictObeys);
    } else if (f.count == 1) {
        (void)Set(drive, drive->ReportOf(family), kReportFixed);
        (void)SetFromAnswers(drive, kVerdictIgnores);
    }
}

MeasureJudgement JudgeRates(std::span<const std::pair<uint32_t, uint32_t>> rates) {
    // Rates within 5% of each other are one speed: a drive's own wobble is
    // no order.
    std::vector<std::pair<uint32_t, uint32_t>> v;
    for (const auto& r : rates)
        if (r.second != 0) v.push_back(r);
    if (v.size() < 4) return MeasureJudgement::None;
    const auto same = [](uint32_t a, uint32_t b) {
        const uint64_t hi = std::max(a, b), lo = std::min(a, b);
        return (hi - lo) * 20 < hi;
    };
    // Goodman-Kruskal gamma: of the pairs that differ in both, how many more
    // order like their commands than against them.
    int64_t concordant = 0, discordant = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        for (size_t j = i + 1; j < v.size(); ++j) {
            if (v[i].first == v[j].first || same(v[i].second, v[j].second)) continue;
            const bool up = v[i].first > v[j].first;
            const bool faster = v[i].second > v[j].second;
            (up == faster ? concordant : discordant) += 1;
        }
    }
    // The slowest third of commands must read clearly slower than the fastest.
    std::sort(v.begin(), v.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    const size_t third = v.size() / 3;
    const auto median = [](std::vector<uint32_t> x) {
        std::nth_element(x.begin(), x.begin() + static_cast<ptrdiff_t>(x.size() / 2), x.end());
        return x[x.size() / 2];
    };
    std::vector<uint32_t> top, bottom;
    for (size_t i = 0; i < third; ++i) {
        top.push_back(v[i].second);
        bottom.push_back(v[v.size() - 1 - i].second);
    }
    const uint64_t topRate = median(top), bottomRate = median(bottom);
    const bool falls = bottomRate * 5 <= topRate * 4;
    const int64_t pairs = concordant + discordant;
    const bool ordered = pairs > 0 && (concordant - discordant) * 2 >= pairs;
    LogPrintf("    JudgeRates: concordant=%d discordant=%d top=%u bottom=%u\n",
              static_cast<int>(concordant), static_cast<int>(discordant),
              static_cast<unsigned>(topRate), static_cast<unsigned>(bottomRate));
    if (ordered && falls) return MeasureJudgement::Follows;
    const auto [lo, hi] = std::minmax_element(
        v.begin(), v.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    if (uint64_t{hi->second} * 4 <= uint64_t{lo->second} * 5) return MeasureJudgement::Flat;
    return MeasureJudgement::Noise;
}

int VerifySpeedControl(CdromDrive* drive, bool withRead, VerifyResult* out) {
    LogPrintf("VerifySpeedControl [%s]\n", drive->Name);
    VerifyResult r;
    {
        DriveOp op(drive);
        if (!op) return 0;
        (void)CheckDriveMode(drive);
        const SpeedList& list = drive->CurrentList();
        const uint32_t before = drive->CurrentSpeed;
        r.low = kLowFactors * list.Factor;
        r.high = kMaxRequest;

        const SpeedProbe* accepted = nullptr;
        for (auto [probe, m] : {std::pair{&kProbeSetCdSpeed, &r.cdSpeed},
                                std::pair{&kProbeSetStreaming, &r.streaming}}) {
            bool ok = true;
            for (auto [speed, reported] :
                 {std::pair{r.low, &m->reportedLow}, std::pair{r.high, &m->reportedHigh}}) {
                if (!probe->Set(drive, speed)) {
                    ScsiLastError e;
                    GetLastScsiError(&e);
                    m->refused = m->refused || WasIllegalRequest(e);
                    ok = false;
                    continue;
                }
                *reported = probe->Get(drive);
            }
            m->accepted = ok;
            LogPrintf("    %s: accepted=%d refused=%d low=%u high=%u\n",
                      probe == &kProbeSetCdSpeed ? "SET CD SPEED" : "SET STREAMING", ok ? 1 : 0,
                      m->refused ? 1 : 0, m->reportedLow, m->reportedHigh);
            if (ok && !accepted) accepted = probe;
        }

        const MediumFamily family = drive->CurrentFamily;
        uint32_t verdict = kVerdictUnknown;
        uint32_t report = kReportUnknown;
        if (r.cdSpeed.refused && r.streaming.refused) {
            verdict = kVerdictRefuses;
        } else {
            // The report of the command the program uses decides; the other
            // only when that one told nothing.
            const bool streamingFirst = ChooseSpeedMethod(list, kMethodAuto) == kMethodSetStreaming;
            const VerifyMethod* order[2] = {streamingFirst ? &r.streaming : &r.cdSpeed,
                                            streamingFirst ? &r.cdSpeed : &r.streaming};
            for (const VerifyMethod* m : order) {
                if (!m->accepted || m->reportedLow == 0 || m->reportedHigh == 0) continue;
                report = m->reportedHigh > m->reportedLow ? kReportFollows : kReportFixed;
                break;
            }
            verdict = report == kReportFollows ? kVerdictObeys
                      : report == kReportFixed ? kVerdictIgnores
                                               : kVerdictUnknown;
            if (withRead && accepted && drive->MediumPresent) {
                const uint32_t last = ReadCDROMCapacity(drive->Address);
                if (last != 0) {
                    r.read = true;
                    (void)accepted->Set(drive, r.low);
                    r.readLow = MeasureSpeed(drive, last);
                    (void)accepted->Set(drive, r.high);
                    r.readHigh = MeasureSpeed(drive, last);
                    LogPrintf("    Measured low=%u high=%u\n", r.readLow, r.readHigh);
                    if (r.readLow && r.readHigh)
                        verdict =
                            (ReadsFollow(r.readLow, r.readHigh) ? kVerdictObeys : kVerdictIgnores) |
                            kVerdictByRead;
                }
            }
        }
        // An answer-based check does not undo what a read found.
        uint32_t& stored = drive->VerdictOf(family);
        if (!(stored & kVerdictByRead) || (verdict & kVerdictByRead) ||
            VerdictKind(verdict) == kVerdictRefuses)
            if (verdict != kVerdictUnknown || stored == kVerdictUnknown)
                (void)Set(drive, stored, verdict);
        if (report != kReportUnknown || VerdictKind(verdict) == kVerdictRefuses)
            (void)Set(drive, drive->ReportOf(family), report);
        r.verdict = stored;
        r.report = drive->ReportOf(family);

        // Back to what the user chose, or to what the drive ran at.
        if (accepted) {
            const uint32_t back = list.Selected ? CommandForSpeed(list, list.Selected)
                                  : before      ? before
                                                : kMaxRequest;
            const SpeedProbe& used =
                ChooseSpeedMethod(list, kMethodAuto) == kMethodSetStreaming && r.streaming.accepted
                    ? kProbeSetStreaming
                    : *accepted;
            (void)used.Set(drive, back);
        }
    }
    CheckDriveState(drive);
    SaveDriveVerdicts(drive);
    if (out) *out = r;
    LogPrintf("FINISHED VerifySpeedControl\n");
    return 1;
}

VerdictValues VerdictsOf(const CdromDrive& d) {
    return {d.VerdictCD, d.VerdictDVD, d.VerdictBD, d.ReportCD, d.ReportDVD, d.ReportBD};
}

void SetVerdicts(CdromDrive* d, const VerdictValues& v) {
    d->VerdictCD = v[0];
    d->VerdictDVD = v[1];
    d->VerdictBD = v[2];
    d->ReportCD = v[3];
    d->ReportDVD = v[4];
    d->ReportBD = v[5];
}

void ForgetVerdicts(CdromDrive* drive) {
    drive->VerdictCD = drive->VerdictDVD = drive->VerdictBD = kVerdictUnknown;
    drive->ReportCD = drive->ReportDVD = drive->ReportBD = kReportUnknown;
    drive->StayedAt = drive->StayedWays = 0;
}

WinBackBlock WinBackBlockOf(const CdromDrive& drive, MediumFamily family) {
    if (drive.ReportOf(family) == kReportFollows) return WinBackBlock::None;
    if (VerdictKind(drive.VerdictOf(family)) == kVerdictRefuses) return WinBackBlock::Refuses;
    if (drive.ReportOf(family) == kReportFixed) return WinBackBlock::ReportFixed;
    return WinBackBlock::NotKnown;
}

WinBackBlock WinBackBlockOfDrive(const CdromDrive& drive) {
    const MediumFamily families[] = {MediumFamily::CD, MediumFamily::DVD, MediumFamily::BD};
    const uint32_t reads[] = {1, drive.IsDVD, drive.IsBD};
    for (int i = 0; i < 3; ++i)
        if (reads[i] && WinBackBlockOf(drive, families[i]) == WinBackBlock::None)
            return WinBackBlock::None;
    return WinBackBlockOf(
        drive, drive.CurrentFamily == MediumFamily::None ? MediumFamily::CD : drive.CurrentFamily);
}

bool WinBackSpeed(CdromDrive* drive) {
    const SpeedList& list = drive->CurrentList();
    if (!drive->MediumPresent) drive->SpeedHeld = 0;  // a new disc starts afresh
    const uint32_t now = drive->CurrentSpeed;
    if (!drive->WinBack || drive->Busy || list.Selected == 0 || drive->SpeedHeld == 0 || now == 0)
        return false;
    if (WinBackBlockOf(*drive, drive->CurrentFamily) != WinBackBlock::None) return false;
    if (now <= drive->SpeedHeld) {
        drive->WinBackSpent = 0;  // back where the program left it
        return false;
    }
    if (now == drive->WinBackSpent) return false;  // answered once already
    LogPrintf("WinBackSpeed [%s]: speed raised to %u (set %u), setting %u again\n", drive->Name,
              now, drive->SpeedHeld, list.Selected);
    const uint32_t held = drive->SpeedHeld;
    SetSpeed(drive, CommandForSpeed(list, list.Selected));
    // A drive that keeps the raised speed is not fought every few seconds:
    // only a further change is answered.
    if (drive->CurrentSpeed > held) {
        drive->WinBackSpent = drive->CurrentSpeed;
        drive->SpeedHeld = held;
        LogPrintf("    still at %u: left until the next change\n", drive->CurrentSpeed);
    }
    return true;
}

}  // namespace tarvik
