// Decoding of drive answers, through the operations (canned answers) and the
// pure decoders (short and odd answers).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mmc_hex.h"
#include "scsi/mmc.h"
#include "scsi/mmc_answer.h"
#include "scsi/transport.h"
#include "scsi_fakes.h"

namespace tarvik {
namespace {

using testing_support::Fail;
using testing_support::LoadHex;
using testing_support::Ok;
using testing_support::ScriptedTransport;

const DriveAddress kDrive{0, 0, 0, 'E'};

class MmcAnswerTest : public ::testing::Test {
protected:
    void TearDown() override { ResetTransportState(); }
    // Reset before the fake installs itself.
    struct Fresh {
        Fresh() { ResetTransportState(); }
    } fresh_;
    ScriptedTransport fake_;
};

TEST_F(MmcAnswerTest, Inquiry) {
    fake_.Queue(Ok(LoadHex("mmc_inquiry.hex")));
    InquiryData d;
    ASSERT_NE(GetCDROMInquiry(kDrive, &d), 0);
    EXPECT_EQ(d.deviceType, 5);
    EXPECT_EQ(d.dataFormat, 2u);
    EXPECT_STREQ(d.vendor, "ATAPI   ");
    EXPECT_STREQ(d.product, "DVD A24 WRITER  ");
    EXPECT_STREQ(d.revision, "1.02");

    // A drive that lies: line breaks, ESC and DEL become '?' (they would
    // reach the settings file's key names and the terminal); ']' and '\\'
    // stay, and a NUL still ends a field (drives pad with NULs too).
    std::vector<uint8_t> odd(36, ' ');
    const std::string vendor = "EV\nIL]\\\x7F", rev = "\t1\xE9\x1F";
    const std::string product("X\r\x1B[2J\x01\0junk\n", 13);
    std::copy(vendor.begin(), vendor.end(), odd.begin() + 8);
    std::copy(product.begin(), product.end(), odd.begin() + 16);
    std::copy(rev.begin(), rev.end(), odd.begin() + 32);
    fake_.Queue(Ok(odd));
    ASSERT_NE(GetCDROMInquiry(kDrive, &d), 0);
    EXPECT_STREQ(d.vendor, "EV?IL]\\?");
    EXPECT_STREQ(d.product, "X??[2J?");
    EXPECT_STREQ(d.revision, "?1\xE9?");
}

TEST_F(MmcAnswerTest, InquiryDeviceTypeIsSignExtendedAndFailureClears) {
    std::vector<uint8_t> answer(36, 'x');
    answer[0] = 0x85;
    answer[3] = 0xF2;
    fake_.Queue(Ok(answer));
    InquiryData d;
    ASSERT_NE(GetCDROMInquiry(kDrive, &d), 0);
    EXPECT_EQ(d.deviceType, -123);
    EXPECT_EQ(d.dataFormat, 2u);
    EXPECT_EQ(std::strlen(d.vendor), 8u);
    EXPECT_EQ(std::strlen(d.product), 16u);
    fake_.Queue(Fail(5));
    EXPECT_EQ(GetCDROMInquiry(kDrive, &d), 0);
    EXPECT_EQ(d.deviceType, 0);
    EXPECT_STREQ(d.vendor, "");
}

TEST_F(MmcAnswerTest, CapabilitiesBehindHeader) {
    fake_.Queue(Ok(LoadHex("mmc_caps_header.hex")));
    CdromCapabilities c;
    ASSERT_NE(GetCDROMInfo(kDrive, &c), 0);
    EXPECT_EQ(c.pageShifted, 0u);
    EXPECT_EQ(c.mediumType, 0x12);
    EXPECT_EQ(c.readCaps, 0x3F);
    EXPECT_EQ(c.writeCaps, 0x37);
    EXPECT_EQ(c.caps[0], 0x71);
    EXPECT_EQ(c.caps[2], 0x29);
    EXPECT_EQ(c.caps[3], 0x23);
    EXPECT_EQ(c.maxReadSpeed, 8467u);
    EXPECT_EQ(c.volumeLevels, 256u);
    EXPECT_EQ(c.bufferSize, 2048u);
    EXPECT_EQ(c.currentReadSpeed, 7056u);
    EXPECT_EQ(c.currentWriteSpeed, 2822u);
    EXPECT_TRUE(HasTrayLoader(c));
    EXPECT_TRUE(CanReadDVD(c));
}

TEST_F(MmcAnswerTest, CapabilitiesBehindBlockDescriptor) {
    fake_.Queue(Ok(LoadHex("mmc_caps_blockdesc.hex")));
    CdromCapabilities c;
    ASSERT_NE(GetCDROMInfo(kDrive, &c), 0);
    EXPECT_EQ(c.pageShifted, 1u);
    EXPECT_EQ(c.mediumType, 0) << "header byte 2 is only taken with the page at 8";
    EXPECT_EQ(c.maxReadSpeed, 1764u);
    EXPECT_EQ(c.currentReadSpeed, 706u);
    EXPECT_EQ(c.currentWriteSpeed, 0u) << "no write capability";
    EXPECT_TRUE(CanReadDVD(c));
    EXPECT_FALSE(HasTrayLoader(c));
}

TEST_F(MmcAnswerTest, CapabilitiesWithoutHeader) {
    fake_.Queue(Ok(LoadHex("mmc_caps_bare.hex")));
    CdromCapabilities c;
    ASSERT_NE(GetCDROMInfo(kDrive, &c), 0);
    EXPECT_EQ(c.pageShifted, 1u);
    EXPECT_EQ(c.mediumType, 0);
    EXPECT_EQ(c.maxReadSpeed, 7056u);
    EXPECT_EQ(c.currentReadSpeed, 2822u);
    EXPECT_EQ(c.currentWriteSpeed, 0u);
}

TEST_F(MmcAnswerTest, ByteSixteenLookingLikeThePageWins) {
    // Page really at 8; its byte 8 (answer byte 16) is 6Ah, whose low six bits are 2Ah.
    std::vector<uint8_t> answer = LoadHex("mmc_caps_header.hex");
    answer[16] = 0x6A;
    fake_.Queue(Ok(answer));
    CdromCapabilities c;
    ASSERT_NE(GetCDROMInfo(kDrive, &c), 0);
    EXPECT_EQ(c.pageShifted, 1u);
    EXPECT_EQ(c.mediumType, 0);
    EXPECT_EQ(c.readCaps, answer[18]);
}

TEST_F(MmcAnswerTest, WriteSpeedOnlyWithWriteCapability) {
    struct Row {
        uint8_t writeCaps;
        uint32_t expected;
    };
    for (const Row& row : {Row{0x00, 0}, Row{0x04, 0}, Row{0xCC, 0}, Row{0x01, 2822},
                           Row{0x02, 2822}, Row{0x10, 2822}, Row{0x20, 2822}}) {
        std::vector<uint8_t> answer = LoadHex("mmc_caps_header.hex");
        answer[8 + 3] = row.writeCaps;
        fake_.Queue(Ok(answer));
        CdromCapabilities c;
        ASSERT_NE(GetCDROMInfo(kDrive, &c), 0);
        EXPECT_EQ(c.currentWriteSpeed, row.expected) << int(row.writeCaps);
    }
}

TEST_F(MmcAnswerTest, NoPageOrFailureClearsTheRecord) {
    std::vector<uint8_t> answer = LoadHex("mmc_caps_header.hex");
    answer[8] = 0x0D;  // another page
    fake_.Queue(Ok(answer));
    CdromCapabilities c;
    c.maxReadSpeed = c.currentReadSpeed = c.currentWriteSpeed = 99;
    c.mediumType = c.readCaps = c.caps[2] = 7;
    c.pageShifted = 1;
    EXPECT_EQ(GetCDROMInfo(kDrive, &c), 0);
    EXPECT_EQ(c.maxReadSpeed, 0u);
    EXPECT_EQ(c.currentReadSpeed, 0u);
    EXPECT_EQ(c.currentWriteSpeed, 0u);
    EXPECT_EQ(c.pageShifted, 0u);
    EXPECT_EQ(c.mediumType, 0);
    EXPECT_EQ(c.readCaps, 0);
    EXPECT_EQ(c.caps[2], 0);
    c.maxReadSpeed = 5;
    fake_.Queue(Fail(5));
    EXPECT_EQ(GetCDROMInfo(kDrive, &c), 0);
    EXPECT_EQ(c.maxReadSpeed, 0u);
}

TEST_F(MmcAnswerTest, GetCdSpeed) {
    fake_.Queue(Ok(LoadHex("mmc_caps_header.hex")));
    EXPECT_EQ(GetCDSpeed(kDrive), 7056u);
    fake_.Queue(Fail(5));
    EXPECT_EQ(GetCDSpeed(kDrive), 0u);
}

TEST_F(MmcAnswerTest, DvdSpeedFromPerformance) {
    fake_.Queue(Ok(LoadHex("mmc_performance_one.hex")));
    EXPECT_EQ(GetDVDSpeed(kDrive), 16620u);
    fake_.Queue(Ok(LoadHex("mmc_performance_two.hex")));
    EXPECT_EQ(GetDVDSpeed(kDrive), 0u);
    for (uint8_t flags : {0x01, 0x02, 0x03}) {
        std::vector<uint8_t> answer = LoadHex("mmc_performance_one.hex");
        answer[4] = flags;
        fake_.Queue(Ok(answer));
        EXPECT_EQ(GetDVDSpeed(kDrive), 0u) << int(flags);
    }
    fake_.Queue(Ok({0, 0, 0, 4}));  // header alone
    EXPECT_EQ(GetDVDSpeed(kDrive), 0u);
    fake_.Queue(Fail(5));
    EXPECT_EQ(GetDVDSpeed(kDrive), 0u);
}

TEST_F(MmcAnswerTest, BlurayDiscType) {
    fake_.Queue(Ok(LoadHex("mmc_bd_disc_info_bdr.hex")));
    const uint32_t type = ReadBlurayDiscType(kDrive);
    char text[4];
    std::memcpy(text, &type, 4);  // lowest byte first on the little-endian targets
    EXPECT_STREQ(text, "BDR");
    EXPECT_EQ(type, 0x00524442u);
    std::vector<uint8_t> shortAnswer = LoadHex("mmc_bd_disc_info_bdr.hex");
    shortAnswer[0] = 0;
    shortAnswer[1] = 12;
    fake_.Queue(Ok(shortAnswer));
    EXPECT_EQ(ReadBlurayDiscType(kDrive), 0u);
    fake_.Queue(Fail(5));
    EXPECT_EQ(ReadBlurayDiscType(kDrive), 0u);
}

TEST_F(MmcAnswerTest, CheckFeature) {
    fake_.Queue(Ok(LoadHex("mmc_feature_bd.hex")));
    EXPECT_EQ(CheckCDROMFeature(kDrive, FEATURE_BD), 1);
    fake_.Queue(Ok(LoadHex("mmc_feature_bd.hex")));
    EXPECT_EQ(CheckCDROMFeature(kDrive, FEATURE_DVD), 0) << "first descriptor is another feature";
    std::vector<uint8_t> notCurrent = LoadHex("mmc_feature_bd.hex");
    notCurrent[10] = 0x00;  // Current bit clear: still counts
    fake_.Queue(Ok(notCurrent));
    EXPECT_EQ(CheckCDROMFeature(kDrive, FEATURE_BD), 1);
    fake_.Queue(Ok({0, 0, 0, 4, 0, 0, 0, 0x43}));  // header alone
    EXPECT_EQ(CheckCDROMFeature(kDrive, FEATURE_BD), 0);
    fake_.Queue(Fail(5));
    EXPECT_EQ(CheckCDROMFeature(kDrive, FEATURE_BD), 0);
}

TEST_F(MmcAnswerTest, SmallAnswers) {
    fake_.Queue(Ok({0x00, 0x23, 0x05, 0x3F, 0, 0, 0x08, 0}));
    EXPECT_EQ(ReadCDROMCapacity(kDrive), 0x0023053Fu);
    fake_.Queue(Fail(5));
    EXPECT_EQ(ReadCDROMCapacity(kDrive), 0u);

    fake_.Queue(Ok({0x00, 0x11, 0x00, 0x00}));
    EXPECT_EQ(ReadCDROMAudioStatus(kDrive), 0x11);
    fake_.Queue(Fail(5));
    EXPECT_EQ(ReadCDROMAudioStatus(kDrive), -1);

    fake_.Queue(Ok({0, 0, 0, 0x24, 0, 0, 0x00, 0x2B}));
    EXPECT_EQ(GetCDROMProfile(kDrive), 0x2B);
    fake_.Queue(Fail(5));
    EXPECT_EQ(GetCDROMProfile(kDrive), -1);

    fake_.Queue(Ok({0, 0x13, 0, 0, 0xA1}));
    EXPECT_EQ(ReadDVDBookType(kDrive), 10);
    fake_.Queue(Fail(5));
    EXPECT_EQ(ReadDVDBookType(kDrive), -1);
}

// ---- pure decoders on short and odd answers -------------------------------------

TEST(MmcDecoders, ShortAnswersGiveTheFailureValue) {
    const std::vector<uint8_t> full = LoadHex("mmc_caps_header.hex");
    InquiryData inquiry;
    EXPECT_FALSE(mmc::DecodeInquiry(full.data(), 35, &inquiry));
    CdromCapabilities caps;
    EXPECT_FALSE(mmc::DecodeCapabilities(full.data(), 8 + 21, &caps)) << "page cut short";
    EXPECT_TRUE(mmc::DecodeCapabilities(full.data(), 8 + 22, &caps));
    EXPECT_FALSE(mmc::DecodeCapabilities(nullptr, 256, &caps));
    const uint8_t tiny[3] = {0, 0x11, 0};
    EXPECT_EQ(mmc::DecodeLastLba(tiny, 3), 0u);
    EXPECT_EQ(mmc::DecodeAudioStatus(tiny, 1), -1);
    EXPECT_EQ(mmc::DecodeAudioStatus(tiny, 2), 0x11);
    EXPECT_EQ(mmc::DecodeCurrentProfile(tiny, 3), -1);
    EXPECT_EQ(mmc::DecodeDvdBookType(tiny, 3), -1);
    EXPECT_EQ(mmc::DecodeBdDiscType(tiny, 3), 0u);
    EXPECT_EQ(mmc::DecodeFeaturePresent(tiny, 3, 0), 0);
    EXPECT_EQ(mmc::DecodeNominalPerformance(tiny, 3), 0u);
}

TEST(MmcDecoders, PerformanceLengthBelowTheHeader) {
    // A length under 4 would point far outside the answer.
    for (uint8_t length : {0, 1, 2, 3}) {
        uint8_t answer[136] = {};
        answer[3] = length;
        answer[5] = 0x77;
        EXPECT_EQ(mmc::DecodeNominalPerformance(answer, sizeof(answer)), 0u) << int(length);
    }
    const std::vector<uint8_t> one = LoadHex("mmc_performance_one.hex");
    EXPECT_EQ(mmc::DecodeNominalPerformance(one.data(), one.size()), 16620u);
    EXPECT_EQ(mmc::DecodeNominalPerformance(one.data(), one.size() - 1), 0u);
}

TEST(MmcDecoders, FeatureLengthNearTheTop) {
    uint8_t answer[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0x00, 0x40};
    EXPECT_EQ(mmc::DecodeFeaturePresent(answer, sizeof(answer), 0x40), 1);
}

struct CodeCase {
    const char* name;
    bool (*decoder)(uint32_t);
    std::vector<uint32_t> yes;
    std::vector<uint32_t> no;
};

class MediumTypeTest : public ::testing::TestWithParam<CodeCase> {};

TEST_P(MediumTypeTest, Classifies) {
    for (uint32_t code : GetParam().yes) EXPECT_TRUE(GetParam().decoder(code)) << code;
    for (uint32_t code : GetParam().no) EXPECT_FALSE(GetParam().decoder(code)) << code;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, MediumTypeTest,
    ::testing::Values(
        CodeCase{"CD", IsMediumTypeCD, {0x01, 0x12, 0x28}, {0x00, 0x29, 0x70}},
        CodeCase{"CDROM", IsMediumTypeCDROM, {0x01, 0x08}, {0x00, 0x09, 0x10}},
        CodeCase{"CDR", IsMediumTypeCDR, {0x10, 0x18}, {0x0F, 0x19, 0x20}},
        CodeCase{"CDRW", IsMediumTypeCDRW, {0x20, 0x28}, {0x1F, 0x29}},
        CodeCase{"NoDisc", IsMediumTypeNoDisc, {0x70, 0x71}, {0x00, 0x72, 0x6F}},
        CodeCase{"Other", IsMediumTypeOther, {0x01, 0x70, 0x31, 0xFF}, {0x00, 0x30, 0x72}},
        CodeCase{"Audio",
                 IsMediumTypeAudio,
                 {0x02, 0x03, 0x06, 0x07, 0x12, 0x13, 0x16, 0x17, 0x22, 0x23, 0x26, 0x27},
                 {0x01, 0x04, 0x05, 0x08, 0x11, 0x14, 0x21, 0x28, 0x00}},
        CodeCase{"AudioActive", IsAudioActive, {0x11, 0x12}, {0x00, 0x13, 0x14, 0x15}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MmcDecoders, Profiles) {
    EXPECT_TRUE(IsProfileCD(0x08));
    EXPECT_TRUE(IsProfileCD(0x0A));
    EXPECT_FALSE(IsProfileCD(0x10));
    EXPECT_TRUE(IsProfileDVD(0x10));
    EXPECT_TRUE(IsProfileDVD(0x2B));
    EXPECT_FALSE(IsProfileDVD(0x2C));
    EXPECT_FALSE(IsProfileDVD(0x0A));
    EXPECT_TRUE(IsProfileBD(0x40));
    EXPECT_TRUE(IsProfileBD(0x43));
    EXPECT_FALSE(IsProfileBD(0x44));
    EXPECT_FALSE(IsProfileKnown(-1));
    EXPECT_FALSE(IsProfileKnown(0));
    EXPECT_TRUE(IsProfileKnown(0x08));
}

TEST(MmcDecoders, LoaderTypes) {
    CdromCapabilities c;
    const struct {
        uint8_t byte6;
        bool tray;
    } rows[] = {{0x00, false}, {0x20, true},  {0x29, true},
                {0x40, false}, {0xA0, false}, {0x3F, true}};
    for (const auto& row : rows) {
        c.caps[2] = row.byte6;
        EXPECT_EQ(HasTrayLoader(c), row.tray) << int(row.byte6);
    }
}

}  // namespace
}  // namespace tarvik
