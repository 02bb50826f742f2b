// The SG_IO set through the SgOs seam: the header it hands the kernel for
// each data direction, what it makes of status, sense and residual counts,
// and, with the simulator behind the ioctl, the core's retries and a drive
// that vanishes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "drive/drive.h"
#include "drive/drive_list.h"
#include "drive/speed_control.h"
#include "scsi/errors.h"
#include "scsi/mmc.h"
#include "scsi/sg_transport.h"
#include "sim_sg.h"
#include "sim_test_util.h"

namespace tarvik {
namespace {

// Records each header as handed over; `answer` plays the kernel.
class ScriptedSgOs final : public SgOs {
public:
    int Open(const std::string& path, int flags, int* error) override {
        opens.push_back({path, flags});
        if (openErrors.empty()) return 7;
        *error = openErrors.front();
        openErrors.erase(openErrors.begin());
        return -1;
    }
    void Close(int fd) override { closed += fd == 7; }
    int SgIo(int, sg_io_hdr* h, int* error) override {
        sent.push_back(*h);
        // cmdp points into the caller's frame, gone once the command returns.
        cdbs.emplace_back(h->cmdp, h->cmdp + h->cmd_len);
        if (ioctlError) {
            *error = ioctlError;
            return -1;
        }
        if (answer) answer(*h);
        return 0;
    }
    int LockDoor(int, int lock, int* error) override {
        locks.push_back(lock);
        if (lockError) *error = lockError;
        return lockError ? -1 : 0;
    }

    std::vector<std::pair<std::string, int>> opens;
    std::vector<int> openErrors;  // for the next opens, then they succeed
    int closed = 0;
    int ioctlError = 0;
    std::vector<sg_io_hdr> sent;
    std::vector<std::vector<uint8_t>> cdbs;
    std::function<void(sg_io_hdr&)> answer;
    std::vector<int> locks;  // the lock ioctl's argument, each call
    int lockError = 0;
};

const DriveAddress kDrive{2, 1, 0, 0};

class SgTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTransportState();
        SetSgOs(&os_);
        SetSgDrives({{"/dev/sr0", kDrive}});
        InstallTransport(&SgTransport(), kTransportSpti);
    }
    void TearDown() override {
        ResetTransportState();
        SetSgOs(nullptr);
        SetSgDrives({});
    }
    ScsiRequest Request(uint32_t dataLength, uint32_t direction, uint32_t sense = 16) {
        ScsiRequest r;
        r.SetAddress(kDrive);
        r.cdbLength = 10;
        r.cdb[0] = 0x5A;
        r.senseLength = sense;
        r.dataLength = dataLength;
        r.data = dataLength ? buffer_ : nullptr;
        r.direction = direction;
        return r;
    }

    ScriptedSgOs os_;
    uint8_t buffer_[64] = {};
};

TEST_F(SgTest, HeaderForEachDataDirection) {
    struct Case {
        uint32_t length, direction;
        int expected;
    } cases[] = {{0, 0, SG_DXFER_NONE},
                 {0, 1, SG_DXFER_NONE},
                 {64, 0, SG_DXFER_FROM_DEV},
                 {28, 1, SG_DXFER_TO_DEV}};
    for (const Case& c : cases) {
        ScsiRequest r = Request(c.length, c.direction, 40);  // more sense than there is room for
        ASSERT_EQ(Transport().TransportExecute(&r), 1);
        const sg_io_hdr& h = os_.sent.back();
        EXPECT_EQ(h.interface_id, 'S');
        EXPECT_EQ(h.dxfer_direction, c.expected) << c.length << " " << c.direction;
        EXPECT_EQ(h.dxfer_len, c.length);
        EXPECT_EQ(h.dxferp, c.length ? buffer_ : nullptr);
        EXPECT_EQ(h.cmd_len, 10);
        EXPECT_EQ(h.cmdp[0], 0x5A);
        EXPECT_EQ(h.mx_sb_len, 16);
        EXPECT_NE(h.sbp, nullptr);
        EXPECT_EQ(h.timeout, 30000u);
    }
    EXPECT_EQ(os_.opens.size(), 4u);
    EXPECT_EQ(os_.opens[0], (std::pair<std::string, int>{"/dev/sr0", O_RDWR | O_NONBLOCK}));
    EXPECT_EQ(os_.closed, 4);
}

TEST_F(SgTest, StatusSenseAndResidual) {
    // CHECK CONDITION with NOT READY / medium not present, 10 bytes of 64 moved.
    os_.answer = [](sg_io_hdr& h) {
        const uint8_t sense[14] = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x01};
        std::memcpy(h.sbp, sense, sizeof sense);
        h.sb_len_wr = sizeof sense;
        h.status = 2;
        h.driver_status = 0x08;
        h.resid = static_cast<int>(h.dxfer_len) - 10;
    };
    ScsiRequest r = Request(64, 0);
    r.osError = r.aspiStatus = r.adapterStatus = 7;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.osError, -1);
    EXPECT_EQ(r.aspiStatus, -1);
    EXPECT_EQ(r.adapterStatus, -1);
    EXPECT_EQ(r.targetStatus, 2);
    EXPECT_EQ(r.senseKey, 2);
    EXPECT_EQ(r.senseLength, 14u);
    EXPECT_EQ(r.sense[12], 0x3A);
    EXPECT_EQ(r.dataLength, 10u);

    // A driver that claims more sense or a negative residual stays in bounds.
    os_.answer = [](sg_io_hdr& h) {
        h.sb_len_wr = 200;
        h.sbp[0] = 0x72;
        h.sbp[1] = 0x06;
        h.status = 2;
        h.resid = -4096;
    };
    r = Request(8, 0);
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.senseLength, 16u);
    EXPECT_EQ(r.senseKey, 6);
    EXPECT_EQ(r.dataLength, 8u);

    // No sense asked for: a refused command gives no key to retry on.
    os_.answer = [](sg_io_hdr& h) { h.status = 2; };
    r = Request(0, 0, 0);
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(os_.sent.back().mx_sb_len, 0);
    EXPECT_EQ(r.senseKey, -1);
}

TEST_F(SgTest, HostOrDriverFailureIsNeverSuccess) {
    struct Case {
        uint16_t host, driver;
        int32_t error;
    } cases[] = {{0x03, 0, ETIMEDOUT},
                 {0, 0x06, ETIMEDOUT},
                 {0x01, 0, ENODEV},
                 {0x07, 0, EIO},
                 {0, 0x04, EIO}};
    for (const Case& c : cases) {
        os_.answer = [&](sg_io_hdr& h) {
            h.host_status = c.host;
            h.driver_status = c.driver;
            h.resid = 0;  // status GOOD and all "transferred": still a failure
        };
        ScsiRequest r = Request(32, 0);
        EXPECT_EQ(Transport().TransportExecute(&r), 0) << c.host << "/" << c.driver;
        EXPECT_EQ(r.osError, c.error);
        EXPECT_EQ(r.targetStatus, -1);
        EXPECT_EQ(r.dataLength, 0u);
    }
}

TEST_F(SgTest, SystemErrorsReachTheRequest) {
    os_.ioctlError = ENODEV;  // unplugged mid-command
    ScsiRequest r = Request(32, 0);
    r.targetStatus = 9;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.osError, ENODEV);
    EXPECT_EQ(r.targetStatus, -1);
    EXPECT_EQ(r.dataLength, 0u);
    EXPECT_EQ(os_.closed, 1);

    r = Request(32, 0);
    r.data = nullptr;  // a length without a buffer never reaches the kernel
    const size_t sent = os_.sent.size();
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.osError, EINVAL);
    EXPECT_EQ(os_.sent.size(), sent);

    r = Request(0, 0);
    r.adapter = 9;  // not a drive of the table
    EXPECT_EQ(Transport().TransportOpen(&r), nullptr);
    EXPECT_EQ(r.osError, ENXIO);
}

TEST_F(SgTest, PermissionFallsBackToReadOnlyOrIsReported) {
    os_.openErrors = {EACCES};
    bool readOnly = false;
    int error = 0;
    EXPECT_EQ(OpenSgNode("/dev/sr0", &error, &readOnly), 7);
    EXPECT_TRUE(readOnly);
    ASSERT_EQ(os_.opens.size(), 2u);
    EXPECT_EQ(os_.opens[1].second, O_RDONLY | O_NONBLOCK);

    os_.opens.clear();
    os_.openErrors = {EACCES, EACCES};
    ScsiRequest r = Request(0, 0);
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.osError, EACCES);
    EXPECT_TRUE(os_.sent.empty());

    os_.opens.clear();
    os_.openErrors = {ENOENT};  // gone: no second try
    EXPECT_EQ(OpenSgNode("/dev/sr0", &error, &readOnly), -1);
    EXPECT_EQ(error, ENOENT);
    EXPECT_EQ(os_.opens.size(), 1u);
}

TEST_F(SgTest, WalkFollowsTheTableAndDropsDuplicateAddresses) {
    EXPECT_EQ(
        SetSgDrives(
            {{"/dev/sr0", {0, 0, 0, 'D'}}, {"/dev/sr1", {1, 0, 0, 0}}, {"/dev/sr9", {0, 0, 0, 0}}}),
        2u);
    DriveAddress a;
    std::vector<std::string> nodes;
    for (int more = Transport().FindFirstDrive(&a); more; more = Transport().FindNextDrive(&a)) {
        EXPECT_EQ(a.letter, 0u);
        nodes.push_back(std::to_string(a.adapter));
    }
    EXPECT_EQ(nodes, (std::vector<std::string>{"0", "1"}));
}

// The sr driver undoes a plain PREVENT at the node's last close: the lock goes
// through its lock ioctl, and only a node without one (sg) gets the command.
TEST_F(SgTest, LockGoesThroughTheDriversLockIoctl) {
    const DriveAddress drive = kDrive;
    EXPECT_NE(PreventCDROMRemoval(drive, 1), 0);
    EXPECT_NE(PreventCDROMRemoval(drive, 0), 0);
    EXPECT_EQ(os_.locks, (std::vector<int>{1, 0}));
    EXPECT_TRUE(os_.sent.empty());

    os_.lockError = ENOTTY;
    EXPECT_NE(PreventCDROMRemoval(drive, 1), 0);
    ASSERT_EQ(os_.sent.size(), 1u);
    EXPECT_EQ(os_.cdbs[0][0], 0x1E);
    EXPECT_EQ(os_.cdbs[0][4], 0x01);

    // The drive cannot lock, or refused: failures with the reason.
    for (const int error : {EOPNOTSUPP, EIO}) {
        os_.lockError = error;
        EXPECT_EQ(PreventCDROMRemoval(drive, 0), 0) << error;
        ScsiLastError last;
        GetLastScsiError(&last);
        EXPECT_EQ(last.osError, error);
        EXPECT_EQ(last.targetStatus, -1);
    }
    EXPECT_EQ(os_.sent.size(), 1u);
    // A lock refused as busy stays refused; an unlock refused as busy (a user
    // who is not root, others hold the node open) goes out as ALLOW by SG_IO.
    os_.lockError = EBUSY;
    EXPECT_EQ(PreventCDROMRemoval(drive, 1), 0);
    EXPECT_EQ(os_.sent.size(), 1u);
    EXPECT_NE(PreventCDROMRemoval(drive, 0), 0);
    ASSERT_EQ(os_.sent.size(), 2u);
    EXPECT_EQ(os_.cdbs[1], (std::vector<uint8_t>{0x1E, 0, 0, 0, 0, 0}));
    EXPECT_EQ(os_.closed, static_cast<int>(os_.locks.size()));
}

// ---- the simulator behind the ioctl ------------------------------------------

class SgSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTransportState();
        bus_.Add(simtest::ProfileFromText(
            R"({"speeds": {"cd": {"read": [7056, 1411], "spinUpMs": 2000}},
                "medium": {"kind": "cd"}, "startsReady": false, "latencyMs": {"default": 0}})"));
        bus_.Add(simtest::ProfileFromText(
            R"({"speeds": {"cd": {"read": [7056, 1411]}}, "medium": {"kind": "cd"},
                "latencyMs": {"default": 0}, "faults": [{"opcode": "0xBB", "error": "vanish"}]})"));
        os_ = std::make_unique<sim::SimSgOs>(bus_);
        SetSgOs(os_.get());
        SetClock(&bus_.clock());
        SetSgDrives({{"/dev/sr0", {3, 0, 0, 0}}, {"/dev/sr1", {4, 0, 0, 0}}});
        InstallTransport(&SgTransport(), kTransportSpti);
    }
    void TearDown() override {
        ResetTransportState();
        SetSgOs(nullptr);
        SetClock(nullptr);
        SetSgDrives({});
    }
    const DriveAddress drive_{3, 0, 0, 0};
    sim::Bus bus_;
    std::unique_ptr<sim::SimSgOs> os_;
};

TEST_F(SgSimTest, RetryRulesAsOverAnyTransport) {
    // Spinning up: NOT READY, tried three times half a second apart.
    EXPECT_EQ(ReadCDROMCapacity(drive_), 0u);
    ASSERT_EQ(bus_.Trace().size(), 3u);
    EXPECT_EQ(bus_.Trace()[1].t - bus_.Trace()[0].t, 500u);
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.targetStatus, 2);
    EXPECT_EQ(last.osError, -1);
    // A tray command asks for no sense: sent once whatever the drive says.
    bus_.ClearTrace();
    (void)PreventCDROMRemoval(drive_, 1);
    EXPECT_EQ(bus_.Trace().size(), 1u);
    EXPECT_EQ(os_->opened, os_->closed);
}

TEST_F(SgSimTest, DriveListAndSpeedThroughTheIoctl) {
    bus_.virtualClock().Advance(5000);  // spun up
    ASSERT_EQ(BuildDriveList(), 1);
    ASSERT_GE(CdromList.count(), 1u);
    EXPECT_STRNE(CdromList.drives[0].Name, "<unknown>");
    EXPECT_EQ(CdromList.drives[0].Address.adapter, 3u);
    CdromDrive* d = &CdromList.drives[0];
    SetSpeed(d, 1411);
    EXPECT_EQ(bus_.At(0).SpeedInForce(sim::Family::Cd), 1411u);
    FreeDriveList();
}

TEST_F(SgSimTest, DriveVanishingMidCommand) {
    const DriveAddress unplugged{4, 0, 0, 0};
    // Unplugged while the speed command runs: the ioctl on the open node
    // fails, and that is final (no sense, nothing to retry on).
    EXPECT_EQ(SetCDROMSpeed(unplugged, 1411, 0), 0);
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.osError, ENODEV);
    EXPECT_EQ(last.targetStatus, -1);
    EXPECT_EQ(bus_.Trace().size(), 1u);
    // The drive is marked gone: the next command is not even sent.
    EXPECT_EQ(TestUnitReady(unplugged), -1);
    GetLastScsiError(&last);
    EXPECT_EQ(last.osError, ENODEV);
    EXPECT_EQ(bus_.Trace().size(), 1u);
    EXPECT_EQ(BrokenDriveFault(unplugged), DriveFault::Gone);
    EXPECT_EQ(os_->opened, os_->closed);
}

// The drive stays locked once our descriptor is closed; the driver's own
// ALLOW at the last close undoes only a lock sent as a plain command (on an
// sr node), and a user's unlock, refused by the ioctl while another program
// holds the node, goes through as a command.
TEST_F(SgSimTest, LockHoldsAfterTheNodeIsClosed) {
    const DriveAddress drive{4, 0, 0, 0};
    EXPECT_NE(PreventCDROMRemoval(drive, 1), 0);
    EXPECT_TRUE(bus_.At(1).Locked());
    ASSERT_EQ(bus_.Trace().size(), 1u);
    EXPECT_EQ(bus_.Trace()[0].cdb, (std::vector<uint8_t>{0x1E, 0, 0, 0, 1, 0}));
    EXPECT_EQ(LoadEjectCDROM(drive, 1), 0);
    EXPECT_FALSE(bus_.At(1).TrayOpen());
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.asc, -1);  // asked for no sense
    EXPECT_EQ(LoadEjectCDROMWithSense(drive, 1), 0);
    GetLastScsiError(&last);
    EXPECT_EQ(RefusalText(last),
              "the tray is locked: medium removal is prevented (05/53/02, Illegal Request)");

    // Another program holds the node: the driver refuses its unlock ioctl to
    // a user who is not root, and the ALLOW by SG_IO that follows unlocks.
    int error = 0;
    const int other = os_->Open("/dev/sr1", O_RDONLY | O_NONBLOCK, &error);
    ASSERT_GE(other, 0);
    bus_.ClearTrace();
    EXPECT_NE(PreventCDROMRemoval(drive, 0), 0);
    EXPECT_FALSE(bus_.At(1).Locked());
    ASSERT_EQ(bus_.Trace().size(), 1u);
    EXPECT_EQ(bus_.Trace()[0].cdb, (std::vector<uint8_t>{0x1E, 0, 0, 0, 0, 0}));
    EXPECT_NE(LoadEjectCDROM(drive, 1), 0);
    EXPECT_TRUE(bus_.At(1).TrayOpen());
    EXPECT_NE(LoadEjectCDROM(drive, 0), 0);
    os_->Close(other);
    EXPECT_FALSE(bus_.At(1).Locked());

    // A plain PREVENT (what the set sends to a node without the ioctl) ends
    // with the close on sr; an sg node does not unlock on close.
    const int fd = os_->Open("/dev/sr1", O_RDWR | O_NONBLOCK, &error);
    const uint8_t prevent[6] = {0x1E, 0, 0, 0, 1, 0};
    sg_io_hdr h{};
    h.interface_id = 'S';
    h.cmd_len = 6;
    h.cmdp = const_cast<uint8_t*>(prevent);
    h.dxfer_direction = SG_DXFER_NONE;
    ASSERT_EQ(os_->SgIo(fd, &h, &error), 0);
    EXPECT_TRUE(bus_.At(1).Locked());
    os_->Close(fd);
    EXPECT_FALSE(bus_.At(1).Locked());

    os_->MapNode("/dev/sg4", 1);
    SetSgDrives({{"/dev/sg4", drive}});
    EXPECT_NE(PreventCDROMRemoval(drive, 1), 0);
    EXPECT_TRUE(bus_.At(1).Locked());
}

}  // namespace
}  // namespace tarvik
