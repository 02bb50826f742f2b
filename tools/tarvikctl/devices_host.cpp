// Real drives on Linux: --device chooses them from what sysfs lists, the
// SG_IO set sends the commands.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "ctl.h"
#include "platform/clock.h"
#include "platform/sg_os.h"
#include "platform/sysfs_drives.h"
#include "scsi/sg_transport.h"
#include "settings/settings_path.h"
#include "sim_sg.h"

namespace tarvik::ctl {

namespace {

// Test hooks, in the test build (tarvikctl_hooks) only: TARVIKCTL_TEST_SYSFS
// names a sysfs tree built by a test, TARVIKCTL_TEST_SG_SIM a ';' list of
// simulator profiles whose drives answer the SG_IO ioctl on /dev/sr0,
// /dev/sr1, ... in place of the kernel. With the profiles on the bus, --state
// and the sim command work as with --sim. TARVIKCTL_TEST_SG_DENY (';' list of
// nodes) refuses those nodes to the user, TARVIKCTL_TEST_SG_READONLY any open
// for writing. The shipped program runs as root from udev and under sudo,
// where whoever sets the environment must not choose its drives or files: it
// has no hooks, not even their names.
#ifdef TARVIKCTL_TEST_HOOKS
#define TARVIKCTL_HOOK(name) std::getenv("TARVIKCTL_TEST_" name)
#else
#define TARVIKCTL_HOOK(name) static_cast<const char*>(nullptr)
#endif

struct Installed {
    std::unique_ptr<sim::SimSgOs> simOs;
    const ScsiTransport* previousSet = nullptr;
    uint32_t previousMode = 0;
    Clock* previousClock = nullptr;
};

Installed& State() {
    static Installed state;
    return state;
}

std::string Listed(const std::vector<SysfsDrive>& drives) {
    if (drives.empty()) return "this system lists no optical drive";
    std::string s = "this system lists";
    for (const SysfsDrive& d : drives) s += " " + d.node;
    return s;
}

// The items of a ';' list, empty ones left out.
std::vector<std::string> SplitList(std::string_view list) {
    std::vector<std::string> items;
    while (!list.empty()) {
        const size_t end = list.find(';');
        if (end != 0) items.emplace_back(list.substr(0, end));
        if (end == std::string_view::npos) break;
        list.remove_prefix(end + 1);
    }
    return items;
}

bool LoadTestDrives(CtlContext& ctx, const char* profiles) {
    for (const std::string& path : SplitList(profiles)) {
        std::string error;
        if (!ctx.bus.AddFile(path, error)) {
            ctx.err << "tarvikctl: " << error << "\n";
            return false;
        }
        ctx.profiles.push_back(path);
    }
    auto& s = State();
    s.simOs = std::make_unique<sim::SimSgOs>(ctx.bus);
    if (const char* deny = TARVIKCTL_HOOK("SG_DENY"))
        for (const std::string& node : SplitList(deny)) s.simOs->refuse[node] = EACCES;
    s.simOs->readOnlyOnly = TARVIKCTL_HOOK("SG_READONLY") != nullptr;
    SetSgOs(s.simOs.get());
    s.previousClock = &GetClock();
    SetClock(&ctx.bus.clock());
    return true;
}

// Why a drive cannot be used, in words a user can act on.
std::string OpenProblem(const std::string& node, int error) {
    if (error == EACCES || error == EPERM)
        return node + ": permission denied (the drive's group, often cdrom, needs read and " +
               "write access to it)";
    if (error == ENOENT || error == ENXIO || error == ENODEV)
        return node + ": the drive is listed but its device is not there (" + std::strerror(error) +
               ")";
    return node + ": " + std::strerror(error);
}

}  // namespace

const char* RealDriveOptionsUsage() {
    return "  --device PATH    a real drive (/dev/sr0, /dev/sg1, /dev/cdrom); auto, the default\n"
           "                   without --sim, takes every optical drive the system lists\n"
           "  --registry FILE  settings kept in a .reg text file (default with real drives:\n"
           "                   $XDG_CONFIG_HOME/tarvik/settings.reg, else ~/.config/...)\n"
           "  --system         the system's settings, /etc/tarvik/settings.reg\n";
}

int ChooseDefaultSettings(CtlContext& ctx) {
    ctx.registryPath =
        SettingsFilePath(ctx.system, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
    if (ctx.registryPath.empty())
        return UsageError(ctx, "no home folder for the settings; name a file with --registry");
    return kExitOk;
}

int OpenRealDrives(CtlContext& ctx, bool needDrives) {
    const char* testSysfs = TARVIKCTL_HOOK("SYSFS");
    const char* testSim = TARVIKCTL_HOOK("SG_SIM");
    const std::string root = testSysfs ? testSysfs : kSysfsRoot;
    if (!testSim && !ctx.statePath.empty())
        return UsageError(ctx, "--state is for simulated drives (--sim)");
    if (testSim && !LoadTestDrives(ctx, testSim)) return kExitUsage;

    const std::vector<SysfsDrive> listed = ListOpticalDrives(root);
    std::vector<SysfsDrive> chosen;
    bool all = ctx.devices.empty();
    for (const std::string& d : ctx.devices) all = all || d == "auto";
    if (all) chosen = listed;
    for (const std::string& path : ctx.devices) {
        if (path == "auto") continue;
        SysfsDrive d;
        if (!FindOpticalDrive(root, path, &d)) {
            ctx.err << "tarvikctl: " << path << ": no such optical drive (" << Listed(listed)
                    << ")\n";
            return kExitFailed;
        }
        bool dup = false;
        for (const SysfsDrive& c : chosen) dup = dup || c.node == d.node;
        if (!dup) chosen.push_back(d);
    }

    // Each drive is opened once here, so that a drive the user may not use is
    // named now and not met later as a drive that answers nothing.
    std::vector<SgDrive> usable;
    for (const SysfsDrive& d : chosen) {
        int error = 0;
        bool readOnly = false;
        const int fd = OpenSgNode(d.node, &error, &readOnly);
        if (fd < 0) {
            ctx.err << "tarvikctl: " << OpenProblem(d.node, error) << "\n";
            if (!all) return kExitFailed;
            continue;
        }
        SgSys().Close(fd);
        if (readOnly)
            ctx.err << "tarvikctl: " << d.node
                    << " opens read-only: the drive may refuse speed and lock commands\n";
        usable.push_back({d.node, DriveAddress{d.host, d.target, d.lun, 0}});
    }
    const size_t wanted = usable.size();
    if (SetSgDrives(std::move(usable)) != wanted)
        ctx.err << "tarvikctl: drives with the same SCSI address: only the first is used\n";
    if (needDrives && SgDrives().empty()) {
        ctx.err << "tarvikctl: no optical drive to use ("
                << (listed.empty() ? Listed(listed) : "none of them could be opened") << ")\n";
        return kExitFailed;
    }
    auto& s = State();
    s.previousMode = GetTransportMode();
    s.previousSet = InstallTransport(&SgTransport(), kTransportSpti);
    return kExitOk;
}

RealDriveList RealDrives() {
    RealDriveList list{{}, "optical drive(s) chosen with --device"};
    for (const SgDrive& d : SgDrives()) list.addresses.push_back(d.address);
    return list;
}

std::string DeviceNode(const DriveAddress& address) {
    for (const SgDrive& d : SgDrives())
        if (d.address.adapter == address.adapter && d.address.target == address.target &&
            d.address.lun == address.lun)
            return d.node;
    return "";
}

DriveInfoSources RunInfoSources(const CtlContext& ctx) {
    DriveInfoSources sources = CurrentDriveInfoSources(nullptr);
    if (ctx.realDrives) sources.otherMethod = u"SG_IO";
    return sources;
}

std::string SystemErrorText(int32_t code) {
    switch (code) {
        case EOPNOTSUPP: return "the drive cannot lock its tray";
        case EBUSY:
            return "other programs have the drive open, and then only root may unlock it (" +
                   std::string(std::strerror(code)) + ")";
        case EACCES:
        case EPERM: return "permission denied (the drive's device needs write access)";
        default: return std::strerror(code);
    }
}

// The loader's search path is root's to set on Linux.
void NarrowLibrarySearch() {}

// A Linux terminal takes UTF-8 as it is.
Utf8Console::Utf8Console() { (void)previous_; }
Utf8Console::~Utf8Console() = default;

void CloseRealDrives(const CtlContext&) {
    auto& s = State();
    if (s.previousSet) (void)InstallTransport(s.previousSet, s.previousMode);
    if (s.simOs) {
        SetSgOs(nullptr);
        SetClock(s.previousClock);
    }
    s = Installed{};
}

}  // namespace tarvik::ctl
