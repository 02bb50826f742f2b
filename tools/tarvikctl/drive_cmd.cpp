// tarvikctl drive commands: each call is one run of the program on the
// simulated drives. It loads the settings (from --registry), builds the drive
// list as start-up does (examining a model seen for the first time), runs one
// command through the program's own App, prints the outcome and saves the
// settings back.
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/units.h"
#include "ctl.h"
#include "ctl_app.h"
#include "ctl_json.h"
#include "ctl_run.h"
#include "disc_wait.h"
#include "drive/all_drives.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "drive/drive_store.h"
#include "drive/medium.h"
#include "drive/speed_control.h"
#include "drive/speed_detect.h"
#include "drive/speed_obey.h"
#include "drive/tray.h"
#include "registry_file.h"
#include "scsi/errors.h"
#include "scsi/mmc.h"
#include "scsi/transport.h"
#include "settings/store.h"

namespace tarvik::ctl {

namespace {

// DRIVE: a drive of the list the run built.
bool ParseListDrive(CtlContext& ctx, const std::string& text, CdromDrive*& drive,
                    const char* usage) {
    size_t n = 0;
    if (!ParseDrive(ctx, text, {CdromList.count(), "listed", " in the drive list"}, usage, n))
        return false;
    drive = DriveAt(static_cast<uint32_t>(n));
    return true;
}

// ---- printing ---------------------------------------------------------------

std::string Narrow(const char16_t* text) {
    std::string out;
    for (; *text; ++text) out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return out;
}

std::string X(uint32_t speed, uint32_t factor) {
    if (factor == 0) return "?x";
    return std::to_string(SpeedMultiple(speed, factor)) + "x";
}

std::string Hex(uint32_t value, int digits) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%0*X", digits, value);
    return b;
}

const char* FamilyName(MediumFamily family) {
    if (family == MediumFamily::DVD) return "DVD";
    if (family == MediumFamily::BD) return "BD";
    return "CD";
}

const char* ClassName(int32_t c) {
    switch (c) {
        case kMediumNone: return "none";
        case kMediumUnknown: return "unknown";
        case kMediumRewritable: return "rewritable";
        case kMediumRecordable: return "recordable";
        case kMediumPressed: return "pressed";
        default: return "?";
    }
}

std::string Letter(const CdromDrive& d) {
    const uint32_t l = d.Address.letter;
    return l >= 'A' && l <= 'Z' ? std::string(1, static_cast<char>(l)) + ":" : "-";
}

Json ListJson(const SpeedList& list) {
    Json entries = Json::array();
    for (uint32_t i = 0; i < EntryCount(list); ++i)
        entries.push_back({{"speed", list.Entries[i].Speed},
                           {"command", list.Entries[i].Command},
                           {"x", X(list.Entries[i].Speed, list.Factor)}});
    return {{"factor", list.Factor},
            {"canGetSpeed", list.CanGetSpeed},
            {"canSetSpeed", list.CanSetSpeed},
            {"canGetStreaming", list.CanGetStreaming},
            {"canSetStreaming", list.CanSetStreaming},
            {"methodDetected", list.MethodDetected},
            {"methodPrefered", list.MethodPrefered},
            {"maxLevel", list.MaxLevel},
            {"maxSpeed", list.MaxSpeed},
            {"selected", list.Selected},
            {"entries", entries}};
}

void PrintList(Writer& o, const char* family, const SpeedList& list) {
    o << "  " << family << ": factor=" << list.Factor << " selected=" << list.Selected
      << " maxLevel=" << list.MaxLevel << " maxSpeed=" << list.MaxSpeed
      << " methodDetected=" << list.MethodDetected << " methodPrefered=" << list.MethodPrefered
      << " canGetSpeed=" << list.CanGetSpeed << " canSetSpeed=" << list.CanSetSpeed
      << " canGetStreaming=" << list.CanGetStreaming << " canSetStreaming=" << list.CanSetStreaming
      << " count=" << EntryCount(list) << "\n";
    for (uint32_t i = 0; i < EntryCount(list); ++i) {
        const SpeedEntry& e = list.Entries[i];
        o << "    [" << i << "] " << e.Speed << " KB/s (" << X(e.Speed, list.Factor) << ") command "
          << e.Command << (e.Speed == list.Selected ? " *" : "") << "\n";
    }
}

// "24x 16x 10x* 8x (* selected)": the list as the speed menu shows it.
std::string SpeedsText(const SpeedList& list) {
    std::string text;
    bool marked = false;
    for (uint32_t i = 0; i < EntryCount(list); ++i) {
        const SpeedEntry& e = list.Entries[i];
        if (!text.empty()) text += ' ';
        text += X(e.Speed, list.Factor);
        if (list.Selected != 0 && e.Speed == list.Selected) {
            text += '*';
            marked = true;
        }
    }
    return text + (marked ? "  (* selected)" : "  (none selected: the drive's own speed)");
}

// Where the user finds the drive: its device node, its letter, or both.
std::string WhereText(const CtlContext& ctx, const CdromDrive& d) {
    std::string where = ctx.realDrives ? DeviceNode(d.Address) : std::string("simulated");
    const std::string letter = Letter(d);
    if (letter != "-") where += (where.empty() ? "" : ", ") + letter;
    return where;
}

// The families the drive reads, each with its list, or one line saying it was
// never detected.
void PrintReadableDrive(const CtlContext& ctx, Writer& o, uint32_t index, const CdromDrive& d) {
    const MediumFamily families[] = {MediumFamily::CD, MediumFamily::DVD, MediumFamily::BD};
    const bool reads[] = {true, d.IsDVD != 0, d.IsBD != 0};
    std::string readsText;
    for (size_t f = 0; f < 3; ++f)
        if (reads[f])
            readsText += std::string(readsText.empty() ? "" : ", ") + FamilyName(families[f]);
    const std::string where = WhereText(ctx, d);
    o << "drive " << index << ": " << Printable(d.Name) << (where.empty() ? "" : " (" + where + ")")
      << (d.Ignore ? "  [ignored]" : "") << "\n"
      << "  reads " << readsText << "\n";
    for (size_t f = 0; f < 3; ++f) {
        if (!reads[f]) continue;
        const SpeedList& list = d.ListOf(families[f]);
        o << "  " << FamilyName(families[f]) << ": "
          << (EntryCount(list) ? SpeedsText(list) : std::string("no speeds detected yet")) << "\n";
    }
}

Json DriveJson(uint32_t index, const CdromDrive& d) {
    return {{"index", index},
            {"name", d.Name},
            {"shortName", Narrow(d.ShortName[0] ? d.ShortName : d.DefaultShortName)},
            {"dupIndex", d.DupIndex},
            {"address",
             {{"adapter", d.Address.adapter},
              {"target", d.Address.target},
              {"lun", d.Address.lun},
              {"letter", Letter(d)}}},
            {"canClose", d.CanClose},
            {"canSenseMedium", d.CanSenseMedium},
            {"isDVD", d.IsDVD},
            {"isBD", d.IsBD},
            {"ignore", d.Ignore},
            {"cd", ListJson(d.SpeedListCD)},
            {"dvd", ListJson(d.SpeedListDVD)},
            {"bd", ListJson(d.SpeedListBD)}};
}

void PrintDrive(Writer& o, uint32_t index, const CdromDrive& d) {
    o << "drive " << index << ": \"" << Printable(d.Name) << "\"\n"
      << "  short name: " << Narrow(d.ShortName[0] ? d.ShortName : d.DefaultShortName)
      << "  instance: " << d.DupIndex << "  address: " << d.Address.adapter << ":"
      << d.Address.target << ":" << d.Address.lun << " " << Letter(d) << "\n"
      << "  flags: CanClose=" << d.CanClose << " CanSenseMedium=" << d.CanSenseMedium
      << " IsDVD=" << d.IsDVD << " IsBD=" << d.IsBD << (d.Ignore ? " Ignore=1" : "") << "\n";
    PrintList(o, "CD", d.SpeedListCD);
    PrintList(o, "DVD", d.SpeedListDVD);
    PrintList(o, "BD", d.SpeedListBD);
}

Json StateJson(uint32_t index, const CdromDrive& d) {
    return {{"index", index},
            {"family", FamilyName(d.CurrentFamily)},
            {"mediumPresent", d.MediumPresent},
            {"mediumClass", d.MediumClass},
            {"mediumType", d.Caps.mediumType},
            {"profile", d.Profile},
            {"trayOpen", IsTrayOpen(&d)},
            {"trayClosed", d.TrayClosed},
            {"trayOpenTick", d.TrayOpenTick},
            {"audioStatus", d.AudioStatus},
            {"currentSpeed", d.CurrentSpeed},
            {"x", X(d.CurrentSpeed, d.CurrentList().Factor)},
            {"selected", d.CurrentList().Selected},
            {"writeSpeed", d.Caps.currentWriteSpeed}};
}

void PrintState(Writer& o, uint32_t index, const CdromDrive& d) {
    o << "drive " << index << ": " << FamilyName(d.CurrentFamily)
      << " medium=" << (d.MediumPresent ? ClassName(d.MediumClass) : "none")
      << " mediumType=" << Hex(d.Caps.mediumType, 2) << " profile="
      << (d.Profile < 0 ? std::string("-1") : Hex(static_cast<uint32_t>(d.Profile), 4))
      << " tray=" << (IsTrayOpen(&d) ? "open" : "closed")
      << " audio="
      // All ones: READ SUB-CHANNEL failed, nothing is known of audio play.
      << (d.AudioStatus == 0xFFFFFFFFu ? std::string("unknown") : Hex(d.AudioStatus, 2))
      << " speed=" << d.CurrentSpeed << " (" << X(d.CurrentSpeed, d.CurrentList().Factor) << ")"
      << " selected=" << d.CurrentList().Selected << "\n";
}

// "1411 KB/s (8x)"; "none" for 0.
std::string SpeedWords(uint32_t speed, uint32_t factor) {
    if (speed == 0) return "none";
    return X(speed, factor) + " (" + std::to_string(speed) + " KB/s)";
}

// One line a person reads: the disc, the tray, its lock, the speed in force
// and the one selected.
void PrintReadableState(Writer& o, uint32_t index, const CdromDrive& d) {
    const uint32_t factor = d.CurrentList().Factor;
    std::string medium = "no disc";
    if (d.MediumPresent) {
        const int32_t c = d.MediumClass;
        medium = c == kMediumUnknown || c == kMediumNone
                     ? std::string(FamilyName(d.CurrentFamily)) + " (kind unknown)"
                     : std::string(ClassName(c)) + " " + FamilyName(d.CurrentFamily);
    }
    // Byte 6 bit 1 of the capabilities page: the drive's own prevent state.
    const bool locked = (d.Caps.caps[2] & 0x02) != 0;
    o << "drive " << index << ": " << medium << ", tray " << (IsTrayOpen(&d) ? "open" : "closed")
      << ", " << (locked ? "locked" : "unlocked") << ", speed "
      << (d.CurrentSpeed ? SpeedWords(d.CurrentSpeed, factor) : std::string("unknown"))
      << ", selected " << SpeedWords(d.CurrentList().Selected, factor) << "\n";
}

// Prints the state of one drive (or all) as the outcome of a command.
int Outcome(CtlContext& ctx, const char* command, const std::vector<uint32_t>& drives,
            Json extra = Json::object()) {
    if (ctx.json) {
        Json j = {{"command", command}};
        for (auto& [k, v] : extra.items()) j[k] = v;
        Json states = Json::array();
        for (uint32_t i : drives) states.push_back(StateJson(i, CdromList.drives[i]));
        j["drives"] = states;
        ctx.out << JsonText(j, 2) << "\n";
    } else {
        for (auto& [k, v] : extra.items())
            ctx.out << k << ": " << (v.is_string() ? v.get<std::string>() : JsonText(v, -1))
                    << "\n";
        for (uint32_t i : drives) {
            if (ctx.longForm)
                PrintState(ctx.out, i, CdromList.drives[i]);
            else
                PrintReadableState(ctx.out, i, CdromList.drives[i]);
        }
    }
    return kExitOk;
}

// Why a command failed, from the status values it left.
std::string CommandFailureText(const ScsiLastError& e) {
    char b[96];
    if (e.osError != -1) {
        ScsiRequest failed;
        failed.osError = e.osError;
        if (FaultOfRequest(failed) == DriveFault::Gone)
            return "the drive went away (" + SystemErrorText(e.osError) + ")";
        return SystemErrorText(e.osError);
    }
    if (e.targetStatus == 2 && e.senseKey != -1) return "the drive refused it: " + RefusalText(e);
    if (e.targetStatus > 0) {
        std::snprintf(b, sizeof b, "the drive refused it (%s)", TargetStatusText(e.targetStatus));
        return b;
    }
    if (e.aspiStatus != -1) {
        std::snprintf(b, sizeof b, "the ASPI manager reported %s", AspiStatusText(e.aspiStatus));
        return b;
    }
    return "no answer from the drive";
}

uint32_t IndexOf(const CdromDrive* d) { return static_cast<uint32_t>(d - CdromList.drives.data()); }

// A speed the user asked for that the drive or the system refused: said, so
// that the caller exits 1. The program itself goes on as if it had been sent.
bool SpeedRefused(CtlContext& ctx, const CdromDrive* d) {
    if (!d->SpeedCommandFailed) return false;
    ctx.err << "tarvikctl: drive " << IndexOf(d)
            << " did not take the speed: " << CommandFailureText(d->SpeedCommandError) << "\n";
    return true;
}

std::vector<uint32_t> AllDrives() {
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < CdromList.count(); ++i) v.push_back(i);
    return v;
}

// Progress of a detection on stderr. On a terminal: one line, rewritten with
// \r, with a bar, the percentage and the step; each speed found on a line of
// its own above it. Elsewhere (a log, a pipe) only the speeds found, one line
// each: a file gets no stream of \r. Ctrl-C stops the detection at its next
// step, so that the line is ended and nothing half-done is saved.
volatile std::sig_atomic_t gCancelled = 0;
extern "C" void CancelDetection(int) { gCancelled = 1; }

struct DetectProgress {
    Writer* err;
    bool terminal = false;
    bool quiet = false;
    std::string step;  // "fast detection"
    int lastPercent = -1;
    uint32_t found = 0;
    size_t lineLength = 0;  // what is on the open progress line

    void Draw(int percent) {
        constexpr int kBarWidth = 20;
        const int filled = percent * kBarWidth / 100;
        std::string line = "[" + std::string(static_cast<size_t>(filled), '#') +
                           std::string(static_cast<size_t>(kBarWidth - filled), '.') + "] ";
        line += (percent < 10    ? "  "
                 : percent < 100 ? " "
                                 : "") +
                std::to_string(percent) + "% " + step + ", " + std::to_string(found) +
                (found == 1 ? " speed" : " speeds") + " found";
        const size_t length = line.size();
        if (length < lineLength) line += std::string(lineLength - length, ' ');
        *err << "\r" << line;
        lineLength = length;
    }
    // Ends the progress line; the next output starts on a line of its own.
    void EndLine() {
        if (lineLength) *err << "\n";
        lineLength = 0;
    }
    // Clears the progress line for a line that goes above it.
    void ClearLine() {
        if (lineLength) *err << "\r" << std::string(lineLength, ' ') << "\r";
        lineLength = 0;
    }

    static int Fn(uint32_t min, uint32_t max, uint32_t pos, uint32_t speed, uint32_t command,
                  void* user) {
        auto* self = static_cast<DetectProgress*>(user);
        if (gCancelled) return 0;
        if (self->quiet) return 1;
        if (speed != 0) {
            ++self->found;
            self->ClearLine();
            *self->err << "found " << speed << " KB/s with command " << command << "\n";
            if (self->terminal && self->lastPercent >= 0) self->Draw(self->lastPercent);
            return 1;
        }
        if (self->terminal && max > min) {
            const uint32_t p = pos < min ? 0 : pos > max ? max - min : pos - min;
            const int percent = static_cast<int>(uint64_t{p} * 100 / (max - min));
            if (percent != self->lastPercent) {
                self->lastPercent = percent;
                self->Draw(percent);
            }
        }
        return 1;
    }
};

// The lock and unlock commands: the tray program has no such command (its
// lock follows AutoLock), so they send the command themselves. A lock that did
// not take must not read as one: scripts rely on it. Returns false after a
// message.
bool LockTray(CtlContext& ctx, CdromDrive* d, bool lock) {
    DriveOp op(d);
    const bool began = static_cast<bool>(op);
    const int done = began ? PreventCDROMRemoval(d->Address, lock ? 1 : 0) : 0;
    ScsiLastError failure;
    GetLastScsiError(&failure);
    op.Release();
    CheckDriveState(d);
    if (done) return true;
    ctx.err << "tarvikctl: drive " << IndexOf(d) << ": the tray was not "
            << (lock ? "locked" : "unlocked") << ": "
            << (began ? CommandFailureText(failure) : std::string("the drive is busy")) << "\n";
    return false;
}

// The program's eject and close ask the drive for no reason when it refuses;
// the same command once more, asking, either moves the tray after all or
// brings the drive's words (a locked tray: 05/53/02).
bool TrayMovedOnSecondTry(CdromDrive* d, bool eject) {
    if (d->TrayCommandError.targetStatus != 2 || d->TrayCommandError.senseKey != -1) return false;
    DriveOp op(d);
    if (!op) return false;
    const int moved = LoadEjectCDROMWithSense(d->Address, eject ? 1 : 0);
    if (!moved) GetLastScsiError(&d->TrayCommandError);
    op.Release();
    if (!moved) return false;
    d->TrayCommandFailed = false;
    d->TrayClosed = eject ? 0 : 1;
    CheckDriveState(d);
    return true;
}

// The drive command of a speed step; 0 for the tray commands.
unsigned SpeedStep(DriveAction action) {
    switch (action) {
        case DriveAction::Max: return DRIVE_CMD_MAX_SPEED;
        case DriveAction::Min: return DRIVE_CMD_MIN_SPEED;
        case DriveAction::Faster: return DRIVE_CMD_FASTER;
        case DriveAction::Slower: return DRIVE_CMD_SLOWER;
        case DriveAction::Restore: return DRIVE_CMD_RESTORE;
        default: return 0;
    }
}

const char* VerdictName(uint32_t v) {
    switch (VerdictKind(v)) {
        case kVerdictObeys: return "obeys";
        case kVerdictIgnores: return "ignores";
        case kVerdictRefuses: return "refuses";
        default: return "unknown";
    }
}

const char* ReportName(uint32_t r) {
    return r == kReportFollows ? "follows" : r == kReportFixed ? "fixed" : "unknown";
}

Json MethodJson(const VerifyMethod& m) {
    return {{"accepted", m.accepted},
            {"refused", m.refused},
            {"reportedLow", m.reportedLow},
            {"reportedHigh", m.reportedHigh}};
}

void PrintMethod(Writer& o, const char* name, const VerifyMethod& m) {
    o << "  " << name << ": "
      << (m.accepted  ? "accepted"
          : m.refused ? "refused (ILLEGAL REQUEST)"
                      : "failed")
      << " reported low=" << m.reportedLow << " high=" << m.reportedHigh << "\n";
}

}  // namespace

// ---- commands ----------------------------------------------------------------

int RunDrives(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (!args.empty()) return UsageError(ctx, "drives takes no arguments", command.usage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    if (ctx.json) {
        Json list = Json::array();
        for (uint32_t i = 0; i < CdromList.count(); ++i)
            list.push_back(DriveJson(i, CdromList.drives[i]));
        ctx.out << JsonText(Json{{"count", CdromList.count()}, {"drives", list}}, 2) << "\n";
    } else if (ctx.longForm) {
        ctx.out << CdromList.count() << " drive(s)\n";
        for (uint32_t i = 0; i < CdromList.count(); ++i)
            PrintDrive(ctx.out, i, CdromList.drives[i]);
    } else if (CdromList.count() == 0) {
        // Said in words: an empty answer reads like a command that did nothing.
        ctx.out << "no optical drive found\n";
    } else {
        for (uint32_t i = 0; i < CdromList.count(); ++i)
            PrintReadableDrive(ctx, ctx.out, i, CdromList.drives[i]);
    }
    return run.Finish() ? kExitOk : kExitFailed;
}

int RunState(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (args.size() != 1) return UsageError(ctx, "state needs DRIVE", command.usage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    CdromDrive* d = nullptr;
    if (!ParseListDrive(ctx, args[0], d, command.usage)) return kExitUsage;
    CheckDriveState(d);
    (void)Outcome(ctx, "state", {IndexOf(d)});
    return run.Finish() ? kExitOk : kExitFailed;
}

int RunDetect(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (args.size() != 2) return UsageError(ctx, "detect needs DRIVE and a kind", command.usage);
    const std::string& kind = args[1];
    void (*scan)(CdromDrive*, ProgressFn, void*) = nullptr;
    if (kind == "auto")
        scan = ScanCDROMSpeedAuto;
    else if (kind == "fast")
        scan = ScanCDROMSpeedFast;
    else if (kind == "full")
        scan = ScanCDROMSpeedFull;
    else if (kind == "measure")
        scan = ScanCDROMSpeedRead;
    else
        return UsageError(ctx, "unknown detection \"" + kind + "\"", command.usage);

    Run run(ctx);
    if (!run.ok) return kExitFailed;
    CdromDrive* d = nullptr;
    if (!ParseListDrive(ctx, args[0], d, command.usage)) return kExitUsage;
    DetectProgress progress{&ctx.err, IsTerminal(stderr), ctx.quiet, kind + " detection"};
    gCancelled = 0;
    auto* previous = std::signal(SIGINT, CancelDetection);
    scan(d, DetectProgress::Fn, &progress);
    (void)std::signal(SIGINT, previous);
    progress.EndLine();
    if (gCancelled) {
        // What a killed run left before: no settings written, the status of
        // Ctrl-C.
        ctx.err << "tarvikctl: detection cancelled; nothing was saved\n";
        ctx.out.Flush();
        (void)std::raise(SIGINT);
        return kExitFailed;
    }
    if (BrokenDriveFault(d->Address) == DriveFault::Gone) {
        // Pulled out (or its device deleted) mid-detection: what it answered
        // until then is no list, and it has no state to show.
        ctx.err << "tarvikctl: drive " << IndexOf(d)
                << " went away during the detection; nothing was stored\n";
        (void)run.Finish();
        return kExitFailed;
    }
    // The new list is kept, and what the detection found about obeying the
    // speed; the drive's options are not this command's to write.
    SaveDriveModel(d);
    SaveDriveVerdicts(d);

    const SpeedList& list = d->CurrentList();
    const bool failed = EntryCount(list) == 0;
    if (ctx.json) {
        ctx.out << JsonText(Json{{"command", "detect"},
                                 {"kind", kind},
                                 {"index", IndexOf(d)},
                                 {"family", FamilyName(d->CurrentFamily)},
                                 {"list", ListJson(list)}},
                            2)
                << "\n";
    } else if (ctx.longForm) {
        ctx.out << "drive " << IndexOf(d) << ": " << kind << " detection\n";
        PrintList(ctx.out, FamilyName(d->CurrentFamily), list);
    } else if (!failed) {
        ctx.out << "drive " << IndexOf(d) << ": " << FamilyName(d->CurrentFamily) << " "
                << SpeedsText(list) << "\n";
    }
    if (failed) ctx.err << "Speed detection failed.\n";
    if (d->LastMeasure == MeasureJudgement::Flat)
        ctx.err << "The measured speed stays the same whatever speed is set: the drive ignores "
                   "the speed. The previous speed list was kept.\n";
    if (d->LastMeasure == MeasureJudgement::Noise)
        ctx.err << "The measured speeds do not follow the speed set. The previous speed list "
                   "was kept.\n";
    // Nothing was measured: the kept list is no result of this detection.
    if (d->LastMeasure == MeasureJudgement::MediumGone)
        ctx.err << "The disc was taken out during the Measure. The previous speed list was "
                   "kept.\n";
    const bool unmeasured = d->LastMeasure == MeasureJudgement::Unmeasured ||
                            d->LastMeasure == MeasureJudgement::MediumGone;
    if (unmeasured)
        ctx.err << "No read could be timed: the disc may be too small or unreadable. The "
                   "previous speed list was kept.\n";
    const bool saved = run.Finish();
    return failed || unmeasured || !saved ? kExitFailed : kExitOk;
}

int RunVerify(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (args.empty() || args.size() > 2 || (args.size() == 2 && args[1] != "--read"))
        return UsageError(ctx, "verify needs DRIVE and takes only --read", command.usage);
    const bool withRead = args.size() == 2;
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    CdromDrive* d = nullptr;
    if (!ParseListDrive(ctx, args[0], d, command.usage)) return kExitUsage;
    VerifyResult r;
    if (!VerifySpeedControl(d, withRead, &r)) {
        ctx.err << "tarvikctl: drive " << IndexOf(d) << " is busy\n";
        (void)run.Finish();
        return kExitFailed;
    }
    const bool byRead = (r.verdict & kVerdictByRead) != 0;
    if (ctx.json) {
        Json j = {{"command", "verify"},
                  {"index", IndexOf(d)},
                  {"family", FamilyName(d->CurrentFamily)},
                  {"verdict", VerdictName(r.verdict)},
                  {"byRead", byRead},
                  {"report", ReportName(r.report)},
                  {"low", r.low},
                  {"high", r.high},
                  {"setCdSpeed", MethodJson(r.cdSpeed)},
                  {"setStreaming", MethodJson(r.streaming)}};
        j["read"] = r.read ? Json{{"low", r.readLow}, {"high", r.readHigh}} : Json(nullptr);
        j["drives"] = Json::array({StateJson(IndexOf(d), *d)});
        ctx.out << JsonText(j, 2) << "\n";
    } else {
        ctx.out << "drive " << IndexOf(d) << ": " << FamilyName(d->CurrentFamily) << " "
                << VerdictName(r.verdict) << (byRead ? " (timed read)" : "")
                << " report=" << ReportName(r.report) << "\n"
                << "  requests: low=" << r.low << " high=" << r.high << "\n";
        PrintMethod(ctx.out, "SET CD SPEED", r.cdSpeed);
        PrintMethod(ctx.out, "SET STREAMING", r.streaming);
        if (r.read) ctx.out << "  read: low=" << r.readLow << " high=" << r.readHigh << "\n";
        PrintState(ctx.out, IndexOf(d), *d);
    }
    return run.Finish() ? kExitOk : kExitFailed;
}

int RunSelect(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (args.size() != 2) return UsageError(ctx, "select needs DRIVE and INDEX", command.usage);
    int64_t k = 0;
    if (!ParseNumber(args[1], 0, kMaxSpeedEntries - 1, k))
        return UsageError(ctx, "INDEX must be 0.." + std::to_string(kMaxSpeedEntries - 1),
                          command.usage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    CdromDrive* d = nullptr;
    if (!ParseListDrive(ctx, args[0], d, command.usage)) return kExitUsage;

    run.Command(IndexOf(d), DRIVE_CMD_SET_SPEED, static_cast<unsigned>(k));
    if (static_cast<uint32_t>(k) >= EntryCount(d->CurrentList())) {
        ctx.err << "tarvikctl: the " << FamilyName(d->CurrentFamily) << " list of drive "
                << IndexOf(d) << " has no entry " << k << "\n";
        (void)run.Finish();
        return kExitFailed;
    }
    (void)Outcome(ctx, "select", {IndexOf(d)});
    const bool refused = SpeedRefused(ctx, d);
    return run.Finish() && !refused ? kExitOk : kExitFailed;
}

int RunSet(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (args.size() != 2) return UsageError(ctx, "set needs DRIVE and KBPS", command.usage);
    int64_t kbps = 0;
    if (!ParseNumber(args[1], 1, 0xFFFFFFFFLL, kbps))
        return UsageError(ctx, "KBPS must be a positive number", command.usage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    CdromDrive* d = nullptr;
    if (!ParseListDrive(ctx, args[0], d, command.usage)) return kExitUsage;
    CheckDriveState(d);
    SetSpeed(d, static_cast<uint32_t>(kbps));
    (void)Outcome(ctx, "set", {IndexOf(d)});
    const bool refused = SpeedRefused(ctx, d);
    return run.Finish() && !refused ? kExitOk : kExitFailed;
}

// The step and tray commands of main.cpp's table: one drive, the action of the
// command's row, the drive's state after it.
int RunDriveAction(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (args.size() != 1)
        return UsageError(ctx, std::string(command.name) + " needs DRIVE", command.usage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    CdromDrive* d = nullptr;
    if (!ParseListDrive(ctx, args[0], d, command.usage)) return kExitUsage;
    const uint32_t i = IndexOf(d);
    // A speed step sends what its hot key sends; a speed the drive refused fails it.
    const unsigned step = SpeedStep(command.action);
    if (step) run.Command(i, step);
    switch (command.action) {
        case DriveAction::Eject:
            run.app->EjectOrClose(i, true);
            if (run.host.passwordAsked) {
                // The program asks for the eject password here; a script cannot answer.
                ctx.err << "tarvikctl: drive " << i
                        << " is locked under an eject password; not ejected\n";
                (void)run.Finish();
                return kExitFailed;
            }
            break;
        case DriveAction::Close:
            run.app->EjectOrClose(i, false);
            run.host.RunPolls(*run.app);  // the restore once the disc is seen
            break;
        default: break;
    }
    const bool trayCommand =
        command.action == DriveAction::Eject || command.action == DriveAction::Close;
    if (trayCommand && i < CdromList.count() && CdromList.drives[i].TrayCommandFailed &&
        !TrayMovedOnSecondTry(&CdromList.drives[i], command.action == DriveAction::Eject)) {
        d = &CdromList.drives[i];
        // The tray did not move (a lock held by another program, a drive
        // without a tray motor): never reported as done.
        ctx.err << "tarvikctl: drive " << i << ": the tray was not "
                << (command.action == DriveAction::Eject ? "ejected" : "closed") << ": "
                << CommandFailureText(d->TrayCommandError) << "\n";
        (void)Outcome(ctx, command.name, {i});
        (void)run.Finish();
        return kExitFailed;
    }
    switch (command.action) {
        case DriveAction::Lock:
        case DriveAction::Unlock:
            if (!LockTray(ctx, d, command.action == DriveAction::Lock)) {
                (void)Outcome(ctx, command.name, {i});
                (void)run.Finish();
                return kExitFailed;
            }
            break;
        default: break;
    }
    (void)Outcome(ctx, command.name, {i});
    const bool refused = step != 0 && SpeedRefused(ctx, d);
    return run.Finish() && !refused ? kExitOk : kExitFailed;
}

int RunEvent(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (args.empty() || args.size() > 2)
        return UsageError(ctx, "event needs a kind", command.usage);
    uint32_t bit = 0;
    if (args[0] == "start")
        bit = kEventStart;
    else if (args[0] == "disk")
        bit = kEventDiskChange;
    else if (args[0] == "resume")
        bit = kEventResume;
    else
        return UsageError(ctx, "unknown event \"" + args[0] + "\"", command.usage);
    int64_t mask = 0;
    if (args.size() == 2 && !ParseNumber(args[1], 0, 0x3FFFFFF, mask))
        return UsageError(ctx, "LETTERMASK must be a unit mask (bit 0 = A:)", command.usage);
    // The start event is the program's start-up itself; the others are the
    // commands the window posts for the system's notifications.
    Run run(ctx, bit != kEventStart);
    if (!run.ok) return kExitFailed;
    if (bit == kEventStart) {
        run.app->DrivesInit(1);
    } else if (bit == kEventDiskChange) {
        WaitForDiscs(static_cast<uint32_t>(mask), ctx.err);
        run.app->Command(CMD_MEDIA_ARRIVED, static_cast<uint32_t>(mask));
    } else {
        run.app->Command(CMD_RESUME, 0);
    }
    (void)Outcome(ctx, "event", AllDrives(),
                  {{"event", args[0]}, {"letterMask", Hex(static_cast<uint32_t>(mask), 1)}});
    return run.Finish() ? kExitOk : kExitFailed;
}

int RunCloseAll(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (!args.empty()) return UsageError(ctx, "close-all takes no arguments", command.usage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    CloseAllTrays();
    (void)Outcome(ctx, "close-all", AllDrives(), {{"allClosed", IsAllClosed()}});
    return run.Finish() ? kExitOk : kExitFailed;
}

int RunEjectAll(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (!args.empty()) return UsageError(ctx, "eject-all takes no arguments", command.usage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    const uint32_t mask = EjectAllDisks();
    CheckAllDrives();  // show the trays as they are now
    (void)Outcome(ctx, "eject-all", AllDrives(), {{"mask", Hex(mask, 8)}});
    return run.Finish() ? kExitOk : kExitFailed;
}

}  // namespace tarvik::ctl
