// The SPTI set: letter walking, device opening, the pass-through block.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/clock.h"
#include "scsi/mmc.h"
#include "scsi/spti.h"
#include "scsi/spti_block.h"
#include "scsi/transport.h"
#include "scsi_fakes.h"

namespace tarvik {
namespace {

using testing_support::FakeOs;
using testing_support::FakeSystem;

class SptiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetTransportState();
        SetSystem(&system_);
        SetScsiOs(&os_);
        SetClock(&clock_);
        system_.drives = {{'A', 2}, {'C', 3}, {'D', kDriveCdrom}, {'F', 4}, {'G', kDriveCdrom}};
        InstallTransport(&SptiTransport(), kTransportSpti);
    }
    void TearDown() override {
        ResetTransportState();
        SetSystem(nullptr);
        SetScsiOs(nullptr);
        SetClock(nullptr);
    }

    // A driver that completes the command with the given status and sense.
    void DriverAnswers(uint8_t scsiStatus, std::vector<uint8_t> sense, uint32_t transferred,
                       int senseReturned = -1) {
        os_.driver = [=](uint8_t* block, uint32_t*) {
            PassThroughFields f;
            uint8_t s[kSenseSize] = {};
            UnpackPassThrough(block, &f, s);
            f.scsiStatus = scsiStatus;
            std::copy_n(sense.data(), std::min<size_t>(sense.size(), kSenseSize), s);
            f.senseInfoLength = static_cast<uint8_t>(
                senseReturned >= 0 ? senseReturned
                                   : std::min<size_t>(sense.size(), f.senseInfoLength));
            f.dataTransferLength = transferred;
            PackPassThrough(f, s, block);
            return true;
        };
    }

    PassThroughFields SentBlock(size_t i = 0, uint8_t* sense = nullptr) {
        PassThroughFields f;
        uint8_t s[kSenseSize];
        UnpackPassThrough(os_.ioctls.at(i).block.data(), &f, sense ? sense : s);
        return f;
    }

    FakeSystem system_;
    FakeOs os_;
    VirtualClock clock_;
};

struct WalkCase {
    uint32_t from;
    int found;
    uint32_t letter;
};

class SptiWalkTest : public SptiTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(SptiWalkTest, FindsTheNextCdromLetter) {
    const WalkCase& c = GetParam();
    DriveAddress address{7, 7, 7, 'Q'};
    EXPECT_EQ(FindCdromLetter(c.from, &address), c.found);
    if (c.found) {
        EXPECT_EQ(address.adapter, 0u);
        EXPECT_EQ(address.target, 0u);
        EXPECT_EQ(address.lun, 0u);
        EXPECT_EQ(address.letter, c.letter);
    } else {
        EXPECT_EQ(address.letter, uint32_t{'Q'}) << "unchanged when nothing is found";
        EXPECT_EQ(address.adapter, 7u);
    }
}

INSTANTIATE_TEST_SUITE_P(Letters, SptiWalkTest,
                         ::testing::Values(WalkCase{'A', 1, 'D'}, WalkCase{'D', 1, 'D'},
                                           WalkCase{'E', 1, 'G'}, WalkCase{'H', 0, 0},
                                           WalkCase{'Z' + 1, 0, 0}, WalkCase{0, 0, 0},
                                           WalkCase{0xFFFFFFFFu, 0, 0}));

TEST_F(SptiTest, WalkAsksOnlyPresentDrivesWithRootPaths) {
    DriveAddress address;
    ASSERT_EQ(FindCdromLetter('B', &address), 1);
    EXPECT_EQ(system_.typeQueries, (std::vector<std::string>{"C:\\", "D:\\"}));
}

TEST_F(SptiTest, WalkReachesZ) {
    system_.drives = {{'Z', kDriveCdrom}};
    DriveAddress address;
    EXPECT_EQ(FindCdromLetter('A', &address), 1);
    EXPECT_EQ(address.letter, uint32_t{'Z'});
    EXPECT_EQ(FindCdromLetter('Z', &address), 1);
}

TEST_F(SptiTest, TransportWalksAllDrives) {
    DriveAddress address;
    std::string letters;
    for (int more = Transport().FindFirstDrive(&address); more;
         more = Transport().FindNextDrive(&address))
        letters += static_cast<char>(address.letter);
    EXPECT_EQ(letters, "DG");
}

struct OpenCase {
    const char* name;
    std::vector<uint32_t> errors;  // per attempt, then it opens
    bool opens;
    size_t attempts;
    uint64_t waitedMs;
    uint32_t error;
};

class SptiOpenTest : public SptiTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(SptiOpenTest, RetriesOnlySharingViolations) {
    const OpenCase& c = GetParam();
    os_.openScript['D'] = {c.errors.begin(), c.errors.end()};
    if (c.errors.size() >= 3) os_.openError['D'] = c.errors.back();
    void* handle = nullptr;
    uint32_t error = 0;
    EXPECT_EQ(OpenDriveDevice('D', &handle, &error), c.opens);
    EXPECT_EQ(os_.openPaths.size(), c.attempts);
    EXPECT_EQ(clock_.Elapsed(), c.waitedMs);
    if (!c.opens) {
        EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(os_.openPaths[0], "\\\\.\\D:");
}

INSTANTIATE_TEST_SUITE_P(Errors, SptiOpenTest,
                         ::testing::Values(OpenCase{"OpensAtOnce", {}, true, 1, 0, 0},
                                           OpenCase{"SharedOnce", {32}, true, 2, 150, 0},
                                           OpenCase{"SharedTwice", {32, 32}, true, 3, 300, 0},
                                           OpenCase{
                                               "SharedAlways", {32, 32, 32}, false, 3, 450, 32},
                                           OpenCase{"AccessDenied", {5}, false, 1, 0, 5},
                                           OpenCase{"SharedThenDenied", {32, 5}, false, 2, 150, 5}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SptiTest, OpenRejectsANonLetter) {
    void* handle = nullptr;
    uint32_t error = 0;
    EXPECT_FALSE(OpenDriveDevice(0, &handle, &error));
    EXPECT_FALSE(OpenDriveDevice('a', &handle, &error));
    EXPECT_TRUE(os_.openPaths.empty());
}

TEST_F(SptiTest, InitOnOldNtOpensReadOnly) {
    system_.version = {4, 0, 1381, 2};
    EXPECT_EQ(SptiInit(), 1);
    EXPECT_EQ(GetSptiAccessMask(), kGenericRead);
    EXPECT_EQ(os_.openAccess.at(0), kGenericRead);
    system_.version = {5, 1, 2600, 2};
    EXPECT_EQ(SptiInit(), 1);
    EXPECT_EQ(GetSptiAccessMask(), kGenericRead | kGenericWrite);
}

TEST_F(SptiTest, InitStates) {
    system_.versionOk = false;
    EXPECT_EQ(SptiInit(), 0);
    EXPECT_EQ(GetSptiStatus(), 1u);

    system_.versionOk = true;
    system_.version.platformId = 1;
    EXPECT_EQ(SptiInit(), 0);
    EXPECT_EQ(GetSptiStatus(), 1u);

    system_.version.platformId = 2;
    os_.openError['D'] = 5;
    os_.openError['G'] = 5;
    EXPECT_EQ(SptiInit(), 0);
    EXPECT_EQ(GetSptiStatus(), 3u);

    os_.openError.erase('G');  // the second drive opens
    os_.openPaths.clear();
    EXPECT_EQ(SptiInit(), 1);
    EXPECT_EQ(GetSptiStatus(), 4u);
    EXPECT_EQ(os_.openPaths, (std::vector<std::string>{"\\\\.\\D:", "\\\\.\\G:"}));
    EXPECT_EQ(os_.devicesOpen, os_.devicesClosed);
}

TEST_F(SptiTest, NoCdromLetterIsOk) {
    system_.drives = {{'C', 3}};
    EXPECT_EQ(SptiInit(), 1);
    EXPECT_EQ(GetSptiStatus(), 4u);
    DriveAddress address;
    EXPECT_EQ(Transport().FindFirstDrive(&address), 0);
}

TEST_F(SptiTest, BlockAsFilledForARead) {
    DriverAnswers(0, {}, 36);
    uint8_t answer[36];
    ScsiRequest r;
    r.adapter = 1;
    r.target = 2;
    r.lun = 3;
    r.letter = 'D';
    r.cdbLength = 6;
    r.cdb[0] = 0x12;
    r.cdb[4] = 36;
    r.senseLength = 20;  // more than the buffer holds
    r.data = answer;
    r.dataLength = sizeof(answer);
    EXPECT_EQ(Transport().TransportExecute(&r), 1);

    ASSERT_EQ(os_.ioctls.size(), 1u);
    EXPECT_EQ(os_.ioctls[0].code, 0x4D014u);
    EXPECT_EQ(os_.ioctls[0].inSize, PassThroughSize());
    EXPECT_EQ(os_.ioctls[0].outSize, PassThroughSize() + 16);
    const PassThroughFields f = SentBlock();
    EXPECT_EQ(f.length, PassThroughSize());
    EXPECT_EQ(f.scsiStatus, 0);
    EXPECT_EQ(f.pathId, 1);
    EXPECT_EQ(f.targetId, 2);
    EXPECT_EQ(f.lun, 3);
    EXPECT_EQ(f.cdbLength, 6);
    EXPECT_EQ(f.cdb[0], 0x12);
    EXPECT_EQ(f.cdb[4], 36);
    EXPECT_EQ(f.senseInfoLength, 16);
    EXPECT_EQ(f.senseInfoOffset, PassThroughSize());
    EXPECT_EQ(f.dataIn, kScsiIoctlDataIn);
    EXPECT_EQ(f.dataTransferLength, 36u);
    EXPECT_EQ(f.dataBuffer, answer);
    EXPECT_EQ(f.timeOutValue, 30u);
    EXPECT_EQ(os_.openPaths, (std::vector<std::string>{"\\\\.\\D:"}));
    EXPECT_EQ(os_.devicesClosed, 1);
}

TEST_F(SptiTest, BlockDirectionAndSenseLength) {
    DriverAnswers(0, {}, 0);
    uint8_t out[28] = {};
    ScsiRequest write;
    write.letter = 'D';
    write.direction = 1;
    write.data = out;
    write.dataLength = sizeof(out);
    write.senseLength = 16;
    ASSERT_EQ(Transport().TransportExecute(&write), 1);
    ScsiRequest noData;  // direction 0 without data still says "in"
    noData.letter = 'D';
    ASSERT_EQ(Transport().TransportExecute(&noData), 1);
    EXPECT_EQ(SentBlock(0).dataIn, kScsiIoctlDataOut);
    EXPECT_EQ(SentBlock(0).senseInfoLength, 16);
    EXPECT_EQ(SentBlock(1).dataIn, kScsiIoctlDataIn);
    EXPECT_EQ(SentBlock(1).senseInfoLength, 0);
    EXPECT_EQ(SentBlock(1).dataTransferLength, 0u);
}

TEST_F(SptiTest, CheckConditionCarriesStatusAndSense) {
    DriverAnswers(2, {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x01}, 0);
    ScsiRequest r;
    r.letter = 'D';
    r.senseLength = 16;
    r.osError = r.aspiStatus = r.adapterStatus = 7;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.osError, -1);
    EXPECT_EQ(r.aspiStatus, -1);
    EXPECT_EQ(r.adapterStatus, -1);
    EXPECT_EQ(r.targetStatus, 2);
    EXPECT_EQ(r.senseKey, 2);
    EXPECT_EQ(r.senseLength, 14u);
    EXPECT_EQ(r.sense[12], 0x3A);
}

TEST_F(SptiTest, DescriptorFormatSenseKey) {
    DriverAnswers(2, {0x72, 0x06, 0x28, 0x00}, 0);
    ScsiRequest r;
    r.letter = 'D';
    r.senseLength = 16;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.senseKey, 6);
}

TEST_F(SptiTest, NoSenseReturnedLeavesKeyUnknown) {
    DriverAnswers(2, {0x70, 0, 0x02}, 0, 0);
    ScsiRequest r;
    r.letter = 'D';
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.targetStatus, 2);
    EXPECT_EQ(r.senseKey, -1);
    EXPECT_EQ(r.senseLength, 0u);
}

TEST_F(SptiTest, DriverCountsAreClamped) {
    // A driver claiming more than was offered must not widen the request.
    DriverAnswers(2, {0x70, 0, 0x05}, 4096, 200);
    uint8_t answer[8];
    ScsiRequest r;
    r.letter = 'D';
    r.senseLength = 16;
    r.data = answer;
    r.dataLength = sizeof(answer);
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.senseLength, 16u);
    EXPECT_EQ(r.dataLength, 8u);
    EXPECT_EQ(r.senseKey, 5);
}

TEST_F(SptiTest, FailedIoctlGivesTheSystemError) {
    ScsiRequest r;
    r.letter = 'D';
    r.targetStatus = r.senseKey = 9;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.osError, 50);
    EXPECT_EQ(r.targetStatus, -1);
    EXPECT_EQ(r.senseKey, -1);
}

TEST_F(SptiTest, FailedOpenGivesTheSystemError) {
    os_.openError['D'] = 5;
    ScsiRequest r;
    r.letter = 'D';
    r.senseKey = 9;
    EXPECT_EQ(Transport().TransportExecute(&r), 0);
    EXPECT_EQ(r.osError, 5);
    EXPECT_EQ(r.senseKey, -1);
    EXPECT_TRUE(os_.ioctls.empty());
    EXPECT_EQ(Transport().TransportOpen(&r), nullptr);
}

TEST_F(SptiTest, OneHandleForManyCommands) {
    DriverAnswers(0, {}, 2048);
    std::vector<uint8_t> buffer(100 * 2048);
    const DriveAddress drive{0, 0, 0, 'D'};
    EXPECT_NE(ReadCDROMBlocks(drive, 0, 100, buffer.data()), 0);
    EXPECT_EQ(os_.ioctls.size(), 4u);
    EXPECT_EQ(os_.openPaths.size(), 1u);
    EXPECT_EQ(os_.devicesClosed, 1);
}

TEST_F(SptiTest, TrayCommandWithoutSenseIsSentOnce) {
    // The tray commands ask for no sense data; a NOT READY drive then gives no
    // key to retry on.
    DriverAnswers(2, {0x70, 0, 0x02}, 0);
    const DriveAddress drive{0, 0, 0, 'D'};
    EXPECT_EQ(LoadEjectCDROM(drive, 1), 0);
    EXPECT_EQ(os_.ioctls.size(), 1u);
    EXPECT_EQ(PreventCDROMRemoval(drive, 1), 0);
    EXPECT_EQ(os_.ioctls.size(), 2u);
    EXPECT_EQ(clock_.Elapsed(), 0u);
    // A command that asks for sense is retried on the same answer.
    EXPECT_EQ(SetCDROMSpeed(drive, 1000, 0), 0);
    EXPECT_EQ(os_.ioctls.size(), 5u);
    EXPECT_EQ(clock_.Elapsed(), 1000u);
}

// Under Wine the handle is a descriptor of the Linux drive node: a lock must
// go through the storage ioctl (the kernel driver's own lock, kept after the
// close); on Windows the pass-through lock stays as it was.
TEST_F(SptiTest, LockUnderWineGoesThroughTheMediaRemovalIoctl) {
    DriverAnswers(0, {}, 0);
    const DriveAddress drive{0, 0, 0, 'D'};
    EXPECT_NE(PreventCDROMRemoval(drive, 1), 0);
    ASSERT_EQ(os_.ioctls.size(), 1u);
    EXPECT_EQ(os_.ioctls[0].code, kIoctlScsiPassThroughDirect);

    os_.wine = true;
    EXPECT_NE(PreventCDROMRemoval(drive, 1), 0);
    EXPECT_NE(PreventCDROMRemoval(drive, 0), 0);
    ASSERT_EQ(os_.ioctls.size(), 3u);
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(os_.ioctls[i].code, kIoctlStorageMediaRemoval);
        EXPECT_EQ(os_.ioctls[i].inSize, 1u);
        EXPECT_EQ(os_.ioctls[i].outSize, 0u);
        EXPECT_EQ(os_.ioctls[i].block, std::vector<uint8_t>{i == 1 ? uint8_t{1} : uint8_t{0}});
    }
    // Every other command keeps the pass-through.
    EXPECT_NE(LoadEjectCDROM(drive, 1), 0);
    EXPECT_EQ(os_.ioctls.back().code, kIoctlScsiPassThroughDirect);

    // A device that does not take the ioctl gets the pass-through instead.
    os_.ioctls.clear();
    os_.refuseCode[kIoctlStorageMediaRemoval] = kErrorNotSupported;
    EXPECT_NE(PreventCDROMRemoval(drive, 1), 0);
    ASSERT_EQ(os_.ioctls.size(), 2u);
    EXPECT_EQ(os_.ioctls[1].code, kIoctlScsiPassThroughDirect);

    // Any other refusal is the answer: a failure with the system's reason.
    os_.ioctls.clear();
    os_.refuseCode[kIoctlStorageMediaRemoval] = 170;  // ERROR_BUSY
    EXPECT_EQ(PreventCDROMRemoval(drive, 1), 0);
    EXPECT_EQ(os_.ioctls.size(), 1u);
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.osError, 170);
    // ...except an unlock refused as busy (others hold the node open): the
    // pass-through ALLOW follows, and its answer is the outcome.
    os_.ioctls.clear();
    EXPECT_NE(PreventCDROMRemoval(drive, 0), 0);
    ASSERT_EQ(os_.ioctls.size(), 2u);
    EXPECT_EQ(os_.ioctls[1].code, kIoctlScsiPassThroughDirect);
}

}  // namespace
}  // namespace tarvik
