// tarvikctl [--sim PROFILE]... | [--device PATH|auto]... [--registry FILE | --system]
//           [--trace FILE] [--state FILE] [--json] COMMAND ARGS...
#include <cstdio>
#include <iostream>
#include <set>
#include <sstream>

#include "ctl.h"
#include "scsi/transport_trace.h"
#include "sim_state.h"
#include "sim_transport.h"
#include "tarvik_version.h"

namespace tarvik::ctl {

namespace {

std::vector<CtlCommand>& Table() {
    static std::vector<CtlCommand> table;
    return table;
}

void PrintUsage(std::ostream& s) {
    s << "usage: tarvikctl [--sim PROFILE]... | [--device PATH|auto]... [--registry FILE | "
         "--system] [--trace FILE] [--state FILE] [--json] COMMAND ARGS...\n"
         "  --sim PROFILE    add a simulated drive (JSON profile); drive numbers count from 0\n"
      << RealDriveOptionsUsage()
      << "  --trace FILE     write every command sent as one JSON line, with the drive's\n"
         "                   answer (simulated or real drives)\n"
         "  --state FILE     keep the simulated drives' state (medium, tray, lock, speeds)\n"
         "                   in FILE from one run to the next (--sim only)\n"
         "  --json           print results as JSON\n"
         "  --version        print \"tarvikctl VERSION\" and exit\n"
         "commands:\n";
    for (const CtlCommand& c : Table()) {
        const std::string usage = c.usage;
        s << "  " << usage.substr(0, usage.find('\n')) << "\n";
    }
}

const CtlCommand* FindCommand(const std::string& name) {
    for (const CtlCommand& c : Table())
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

bool RegisterCtlCommand(const CtlCommand& command) {
    Table().push_back(command);
    return true;
}

const std::vector<CtlCommand>& CtlCommands() { return Table(); }

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

namespace {

bool ParseDriveNumber(CtlContext& ctx, const std::string& text, int64_t& n, const char* usage) {
    if (ParseNumber(text, 0, 1000, n)) return true;
    (void)UsageError(ctx, "DRIVE must be a drive number, not \"" + text + "\"", usage);
    return false;
}

}  // namespace

bool ParseDriveAddress(CtlContext& ctx, const std::string& text, DriveAddress& address,
                       const char* usage) {
    if (!ctx.realDrives) {
        size_t index = 0;
        if (!ParseDrive(ctx, text, index, usage)) return false;
        address = sim::SimAddress(ctx.bus, index);
        return true;
    }
    int64_t n = 0;
    return ParseDriveNumber(ctx, text, n, usage) && RealDriveAddress(ctx, n, address, usage);
}

bool ParseDrive(CtlContext& ctx, const std::string& text, size_t& index, const char* usage) {
    int64_t n = 0;
    if (!ParseDriveNumber(ctx, text, n, usage)) return false;
    if (static_cast<size_t>(n) >= ctx.bus.Count()) {
        (void)UsageError(ctx,
                         "no drive " + std::to_string(n) + " (" + std::to_string(ctx.bus.Count()) +
                             " simulated; add them with --sim)",
                         usage);
        return false;
    }
    index = static_cast<size_t>(n);
    return true;
}

std::string JsonString(std::string_view text) {
    std::string s = "\"";
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", u);
            s += b;
        } else {
            s += c;
        }
    }
    return s + "\"";
}

int CtlMain(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err) {
    CtlContext ctx(out, err);
    size_t i = 1;
    for (; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        if (a == "--json") {
            ctx.json = true;
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
        // What runs without a drive: the settings, the password and the
        // program's own views of an empty drive list.
        static const std::set<std::string> kDriveFree = {"settings", "password", "menu", "info"};
        const int rc = OpenRealDrives(ctx, !kDriveFree.count(command->name));
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
    const int rc = command->run(ctx, args);
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
    std::vector<std::string> args(argv, argv + argc);
    const tarvik::ctl::Utf8Console console;
    const int rc = tarvik::ctl::CtlMain(args, std::cout, std::cerr);
    std::cout.flush();  // while the console still reads UTF-8
    return rc;
}
