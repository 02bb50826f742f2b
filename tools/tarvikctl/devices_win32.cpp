// Real drives on Windows: the transport the tray program itself chooses
// (SPTI or an ASPI manager, as ApiPrefered says), and the user's registry for
// the settings, so that tarvikctl.exe and the tray program share both.
#include <windows.h>

#include <string>

#include "app/window_win32.h"
#include "ctl.h"
#include "platform/late_bound_win32.h"
#include "registry_file.h"
#include "scsi/transport.h"
#include "settings/store.h"
#include "ui/dialogs/drive_info_win32.h"
#include "ui/text/strings.h"
#include "ui/tray/commands.h"

namespace tarvik::ctl {

namespace {

// Why the transport found no drive, in the program's own status words.
std::string NoDriveReason() {
    return "SPTI: " + std::string(ResStringUtf8(SptiStatusStringId(GetSptiStatus()))) +
           "; ASPI: " + std::string(ResStringUtf8(AspiStatusStringId(GetAspiStatus())));
}

}  // namespace

const char* RealDriveOptionsUsage() {
    return "  --device auto    every drive the tray program finds (the default without --sim)\n"
           "  --registry FILE  settings kept in a .reg text file (default: the user's registry,\n"
           "                   shared with tarvik.exe)\n";
}

int ChooseDefaultSettings(CtlContext& ctx) {
    if (ctx.system)
        return UsageError(ctx,
                          "--system is for Linux: on Windows the settings are the user's, in the "
                          "registry beside the tray program's");
    ctx.realRegistry = true;
    return kExitOk;
}

int OpenRealDrives(CtlContext& ctx, bool needDrives) {
    for (const std::string& d : ctx.devices)
        if (d != "auto")
            return UsageError(ctx,
                              "--device takes only auto on Windows: the drives are those "
                              "the tray program finds, numbered as in its menu");
    if (!ctx.statePath.empty()) return UsageError(ctx, "--state is for simulated drives (--sim)");

    // The access method is a setting: read it from the run's store first.
    std::string error;
    if (!LoadSettingsStore(ctx, &error)) {
        ctx.err << "tarvikctl: " << error << "\n";
        return kExitFailed;
    }
    LoadGlobalSettings();
    (void)SCSIInit(GlobalSettings.ApiPrefered);

    DriveAddress first;
    if (needDrives && !Transport().FindFirstDrive(&first)) {
        ctx.err << "tarvikctl: no optical drive to use (" << NoDriveReason() << ")\n";
        return kExitFailed;
    }
    return kExitOk;
}

RealDriveList RealDrives() {
    // In the order the drive list is built, which is the order of the menu.
    RealDriveList list{{}, "optical drive(s) found"};
    DriveAddress a;
    for (int found = Transport().FindFirstDrive(&a); found; found = Transport().FindNextDrive(&a))
        list.addresses.push_back(a);
    return list;
}

// Windows drives are named by their letters.
std::string DeviceNode(const DriveAddress&) { return ""; }

DriveInfoSources RunInfoSources(const CtlContext& ctx) {
    if (!ctx.realDrives) return CurrentDriveInfoSources(nullptr);
    static const AspiVersionInfo version = ReadAspiVersion();
    return CurrentDriveInfoSources(&version);
}

std::string SystemErrorText(int32_t code) {
    char text[256] = {};
    const DWORD n =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return (s.empty() ? "system error" : s) + " (error " + std::to_string(code) + ")";
}

void NarrowLibrarySearch() { (void)NarrowDllSearch(); }

Utf8Console::Utf8Console() {
    DWORD mode = 0;
    if (!::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode)) return;  // redirected
    previous_ = ::GetConsoleOutputCP();
    if (previous_ == CP_UTF8 || !::SetConsoleOutputCP(CP_UTF8)) previous_ = 0;
}

Utf8Console::~Utf8Console() {
    if (previous_) (void)::SetConsoleOutputCP(previous_);
}

// The transport stays loaded until the process ends, as in the tray program.
void CloseRealDrives(const CtlContext& ctx) {
    // A running tray program holds the settings it read; when this run changed
    // them it reads them again (as Detect drives does), or it would restore its
    // old speeds at the next disc change and write them back.
    if (!ctx.realRegistry || !RealRegistryChanged()) return;
    if (HWND running = ::FindWindowA(kWindowClassName, kWindowClassName))
        (void)::PostMessageA(running, WM_COMMAND, CMD_DETECT_DRIVES, 0);
}

}  // namespace tarvik::ctl
