#pragma once
// tarvikctl: runs the program's drive operations on simulated or real drives
// and prints what came back. main.cpp parses the global options into a
// CtlContext, finds the command word in its table of commands (which is also
// the order --help lists them in) and runs the command's function; each
// command lives in a file of its own.
//
// The rule for a new command: what the tray program also does through its
// menus, hot keys or window (a speed, a tray, an event, a menu) goes through
// the program's own App (Run in ctl_run.h), so that the two cannot differ.
// Only what the tray program does elsewhere (a detection, in the drive options
// dialog) or not at all (one MMC operation, a lock that must take, the
// simulated drive's button, the settings file) calls the core's function
// for it. Add the command's row, with its usage, to the table in main.cpp,
// and print JSON with nlohmann (ctl_json.h).
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "scsi/request.h"
#include "sim_bus.h"
#include "ui/dialogs/drive_info.h"
#include "writer.h"

namespace tarvik::ctl {

// Exit codes: the operation ran and succeeded / ran and failed / bad usage.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct CtlContext {
    CtlContext(Writer& o, Writer& e) : out(o), err(e) {}
    sim::Bus bus;                       // drives from --sim, in the order given
    std::vector<std::string> profiles;  // their files
    std::string registryPath;           // --registry: commands load/save it themselves
    std::string tracePath;              // --trace
    std::string statePath;              // --state: drive state carried between runs
    bool json = false;                  // --json
    bool longForm = false;              // --long: every field as key=value
    bool quiet = false;                 // --quiet: no progress
    // Real drives (no --sim): the --device values ("auto" takes every drive).
    bool realDrives = false;
    std::vector<std::string> devices;
    bool system = false;  // --system: the system's settings file
    // tarvikctl.exe without --registry: the user's registry itself, where the
    // tray program keeps its settings.
    bool realRegistry = false;
    Writer& out;
    Writer& err;
};

// What a one-drive step or tray command does (RunDriveAction).
enum class DriveAction { None, Max, Min, Faster, Slower, Restore, Eject, Close, Lock, Unlock };

using CtlArgs = std::vector<std::string>;  // the words after the command word
struct CtlCommand;
// A command's function; returns the exit code.
using CtlRun = int(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args);

struct CtlCommand {
    const char* name;
    CtlRun* run;
    const char* usage;  // "mmc DRIVE OP [ARGS]\n  ..." (the first line is the synopsis)
    DriveAction action = DriveAction::None;
    // With real drives: the command runs without any (settings, a view of an
    // empty drive list).
    bool driveFree = false;
};

// The program, with its output streams.
int CtlMain(const std::vector<std::string>& argv, Writer& out, Writer& err);

// ---- the commands (main.cpp lists them) ----
// drive_cmd.cpp: the drive list, its speeds, trays and events, through App.
CtlRun RunDrives, RunState, RunDetect, RunVerify, RunSelect, RunSet, RunDriveAction, RunEvent,
    RunCloseAll, RunEjectAll;
// info_cmd.cpp, menu_cmd.cpp: the program's drive information text and menus.
CtlRun RunInfo, RunMenu;
// mmc_cmd.cpp, sim_cmd.cpp: one operation on a drive itself; a simulated
// drive's tray button, discs and audio.
CtlRun RunMmc, RunSim;
// password_cmd.cpp, settings_cmd.cpp: the stored settings.
CtlRun RunPassword, RunSettings;

// ---- argument helpers ----
// Decimal or 0x-hex, optionally negative when min < 0; false when not a
// number or outside [min, max].
[[nodiscard]] bool ParseNumber(std::string_view text, int64_t min, int64_t max, int64_t& out);
// Prints "tarvikctl: <message>" and the command's usage on err; returns kExitUsage.
int UsageError(CtlContext& ctx, const std::string& message, const char* usage = nullptr);

// The drives a DRIVE argument counts, and how a message names them: "no
// drive 3" + where + " (2 " + counted + ")".
struct DriveRange {
    size_t count;
    std::string_view counted;     // "simulated; add them with --sim"
    std::string_view where = "";  // " in the drive list"
};
// DRIVE argument: a drive number below range.count. False (after UsageError)
// when it is not a number or there is no such drive.
[[nodiscard]] bool ParseDrive(CtlContext& ctx, const std::string& text, const DriveRange& range,
                              const char* usage, size_t& index);
// The simulated drives of --sim.
DriveRange SimDrives(const CtlContext& ctx);

// Text from a drive (INQUIRY strings) as the terminal may show it: bytes
// outside printable ASCII become '.', so that a drive cannot send escape
// sequences to the user's terminal.
std::string Printable(std::string_view text);

// One line from stdin without its line end (LF or CR LF); false at the end of
// the input before any character.
[[nodiscard]] bool ReadInputLine(std::string& line);

// ---- the terminal: terminal_host.cpp, terminal_win32.cpp ----

// Whether the stream goes to a terminal (a console on Windows).
bool IsTerminal(std::FILE* stream);
// A secret such as a password, read from the terminal without echo after the
// prompt (on err), or as one line from stdin when stdin is not a terminal.
// False at the end of the input before any character, or when the terminal
// cannot be read.
[[nodiscard]] bool ReadSecret(const char* prompt, Writer& err, std::string& secret);

// ---- real drives: devices_host.cpp (sysfs and SG_IO), devices_win32.cpp
// (the tray program's own SPTI or ASPI set) ----

// Where the settings of a run with real drives (or --system) live when no
// --registry is given: sets ctx.registryPath or ctx.realRegistry. Returns
// kExitOk, or an exit code after a message.
int ChooseDefaultSettings(CtlContext& ctx);
// The lines of --help for --device, --registry and --system.
const char* RealDriveOptionsUsage();
// Chooses the drives of --device, checks that they can be reached and
// installs the transport. needDrives: the command cannot run without one.
// Returns kExitOk, or an exit code after a message.
int OpenRealDrives(CtlContext& ctx, bool needDrives);
void CloseRealDrives(const CtlContext& ctx);
// What the drive information text says of the transport: the simulator's
// (no library loaded), SG_IO on Linux, or SPTI / ASPI with the loaded
// library's version strings on Windows.
DriveInfoSources RunInfoSources(const CtlContext& ctx);
// The real drives of the run, in the order DRIVE numbers them, and how a
// message names them ("optical drive(s) found").
struct RealDriveList {
    std::vector<DriveAddress> addresses;
    const char* counted;
};
RealDriveList RealDrives();
// The device node of a real drive ("/dev/sr0"), or "" where drives have none
// (Windows: they have letters).
std::string DeviceNode(const DriveAddress& address);

// A system error code of a failed drive command (errno on Linux, a Win32
// code on Windows) in words, with what the user can do about it.
std::string SystemErrorText(int32_t code);

// On Windows, takes the current folder and PATH out of the library search
// (tarvik::NarrowDllSearch); main calls it before anything can load one.
// Nothing elsewhere.
void NarrowLibrarySearch();

// While it lives, a Windows console shows the program's UTF-8 output as
// UTF-8 and gets its own code page back afterwards; elsewhere it does nothing.
class Utf8Console {
public:
    Utf8Console();
    ~Utf8Console();
    Utf8Console(const Utf8Console&) = delete;
    Utf8Console& operator=(const Utf8Console&) = delete;

private:
    unsigned previous_ = 0;
};

}  // namespace tarvik::ctl
