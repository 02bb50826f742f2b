#pragma once
// Does the drive obey? The verdict per medium family, learnt from the speed
// commands the program sends anyway, from detections, and from a check the
// user asks for; and winning a speed back that another program raised.
#include <array>
#include <cstdint>
#include <span>
#include <utility>

#include "drive/drive.h"
#include "scsi/request.h"

namespace tarvik {

// Added to a stored verdict that a timed read gave: what the disc does beats
// what the drive says, so answers to speed commands never overwrite it.
constexpr uint32_t kVerdictByRead = 0x100;
inline uint32_t VerdictKind(uint32_t stored) { return stored & 0xFF; }

// A failed command the drive answered with ILLEGAL REQUEST: it does not take
// such a command (an unknown opcode, a field it will not accept), as opposed to
// one that failed on the way.
bool WasIllegalRequest(const ScsiLastError& e);

// What SetSpeed learns from its own command, after its state check: the
// reported speed moving with the command means obeys; staying put while asked
// both for far more and for far less means ignores. Sends nothing. Returns
// true when a verdict changed.
bool NoteSpeedAnswer(CdromDrive* drive, uint32_t command, uint32_t before);

// What a detection learnt for the family in the drive: both commands refused
// at full speed; otherwise whether the scan's reported speeds moved (count of
// the list it found) or, after a Measure, how its rates were judged.
struct DetectionFacts {
    bool cdSpeedRefused = false;
    bool streamingRefused = false;
    bool measured = false;  // the scan was a Measure
    bool scanned = false;   // a scan ran to its end (not cancelled)
    uint32_t count = 0;
    MeasureJudgement judgement = MeasureJudgement::None;
};
void NoteDetection(CdromDrive* drive, const DetectionFacts& facts);

// Whether measured rates fall as the command falls. rates: (command, rate)
// pairs in the order measured, failed measurements (rate 0) included.
MeasureJudgement JudgeRates(std::span<const std::pair<uint32_t, uint32_t>> rates);

// The check the user asks for (tarvikctl verify): each speed command at a low
// and at the full speed, the reported speed read back after each; with
// withRead a one-second timed read at both. Puts the drive back to the
// selected speed (or the one it ran at), then checks its state.
struct VerifyMethod {
    bool accepted = false;  // both requests succeeded
    bool refused = false;   // a request ended in ILLEGAL REQUEST
    uint32_t reportedLow = 0;
    uint32_t reportedHigh = 0;
};
struct VerifyResult {
    uint32_t low = 0;   // KB/s asked for
    uint32_t high = 0;  // the "full speed" request
    VerifyMethod cdSpeed;
    VerifyMethod streaming;
    bool read = false;                   // the timed reads ran
    uint32_t readLow = 0, readHigh = 0;  // KB/s on the CD scale, 0 when failed
    uint32_t verdict = kVerdictUnknown;  // as stored
    uint32_t report = kReportUnknown;
};
// Returns 0 (and does nothing) when the drive is busy, else 1.
int VerifySpeedControl(CdromDrive* drive, bool withRead, VerifyResult* out);

// The six stored values, to tell whether something changed or to put them back.
using VerdictValues = std::array<uint32_t, 6>;
VerdictValues VerdictsOf(const CdromDrive& drive);
void SetVerdicts(CdromDrive* drive, const VerdictValues& values);

// Forgets every verdict (the drive model was examined anew).
void ForgetVerdicts(CdromDrive* drive);

// Why WinBack cannot act on a family: None when the drive's report follows
// the command there.
enum class WinBackBlock : uint8_t { None, NotKnown, ReportFixed, Refuses };
WinBackBlock WinBackBlockOf(const CdromDrive& drive, MediumFamily family);
// The first family the drive reads whose report follows: WinBack is offered
// when any does; else the reason of the current (or CD) family.
WinBackBlock WinBackBlockOfDrive(const CdromDrive& drive);

// The periodic check's part, after CheckDriveState: with WinBack on, a
// reported speed above the one the program set is set back once per change.
// Returns true when it sent the speed.
bool WinBackSpeed(CdromDrive* drive);

}  // namespace tarvik
