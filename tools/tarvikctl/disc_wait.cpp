// Linux reports a disc change (the udev media-change event) as soon as the
// drive notices the disc, seconds before it has spun up. Until then a drive
// reports neither the disc's kind nor its profile, so the program would take
// the disc for an empty tray or a CD and restore the wrong speed, or none; on
// Windows the notice comes only once the disc is mounted. So a disc event
// first asks each drive concerned until it is ready or plainly empty.
#include "disc_wait.h"

#include "drive/all_drives.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "drive/speed_control.h"
#include "platform/clock.h"
#include "scsi/mmc.h"
#include "scsi/sense.h"

namespace tarvik::ctl {

namespace {

constexpr uint32_t kPollMs = 500;
// NOT READY, "logical unit is in process of becoming ready" / "operation in
// progress": a disc being loaded. An empty tray says 3Ah and is not waited for.
constexpr int32_t kAscNotReadyCause = 0x04;
constexpr int32_t kAscqBecomingReady = 0x01;
constexpr int32_t kAscqOperationInProgress = 0x07;

// One TEST UNIT READY, without the transport's retries: true while the
// drive is still loading a disc (or reports the change itself, which it does
// once, just as the disc becomes ready).
bool StillLoading(const DriveAddress& address) {
    SenseInfo sense;
    if (TestUnitReady(address, &sense) == 0) return false;
    if (sense.key == kSenseUnitAttention) return true;
    return sense.key == kSenseNotReady && sense.asc == kAscNotReadyCause &&
           (sense.ascq == kAscqBecomingReady || sense.ascq == kAscqOperationInProgress);
}

}  // namespace

void WaitForDiscs(uint32_t letterMask, Writer& err) {
    Clock& clock = GetClock();
    const uint32_t start = clock.TickCount();
    for (uint32_t i = 0; i < CdromList.count(); ++i) {
        const CdromDrive& drive = CdromList.drives[i];
        if (!EventConcernsDrive(drive, kEventDiskChange, letterMask)) continue;
        // One deadline for all drives: two discs spin up side by side.
        bool loading = StillLoading(drive.Address);
        while (loading && clock.TickCount() - start < kDiscWaitMs) {
            clock.Sleep(kPollMs);
            loading = StillLoading(drive.Address);
        }
        if (loading)
            err << "tarvikctl: drive " << i << " is still not ready after " << kDiscWaitMs / 1000
                << " s; its speed is restored all the same\n";
    }
}

}  // namespace tarvik::ctl
