// tarvikctl [--sim PROFILE]... | [--device PATH|auto]... [--registry FILE | --system]
//           [--trace FILE] [--state FILE] [--json | --long] [--quiet] COMMAND ARGS...
#include <cstdio>

#include "ctl.h"
#include "scsi/transport_trace.h"
#include "sim_state.h"
#include "sim_transport.h"
#include "tarvik_version.h"

namespace tarvik::ctl {

namespace {

// Every command, in the order --help lists them.
constexpr CtlCommand kCommands[] = {
    {"drives", RunDrives,
     "drives\n"
     "  each drive: its number, name, device, what it reads and its speed lists\n"
     "  (--long: every flag and list field, as key=value)"},
    {"state", RunState,
     "state DRIVE\n  the disc, the tray, its lock, the speed now and the one selected"},
    {"detect", RunDetect,
     "detect DRIVE auto|fast|full|measure\n"
     "  find the speeds the drive offers for the disc in it, and keep them\n"
     "  fast: ask the drive; full: try every speed; measure: time reads; auto: as the\n"
     "  drive is known to need. Progress on stderr (a line on a terminal)."},
    {"verify", RunVerify,
     "verify DRIVE [--read]\n"
     "  does the drive obey the speed commands?\n"
     "  Each speed command at 4x and at full speed, the reported speed after each;\n"
     "  --read also times a one-second read at both."},
    {"select", RunSelect,
     "select DRIVE INDEX\n  choose entry INDEX (from 0) of the disc's speed list, as the speed "
     "menu does"},
    {"set", RunSet, "set DRIVE KBPS\n  send one speed command with read speed KBPS"},
    // The hot keys' speed steps and the tray menu's commands: one drive each.
    {"max", RunDriveAction, "max DRIVE\n  the fastest speed of the current list", DriveAction::Max},
    {"min", RunDriveAction, "min DRIVE\n  the slowest speed of the current list", DriveAction::Min},
    {"faster", RunDriveAction, "faster DRIVE\n  one speed faster", DriveAction::Faster},
    {"slower", RunDriveAction, "slower DRIVE\n  one speed slower", DriveAction::Slower},
    {"restore", RunDriveAction, "restore DRIVE\n  the selected speed, whatever the drive runs at",
     DriveAction::Restore},
    {"event", RunEvent,
     "event start|disk|resume [LETTERMASK]\n  set the selected speeds again, as after a start, a "
     "disc change or a resume"},
    {"eject", RunDriveAction,
     "eject DRIVE\n  eject the tray (unlocked first, locked again with AutoLock)",
     DriveAction::Eject},
    {"close", RunDriveAction, "close DRIVE\n  close the tray", DriveAction::Close},
    {"lock", RunDriveAction, "lock DRIVE\n  prevent medium removal", DriveAction::Lock},
    {"unlock", RunDriveAction, "unlock DRIVE\n  allow medium removal", DriveAction::Unlock},
    {"close-all", RunCloseAll, "close-all\n  close every tray that can be closed"},
    {"eject-all", RunEjectAll,
     "eject-all\n  eject every disc (not from drives locked under a password)"},
    {"info", RunInfo,
     "info\n"
     "  the program's drive information text\n"
     "  UTF-8, LF line ends (the dialog's text has CR LF);\n"
     "  the dialog's text has CR LF); with --sim no ASPI library is loaded, so its\n"
     "  version values are empty",
     DriveAction::None, true},
    {"menu", RunMenu,
     "menu left|right\n"
     "  the tray menu of a left click (drives and speeds) or a right click (the program)\n"
     "  One item a line, submenus indented, then the identifier and the marks\n"
     "  [checked], [checked: BITMAP] (its own check mark), [grey], [disabled], [data N];\n"
     "  ---- is a separator, <BITMAP> a picture item, \"NAME >\" opens the lines below it",
     DriveAction::None, true},
    {"mmc", RunMmc,
     "mmc DRIVE OP [ARGS]\n"
     "  send one MMC operation to the drive and print its answer\n"
     "  OP: inquiry | info | cd-speed | set-cd-speed READ WRITE | load-eject EJECT | tur |\n"
     "      capacity | read LBA COUNT | prevent PREVENT | audio-status | profile |\n"
     "      set-dvd-speed READ WRITE | dvd-speed | book-type | bd-disc-type | feature NUMBER\n"
     "  Numbers are decimal or 0x-hex. Exit 1 when the operation reports a failure."},
    {"password", RunPassword,
     "password hash PASSWORD [SALT] | check [PASSWORD] STORED | set [PASSWORD]\n"
     "  the eject password: its stored form, a check, a new one\n"
     "  hash:  print the stored form of PASSWORD; SALT (\"$1$\" optional, 8 characters\n"
     "         at most) or else one made from the current time, as a new password gets\n"
     "  check: exit 0 when PASSWORD matches the stored form STORED, else 1\n"
     "  set:   store PASSWORD as the eject password in the settings, as the options\n"
     "         dialog does; an empty PASSWORD removes it\n"
     "  Leave PASSWORD out: check and set then read it from the terminal without echo\n"
     "  (or one line from stdin). On the command line any user of the machine can\n"
     "  read it in the process list, and it stays in the shell's history.",
     DriveAction::None, true},
    {"settings", RunSettings,
     "settings show | set NAME VALUE | win-back MODEL INSTANCE 0|1 | reset | export PATH |\n"
     "         compare PATH\n"
     "  the stored settings: show, change, reset, export or compare them\n"
     "  show:   global options, every stored drive model and instance, as loaded\n"
     "  set:    one global option (a name of `settings show`; SavePath takes a path,\n"
     "          Language en, de, fr, es, ru, or auto for the display language)\n"
     "  win-back: a drive instance's \"When another program changes it\" (WinBackSpeed)\n"
     "  reset:  remove all options, as \"Remove all options from registry?\" does\n"
     "  export: write the root key to PATH as the program's export does\n"
     "  compare: exit 0 when the .reg file PATH holds the same root key tree, else 1\n"
     "  With --json, show prints one JSON object.",
     DriveAction::None, true},
    {"sim", RunSim,
     "sim DRIVE OP [ARG]\n"
     "  a simulated drive's tray button, disc and audio\n"
     "  OP: state | insert MEDIUM | remove | open | close | audio STATUS\n"
     "  MEDIUM: cd, cd-audio, cd-mixed, cd-r, cd-rw, dvd, dvd-ram, dvd-r, dvd-rw, dvd+rw,\n"
     "          dvd+r, dvd+r-dl, bd, bd-r, bd-re, or a medium object in JSON\n"
     "  STATUS: playing, paused, completed, error, idle, none\n"
     "  open is the eject button: it fails (exit 1) while the drive is locked."},
};

// A row's usage: its synopsis (the lines before the summary, one line
// each) and its summary, the first line indented by exactly two spaces.
struct UsageParts {
    std::string synopsis;
    std::string_view summary;
};
UsageParts SplitUsage(std::string_view usage) {
    UsageParts parts;
    size_t at = 0;
    while (at < usage.size()) {
        size_t end = usage.find('\n', at);
        if (end == std::string_view::npos) end = usage.size();
        const std::string_view line = usage.substr(at, end - at);
        if (line.size() > 2 && line.substr(0, 2) == "  " && line[2] != ' ') {
            parts.summary = line.substr(2);
            break;
        }
        parts.synopsis += std::string(parts.synopsis.empty() ? "" : " ") +
                          std::string(line.substr(line.find_first_not_of(' ')));
        at = end + 1;
    }
    return parts;
}

void PrintUsage(Writer& s) {
    s << "usage: tarvikctl [--sim PROFILE]... | [--device PATH|auto]... [--registry FILE | "
         "--system] [--trace FILE] [--state FILE] [--json | --long] [--quiet] COMMAND ARGS...\n"
         "  --sim PROFILE    add a simulated drive (JSON profile); drive numbers count from 0\n"
      << RealDriveOptionsUsage()
      << "  --trace FILE     write every command sent as one JSON line, with the drive's\n"
         "                   answer (simulated or real drives)\n"
         "  --state FILE     keep the simulated drives' state (medium, tray, lock, speeds)\n"
         "                   in FILE from one run to the next (--sim only)\n"
         "  --json           print results as JSON (for scripts)\n"
         "  --long           print every field as key=value\n"
         "  --quiet          no progress on stderr\n"
         "  --version        print \"tarvikctl VERSION\" and exit\n"
         "commands (DRIVE is a number from `tarvikctl drives`):\n";
    for (const CtlCommand& c : kCommands) {
        const UsageParts parts = SplitUsage(c.usage);
        s << "  " << parts.synopsis << "\n      " << parts.summary << "\n";
    }
    s << "examples:\n"
         "  tarvikctl drives                # the drives, their numbers and speeds\n"
         "  tarvikctl detect 0 fast         # detect the speeds of the disc in drive 0\n"
         "  tarvikctl select 0 2            # select the third speed of that list\n"
         "  sudo tarvikctl --system detect 0 fast\n"
         "  sudo tarvikctl --system select 0 2\n"
         "                                  # make it stick across disc changes (Linux, with\n"
         "                                  # the package: udev sets the system's choice again)\n"
         "The exit code is 0 when it worked, 1 when it failed, 2 for bad usage.\n"
         "`man tarvikctl` says more.\n";
}

const CtlCommand* FindCommand(const std::string& name) {
    for (const CtlCommand& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

// "--opt VALUE" or "--opt=VALUE"; advances i past the value.
bool OptionValue(const std::vector<std::string>& argv, size_t& i, const std::string& name,
                 std::string& value, bool& matched) {
    const std::string& a = argv[i];
    matched = false;
    if (a == name) {
        matched = true;
        if (i + 1 >= argv.size()) return false;
        value = argv[++i];
        return true;
    }
    if (a.rfind(name + "=", 0) == 0) {
        matched = true;
        value = a.substr(name.size() + 1);
        return true;
    }
    return true;
}

}  // namespace

bool ParseNumber(std::string_view text, int64_t min, int64_t max, int64_t& out) {
    bool negative = false;
    if (!text.empty() && text[0] == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (hex) text.remove_prefix(2);
    if (text.empty() || text.size() > (hex ? 15u : 18u)) return false;
    int64_t value = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        value = value * (hex ? 16 : 10) + d;
    }
    if (negative) value = -value;
    if (value < min || value > max) return false;
    out = value;
    return true;
}

int UsageError(CtlContext& ctx, const std::string& message, const char* usage) {
    ctx.err << "tarvikctl: " << message << "\n";
    if (usage) ctx.err << "usage: tarvikctl " << usage << "\n";
    return kExitUsage;
}

bool ParseDrive(CtlContext& ctx, const std::string& text, const DriveRange& range,
                const char* usage, size_t& index) {
    int64_t n = 0;
    if (!ParseNumber(text, 0, 1000, n)) {
        (void)UsageError(ctx, "DRIVE must be a drive number, not \"" + text + "\"", usage);
        return false;
    }
    if (static_cast<size_t>(n) >= range.count) {
        (void)UsageError(ctx,
                         "no drive " + std::to_string(n) + std::string(range.where) + " (" +
                             std::to_string(range.count) + " " + std::string(range.counted) + ")",
                         usage);
        return false;
    }
    index = static_cast<size_t>(n);
    return true;
}

std::string Printable(std::string_view text) {
    std::string r;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        r += u < 0x20 || u > 0x7E ? '.' : c;
    }
    return r;
}

bool ReadInputLine(std::string& line) {
    line.clear();
    bool any = false;
    for (int c; (c = std::fgetc(stdin)) != EOF;) {
        any = true;
        if (c == '\n') break;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

DriveRange SimDrives(const CtlContext& ctx) {
    return {ctx.bus.Count(), "simulated; add them with --sim"};
}

int CtlMain(const std::vector<std::string>& argv, Writer& out, Writer& err) {
    CtlContext ctx(out, err);
    size_t i = 1;
    for (; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a == "--json") {
            ctx.json = true;
            continue;
        }
        if (a == "--long") {
            ctx.longForm = true;
            continue;
        }
        if (a == "--quiet" || a == "-q") {
            ctx.quiet = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            PrintUsage(out);
            return kExitOk;
        }
        if (a == "--version") {
            out << "tarvikctl " TARVIK_VERSION "\n";
            return kExitOk;
        }
        if (a.rfind("--", 0) != 0) break;
        std::string value;
        bool matched = false;
        bool ok = OptionValue(argv, i, "--sim", value, matched);
        if (matched) {
            if (!ok || value.empty()) return UsageError(ctx, "--sim needs a profile file");
            std::string error;
            if (!ctx.bus.AddFile(value, error)) return UsageError(ctx, error);
            ctx.profiles.push_back(value);
            continue;
        }
        ok = OptionValue(argv, i, "--device", value, matched);
        if (matched) {
            if (!ok || value.empty()) return UsageError(ctx, "--device needs a path or auto");
            ctx.devices.push_back(value);
            continue;
        }
        if (a == "--system") {
            ctx.system = true;
            continue;
        }
        ok = OptionValue(argv, i, "--registry", value, matched);
        if (matched) {
            if (!ok || value.empty()) return UsageError(ctx, "--registry needs a file");
            ctx.registryPath = value;
            continue;
        }
        ok = OptionValue(argv, i, "--trace", value, matched);
        if (matched) {
            if (!ok || value.empty()) return UsageError(ctx, "--trace needs a file");
            ctx.tracePath = value;
            continue;
        }
        ok = OptionValue(argv, i, "--state", value, matched);
        if (matched) {
            if (!ok || value.empty()) return UsageError(ctx, "--state needs a file");
            ctx.statePath = value;
            continue;
        }
        ctx.err << "tarvikctl: unknown option " << a << "\n";
        PrintUsage(ctx.err);
        return kExitUsage;
    }
    if (i >= argv.size()) {
        ctx.err << "tarvikctl: no command given\n";
        PrintUsage(ctx.err);
        return kExitUsage;
    }
    const CtlCommand* command = FindCommand(argv[i]);
    if (!command) {
        ctx.err << "tarvikctl: unknown command \"" << argv[i] << "\"\n";
        PrintUsage(ctx.err);
        return kExitUsage;
    }
    if (!ctx.profiles.empty() && !ctx.devices.empty())
        return UsageError(ctx, "--sim and --device cannot be mixed: drives are simulated or real");
    ctx.realDrives = ctx.profiles.empty();
    // Simulated drives keep their settings only for the run unless a file is
    // named; real ones use the user's (or the system's) file.
    if (ctx.registryPath.empty() && (ctx.realDrives || ctx.system)) {
        const int rc = ChooseDefaultSettings(ctx);
        if (rc != kExitOk) return rc;
    }
    if (ctx.realDrives) {
        const int rc = OpenRealDrives(ctx, !command->driveFree);
        if (rc != kExitOk) return rc;
    }
    // Real drives: every command the transport carries, recorded on the way
    // through (whichever set it is), in the simulator's own trace format.
    const ScsiTransport* realSet = nullptr;
    if (ctx.realDrives && !ctx.tracePath.empty()) {
        const ScsiTransport* recording = StartTransportTrace(Transport(), ctx.tracePath);
        if (!recording) {
            CloseRealDrives(ctx);
            return UsageError(ctx, "cannot write the trace file " + ctx.tracePath);
        }
        realSet = InstallTransport(recording, GetTransportMode());
    }
    if (!ctx.realDrives && !ctx.tracePath.empty() && !ctx.bus.OpenTraceFile(ctx.tracePath, false))
        return UsageError(ctx, "cannot write the trace file " + ctx.tracePath);
    if (!ctx.statePath.empty()) {
        std::string error;
        if (!sim::LoadBusState(ctx.bus, ctx.statePath, error)) return UsageError(ctx, error);
    }

    if (!ctx.realDrives) sim::InstallSimTransport(ctx.bus);
    const std::vector<std::string> args(argv.begin() + static_cast<long>(i) + 1, argv.end());
    const int rc = command->run(ctx, *command, args);
    if (realSet) {
        (void)InstallTransport(realSet, GetTransportMode());
        StopTransportTrace();
    }
    if (ctx.realDrives)
        CloseRealDrives(ctx);
    else
        sim::UninstallSimTransport();
    ctx.bus.CloseTraceFile();
    if (!ctx.statePath.empty()) {
        std::string error;
        if (!sim::SaveBusState(ctx.bus, ctx.statePath, error)) {
            ctx.err << "tarvikctl: " << error << "\n";
            return rc == kExitOk ? kExitFailed : rc;
        }
    }
    return rc;
}

}  // namespace tarvik::ctl

int main(int argc, char** argv) {
    // First: the ASPI manager and every later library are loaded by name.
    tarvik::ctl::NarrowLibrarySearch();
    std::vector<std::string> args(argv, argv + argc);
    const tarvik::ctl::Utf8Console console;
    tarvik::ctl::Writer out(stdout);
    tarvik::ctl::Writer err(stderr, &out);
    const int rc = tarvik::ctl::CtlMain(args, out, err);
    out.Flush();  // while the console still reads UTF-8
    return rc;
}
