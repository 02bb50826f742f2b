// tarvikctl sim DRIVE OP [ARG]: what a user does to a simulated drive (discs,
// tray button, audio), and its state. With --state the change reaches the
// next run, and a program running on the test ASPI library with the same
// state file.
#include "ctl.h"
#include "ctl_json.h"
#include "sim_profile.h"

namespace tarvik::ctl {

namespace {

struct Shorthand {
    const char* name;
    sim::Medium medium;
};

sim::Medium Cd(sim::CdType type, sim::CdContent content) {
    sim::Medium m;
    m.kind = sim::MediumKind::Cd;
    m.cdType = type;
    m.content = content;
    return m;
}

sim::Medium Dvd(uint8_t book) {
    sim::Medium m;
    m.kind = sim::MediumKind::Dvd;
    m.bookType = book;
    return m;
}

sim::Medium Bd(const char* type) {
    sim::Medium m;
    m.kind = sim::MediumKind::Bd;
    m.discType = type;
    return m;
}

bool ParseMedium(const std::string& text, sim::Medium& out, std::string& error) {
    using sim::CdContent;
    using sim::CdType;
    const Shorthand table[] = {
        {"cd", Cd(CdType::Pressed, CdContent::Data)},
        {"cd-audio", Cd(CdType::Pressed, CdContent::Audio)},
        {"cd-mixed", Cd(CdType::Pressed, CdContent::Mixed)},
        {"cd-r", Cd(CdType::Recordable, CdContent::Data)},
        {"cd-rw", Cd(CdType::Rewritable, CdContent::Data)},
        {"dvd", Dvd(0)},
        {"dvd-ram", Dvd(1)},
        {"dvd-r", Dvd(2)},
        {"dvd-rw", Dvd(3)},
        {"dvd+rw", Dvd(9)},
        {"dvd+r", Dvd(10)},
        {"dvd+r-dl", Dvd(14)},
        {"bd", Bd("BDO")},
        {"bd-r", Bd("BDR")},
        {"bd-re", Bd("BDW")},
    };
    for (const Shorthand& s : table) {
        if (text == s.name) {
            out = s.medium;
            return true;
        }
    }
    if (!text.empty() && text[0] == '{') return sim::ParseMediumText(text, out, error);
    error = "unknown medium \"" + text + "\"";
    return false;
}

bool ParseAudio(const std::string& text, uint8_t& out) {
    const std::pair<const char*, uint8_t> names[] = {{"none", 0x00},   {"playing", 0x11},
                                                     {"paused", 0x12}, {"completed", 0x13},
                                                     {"error", 0x14},  {"idle", 0x15}};
    for (const auto& [name, value] : names) {
        if (text == name) {
            out = value;
            return true;
        }
    }
    int64_t v = 0;
    if (!ParseNumber(text, 0, 0xFF, v)) return false;
    out = static_cast<uint8_t>(v);
    return true;
}

void PrintState(CtlContext& ctx, size_t index) {
    const sim::Drive& d = ctx.bus.At(index);
    const char* kinds[] = {"none", "cd", "dvd", "bd"};
    if (ctx.json) {
        const Json state = {{"drive", index},
                            {"letter", std::string(1, ctx.bus.Letter(index))},
                            {"medium", Json::parse(sim::MediumToJsonText(d.medium()))},
                            {"trayOpen", d.TrayOpen()},
                            {"locked", d.Locked()},
                            {"ready", d.MediumReady()},
                            {"speed",
                             {{"cd", d.SpeedInForce(sim::Family::Cd)},
                              {"dvd", d.SpeedInForce(sim::Family::Dvd)},
                              {"bd", d.SpeedInForce(sim::Family::Bd)}}},
                            {"writeSpeed", d.WriteSpeed()},
                            {"audioStatus", d.AudioStatus()},
                            {"profile", d.CurrentProfile()}};
        ctx.out << JsonText(state, -1) << "\n";
        return;
    }
    ctx.out << "drive " << index << " (" << ctx.bus.Letter(index) << ":) " << d.profile().name
            << "\n"
            << "  medium: " << kinds[static_cast<int>(d.medium().kind)] << "\n"
            << "  tray: " << (d.TrayOpen() ? "open" : "closed") << (d.Locked() ? ", locked" : "")
            << "\n"
            << "  ready: " << (d.MediumReady() ? "yes" : "no") << "\n"
            << "  speed in force: CD " << d.SpeedInForce(sim::Family::Cd) << ", DVD "
            << d.SpeedInForce(sim::Family::Dvd) << ", BD " << d.SpeedInForce(sim::Family::Bd)
            << "\n"
            << "  write speed: " << d.WriteSpeed() << "\n"
            << "  audio status: " << int{d.AudioStatus()} << "\n";
}

}  // namespace

int RunSim(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    const char* usage = command.usage;
    if (args.size() < 2) return UsageError(ctx, "sim needs DRIVE and OP", usage);
    size_t index = 0;
    if (!ParseDrive(ctx, args[0], SimDrives(ctx), usage, index)) return kExitUsage;
    sim::Drive& d = ctx.bus.At(index);
    const std::string& op = args[1];
    const bool takesArg = op == "insert" || op == "audio";
    if (args.size() != (takesArg ? 3u : 2u)) {
        if (op != "state" && op != "remove" && op != "open" && op != "close" && !takesArg)
            return UsageError(ctx, "unknown sim operation \"" + op + "\"", usage);
        return UsageError(ctx, "sim " + op + (takesArg ? " takes one argument" : " takes none"),
                          usage);
    }
    int rc = kExitOk;
    if (op == "state") {
    } else if (op == "insert") {
        sim::Medium m;
        std::string error;
        if (!ParseMedium(args[2], m, error)) return UsageError(ctx, error, usage);
        d.InsertMedium(m);
    } else if (op == "remove") {
        d.RemoveMedium();
    } else if (op == "open") {
        if (!d.OpenTray()) {
            ctx.err << "tarvikctl: the tray is locked\n";
            rc = kExitFailed;
        }
    } else if (op == "close") {
        d.CloseTray();
    } else if (op == "audio") {
        uint8_t status = 0;
        if (!ParseAudio(args[2], status))
            return UsageError(ctx, "unknown audio status \"" + args[2] + "\"", usage);
        d.SetAudioStatus(status);
    } else {
        return UsageError(ctx, "unknown sim operation \"" + op + "\"", usage);
    }
    PrintState(ctx, index);
    return rc;
}

}  // namespace tarvik::ctl
