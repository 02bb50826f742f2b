#pragma once
// Helpers for tests that talk to simulated drives with raw CDBs.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "base/bytes.h"
#include "sim_bus.h"
#include "sim_profile.h"

namespace tarvik::simtest {

using namespace tarvik::sim;

inline Profile ProfileFromText(const std::string& text) {
    Profile p;
    std::string error;
    EXPECT_TRUE(LoadProfileText(text, p, error)) << error;
    return p;
}

inline std::string ProfilePath(const std::string& name) {
    return std::string(TARVIK_SOURCE_DIR) + "/sim/profiles/" + name;
}

struct Result {
    Outcome outcome;
    std::vector<uint8_t> data;
};

// Sends a CDB with a data-in buffer of `in` bytes (or the data-out bytes).
inline Result Send(Bus& bus, size_t drive, std::vector<uint8_t> cdb, size_t in = 0,
                   std::vector<uint8_t> out = {}) {
    Result r;
    r.data.assign(in, 0xEE);
    Command c;
    c.cdb = cdb;
    c.dataIn = r.data;
    c.dataOut = out;
    r.outcome = bus.Execute(drive, c);
    r.data.resize(r.outcome.bytesIn);
    return r;
}

inline std::vector<uint8_t> SetCdSpeedCdb(uint32_t read, uint32_t write = 0xFFFF) {
    std::vector<uint8_t> c(12, 0);
    c[0] = 0xBB;
    PutBe16(&c[2], read);
    PutBe16(&c[4], write);
    return c;
}

inline std::vector<uint8_t> StreamingCdb() {
    std::vector<uint8_t> c(12, 0);
    c[0] = 0xB6;
    PutBe16(&c[9], 28);
    return c;
}

inline std::vector<uint8_t> StreamingDescriptor(uint32_t readKbps, uint32_t endLba = 0xFFFFFFFF) {
    std::vector<uint8_t> d(28, 0);
    PutBe32(&d[8], endLba);
    PutBe32(&d[12], readKbps);
    PutBe32(&d[16], 1000);
    PutBe32(&d[20], 0);
    PutBe32(&d[24], 1000);
    return d;
}

inline std::vector<uint8_t> ModeSenseCdb(uint16_t alloc = 256) {
    std::vector<uint8_t> c(10, 0);
    c[0] = 0x5A;
    c[2] = 0x2A;
    PutBe16(&c[7], alloc);
    return c;
}

inline std::vector<uint8_t> Cdb(std::initializer_list<uint8_t> bytes, size_t length) {
    std::vector<uint8_t> c(bytes);
    c.resize(length, 0);
    return c;
}

// Offset of page 2Ah in a MODE SENSE(10) answer (header and block descriptor skipped).
inline size_t PageOffset(const std::vector<uint8_t>& answer) { return 8 + GetBe16(&answer[6]); }

inline uint32_t CurrentReadSpeedReported(Bus& bus, size_t drive) {
    Result r = Send(bus, drive, ModeSenseCdb(), 256);
    EXPECT_TRUE(r.outcome.Good());
    if (r.data.size() < 8 || r.data.size() < PageOffset(r.data) + 16) {
        ADD_FAILURE() << "short capabilities answer";
        return 0;
    }
    const size_t page = PageOffset(r.data);
    return GetBe16(&r.data[page + 14]);
}

inline std::string SenseOf(const Outcome& o) {
    if (o.completion != Completion::Done) return "transport";
    return o.status == 0 ? "good" : SenseText(o.sense);
}

}  // namespace tarvik::simtest
