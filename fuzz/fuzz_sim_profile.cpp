// Arbitrary bytes as a simulator profile (and as a saved drive state): the
// loader must refuse or accept them without crashing, and a drive built from
// any accepted profile must answer every command it knows.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/bytes.h"
#include "sim_bus.h"
#include "sim_profile.h"
#include "sim_state.h"

namespace {

using namespace tarvik;
using namespace tarvik::sim;

void Send(Bus& bus, std::vector<uint8_t> cdb, size_t in, std::vector<uint8_t> out = {}) {
    std::vector<uint8_t> buffer(in);
    Command c;
    c.cdb = cdb;
    c.dataIn = buffer;
    c.dataOut = out;
    (void)bus.Execute(0, c);
}

std::vector<uint8_t> Cdb(std::initializer_list<uint8_t> bytes, size_t length) {
    std::vector<uint8_t> c(bytes);
    c.resize(length, 0);
    return c;
}

void Exercise(Bus& bus) {
    std::vector<uint8_t> streaming(28, 0);
    PutBe32(&streaming[8], 0xFFFFFFFF);
    PutBe32(&streaming[12], 5540);
    PutBe32(&streaming[16], 1000);
    for (int round = 0; round < 2; ++round) {
        Send(bus, Cdb({0x12, 0, 0, 0, 36}, 6), 36);
        Send(bus, Cdb({0x00}, 6), 0);
        Send(bus, Cdb({0x5A, 0, 0x2A, 0, 0, 0, 0, 1, 0}, 10), 256);
        Send(bus, Cdb({0x46, 0, 0, 0, 0, 0, 0, 0, 8}, 10), 8);
        Send(bus, Cdb({0x46, 2, 0, 0x40, 0, 0, 0, 0xFF, 0xFF}, 10), 65535);
        Send(bus, Cdb({0xAC, 0x10, 0, 0, 0, 0, 0, 0, 0, 8}, 12), 136);
        Send(bus, Cdb({0xAD, 0, 0, 0, 0, 0, 0, 0, 0, 21}, 12), 21);
        Send(bus, Cdb({0xAD, 1, 0, 0, 0, 0, 0, 0, 0x10, 0x04}, 12), 4100);
        Send(bus, Cdb({0x42, 0, 0, 1, 0, 0, 0, 0, 16}, 10), 16);
        Send(bus, Cdb({0x25}, 10), 8);
        Send(bus, Cdb({0x28, 0, 0, 0, 0, 0, 0, 0, 2}, 10), 4096);
        Send(bus, Cdb({0xBB, 0, 0x0B, 0x08, 0xFF, 0xFF}, 12), 0);
        Send(bus, Cdb({0xB6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 28}, 12), 0, streaming);
        Send(bus, Cdb({0x1E, 0, 0, 0, 1}, 6), 0);
        Send(bus, Cdb({0x1B, 0, 0, 0, 2}, 6), 0);
        Send(bus, Cdb({0x1E, 0, 0, 0, 0}, 6), 0);
        Send(bus, Cdb({0x1B, 0, 0, 0, 2}, 6), 0);
        Send(bus, Cdb({0x1B, 0, 0, 0, 3}, 6), 0);
        Send(bus, Cdb({0x03, 0, 0, 0, 18}, 6), 18);
        bus.virtualClock().Advance(10000);
    }
    (void)BusStateText(bus);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Profile p;
    std::string error;
    if (LoadProfileText(text, p, error)) {
        Bus bus;
        p.trayMs = 0;
        bus.Add(p);
        Exercise(bus);
    }
    Bus state;
    Profile base;
    base.Speeds(Family::Cd).present = true;
    base.Speeds(Family::Cd).read = {7056, 1411};
    state.Add(base);
    (void)ApplyBusStateText(state, std::string(text), error);
    (void)ApplyBusStateText(state, std::string(text), error, true);  // as a live change
    Exercise(state);
    return 0;
}
