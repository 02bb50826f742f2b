// What one dead drive costs the start-up: the program's start with four
// simulated drives (the shipped profiles, models stored by an earlier start)
// up to a usable speed menu (the start, then the left click's drive checks),
// in the drives' own time (a virtual clock), with one of the four dead in
// different ways. Counters:
//   virtual_ms      start plus left click, virtual milliseconds
//   ratio           virtual_ms over the same start with four good drives
//   dead_cmds       commands that reached the dead drive
// The figure of interest is `ratio`; CPU time is not.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>

#include "app/app.h"
#include "drive/drive_list.h"
#include "platform/registry_memory.h"
#include "scsi/transport.h"
#include "settings/store.h"
#include "sim_bus.h"
#include "sim_profile.h"
#include "sim_transport.h"

namespace tarvik {
namespace {

constexpr const char* kProfiles[] = {"dvdrw-24x-streaming.json", "slim-laptop-24x.json",
                                     "bd-combo-12x.json", "dvdrom-16x-reports-set-speed.json"};
constexpr size_t kDeadIndex = 2;

enum class Dead { None, TimeoutAlways, TimeoutAfterInquiry, Vanished };

struct StartCost {
    uint32_t ms = 0;
    size_t deadCommands = 0;
};

void AddProfiles(sim::Bus& bus, Dead dead) {
    for (const char* profile : kProfiles) {
        std::string error;
        if (!bus.AddFile(std::string(TARVIK_SOURCE_DIR "/sim/profiles/") + profile, error))
            std::fprintf(stderr, "start_bench: %s\n", error.c_str());
    }
    if (dead != Dead::None && bus.Count() > kDeadIndex) {
        sim::FaultRule rule;
        rule.times = 0;  // for ever
        rule.after = dead == Dead::TimeoutAfterInquiry ? 1 : 0;
        rule.kind = dead == Dead::Vanished ? sim::FaultKind::Vanish : sim::FaultKind::Timeout;
        bus.At(kDeadIndex).SetFaults({rule});
    }
}

// One start of the program on a fresh bus over `registry`.
StartCost StartOnce(MemoryRegistry& registry, Dead dead) {
    SetRegistry(&registry);
    GlobalSettings = GlobalSettingsRecord{};
    FreeDriveList();
    sim::Bus bus;
    AddProfiles(bus, dead);
    sim::InstallSimTransport(bus, sim::TransportStyle::Aspi);
    bus.virtualClock().Advance(10000);  // discs spun up, as at log-on
    NoWindowHost host;
    StartCost cost;
    {
        const uint32_t t0 = bus.virtualClock().TickCount();
        App app(host);
        app.Start();
        app.Command(CMD_LEFT_CLICK, 0);
        cost.ms = bus.virtualClock().TickCount() - t0;
        app.Shutdown();
    }
    for (const sim::TraceEntry& e : bus.Trace()) cost.deadCommands += e.drive == kDeadIndex;
    FreeDriveList();
    ClearBrokenDrives();
    sim::UninstallSimTransport();
    SetRegistry(nullptr);
    return cost;
}

void StartWithOneDeadDrive(benchmark::State& state, Dead dead) {
    StartCost good, measured;
    for (auto _ : state) {
        MemoryRegistry registry;
        (void)StartOnce(registry, Dead::None);  // the models are examined and stored
        good = StartOnce(registry, Dead::None);
        measured = StartOnce(registry, dead);
    }
    state.counters["virtual_ms"] = measured.ms;
    state.counters["ratio"] = good.ms ? double(measured.ms) / good.ms : 0.0;
    state.counters["dead_cmds"] = double(measured.deadCommands);
}

BENCHMARK_CAPTURE(StartWithOneDeadDrive, four_good, Dead::None)->Iterations(1);
BENCHMARK_CAPTURE(StartWithOneDeadDrive, timeout_always, Dead::TimeoutAlways)->Iterations(1);
BENCHMARK_CAPTURE(StartWithOneDeadDrive, timeout_after_inquiry, Dead::TimeoutAfterInquiry)
    ->Iterations(1);
BENCHMARK_CAPTURE(StartWithOneDeadDrive, vanished, Dead::Vanished)->Iterations(1);

}  // namespace
}  // namespace tarvik
