// What the main timer costs a machine where nothing happens: the commands the
// program sends to two idle drives in a minute of its 500 ms tick (the
// drives' own time, a virtual clock), and the CPU time of one tick.
//
// One iteration is one minute: 120 CMD_TIMER_TICKs through App, as the
// window's timer posts them. Counters:
//   cmds/min          commands sent to both drives
//   cmds/min/drive    the same per drive
//   <opcode>/min      commands of one kind (TEST UNIT READY, MODE SENSE, ...)
//   us/tick           CPU time of one tick, simulator included
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "app/app.h"
#include "cpu_time.h"
#include "drive/drive_list.h"
#include "platform/registry_memory.h"
#include "settings/store.h"
#include "sim_bus.h"
#include "sim_transport.h"

namespace tarvik {
namespace {

constexpr unsigned kTicksPerMinute = 60000 / kTimerPeriodMs;

// The window as far as the timer needs it: nothing is shown.
using IdleHost = NoWindowHost;

enum class Options { Default, AutoLock };

// A DVD writer with a DVD and a slim laptop writer with a CD-R, started as the
// program starts them with the main timer on.
class IdleRig {
public:
    explicit IdleRig(Options options) {
        SetRegistry(&registry_);
        GlobalSettings = GlobalSettingsRecord{};
        FreeDriveList();
        for (const char* name : {"dvdrw-24x-streaming.json", "slim-laptop-24x.json"}) {
            std::string error;
            if (!bus_.AddFile(std::string(TARVIK_SOURCE_DIR "/sim/profiles/") + name, error))
                std::fprintf(stderr, "timer_bench: %s\n", error.c_str());
        }
        sim::InstallSimTransport(bus_);
        bus_.virtualClock().Advance(10000);  // discs spun up
        RegKey root = RegKey::Create(kHkeyCurrentUser, kRootKeyPath, kKeyAllAccess);
        (void)root.SetDword("TimerEnable", 1);
        root.Reset();

        app_ = std::make_unique<App>(host_);
        app_->Start();  // examines the models and stores them
        if (options == Options::AutoLock)
            for (CdromDrive& drive : CdromList.drives) drive.AutoLock = 1;
        Minute();  // the start's own checks are over
        bus_.ClearTrace();
    }
    ~IdleRig() {
        app_.reset();
        FreeDriveList();
        sim::UninstallSimTransport();
        SetRegistry(nullptr);
    }

    void Minute() {
        for (unsigned i = 0; i < kTicksPerMinute; ++i) {
            bus_.virtualClock().Advance(kTimerPeriodMs);
            app_->Command(CMD_TIMER_TICK, 0);
        }
    }
    sim::Bus& bus() { return bus_; }
    size_t drives() const { return bus_.Count(); }

private:
    MemoryRegistry registry_;
    sim::Bus bus_;
    IdleHost host_;
    std::unique_ptr<App> app_;
};

const char* OpName(uint8_t op) {
    switch (op) {
        case 0x00: return "TEST_UNIT_READY";
        case 0x1E: return "PREVENT_ALLOW";
        case 0x28: return "READ10";
        case 0x42: return "READ_SUBCHANNEL";
        case 0x46: return "GET_CONFIGURATION";
        case 0x4A: return "GET_EVENT_STATUS";
        case 0x5A: return "MODE_SENSE10";
        case 0xAC: return "GET_PERFORMANCE";
        case 0xB6: return "SET_STREAMING";
        case 0xBB: return "SET_CD_SPEED";
        default: return nullptr;
    }
}

void IdleMinute(benchmark::State& state, Options options) {
    IdleRig rig(options);
    uint64_t minutes = 0, commands = 0, cpuNs = 0;
    std::map<std::string, uint64_t> byOp;
    for (auto _ : state) {
        const uint64_t t0 = CpuNs();
        rig.Minute();
        cpuNs += CpuNs() - t0;
        state.PauseTiming();
        for (const sim::TraceEntry& e : rig.bus().Trace()) {
            const uint8_t op = e.cdb.empty() ? 0 : e.cdb[0];
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", op);
            const char* name = OpName(op);
            ++byOp[name ? name : hex];
        }
        commands += rig.bus().Trace().size();
        ++minutes;
        rig.bus().ClearTrace();
        state.ResumeTiming();
    }
    if (minutes == 0) return;
    const double perMinute = double(commands) / double(minutes);
    state.counters["cmds/min"] = perMinute;
    state.counters["cmds/min/drive"] = perMinute / double(rig.drives());
    for (const auto& [op, n] : byOp) state.counters[op + "/min"] = double(n) / double(minutes);
    state.counters["us/tick"] = double(cpuNs) / 1e3 / double(minutes * kTicksPerMinute);
}

BENCHMARK_CAPTURE(IdleMinute, two_drives_default, Options::Default)->Unit(benchmark::kMicrosecond);
// AutoLock: the tray is locked again at every check.
BENCHMARK_CAPTURE(IdleMinute, two_drives_autolock, Options::AutoLock)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tarvik
