// Drives that answer nonsense: random status, sense and data for every
// command. Whatever comes back, every operation ends, nothing is written out
// of bounds, and the records keep their invariants.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "drive/all_drives.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "drive/medium.h"
#include "drive/speed_control.h"
#include "drive/speed_detect.h"
#include "drive/tray.h"
#include "platform/clock.h"
#include "platform/registry_memory.h"
#include "scsi/transport.h"
#include "settings/store.h"

namespace tarvik {
namespace {

std::mt19937 g_rng;
VirtualClock g_clock;
int g_drivesLeft = 0;

uint32_t Roll(uint32_t n) { return static_cast<uint32_t>(g_rng() % n); }

int Answer(ScsiRequest* r) {
    g_clock.Advance(1);  // even nonsense takes time, as on a real bus
    r->ClearStatus();
    const uint32_t kind = Roll(10);
    if (kind == 0) {
        r->osError = 1117;
        return 0;
    }
    if (kind <= 2) {
        r->targetStatus = 2;
        r->senseKey = static_cast<int32_t>(Roll(16));
        return 0;
    }
    r->targetStatus = 0;
    if (r->direction == 0 && r->data && r->dataLength) {
        auto* p = static_cast<uint8_t*>(r->data);
        // Past the few bytes the decoders read, more noise proves nothing
        // and only costs time (reads move 64 KB a command).
        const uint32_t n = Roll(std::min<uint32_t>(r->dataLength, 512) + 1);
        for (uint32_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(g_rng());
        // Often enough a page or header where decoders look for one, so the
        // answers get past the first check and into the fields behind it.
        if (n > 16 && Roll(2)) p[8] = 0x2A;
        if (n > 8 && Roll(3) == 0) p[2] = static_cast<uint8_t>(Roll(2) ? 0x71 : Roll(0x30));
        std::memset(p + n, 0, r->dataLength - n);
        r->dataLength = n;
    }
    return 1;
}

int Execute(ScsiRequest* r) { return Answer(r); }
int ExecuteOn(ScsiRequest* r, TransportHandle) { return Answer(r); }
TransportHandle Open(ScsiRequest*) { return reinterpret_cast<TransportHandle>(1); }
void Close(TransportHandle) {}
int First(DriveAddress* a) {
    *a = DriveAddress{0, 0, 0, 'D'};
    return g_drivesLeft-- > 0;
}
int Next(DriveAddress* a) {
    a->target++;
    a->letter++;
    return g_drivesLeft-- > 0;
}

const ScsiTransport kOddTransport = {
    .TransportClose = Close,
    .TransportExecuteOn = ExecuteOn,
    .TransportOpen = Open,
    .FindNextDrive = Next,
    .FindFirstDrive = First,
    .TransportExecute = Execute,
};

void ExpectSound(const CdromDrive& d) {
    for (const SpeedList* list : {&d.SpeedListCD, &d.SpeedListDVD, &d.SpeedListBD}) {
        ASSERT_LE(list->Count, kMaxSpeedEntries);
        for (uint32_t i = 0; i < list->Count; ++i) {
            EXPECT_NE(list->Entries[i].Speed, 0u);
            EXPECT_NE(list->Entries[i].Command, 0u);
            if (i) {
                EXPECT_LT(list->Entries[i].Speed, list->Entries[i - 1].Speed);
            }
        }
    }
    EXPECT_TRUE(d.CurrentFamily == MediumFamily::CD || d.CurrentFamily == MediumFamily::DVD ||
                d.CurrentFamily == MediumFamily::BD);
    const int32_t c = d.MediumClass;
    EXPECT_TRUE(c == 0 || c == 1 || c == 2 || c == 4 || c == 8) << c;
    EXPECT_EQ(d.Busy, 0u);
}

class DriveOddAnswers : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegistry(&registry_);
        SetClock(&g_clock);
        previous_ = InstallTransport(&kOddTransport, kTransportSpti);
        GlobalSettings = GlobalSettingsRecord{};
        GlobalSettings.ShowUnknown = 1;
    }
    void TearDown() override {
        FreeDriveList();
        InstallTransport(previous_, kTransportSpti);
        SetClock(nullptr);
        SetRegistry(nullptr);
    }
    MemoryRegistry registry_;
    const ScsiTransport* previous_ = nullptr;
};

TEST_F(DriveOddAnswers, EveryOperationEndsAndKeepsTheRecordSound) {
    for (uint32_t seed = 1; seed <= 120; ++seed) {
        SCOPED_TRACE(seed);
        g_rng.seed(seed);
        registry_.Clear();
        g_drivesLeft = 1 + static_cast<int>(seed % 3);
        BuildDriveList();
        ASSERT_GE(CdromList.count(), 1u);
        CdromDrive* d = &CdromList.drives[0];
        ExpectSound(*d);

        CheckDriveState(d);
        d->CurrentList().Selected = 1 + Roll(20000);
        RestoreSpeed(d);
        SpeedFaster(d);
        SpeedSlower(d);
        EjectCDROM(d, static_cast<int>(Roll(2)));
        (void)CheckTrayClosed(d);
        ScanCDROMSpeedFast(d, nullptr, nullptr);
        ExpectSound(*d);
        if (seed % 12 == 0) {
            ScanCDROMSpeedRead(d, nullptr, nullptr);
            ScanCDROMSpeedFull(d, nullptr, nullptr);
        }
        RestoreSpeedOnEvent(kEventDiskChange, Roll(2) ? 0 : 1u << 3);
        (void)DisksPresentMask(0);
        (void)IsAllClosed();
        for (uint32_t i = 0; i < CdromList.count(); ++i) ExpectSound(CdromList.drives[i]);
        if (HasFailure()) return;
    }
}

}  // namespace
}  // namespace tarvik
