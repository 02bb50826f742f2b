#pragma once
// tarvikctl: runs the core's drive operations on simulated or real drives and
// prints what came back. main.cpp parses the global options into a CtlContext and
// dispatches on the command word; each command lives in its own file and
// registers itself with TARVIK_CTL_COMMAND.
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "scsi/request.h"
#include "sim_bus.h"
#include "ui/dialogs/drive_info.h"

namespace tarvik::ctl {

// Exit codes: the operation ran and succeeded / ran and failed / bad usage.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct CtlContext {
    CtlContext(std::ostream& o, std::ostream& e) : out(o), err(e) {}
    sim::Bus bus;                       // drives from --sim, in the order given
    std::vector<std::string> profiles;  // their files
    std::string registryPath;           // --registry: commands load/save it themselves
    std::string tracePath;              // --trace
    std::string statePath;              // --state: drive state carried between runs
    bool json = false;                  // --json
    // Real drives (no --sim): the --device values ("auto" takes every drive).
    bool realDrives = false;
    std::vector<std::string> devices;
    bool system = false;  // --system: the system's settings file
    // tarvikctl.exe without --registry: the user's registry itself, where the
    // tray program keeps its settings.
    bool realRegistry = false;
    std::ostream& out;
    std::ostream& err;
};

// args: the words after the command word. Returns an exit code.
using CtlCommandFn = int (*)(CtlContext& ctx, const std::vector<std::string>& args);

struct CtlCommand {
    const char* name;
    CtlCommandFn run;
    const char* usage;  // "mmc DRIVE OP [ARGS]\n  ..." (first line is the synopsis)
};

// Adds a command to the table; returns true so it can initialise a static.
bool RegisterCtlCommand(const CtlCommand& command);
const std::vector<CtlCommand>& CtlCommands();

#define TARVIK_CTL_CONCAT2(a, b) a##b
#define TARVIK_CTL_CONCAT(a, b) TARVIK_CTL_CONCAT2(a, b)
#define TARVIK_CTL_COMMAND(name, fn, usage)                                           \
    static const bool TARVIK_CTL_CONCAT(kCtlRegistered_, __LINE__) [[maybe_unused]] = \
        ::tarvik::ctl::RegisterCtlCommand({name, fn, usage})

// The whole program, with its streams (tests run it in-process).
int CtlMain(const std::vector<std::string>& argv, std::ostream& out, std::ostream& err);

// Shared argument helpers.
// Decimal or 0x-hex, optionally negative when min < 0; false when not a
// number or outside [min, max].
[[nodiscard]] bool ParseNumber(std::string_view text, int64_t min, int64_t max, int64_t& out);
// Prints "tarvikctl: <message>" and the command's usage on err; returns kExitUsage.
int UsageError(CtlContext& ctx, const std::string& message, const char* usage = nullptr);
// DRIVE argument: an index of the simulated bus. False (after UsageError) when bad.
[[nodiscard]] bool ParseDrive(CtlContext& ctx, const std::string& text, size_t& index,
                              const char* usage);
// DRIVE argument of a command that talks to the drive itself (mmc): an index
// of the simulated bus or of the real drives chosen with --device.
[[nodiscard]] bool ParseDriveAddress(CtlContext& ctx, const std::string& text,
                                     DriveAddress& address, const char* usage);

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
// The address of real drive number n; false (after UsageError) when there is none.
[[nodiscard]] bool RealDriveAddress(CtlContext& ctx, int64_t n, DriveAddress& address,
                                    const char* usage);

// A system error code of a failed drive command (errno on Linux, a Win32
// code on Windows) in words, with what the user can do about it.
std::string SystemErrorText(int32_t code);

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

// JSON string literal of a text (quotes included).
std::string JsonString(std::string_view text);

}  // namespace tarvik::ctl
