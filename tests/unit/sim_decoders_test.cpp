// The simulator's answers as independent decoders (sg3-utils, sdparm) read
// them: what they decode must be what the profile says.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "sim_test_util.h"

namespace tarvik::simtest {
namespace {

namespace fs = std::filesystem;

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string RunTool(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
        std::array<char, 4096> buf;
        size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
        ::pclose(p);
    }
    return out;
}

std::string WriteHex(const std::vector<uint8_t>& bytes, const std::string& name) {
    const fs::path path =
        fs::temp_directory_path() / ("tarvik-sim-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream out(path);
    for (size_t i = 0; i < bytes.size(); ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02x", bytes[i]);
        out << b << ((i % 16 == 15) ? "\n" : " ");
    }
    out << "\n";
    return path.string();
}

// "  NAME   value  description" lines of sdparm -a -l.
std::map<std::string, std::string> SdparmFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    static const std::regex line(R"(^\s+([A-Z0-9_]+)\s+(\S+)\s)");
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (std::regex_search(l, m, line)) fields.emplace(m[1], m[2]);
    }
    return fields;
}

// Shipped profiles for which `keep` holds (each decoder applies to some).
std::vector<std::string> ShippedProfiles(bool (*keep)(const Profile&)) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(std::string(TARVIK_SOURCE_DIR) + "/sim/profiles")) {
        if (e.path().extension() != ".json") continue;
        Profile p;
        std::string error;
        if (LoadProfileFile(e.path().string(), p, error) && keep(p))
            names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool AnswersInquiry(const Profile& p) { return !p.inquiryFails; }
// sdparm decodes a page behind a mode parameter header only.
bool HasDecodablePage(const Profile& p) {
    return p.hasCapabilitiesPage && p.placement != Placement::NoHeader;
}
// Set-up whose write speed a SET CD SPEED can change, visible in the page.
bool HasChangeableWriteSpeed(const Profile& p) {
    return HasDecodablePage(p) && p.writeSpeeds.size() >= 2;
}

std::string ParamName(const testing::TestParamInfo<std::string>& i) {
    std::string n = i.param.substr(0, i.param.size() - 5);
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

class SimDecoders : public testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(bus_.AddFile(ProfilePath(GetParam()), error)) << error;
        // A host first takes the attention a drive may hold after power-on.
        for (int i = 0; i < 3 && !Send(bus_, 0, Cdb({0x00}, 6)).outcome.Good(); ++i) {
        }
    }
    const Profile& profile() { return bus_.At(0).profile(); }
    Bus bus_;
};

class SimInquiryDecoded : public SimDecoders {};
class SimPageDecoded : public SimDecoders {};
class SimWriteSpeedDecoded : public SimDecoders {};

TEST_P(SimInquiryDecoded, AsSgInqDecodesIt) {
    if (!HaveTool("sg_inq")) GTEST_SKIP() << "sg_inq missing";
    const Result r = Send(bus_, 0, Cdb({0x12, 0, 0, 0, 36}, 6), 36);
    ASSERT_TRUE(r.outcome.Good());
    ASSERT_EQ(r.data.size(), 36u);
    const std::string file = WriteHex(r.data, "inq.hex");
    const std::string out = RunTool("sg_inq --inhex=" + file);
    fs::remove(file);
    EXPECT_NE(out.find("PDT=" + std::to_string(profile().deviceType)), std::string::npos) << out;
    EXPECT_NE(out.find("RMB=1"), std::string::npos) << out;
    EXPECT_NE(out.find("Vendor identification: " + profile().vendor), std::string::npos) << out;
    EXPECT_NE(out.find("Product identification: " + profile().product), std::string::npos) << out;
    EXPECT_NE(out.find("Product revision level: " + profile().revision), std::string::npos) << out;
    EXPECT_NE(out.find("length=" + std::to_string(profile().inquiryLength)), std::string::npos)
        << out;
}

TEST_P(SimPageDecoded, AsSdparmDecodesIt) {
    if (!HaveTool("sdparm")) GTEST_SKIP() << "sdparm missing";
    const Result r = Send(bus_, 0, ModeSenseCdb(), 256);
    ASSERT_TRUE(r.outcome.Good());
    const std::string file = WriteHex(r.data, "ms.hex");
    const std::string out = RunTool("sdparm --inhex=" + file + " --pdt=5 -a -l");
    fs::remove(file);
    auto f = SdparmFields(out);
    ASSERT_TRUE(f.count("MRSS")) << out;
    const Profile& p = profile();
    auto bit = [](uint8_t byte, int n) { return std::to_string((byte >> n) & 1); };
    EXPECT_EQ(f["CD_R_R"], bit(p.readCaps, 0));
    EXPECT_EQ(f["CD_RW_R"], bit(p.readCaps, 1));
    EXPECT_EQ(f["D_ROM_R"], bit(p.readCaps, 3));
    EXPECT_EQ(f["D_R_R"], bit(p.readCaps, 4));
    EXPECT_EQ(f["CD_R_W"], bit(p.writeCaps, 0));
    EXPECT_EQ(f["D_R_W"], bit(p.writeCaps, 4));
    EXPECT_EQ(f["LMT"], std::to_string(static_cast<int>(p.loading)));
    EXPECT_EQ(f["EJECT"], p.canEject ? "1" : "0");
    EXPECT_EQ(f["LOCK"], p.canLock ? "1" : "0");
    EXPECT_EQ(f["LS"], bus_.At(0).Locked() ? "1" : "0");
    EXPECT_EQ(f["NVLS"], std::to_string(p.volumeLevels));
    EXPECT_EQ(f["BSS"], std::to_string(p.bufferKb));
    // The maximum read speed as the page reports it for the medium in the drive.
    const Family fam = bus_.At(0).MediumReady() ? FamilyOf(bus_.At(0).medium().kind) : Family::Cd;
    const SpeedModel& m = p.Speeds(fam);
    const uint32_t max = m.reportMax == Report::Fixed  ? m.fixedMax
                         : m.reportMax == Report::Zero ? 0
                                                       : m.Max();
    EXPECT_EQ(f["MRSS"], std::to_string(max));
    const uint32_t write = p.writeSpeeds.empty() ? 0 : p.writeSpeeds.front();
    EXPECT_EQ(f["CWSS"], std::to_string(write));
}

TEST_P(SimWriteSpeedDecoded, SpeedChangeShowsInSdparmOutput) {
    if (!HaveTool("sdparm")) GTEST_SKIP() << "sdparm missing";
    const Profile& p = profile();
    // Setting the slowest write speed must show as the current write speed selected.
    const SpeedModel& m = p.Speeds(FamilyOf(bus_.At(0).medium().kind));
    const bool obeyed = m.setCdSpeed == Obey::Obey;
    const Outcome o = Send(bus_, 0, SetCdSpeedCdb(0xFFFF, p.writeSpeeds.back())).outcome;
    EXPECT_EQ(o.Good(), m.setCdSpeed == Obey::Obey || m.setCdSpeed == Obey::Ignore);
    const Result r = Send(bus_, 0, ModeSenseCdb(), 256);
    const std::string file = WriteHex(r.data, "ms2.hex");
    auto f = SdparmFields(RunTool("sdparm --inhex=" + file + " --pdt=5 -a -l"));
    fs::remove(file);
    EXPECT_EQ(f["CWSS"], std::to_string(obeyed ? p.writeSpeeds.back() : p.writeSpeeds.front()));
}

INSTANTIATE_TEST_SUITE_P(Profiles, SimInquiryDecoded,
                         testing::ValuesIn(ShippedProfiles(AnswersInquiry)), ParamName);
INSTANTIATE_TEST_SUITE_P(Profiles, SimPageDecoded,
                         testing::ValuesIn(ShippedProfiles(HasDecodablePage)), ParamName);
INSTANTIATE_TEST_SUITE_P(Profiles, SimWriteSpeedDecoded,
                         testing::ValuesIn(ShippedProfiles(HasChangeableWriteSpeed)), ParamName);

TEST(SimDecodersSense, SgDecodeSenseReadsSimulatedSense) {
    if (!HaveTool("sg_decode_sense")) GTEST_SKIP() << "sg_decode_sense missing";
    struct Case {
        SenseCode sense;
        const char* key;
        const char* text;
    };
    const Case cases[] = {
        {{5, 0x20, 0}, "Illegal Request", "Invalid command operation code"},
        {{5, 0x24, 0}, "Illegal Request", "Invalid field in cdb"},
        {{5, 0x53, 2}, "Illegal Request", "Medium removal prevented"},
        {{2, 0x3A, 0}, "Not Ready", "Medium not present"},
        {{2, 0x04, 1}, "Not Ready", "becoming ready"},
        {{6, 0x28, 0}, "Unit Attention", "Not ready to ready change"},
        {{5, 0x21, 0}, "Illegal Request", "Logical block address out of range"},
        {{5, 0x26, 0}, "Illegal Request", "Invalid field in parameter list"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> sense = FixedSense(c.sense);
        ASSERT_EQ(sense.size(), 8u + sense[7]);
        const std::string file = WriteHex(sense, "sense.hex");
        const std::string out = RunTool("sg_decode_sense --file=" + file);
        fs::remove(file);
        EXPECT_NE(out.find("Fixed format, current"), std::string::npos) << out;
        EXPECT_NE(out.find(std::string("Sense key: ") + c.key), std::string::npos) << out;
        EXPECT_NE(out.find(c.text), std::string::npos) << out;
    }
}

}  // namespace
}  // namespace tarvik::simtest
