#pragma once
// Hours of the running program on a virtual clock: the App with two simulated
// drives and a host that runs the posted commands and the timers as the
// window's message loop would. Every few virtual seconds a script changes a
// disc (and the system announces it), opens and closes a tray from the menu,
// chooses a speed from the menu or comes back from sleep with a new disc in.
//
// A restore is due after an event the drive's event mask names when a speed
// is selected for the disc's family and the speed in force is above it (the
// drive forgot it with the new disc); it is seen when, by the next step, the
// drive's speed in force is at or below the selected one again. Heap in use
// (mallinfo2) and open registry keys are sampled every virtual minute after a
// warm-up. Shared by the soak benchmark and its short sample in the unit tests.
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "app/windowless.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "platform/registry_memory.h"
#include "settings/store.h"
#include "sim_bus.h"
#include "sim_models.h"
#include "sim_transport.h"

namespace tarvik::soak {

struct Figures {
    uint64_t virtualMs = 0;
    uint64_t steps[4] = {};  // speed, disc, tray, resume
    uint64_t expected = 0;   // restores due
    uint64_t seen = 0;       // restores that happened
    std::vector<std::string> missed;
    size_t heapStart = 0, heapEnd = 0, heapMax = 0;  // bytes in use after the warm-up
    size_t keysMax = 0;                              // registry keys open between steps
    size_t postedMax = 0;                            // posted commands waiting at once
    uint64_t ticks = 0;                              // main timer ticks run
};

// The window as the soak needs it: a message queue and the set of timers.
class SoakHost final : public TimerSetHost {
public:
    std::deque<std::pair<uint16_t, uint32_t>> posted;
    size_t postedMax = 0;
    uint64_t ticks = 0;

    void PostCommand(uint16_t id, uint32_t lParam) override {
        ticks += id == CMD_TIMER_TICK;
        posted.emplace_back(id, lParam);
        postedMax = std::max(postedMax, posted.size());
    }
};

inline size_t HeapInUse() { return mallinfo2().uordblks; }

class AppSoak {
public:
    static constexpr uint32_t kEventMask = kEventDiskChange | kEventResume | kEventTrayClose;

    explicit AppSoak(uint32_t seed) : rng_(seed) {
        SetRegistry(&registry_);
        GlobalSettings = GlobalSettingsRecord{};
        FreeDriveList();
        (void)bus_.Add(Writer("DVDRW SOAK", true));
        (void)bus_.Add(Writer("SLIM SOAK", false));  // its tray must be pushed in by hand
        bus_.KeepTraceInMemory(false);               // the drives' record is not the program's
        sim::InstallSimTransport(bus_);
        bus_.virtualClock().Advance(10000);
        RegKey root = RegKey::Create(kHkeyCurrentUser, kRootKeyPath, kKeyAllAccess);
        (void)root.SetDword("TimerEnable", 1);
        root.Reset();
        app_ = std::make_unique<App>(host_);
        app_->Start();
        Pump();
        for (CdromDrive& drive : CdromList.drives) drive.EventMask = kEventMask;
    }
    ~AppSoak() {
        app_->Shutdown();
        app_.reset();
        FreeDriveList();
        sim::UninstallSimTransport();
        SetRegistry(nullptr);
    }
    AppSoak(const AppSoak&) = delete;
    AppSoak& operator=(const AppSoak&) = delete;

    // Runs `virtualMs` of scripted use; heap figures start after `warmupMs`.
    Figures Run(uint64_t virtualMs, uint64_t warmupMs) {
        Figures f;
        uint64_t nextSample = warmupMs;
        bool sampling = false;
        while (f.virtualMs < virtualMs) {
            const unsigned kind = Pick(4);
            const unsigned d = Pick(2);
            ++f.steps[kind];
            switch (kind) {
                case 0: StepSpeed(d); break;
                case 1: StepDisc(d); break;
                case 2: StepTray(d); break;
                default: StepResume(d); break;
            }
            // A few seconds pass; long enough for a disc to be seen after a close.
            const uint32_t pause = 2000 + Pick(8) * 1000 + (kind == 2 ? 6000 : 0);
            Advance(pause);
            f.virtualMs += elapsed_;
            elapsed_ = 0;
            CheckDue(f);
            f.keysMax = std::max(f.keysMax, registry_.OpenHandles());
            if (f.virtualMs >= nextSample) {
                const size_t heap = HeapInUse();
                if (!sampling) f.heapStart = heap, sampling = true;
                f.heapMax = std::max(f.heapMax, heap);
                f.heapEnd = heap;
                nextSample = f.virtualMs + 60000;
            }
        }
        f.postedMax = host_.postedMax;
        f.ticks = host_.ticks;
        return f;
    }

private:
    struct Due {
        unsigned drive;
        sim::Family family;
        uint32_t selected;
        const char* what;
    };

    static sim::Profile Writer(const char* product, bool canClose) {
        sim::Profile p = sim::DvdWriter(product);
        p.Speeds(sim::Family::Cd).spinUpMs = 1500;
        p.Speeds(sim::Family::Dvd).spinUpMs = 4000;
        p.canClose = canClose;
        return p;
    }

    unsigned Pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }

    // The message loop: posted commands in order, each tick's timers.
    void Pump() {
        for (unsigned guard = 0; !host_.posted.empty() && guard < 10000; ++guard) {
            const auto [id, lParam] = host_.posted.front();
            host_.posted.pop_front();
            app_->Command(id, lParam);
        }
    }
    void Advance(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += kTimerPeriodMs) {
            bus_.virtualClock().Advance(kTimerPeriodMs);
            elapsed_ += kTimerPeriodMs;
            const std::vector<unsigned> due(host_.timers.begin(), host_.timers.end());
            for (unsigned id : due) app_->Timer(id);
            Pump();
        }
    }

    // The script inserts CDs and DVDs only.
    sim::Family FamilyIn(unsigned d) const {
        return bus_.At(d).medium().kind == sim::MediumKind::Dvd ? sim::Family::Dvd
                                                                : sim::Family::Cd;
    }
    uint32_t SelectedFor(unsigned d, sim::Family f) const {
        const CdromDrive& drive = CdromList.drives[d];
        return f == sim::Family::Dvd ? drive.SpeedListDVD.Selected : drive.SpeedListCD.Selected;
    }
    // Noted before the event: checked once the step's pause is over.
    void NoteIfDue(unsigned d, const char* what) {
        const sim::Family f = FamilyIn(d);
        const uint32_t selected = SelectedFor(d, f);
        if (selected != 0 && bus_.At(d).SpeedInForce(f) > selected)
            due_.push_back({d, f, selected, what});
    }
    void CheckDue(Figures& f) {
        for (const Due& due : due_) {
            ++f.expected;
            const uint32_t now = bus_.At(due.drive).SpeedInForce(due.family);
            if (now <= due.selected) {
                ++f.seen;
            } else if (f.missed.size() < 20) {
                char line[160];
                std::snprintf(line, sizeof line,
                              "%s on drive %u at %llu ms: %u in force, %u selected", due.what,
                              due.drive, static_cast<unsigned long long>(f.virtualMs), now,
                              due.selected);
                f.missed.emplace_back(line);
            }
        }
        due_.clear();
    }

    void NewDisc(unsigned d) {
        sim::Drive& drive = bus_.At(d);
        (void)drive.OpenTray();
        sim::Medium m;
        m.kind = Pick(2) ? sim::MediumKind::Dvd : sim::MediumKind::Cd;
        m.bookType = static_cast<uint8_t>(Pick(2) * 9);
        drive.InsertMedium(m);
        drive.CloseTray();
        Advance(4500);  // the system announces a disc once it is spun up
    }
    void Arrival(unsigned d) {
        DeviceBroadcast block;
        block.volume = true;
        block.deviceType = kDbtDevtypVolume;
        block.unitMask = 1u << (bus_.Letter(d) - 'A');
        block.flags = kDbtfMedia;
        app_->DeviceChange(kDbtDeviceArrival, block);
        Pump();
    }

    void StepSpeed(unsigned d) {
        app_->Command(DriveCommand{1 + Pick(4), d, DRIVE_CMD_SET_SPEED}.Encode(), 0);
        Pump();
    }
    void StepDisc(unsigned d) {
        NewDisc(d);
        NoteIfDue(d, "media arrival");
        Arrival(d);
    }
    void StepTray(unsigned d) {
        app_->Command(DriveCommand{0, d, DRIVE_CMD_EJECT}.Encode(), 0);
        Pump();
        Advance(1000 + Pick(3) * 500);
        if (bus_.At(d).profile().canClose) {
            // The program's close: the drive loads the disc and forgets its speed.
            const sim::Family f = FamilyIn(d);
            const uint32_t selected = SelectedFor(d, f);
            if (selected != 0 && bus_.At(d).profile().Speeds(f).Max() > selected)
                due_.push_back({d, f, selected, "tray close"});
            app_->Command(DriveCommand{0, d, DRIVE_CMD_CLOSE}.Encode(), 0);
            Pump();
        } else {
            bus_.At(d).CloseTray();
            Advance(4500);
            NoteIfDue(d, "media arrival after a tray close");
            Arrival(d);
        }
    }
    void StepResume(unsigned d) {
        NewDisc(d);
        for (unsigned x = 0; x < bus_.Count(); ++x) NoteIfDue(x, "resume");
        app_->PowerBroadcast(kPbtApmResumeSuspend);
        Pump();
    }

    MemoryRegistry registry_;
    sim::Bus bus_;
    SoakHost host_;
    std::unique_ptr<App> app_;
    std::mt19937 rng_;
    std::vector<Due> due_;
    uint64_t elapsed_ = 0;
};

}  // namespace tarvik::soak
