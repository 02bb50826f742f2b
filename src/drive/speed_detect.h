#pragma once
// Speed detection: which read speeds a drive offers for the medium family in
// it, and what to send to get each of them.
#include <cstdint>

#include "drive/drive.h"

namespace tarvik {

// Progress of a scan. A progress call has speed = command = 0 and sets a bar
// to min..max at pos; an entry report has min = max = pos = 0 and announces
// the pair about to be inserted. Returning 0 from a progress call cancels.
using ProgressFn = int (*)(uint32_t min, uint32_t max, uint32_t pos, uint32_t speed,
                           uint32_t command, void* user);

// How a scan asks a drive for a speed and reads back the speed it runs at.
struct SpeedProbe {
    int (*Set)(CdromDrive* drive, uint32_t readSpeed);  // non-zero on success
    uint32_t (*Get)(CdromDrive* drive);                 // KB/s, 0 when unknown
};
extern const SpeedProbe kProbeSetCdSpeed;    // SET CD SPEED + capabilities page
extern const SpeedProbe kProbeSetStreaming;  // SET STREAMING + GET PERFORMANCE

using ScanFn = void (*)(CdromDrive* drive, ProgressFn progress, void* user,
                        const SpeedProbe& probe);

// Keeps the list sorted fastest first, one entry per speed (the first command
// seen for a speed wins), no zero speed or command, at most 128 entries.
void InsertSpeed(SpeedList* list, uint32_t speed, uint32_t command, ProgressFn progress,
                 void* user);

// A cancel ends the detection after its running scan (no second method is
// tried); when the drive list was rebuilt during a progress call, the record
// is not touched again.
void RunSpeedDetection(CdromDrive* drive, ProgressFn progress, void* user, ScanFn scan);
void FastScan(CdromDrive* drive, ProgressFn progress, void* user, const SpeedProbe& probe);
void FullScan(CdromDrive* drive, ProgressFn progress, void* user, const SpeedProbe& probe);
void ScanRead(CdromDrive* drive, ProgressFn progress, void* user, const SpeedProbe& probe);

// One read-rate measurement near the end of the disc (last = last LBA).
// Returns KB/s on the CD scale (75 sectors a second = 176), 0 on failure.
uint32_t MeasureSpeed(CdromDrive* drive, uint32_t last);

// The automatic detection takes Busy; the other three are run by the drive
// options dialog, which holds Busy for as long as it is open.
void ScanCDROMSpeedAuto(CdromDrive* drive, ProgressFn progress, void* user);
void ScanCDROMSpeedFast(CdromDrive* drive, ProgressFn progress, void* user);
void ScanCDROMSpeedFull(CdromDrive* drive, ProgressFn progress, void* user);
void ScanCDROMSpeedRead(CdromDrive* drive, ProgressFn progress, void* user);

// Highest speed a scan starts from. Guards against a drive answering an
// absurd maximum (a bogus 4 GB/s would make the full scan run for days).
uint32_t ScanCeiling(const SpeedList& list);

}  // namespace tarvik
