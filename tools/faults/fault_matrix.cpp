#include "fault_matrix.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/app.h"
#include "app/windowless.h"
#include "base/bytes.h"
#include "base/log.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "platform/registry_memory.h"
#include "scsi/mmc.h"
#include "settings/store.h"
#include "sim_bus.h"
#include "sim_models.h"
#include "sim_transport.h"
#include "ui/dialogs/drive_options.h"

namespace tarvik::faults {

namespace {

constexpr uint32_t kTimeoutMs = 30000;
constexpr uint32_t kNotReadyWaitsMs = 2 * 500;
constexpr uint32_t kMediumWaitMs = 29 * 500;

// A DVD writer with a pressed CD that reports DVD reading current.
sim::Profile Writer(unsigned index) {
    // Models shared by four drives.
    sim::Profile p = sim::DvdWriter("FAULT SIM " + std::to_string(index / 4));
    p.features = {{0x1F, sim::Feature::Current::Medium}};
    return p;
}

// A drive options dialog that presses one button and then OK: the user's
// hand on the dialog, over a view of maps.
class NoUi final : public DriveOptionsUi {
public:
    void ClearRows(uint16_t) override {}
    void InsertRow(uint16_t, unsigned, std::u16string_view, std::u16string_view) override {}
    void DeleteRow(uint16_t, unsigned) override {}
    int SelectedRow(uint16_t) const override { return -1; }
    void SelectRow(uint16_t, unsigned) override {}
    uint32_t HotKey(uint16_t) const override { return 0; }
    void SetHotKey(uint16_t, uint32_t) override {}
    bool AskPassword() override { return false; }
    int MessageBox(unsigned, unsigned) override { return 2; }
    ScanEnd RunScan(unsigned, DetectFn scan, CdromDrive* drive) override {
        scan(drive, nullptr, nullptr);
        return ScanEnd::Done;
    }
    void End(int result) override { ended = result; }
    int ended = 0;
};

class MatrixHost final : public TimerSetHost {
public:
    uint16_t detectButton = 0;  // 0: OK without detecting

    bool RunDriveOptionsDialog(CdromDrive* drive) override {
        MapDialogView view;
        NoUi ui;
        char password[35] = {};
        DriveOptionsContext context{drive, password, DriveListGeneration()};
        DriveOptionsModel model(context, view, ui);
        model.Open();
        if (detectButton) model.Detect(detectButton);
        if (ui.ended) return false;
        model.Ok();
        return ui.ended == 1;
    }
    // The after-close polls, each half a second later, until they end.
    void RunPolls(App& app) { TimerSetHost::RunPolls(app, 32); }
};

unsigned DrivesOf(Op op) {
    switch (op) {
        case Op::Start1: return 1;
        case Op::Start16: return 16;
        default: return 4;
    }
}

// ---- invariants -----------------------------------------------------------------

void CheckList(const SpeedList& list, uint32_t factor, uint32_t selectedBefore,
               const std::string& where, std::vector<std::string>& broken) {
    if (list.Count > kMaxSpeedEntries) broken.push_back(where + " count above 128");
    if (list.Factor != factor) broken.push_back(where + " factor changed");
    bool selectedListed = list.Selected == 0 || list.Selected == selectedBefore;
    for (uint32_t i = 0; i < EntryCount(list); ++i) {
        const SpeedEntry& e = list.Entries[i];
        if (e.Speed == 0 || e.Command == 0) broken.push_back(where + " entry with 0 speed");
        if (i > 0 && e.Speed >= list.Entries[i - 1].Speed)
            broken.push_back(where + " entries not strictly descending");
        selectedListed = selectedListed || e.Speed == list.Selected;
    }
    if (!selectedListed) broken.push_back(where + " Selected neither listed nor the user's");
    const uint32_t level = list.MaxLevel;
    if (level != 0 && level != 1 && level != 2 && level != 4 && level != 8)
        broken.push_back(where + " MaxLevel not a medium class");
    if (list.MethodDetected > 2) broken.push_back(where + " MethodDetected unknown");
}

void CheckDrives(const App& app, unsigned busDrives, const std::vector<uint32_t>& selectedBefore,
                 std::vector<std::string>& broken) {
    if (CdromList.count() > kMaxDrives || CdromList.count() > busDrives)
        broken.push_back("more drives listed than exist");
    if (app.BusyCount != 0) broken.push_back("busy count not back to 0");
    for (uint32_t i = 0; i < CdromList.count(); ++i) {
        const CdromDrive& d = CdromList.drives[i];
        const std::string where = "drive " + std::to_string(i);
        if (d.Busy) broken.push_back(where + " left busy");
        if (d.CurrentFamily == MediumFamily::None) broken.push_back(where + " has no family");
        if (d.Name[sizeof d.Name - 1] != 0) broken.push_back(where + " name unterminated");
        const MediumFamily families[] = {MediumFamily::CD, MediumFamily::DVD, MediumFamily::BD};
        const uint32_t factors[] = {kFactorCD, kFactorDVD, kFactorBD};
        for (unsigned f = 0; f < 3; ++f) {
            const size_t k = i * 3 + f;
            CheckList(d.ListOf(families[f]), factors[f],
                      k < selectedBefore.size() ? selectedBefore[k] : 0,
                      where + " list " + std::to_string(f), broken);
        }
    }
}

// Every value below the root key has the type and size its reader expects,
// and every stored speed list is one the program could have made.
void CheckValues(const RegKey& key, const std::string& path, std::vector<std::string>& broken) {
    for (uint32_t i = 0;; ++i) {
        char name[300];
        uint32_t chars = sizeof name;
        uint32_t type = 0;
        uint8_t data[2048];
        uint32_t size = sizeof data;
        if (key.registry()->EnumValue(key.handle(), i, name, &chars, &type, data, &size) != 0)
            break;
        const std::string value = path + "\\" + name;
        if (std::strcmp(name, "Range") == 0) {
            if (type != kRegBinary || size > 1024 || (size != 1 && size % 8 != 0)) {
                broken.push_back(value + " malformed");
                continue;
            }
            for (uint32_t at = 8; at + 8 <= size; at += 8) {
                const uint32_t speed = GetLe32(data + at), previous = GetLe32(data + at - 8);
                if (speed == 0 || speed >= previous) broken.push_back(value + " not descending");
            }
            if (size >= 8 && (GetLe32(data) == 0 || GetLe32(data + 4) == 0))
                broken.push_back(value + " entry with 0 speed");
        } else if (std::strcmp(name, "ShortName") == 0) {
            if (type != kRegBinary || size > 22 || size % 2) broken.push_back(value + " malformed");
        } else if (std::strcmp(name, "HotKeys") == 0) {
            if (type != kRegBinary || size != 28) broken.push_back(value + " malformed");
        } else if (std::strcmp(name, "Data") == 0 || std::strcmp(name, "SavePath") == 0) {
            if (type != kRegSz) broken.push_back(value + " malformed");
        } else if (type != kRegDword || size != 4) {
            broken.push_back(value + " malformed");
        }
    }
}

void CheckKey(const RegKey& key, const std::string& path, int depth,
              std::vector<std::string>& broken) {
    CheckValues(key, path, broken);
    if (depth > 4) return broken.push_back(path + " nested too deep");
    for (uint32_t i = 0;; ++i) {
        char name[300];
        uint32_t chars = sizeof name;
        if (key.EnumKey(i, name, &chars) != 0) break;
        RegKey sub = RegKey::Open(key.handle(), name, kKeyRead);
        if (sub) CheckKey(sub, path + "\\" + name, depth + 1, broken);
    }
}

void CheckRegistry(std::vector<std::string>& broken) {
    RegKey root = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead);
    if (root) CheckKey(root, "", 0, broken);
}

// Whether the log has a line of the operation that sent `opcode` saying it
// failed: its own "*FAILED*" line, or the result line whose value says the
// command gave nothing; for a time-out, the transport's line that marks the
// drive broken. Another operation's failure does not count: it would let a
// failure the log passes over hide behind one it happens to report.
bool LogNamesFailure(const std::string& text, uint8_t opcode) {
    struct Line {
        uint8_t opcode;  // 0xFF: any
        const char* start;
        const char* end;
    };
    static const Line kLines[] = {
        {sim::kOpTestUnitReady, "TestUnitReady=-1", ""},
        {sim::kOpInquiry, "GetCDROMInquiry *FAILED*", ""},
        {sim::kOpStartStopUnit, "LoadEjectCDROM *FAILED*", ""},
        {sim::kOpPreventAllow, "PreventCDROMRemoval(", ") *FAILED*"},
        {sim::kOpReadCapacity, "ReadCDROMCapacity *FAILED*", ""},
        {sim::kOpReadCapacity, "LBA=0 MB=0", ""},
        {sim::kOpRead10, "ReadCDROMBlocks(", ") *FAILED*"},
        {sim::kOpRead10, "ScanRead: MeasureSpeed() failed!", ""},
        {sim::kOpGetConfiguration, "GetCDROMProfile *FAILED*", ""},
        // The log cannot tell a refused feature check from a feature the drive lacks.
        {sim::kOpGetConfiguration, "CheckCDROMFeature(", ")=0"},
        {sim::kOpModeSense10, "GetCDROMInfo *FAILED*", ""},
        {sim::kOpGetPerformance, "GetCDSpeed=0", ""},
        {sim::kOpGetPerformance, "GetDVDSpeed=0", ""},
        {sim::kOpReadDiscStructure, "ReadDVDBookType=0xFFFFFFFF", ""},
        {sim::kOpSetStreaming, "SetDVDSpeed(", ") *FAILED*"},
        {sim::kOpSetStreaming, "SetDVDSpeed=0", ""},
        {sim::kOpSetCdSpeed, "SetCDROMSpeed(", ") *FAILED*"},
        {sim::kOpSetCdSpeed, "SetCDROMSpeed=0", ""},
        {0xFF, "Drive (", ") timed out - marked broken, nothing is sent to it until Detect drives"},
    };
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const size_t stamp = line.find(' ');
        const size_t at = stamp == std::string::npos ? stamp : line.find_first_not_of(' ', stamp);
        if (at == std::string::npos) continue;
        const std::string_view message = std::string_view(line).substr(at);
        for (const Line& l : kLines)
            if ((l.opcode == opcode || l.opcode == 0xFF) && message.starts_with(l.start) &&
                message.ends_with(l.end) &&
                message.size() >= std::strlen(l.start) + std::strlen(l.end))
                return true;
    }
    return false;
}

// ---- one cell -------------------------------------------------------------------

class Rig {
public:
    Rig(Op op, const std::string& logDir, sim::TransportStyle style) : op_(op), logDir_(logDir) {
        SetRegistry(&registry_);
        ResetTransportState();
        GlobalSettings = GlobalSettingsRecord{};
        FreeDriveList();
        for (unsigned i = 0; i < DrivesOf(op); ++i) bus_.Add(Writer(i));
        sim::InstallSimTransport(bus_, style);
        bus_.virtualClock().Set(100000);
        app_ = std::make_unique<App>(host_);
    }
    ~Rig() {
        app_.reset();
        FreeDriveList();
        sim::UninstallSimTransport();
        SetRegistry(nullptr);
        LogClose();
    }

    // Brings the program to where the operation starts: started, a speed
    // chosen, and the drive in the state the operation needs.
    void Prepare() {
        if (op_ == Op::Start1) return;  // the first start is the operation
        RegKey root = RegKey::Create(kHkeyCurrentUser, kRootKeyPath, kKeyAllAccess);
        (void)root.SetDword("TimerEnable", 1);
        if (op_ == Op::SessionEnd) {
            for (const char* name : {"DNEject", "DNClose", "DNMessage"})
                (void)root.SetDword(name, 1);
        }
        root.Reset();
        app_->Start();
        Settle();
        app_->Command(DriveCommand{3, 0, DRIVE_CMD_SET_SPEED}.Encode(), 0);  // 24x
        CdromDrive* d = DriveAt(0);
        if (!d) return;
        switch (op_) {
            case Op::Restore:
            case Op::Resume:
                bus_.At(0).InsertMedium(bus_.At(0).medium());  // the drive forgets the speed
                Settle();
                break;
            case Op::Close:
                d->EventMask |= kEventTrayClose;
                (void)bus_.At(0).OpenTray();
                app_->Command(CMD_LEFT_CLICK, 0);
                break;
            case Op::LockedEject:
            case Op::TimerTick:
                d->AutoLock = 1;
                d->Timer = 5;
                break;
            case Op::MediaArrival:
                bus_.At(0).InsertMedium(sim::DvdOfBook(2));
                Settle();
                break;
            case Op::SessionEnd: (void)bus_.At(1).OpenTray(); break;
            default: break;
        }
        for (uint32_t i = 0; i < CdromList.count(); ++i)
            for (MediumFamily f : {MediumFamily::CD, MediumFamily::DVD, MediumFamily::BD})
                selectedBefore_.push_back(CdromList.drives[i].ListOf(f).Selected);
    }

    CellResult Run(const FaultInfo* fault, uint8_t opcode) {
        std::error_code ignored;
        const std::string base = logDir_ + "/cell";
        if (!LogOpen(base.c_str(), ".log")) std::fprintf(stderr, "fault matrix: no log file\n");
        const std::string logPath = LogPath() ? LogPath() : "";
        if (fault) {
            sim::FaultRule rule = fault->rule;
            rule.opcode = opcode;
            bus_.At(0).SetFaults({rule});
        }
        bus_.ClearTrace();
        const uint64_t t0 = bus_.virtualClock().Elapsed();
        RunOperation();
        CellResult r;
        r.ms = bus_.virtualClock().Elapsed() - t0;
        r.commands = bus_.Trace().size();
        r.fired = bus_.At(0).FaultsFired();
        for (const sim::TraceEntry& e : bus_.Trace()) {
            if (e.cdb.empty()) continue;
            if (e.cdb[0] == sim::kOpModeSense10) ++r.checks;
            if (e.drive == 0 &&
                std::find(r.opcodes.begin(), r.opcodes.end(), e.cdb[0]) == r.opcodes.end())
                r.opcodes.push_back(e.cdb[0]);
        }
        CheckDrives(*app_, static_cast<unsigned>(bus_.Count()), selectedBefore_, r.broken);
        CheckRegistry(r.broken);
        LogClose();
        {
            std::ifstream in(logPath);
            std::stringstream text;
            text << in.rdbuf();
            r.named = LogNamesFailure(text.str(), opcode);
        }
        r.logged = r.named || !(fault && fault->fails && r.fired);
        std::filesystem::remove(logPath, ignored);
        std::sort(r.broken.begin(), r.broken.end());
        r.broken.erase(std::unique(r.broken.begin(), r.broken.end()), r.broken.end());
        return r;
    }

private:
    void Settle() { bus_.virtualClock().Advance(10000); }
    void Drive(unsigned action, unsigned k = 0) {
        app_->Command(DriveCommand{k, 0, action}.Encode(), 0);
    }

    void RunOperation() {
        switch (op_) {
            case Op::Start1:
            case Op::Start4:
            case Op::Start16: return app_->Start();
            case Op::StateCheck: return app_->Command(CMD_LEFT_CLICK, 0);
            case Op::SetSpeed: return Drive(DRIVE_CMD_SET_SPEED, 5);
            case Op::Restore: return Drive(DRIVE_CMD_RESTORE);
            case Op::Faster: return Drive(DRIVE_CMD_FASTER);
            case Op::Slower: return Drive(DRIVE_CMD_SLOWER);
            case Op::DetectFast: host_.detectButton = kDoFast; return Drive(DRIVE_CMD_OPTIONS);
            case Op::DetectFull: host_.detectButton = kDoFull; return Drive(DRIVE_CMD_OPTIONS);
            case Op::DetectMeasure:
                host_.detectButton = kDoMeasure;
                return Drive(DRIVE_CMD_OPTIONS);
            case Op::Eject:
            case Op::LockedEject: return Drive(DRIVE_CMD_EJECT);
            case Op::Close: Drive(DRIVE_CMD_CLOSE); return host_.RunPolls(*app_);
            case Op::TimerTick:
                for (int tick = 0; tick < 10; ++tick) {
                    GetClock().Sleep(kTimerPeriodMs);
                    app_->Command(CMD_TIMER_TICK, 0);
                }
                return;
            case Op::MediaArrival:
                return app_->Command(CMD_MEDIA_ARRIVED, 1u << (bus_.Letter(0) - 'A'));
            case Op::Resume: return app_->Command(CMD_RESUME, 0);
            case Op::SessionEnd: app_->QueryEndSession(); return app_->EndSession(true);
            case Op::DriveOptionsOk: return Drive(DRIVE_CMD_OPTIONS);
        }
    }

    Op op_;
    std::string logDir_;
    MemoryRegistry registry_;
    sim::Bus bus_;
    MatrixHost host_;
    std::unique_ptr<App> app_;
    std::vector<uint32_t> selectedBefore_;
};

sim::FaultRule SenseRule(uint8_t key, uint8_t asc, uint8_t ascq, uint32_t times = 0) {
    sim::FaultRule r;
    r.kind = sim::FaultKind::Sense;
    r.sense = {key, asc, ascq};
    r.times = times;
    return r;
}

sim::FaultRule KindRule(sim::FaultKind kind, uint32_t times = 0, uint32_t bytes = 0,
                        uint32_t seed = 0) {
    sim::FaultRule r;
    r.kind = kind;
    r.times = times;
    r.bytes = bytes;
    r.seed = seed;
    return r;
}

}  // namespace

const std::vector<OpInfo>& Operations() {
    static const std::vector<OpInfo> ops = {
        {Op::Start1, "start 1 new"},
        {Op::Start4, "start 4"},
        {Op::Start16, "start 16"},
        {Op::StateCheck, "state check"},
        {Op::SetSpeed, "set speed"},
        {Op::Restore, "restore"},
        {Op::Faster, "faster"},
        {Op::Slower, "slower"},
        {Op::DetectFast, "detect fast"},
        {Op::DetectFull, "detect full"},
        {Op::DetectMeasure, "detect measure"},
        {Op::Eject, "eject"},
        {Op::Close, "close+poll"},
        {Op::LockedEject, "locked eject"},
        {Op::TimerTick, "timer 5 s"},
        {Op::MediaArrival, "media arrival"},
        {Op::Resume, "resume"},
        {Op::SessionEnd, "session end"},
        {Op::DriveOptionsOk, "options OK"},
    };
    return ops;
}

const std::vector<FaultInfo>& Faults() {
    using K = sim::FaultKind;
    static const std::vector<FaultInfo> faults = {
        // NOT READY while becoming ready, three times: a transient the
        // program may ride out without a word in the log.
        {"spin-up", SenseRule(2, 0x04, 0x01, 3), false},
        {"not-ready", SenseRule(2, 0x04, 0x00), true},  // NOT READY for good
        {"UA-storm", SenseRule(6, 0x28, 0x00), true},   // a unit attention to every command
        {"illegal", SenseRule(5, 0x24, 0x00), true},
        {"medium", SenseRule(3, 0x11, 0x00), true},
        {"hardware", SenseRule(4, 0x44, 0x00), true},
        {"transport", KindRule(K::TransportError), true},
        {"timeout", KindRule(K::Timeout), true},
        {"vanish", KindRule(K::Vanish, 1), true},
        {"short", KindRule(K::ShortAnswer, 0, 4), false},
        {"long", KindRule(K::LongAnswer, 0, 4096), false},
        {"garbageFF", KindRule(K::Garbage, 0, 0, 0), false},
        {"garbage", KindRule(K::Garbage, 0, 0, 0x2545F491), false},
    };
    return faults;
}

CellResult RunCell(Op op, const FaultInfo* fault, uint8_t opcode, const std::string& logDir,
                   sim::TransportStyle style) {
    Rig rig(op, logDir, style);
    rig.Prepare();
    return rig.Run(fault, opcode);
}

uint64_t BoundMs(const CellResult& healthy) {
    const uint64_t perCommand = 3ull * kTimeoutMs + kNotReadyWaitsMs;
    return healthy.ms + healthy.commands * perCommand + healthy.checks * kMediumWaitMs;
}

std::string Serialize(const CellResult& r) {
    std::string s = std::to_string(r.ms) + " " + std::to_string(r.commands) + " " +
                    std::to_string(r.checks) + " " + std::to_string(r.fired) + " " +
                    (r.logged ? "1" : "0") + " ";
    for (uint8_t op : r.opcodes) s += std::to_string(op) + ",";
    s += "- ";
    for (const std::string& b : r.broken) s += b + "|";
    return s;
}

bool Deserialize(const std::string& line, CellResult& r) {
    std::istringstream in(line);
    int logged = 0;
    if (!(in >> r.ms >> r.commands >> r.checks >> r.fired >> logged)) return false;
    r.logged = logged != 0;
    std::string ops, rest;
    in >> ops;
    std::getline(in, rest);
    std::istringstream opsIn(ops);
    for (std::string op; std::getline(opsIn, op, ',');)
        if (!op.empty() && op != "-") r.opcodes.push_back(static_cast<uint8_t>(std::stoi(op)));
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    std::istringstream brokenIn(rest);
    for (std::string b; std::getline(brokenIn, b, '|');)
        if (!b.empty()) r.broken.push_back(b);
    return true;
}

}  // namespace tarvik::faults
