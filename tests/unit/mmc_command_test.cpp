// What each MMC operation puts on the wire: CDB bytes, data phase, sense wanted.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/clock.h"
#include "scsi/mmc.h"
#include "scsi/transport.h"
#include "scsi_fakes.h"

namespace tarvik {
namespace {

using testing_support::Ok;
using testing_support::ScriptedTransport;

const DriveAddress kDrive{0, 0, 0, 'E'};

struct CommandCase {
    const char* name;
    std::function<void()> run;
    std::vector<uint8_t> cdb;
    uint32_t dataLength;
    uint32_t direction;
    uint32_t senseLength;
};

class MmcCommandTest : public ::testing::TestWithParam<CommandCase> {
protected:
    void SetUp() override { ResetTransportState(); }
    void TearDown() override { ResetTransportState(); }
};

TEST_P(MmcCommandTest, SendsExactly) {
    const CommandCase& c = GetParam();
    ScriptedTransport fake;
    fake.fallback = Ok();
    c.run();
    ASSERT_EQ(fake.sent.size(), 1u);
    const auto& sent = fake.sent[0];
    EXPECT_EQ(sent.cdb, c.cdb);
    EXPECT_EQ(sent.dataLength, c.dataLength);
    EXPECT_EQ(sent.hasData, c.dataLength != 0);
    EXPECT_EQ(sent.direction, c.direction);
    EXPECT_EQ(sent.senseLength, c.senseLength);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, MmcCommandTest,
    ::testing::Values(
        CommandCase{"Inquiry",
                    [] {
                        InquiryData d;
                        (void)GetCDROMInquiry(kDrive, &d);
                    },
                    {0x12, 0, 0, 0, 36, 0},
                    36,
                    0,
                    16},
        CommandCase{"ModeSenseCapabilities",
                    [] {
                        CdromCapabilities c;
                        (void)GetCDROMInfo(kDrive, &c);
                    },
                    {0x5A, 0, 0x2A, 0, 0, 0, 0, 0x01, 0x00, 0},
                    256,
                    0,
                    16},
        CommandCase{"SetCdSpeed",
                    [] { (void)SetCDROMSpeed(kDrive, 7056, 2822); },
                    {0xBB, 0, 0x1B, 0x90, 0x0B, 0x06, 0, 0, 0, 0, 0, 0},
                    0,
                    0,
                    16},
        CommandCase{"SetCdSpeedMaximum",
                    [] { (void)SetCDROMSpeed(kDrive, -1, -1); },
                    {0xBB, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0},
                    0,
                    0,
                    16},
        CommandCase{"SetCdSpeedLow16Bits",
                    [] { (void)SetCDROMSpeed(kDrive, 0x12345, 0); },
                    {0xBB, 0, 0x23, 0x45, 0, 0, 0, 0, 0, 0, 0, 0},
                    0,
                    0,
                    16},
        CommandCase{
            "Eject", [] { (void)LoadEjectCDROM(kDrive, 1); }, {0x1B, 0, 0, 0, 0x02, 0}, 0, 0, 0},
        CommandCase{"EjectAnyNonZero",
                    [] { (void)LoadEjectCDROM(kDrive, -7); },
                    {0x1B, 0, 0, 0, 0x02, 0},
                    0,
                    0,
                    0},
        CommandCase{
            "Close", [] { (void)LoadEjectCDROM(kDrive, 0); }, {0x1B, 0, 0, 0, 0x03, 0}, 0, 0, 0},
        CommandCase{
            "TestUnitReady", [] { (void)TestUnitReady(kDrive); }, {0x00, 0, 0, 0, 0, 0}, 0, 0, 16},
        CommandCase{"ReadCapacity",
                    [] { (void)ReadCDROMCapacity(kDrive); },
                    {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                    16,
                    0,
                    16},
        CommandCase{"Prevent",
                    [] { (void)PreventCDROMRemoval(kDrive, 1); },
                    {0x1E, 0, 0, 0, 1, 0},
                    0,
                    0,
                    0},
        CommandCase{
            "Allow", [] { (void)PreventCDROMRemoval(kDrive, 0); }, {0x1E, 0, 0, 0, 0, 0}, 0, 0, 0},
        CommandCase{"ReadSubChannel",
                    [] { (void)ReadCDROMAudioStatus(kDrive); },
                    {0x42, 0, 0, 0x01, 0, 0, 0, 0, 16, 0},
                    16,
                    0,
                    16},
        CommandCase{"GetConfigurationProfile",
                    [] { (void)GetCDROMProfile(kDrive); },
                    {0x46, 0, 0, 0, 0, 0, 0, 0, 8, 0},
                    8,
                    0,
                    16},
        CommandCase{"GetConfigurationOneFeature",
                    [] { (void)CheckCDROMFeature(kDrive, FEATURE_BD); },
                    {0x46, 0x02, 0x00, 0x40, 0, 0, 0, 0xFF, 0xFF, 0},
                    65535,
                    0,
                    16},
        CommandCase{"SetStreaming",
                    [] { (void)SetDVDSpeed(kDrive, 0xFFFF, 11080); },
                    {0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28, 0},
                    28,
                    1,
                    16},
        CommandCase{"GetPerformance",
                    [] { (void)GetDVDSpeed(kDrive); },
                    {0xAC, 0x10, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0},
                    136,
                    0,
                    16},
        CommandCase{"ReadDvdStructure",
                    [] { (void)ReadDVDBookType(kDrive); },
                    {0xAD, 0, 0, 0, 0, 0, 0, 0, 0, 21, 0, 0},
                    21,
                    0,
                    16},
        CommandCase{"ReadDiscStructureBd",
                    [] { (void)ReadBlurayDiscType(kDrive); },
                    {0xAD, 0x01, 0, 0, 0, 0, 0, 0, 0x10, 0x04, 0, 0},
                    4100,
                    0,
                    16}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MmcCommand, LunGoesIntoByteOne) {
    ResetTransportState();
    ScriptedTransport fake;
    fake.fallback = Ok();
    const DriveAddress lun1{2, 3, 1, 0};
    (void)SetCDROMSpeed(lun1, 1, 1);
    (void)LoadEjectCDROM(lun1, 0);
    (void)GetDVDSpeed(lun1);
    (void)ReadBlurayDiscType(lun1);
    (void)GetCDROMProfile(lun1);
    EXPECT_EQ(fake.sent[0].cdb[1], 0x20);
    EXPECT_EQ(fake.sent[1].cdb[1], 0x20);
    EXPECT_EQ(fake.sent[2].cdb[1], 0x30);
    EXPECT_EQ(fake.sent[3].cdb[1], 0x21);
    EXPECT_EQ(fake.sent[4].cdb[1], 0x20);
}

TEST(MmcCommand, SetStreamingDescriptor) {
    ResetTransportState();
    ScriptedTransport fake;
    fake.fallback = Ok();
    ASSERT_NE(SetDVDSpeed(kDrive, 0xFFFF, 11080), 0);
    const std::vector<uint8_t> expected = {
        0x00, 0,    0,    0,     // flags, reserved
        0x00, 0x00, 0x00, 0x00,  // start LBA
        0xFF, 0xFF, 0xFF, 0xFF,  // end LBA
        0x00, 0x00, 0xFF, 0xFF,  // read size
        0x00, 0x00, 0x03, 0xE8,  // read time 1000 ms
        0x00, 0x00, 0x2B, 0x48,  // write size 11080
        0x00, 0x00, 0x03, 0xE8,  // write time
    };
    EXPECT_EQ(fake.sent[0].dataOut, expected);
}

TEST(MmcCommand, ReadBlocksInChunksOfThirtyTwoOnOneHandle) {
    ResetTransportState();
    ScriptedTransport fake;
    fake.fallback = Ok();
    std::vector<uint8_t> buffer(100 * kBlockSize);
    EXPECT_NE(ReadCDROMBlocks(kDrive, 0x00012340, 100, buffer.data()), 0);
    ASSERT_EQ(fake.sent.size(), 4u);
    const uint32_t lbas[] = {0x12340, 0x12360, 0x12380, 0x123A0};
    const uint8_t counts[] = {32, 32, 32, 4};
    for (size_t i = 0; i < 4; ++i) {
        const auto& cdb = fake.sent[i].cdb;
        ASSERT_EQ(cdb.size(), 10u);
        EXPECT_EQ(cdb[0], 0x28);
        EXPECT_EQ(cdb[1], 0);
        const uint32_t lba = (cdb[2] << 24) | (cdb[3] << 16) | (cdb[4] << 8) | cdb[5];
        EXPECT_EQ(lba, lbas[i]) << i;
        EXPECT_EQ(cdb[7], 0);
        EXPECT_EQ(cdb[8], counts[i]) << i;
        EXPECT_EQ(fake.sent[i].dataLength, counts[i] * kBlockSize);
        EXPECT_EQ(fake.sent[i].senseLength, 16u);
        EXPECT_TRUE(fake.sent[i].onHandle);
    }
    EXPECT_EQ(fake.opens, 1);
    EXPECT_EQ(fake.closes, 1);
}

TEST(MmcCommand, ReadBlocksFillsTheBufferInOrder) {
    ResetTransportState();
    ScriptedTransport fake;
    fake.Queue(Ok(std::vector<uint8_t>(32 * kBlockSize, 0x11)));
    fake.Queue(Ok(std::vector<uint8_t>(8 * kBlockSize, 0x22)));
    std::vector<uint8_t> buffer(40 * kBlockSize);
    EXPECT_NE(ReadCDROMBlocks(kDrive, 0, 40, buffer.data()), 0);
    EXPECT_EQ(buffer[32 * kBlockSize - 1], 0x11);
    EXPECT_EQ(buffer[32 * kBlockSize], 0x22);
    EXPECT_EQ(buffer.back(), 0x22);
}

TEST(MmcCommand, ReadBlocksStopsAtTheFirstFailureWithoutRetry) {
    ResetTransportState();
    VirtualClock clock;
    SetClock(&clock);
    ScriptedTransport fake;
    fake.Queue(Ok());
    fake.Queue(testing_support::Fail(2));
    fake.fallback = Ok();
    std::vector<uint8_t> buffer(100 * kBlockSize);
    EXPECT_EQ(ReadCDROMBlocks(kDrive, 0, 100, buffer.data()), 0);
    EXPECT_EQ(fake.sent.size(), 2u);
    EXPECT_EQ(fake.closes, 1);
    EXPECT_EQ(clock.Elapsed(), 0u);
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.senseKey, 2);
    SetClock(nullptr);
}

TEST(MmcCommand, ReadBlocksEdgeCounts) {
    ResetTransportState();
    ScriptedTransport fake;
    fake.fallback = Ok();
    uint8_t block[kBlockSize];
    EXPECT_EQ(ReadCDROMBlocks(kDrive, 0, 0, block), 0);
    EXPECT_TRUE(fake.sent.empty());
    EXPECT_EQ(ReadCDROMBlocks(kDrive, 0, 5, nullptr), 0);
    EXPECT_TRUE(fake.sent.empty());
    EXPECT_NE(ReadCDROMBlocks(kDrive, 0, 1, block), 0);
    EXPECT_EQ(fake.sent.size(), 1u);
    EXPECT_EQ(fake.opens, fake.closes);
}

TEST(MmcCommand, ReadBlocksOpenFailureIsRecorded) {
    ResetTransportState();
    ScriptedTransport fake;
    fake.openFails = true;
    uint8_t block[kBlockSize];
    EXPECT_EQ(ReadCDROMBlocks(kDrive, 0, 1, block), 0);
    EXPECT_TRUE(fake.sent.empty());
    EXPECT_EQ(fake.closes, 0);
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.osError, 5);
}

TEST(MmcCommand, TestUnitReadyIsSentOnce) {
    ResetTransportState();
    VirtualClock clock;
    SetClock(&clock);
    ScriptedTransport fake;
    fake.fallback = testing_support::Fail(2);
    EXPECT_EQ(TestUnitReady(kDrive), 1);
    EXPECT_EQ(fake.sent.size(), 1u);
    EXPECT_EQ(clock.Elapsed(), 0u);
    ScsiLastError last;
    GetLastScsiError(&last);
    EXPECT_EQ(last.senseKey, 2);
    fake.fallback = testing_support::Fail(6);
    EXPECT_EQ(TestUnitReady(kDrive), -1);
    fake.fallback = testing_support::Fail(-1);
    EXPECT_EQ(TestUnitReady(kDrive), -1);
    fake.fallback = Ok();
    EXPECT_EQ(TestUnitReady(kDrive), 0);
    EXPECT_EQ(fake.sent.size(), 4u);
    SetClock(nullptr);
}

}  // namespace
}  // namespace tarvik
