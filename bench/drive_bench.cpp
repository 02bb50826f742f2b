// What the drive operations cost on typical simulated drives: how many
// commands each sends, and how much CPU time the core adds per command over
// the in-process simulator answering the same command blocks.
//
// Counters of every benchmark:
//   commands        commands one operation sends
//   core_ns/cmd     CPU time per command spent outside the simulator: building
//                   the CDB, the transport (retries, status), decoding and the
//                   drive logic
//   sim_ns/cmd      CPU time per command of the simulator alone (the same
//                   command blocks replayed on it directly)
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "cpu_time.h"
#include "drive/drive.h"
#include "drive/speed_control.h"
#include "drive/speed_detect.h"
#include "platform/registry_memory.h"
#include "settings/store.h"
#include "sim_bus.h"
#include "sim_models.h"
#include "sim_transport.h"

namespace tarvik {
namespace {

enum class Kind { Cd48x, Dvd16x, Bd12x };
enum class Op { StateCheck, SetSpeedForceRead, SetSpeedNoRead, FastScan, FullScan };

sim::Profile MakeProfile(Kind kind) {
    sim::Profile p = sim::DvdWriter("BENCH DRIVE");
    p.features = {{0x1F, sim::Feature::Current::Medium}, {0x40, sim::Feature::Current::Medium}};
    if (kind == Kind::Bd12x) {
        sim::SpeedModel& bd = p.Speeds(sim::Family::Bd);
        bd.present = true;
        bd.read = sim::kBd12x;
        bd.setCdSpeed = sim::Obey::Ignore;
    }
    switch (kind) {
        case Kind::Cd48x: p.medium.kind = sim::MediumKind::Cd; break;
        case Kind::Dvd16x: p.medium.kind = sim::MediumKind::Dvd; break;
        case Kind::Bd12x: p.medium.kind = sim::MediumKind::Bd; break;
    }
    return p;
}

// One simulated drive behind the in-process transport, its record detected
// as the program would have it after start-up.
class Rig {
public:
    explicit Rig(Kind kind) {
        SetRegistry(&registry_);
        bus_.Add(MakeProfile(kind));
        sim::InstallSimTransport(bus_);
        bus_.virtualClock().Advance(10000);  // disc spun up
        drive_.Address = sim::SimAddress(bus_, 0);
        drive_.SpeedListCD.Factor = kFactorCD;
        drive_.SpeedListDVD.Factor = kFactorDVD;
        drive_.SpeedListBD.Factor = kFactorBD;
        drive_.CurrentFamily = MediumFamily::CD;
        drive_.TrayClosed = 1;
        drive_.ForceRead = 1;
        ScanCDROMSpeedAuto(&drive_, nullptr, nullptr);
        drive_.CurrentList().MaxLevel = kMediumPressed;
        CheckDriveState(&drive_);
        bus_.ClearTrace();
    }
    ~Rig() {
        sim::UninstallSimTransport();
        SetRegistry(nullptr);
    }

    void Run(Op op) {
        const SpeedList& list = drive_.CurrentList();
        switch (op) {
            case Op::StateCheck: CheckDriveState(&drive_); break;
            case Op::SetSpeedForceRead:
            case Op::SetSpeedNoRead:
                drive_.ForceRead = op == Op::SetSpeedForceRead;
                SetSpeed(&drive_, list.Entries[EntryCount(list) / 2].Command);
                break;
            case Op::FastScan: ScanCDROMSpeedFast(&drive_, nullptr, nullptr); break;
            case Op::FullScan: ScanCDROMSpeedFull(&drive_, nullptr, nullptr); break;
        }
    }

    // Sends the traced command blocks straight to the simulator; returns the
    // CPU time that took.
    uint64_t Replay(const std::vector<sim::TraceEntry>& trace) {
        const uint64_t t0 = CpuNs();
        for (const sim::TraceEntry& e : trace) {
            sim::Command cmd{e.cdb, inBuffer_, e.out};
            benchmark::DoNotOptimize(bus_.Execute(0, cmd));
        }
        return CpuNs() - t0;
    }

    sim::Bus& bus() { return bus_; }

private:
    MemoryRegistry registry_;
    sim::Bus bus_;
    CdromDrive drive_;
    std::vector<uint8_t> inBuffer_ = std::vector<uint8_t>(128 * 1024);
};

void DriveOperation(benchmark::State& state, Kind kind, Op op) {
    Rig rig(kind);
    uint64_t coreNs = 0, simNs = 0, commands = 0, runs = 0;
    for (auto _ : state) {
        rig.bus().ClearTrace();
        const uint64_t t0 = CpuNs();
        rig.Run(op);
        const uint64_t t1 = CpuNs();
        state.PauseTiming();
        const std::vector<sim::TraceEntry> trace = rig.bus().Trace();
        rig.bus().ClearTrace();
        const uint64_t replay = rig.Replay(trace);
        coreNs += (t1 - t0) > replay ? (t1 - t0) - replay : 0;
        simNs += replay;
        commands += trace.size();
        ++runs;
        state.ResumeTiming();
    }
    if (runs == 0 || commands == 0) return;
    state.counters["commands"] = double(commands) / double(runs);
    state.counters["core_ns/cmd"] = double(coreNs) / double(commands);
    state.counters["sim_ns/cmd"] = double(simNs) / double(commands);
}

#define DRIVE_BENCH(kind, op)                                          \
    BENCHMARK_CAPTURE(DriveOperation, kind##_##op, Kind::kind, Op::op) \
        ->Unit(benchmark::kMicrosecond)

DRIVE_BENCH(Cd48x, StateCheck);
DRIVE_BENCH(Cd48x, SetSpeedForceRead);
DRIVE_BENCH(Cd48x, SetSpeedNoRead);
DRIVE_BENCH(Cd48x, FastScan);
DRIVE_BENCH(Cd48x, FullScan)->Iterations(3);
DRIVE_BENCH(Dvd16x, StateCheck);
DRIVE_BENCH(Dvd16x, SetSpeedForceRead);
DRIVE_BENCH(Dvd16x, SetSpeedNoRead);
DRIVE_BENCH(Dvd16x, FastScan);
DRIVE_BENCH(Dvd16x, FullScan)->Iterations(3);
DRIVE_BENCH(Bd12x, StateCheck);
DRIVE_BENCH(Bd12x, SetSpeedForceRead);
DRIVE_BENCH(Bd12x, SetSpeedNoRead);
DRIVE_BENCH(Bd12x, FastScan);
DRIVE_BENCH(Bd12x, FullScan)->Iterations(3);

}  // namespace
}  // namespace tarvik
