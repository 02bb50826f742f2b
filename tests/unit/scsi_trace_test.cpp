// The recording transport: what it writes of each command is what the
// simulator's own trace says of it (so one reader serves both), plus the
// answer's bytes and the transport's status codes, over either style of set.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "scsi/mmc.h"
#include "scsi/transport.h"
#include "scsi/transport_trace.h"
#include "sim_test_util.h"
#include "sim_transport.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::vector<json> Lines(const fs::path& file) {
    std::vector<json> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(json::parse(line));
    return lines;
}

class TransportTrace : public ::testing::TestWithParam<sim::TransportStyle> {
protected:
    void SetUp() override {
        file_ = fs::temp_directory_path() / ("trace-" + std::to_string(::getpid()) + ".jsonl");
        ResetTransportState();
        bus_.Add(simtest::ProfileFromText(
            R"({"speeds": {"cd": {"read": [7056, 1411]}, "dvd": {"read": [16620, 5540]}},
                "medium": {"kind": "dvd"}, "latencyMs": {"default": 3}})"));
        bus_.Add(simtest::ProfileFromText(
            R"({"speeds": {"cd": {"read": [7056]}}, "medium": {"kind": "none"},
                "faults": [{"opcode": "0x25", "error": "vanish"}]})"));
        sim::InstallSimTransport(bus_, GetParam());
    }
    void TearDown() override {
        StopTransportTrace();
        sim::UninstallSimTransport();
        ResetTransportState();
        std::error_code ec;
        fs::remove(file_, ec);
    }
    fs::path file_;
    sim::Bus bus_;
};

TEST_P(TransportTrace, EachCommandReadsAsInTheSimulatorsTraceWithTheAnswer) {
    const ScsiTransport* recording = StartTransportTrace(Transport(), file_.string());
    ASSERT_NE(recording, nullptr);
    const ScsiTransport* real = InstallTransport(recording, GetTransportMode());
    const DriveAddress dvd = sim::SimAddress(bus_, 0), empty = sim::SimAddress(bus_, 1);
    InquiryData inquiry;
    EXPECT_NE(GetCDROMInquiry(dvd, &inquiry), 0);
    EXPECT_NE(SetDVDSpeed(dvd, 5540, 0), 0);
    uint8_t block[kBlockSize];
    EXPECT_NE(ReadCDROMBlocks(dvd, 0, 1, block), 0);  // on an open handle
    EXPECT_EQ(TestUnitReady(empty), 1);
    EXPECT_EQ(ReadCDROMCapacity(empty), 0u);  // the drive vanishes
    (void)InstallTransport(real, GetTransportMode());
    StopTransportTrace();

    const std::vector<json> lines = Lines(file_);
    ASSERT_EQ(lines.size(), bus_.Trace().size());
    ASSERT_EQ(lines.size(), 5u);
    for (size_t i = 0; i < lines.size(); ++i) {
        const json sim = json::parse(sim::TraceJson(bus_.Trace()[i]));
        for (const auto& [key, value] : sim.items())
            EXPECT_EQ(lines[i].value(key, json()), value) << i << " " << key << "\n" << lines[i];
    }
    // What the simulator's trace leaves out: the answer, the raw sense, the
    // set's own status codes.
    const std::string data = lines[0].value("data", "");
    ASSERT_EQ(data.size(), 2u * 36);
    EXPECT_EQ(data.substr(0, 2), "05");
    EXPECT_EQ(lines[0]["result"], 1);
    EXPECT_FALSE(lines[2].contains("data"));  // a block of the disc is no answer
    EXPECT_EQ(lines[3].value("senseData", "").substr(0, 2), "70");
    EXPECT_EQ(lines[3]["result"], 0);
    const bool aspi = GetParam() == sim::TransportStyle::Aspi;
    EXPECT_EQ(lines[3].contains("aspiStatus"), aspi);
    EXPECT_EQ(lines[4].contains(aspi ? "aspiStatus" : "osError"), true);
    EXPECT_GE(lines[1]["ms"].get<int>(), 3);
}

INSTANTIATE_TEST_SUITE_P(Sets, TransportTrace,
                         testing::Values(sim::TransportStyle::Spti, sim::TransportStyle::Aspi),
                         [](const testing::TestParamInfo<sim::TransportStyle>& i) {
                             return i.param == sim::TransportStyle::Aspi ? "Aspi" : "Spti";
                         });

}  // namespace
}  // namespace tarvik
