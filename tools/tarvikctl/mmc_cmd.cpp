// tarvikctl mmc DRIVE OP [ARGS]: one MMC operation of the core on a simulated
// drive, with its result and decoded record.
#include <cstdio>
#include <memory>

#include "ctl.h"
#include "ctl_json.h"
#include "platform/clock.h"
#include "scsi/mmc.h"
#include "scsi/mmc_answer.h"
#include "scsi/transport.h"
#include "sim_transport.h"

namespace tarvik::ctl {

namespace {

// Blocks one `read` may ask for (64 MiB of buffer).
constexpr int64_t kMaxReadBlocks = 32768;

// The decoded record: named numbers, texts and flags, in the order added.
class Report {
public:
    void Num(const char* name, int64_t v) { record_[name] = v; }
    void Hex(const char* name, uint32_t v) {
        char b[16];
        std::snprintf(b, sizeof b, "0x%02X", v);
        record_[name] = b;
    }
    void Text(const char* name, const std::string& v) { record_[name] = v; }
    void Bool(const char* name, bool v) { record_[name] = v; }

    void Print(CtlContext& ctx, const std::string& op, int64_t result, bool failed) const {
        ScsiLastError last;
        GetLastScsiError(&last);
        if (ctx.json) {
            Json j = {{"op", op}, {"result", result}, {"ok", !failed}, {"record", record_}};
            if (failed) {
                j["lastError"] = {{"osError", last.osError},
                                  {"aspiStatus", last.aspiStatus},
                                  {"adapterStatus", last.adapterStatus},
                                  {"targetStatus", last.targetStatus},
                                  {"senseKey", last.senseKey}};
            }
            ctx.out << JsonText(j, -1) << "\n";
            return;
        }
        ctx.out << op << ": result " << result << (failed ? " (failed)" : "") << "\n";
        for (const auto& [name, value] : record_.items()) {
            ctx.out << "  " << name << ": "
                    << (value.is_string() ? value.get<std::string>() : JsonText(value, -1)) << "\n";
        }
        if (failed) {
            ctx.out << "  last error: osError " << last.osError << ", aspiStatus "
                    << last.aspiStatus << ", adapterStatus " << last.adapterStatus
                    << ", targetStatus " << last.targetStatus << ", senseKey " << last.senseKey
                    << "\n";
        }
    }

private:
    Json record_ = Json::object();
};

struct Op {
    const char* name;
    int argCount;
    // Runs the operation; fills the report; returns the result and sets failed.
    int64_t (*run)(const DriveAddress&, const std::vector<int64_t>&, Report&, bool&);
    int64_t argMin[2];
    int64_t argMax[2];
};

const std::vector<Op>& Ops() {
    static const std::vector<Op> ops = {
        {"inquiry",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report& r,
            bool& failed) -> int64_t {
             InquiryData d;
             const int res = GetCDROMInquiry(a, &d);
             failed = res == 0;
             r.Num("deviceType", d.deviceType);
             r.Num("dataFormat", d.dataFormat);
             r.Text("vendor", Printable(d.vendor));
             r.Text("product", Printable(d.product));
             r.Text("revision", Printable(d.revision));
             return res;
         },
         {},
         {}},
        {"info",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report& r,
            bool& failed) -> int64_t {
             CdromCapabilities c;
             const int res = GetCDROMInfo(a, &c);
             failed = res == 0;
             r.Num("maxReadSpeed", c.maxReadSpeed);
             r.Num("currentReadSpeed", c.currentReadSpeed);
             r.Num("currentWriteSpeed", c.currentWriteSpeed);
             r.Num("pageShifted", c.pageShifted);
             r.Num("volumeLevels", c.volumeLevels);
             r.Num("bufferSize", c.bufferSize);
             r.Hex("readCaps", c.readCaps);
             r.Hex("writeCaps", c.writeCaps);
             char caps[16];
             std::snprintf(caps, sizeof caps, "%02X %02X %02X %02X", c.caps[0], c.caps[1],
                           c.caps[2], c.caps[3]);
             r.Text("caps", caps);
             r.Hex("mediumType", c.mediumType);
             r.Bool("hasTrayLoader", HasTrayLoader(c));
             r.Bool("canReadDVD", CanReadDVD(c));
             r.Bool("mediumIsCD", IsMediumTypeCD(c.mediumType));
             r.Bool("mediumHasAudio", IsMediumTypeAudio(c.mediumType));
             r.Bool("noDisc", IsMediumTypeNoDisc(c.mediumType));
             return res;
         },
         {},
         {}},
        {"cd-speed",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report&, bool&) -> int64_t {
             return GetCDSpeed(a);
         },
         {},
         {}},
        {"set-cd-speed",
         2,
         [](const DriveAddress& a, const std::vector<int64_t>& v, Report&,
            bool& failed) -> int64_t {
             const int res =
                 SetCDROMSpeed(a, static_cast<int32_t>(v[0]), static_cast<int32_t>(v[1]));
             failed = res == 0;
             return res;
         },
         {-1, -1},
         {0xFFFF, 0xFFFF}},
        {"load-eject",
         1,
         [](const DriveAddress& a, const std::vector<int64_t>& v, Report&,
            bool& failed) -> int64_t {
             const int res = LoadEjectCDROM(a, static_cast<int>(v[0]));
             failed = res == 0;
             return res;
         },
         {0},
         {1}},
        {"tur",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report& r,
            bool& failed) -> int64_t {
             const int res = TestUnitReady(a);
             failed = res == -1;
             r.Text("state", res == 0 ? "ready" : res == 1 ? "not ready" : "error");
             return res;
         },
         {},
         {}},
        {"capacity",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report& r, bool&) -> int64_t {
             const uint32_t last = ReadCDROMCapacity(a);
             r.Num("lastLba", last);
             r.Num("blocks", last ? int64_t{last} + 1 : 0);
             return last;
         },
         {},
         {}},
        {"read",
         2,
         [](const DriveAddress& a, const std::vector<int64_t>& v, Report& r,
            bool& failed) -> int64_t {
             const uint32_t count = static_cast<uint32_t>(v[1]);
             std::unique_ptr<uint8_t[]> buffer(new (std::nothrow)
                                                   uint8_t[size_t{count} * kBlockSize + 1]);
             if (!buffer) {
                 failed = true;
                 return 0;
             }
             const uint32_t t0 = GetClock().TickCount();
             const int res = ReadCDROMBlocks(a, static_cast<uint32_t>(v[0]), count, buffer.get());
             const uint32_t ms = GetClock().TickCount() - t0;
             failed = res == 0;
             r.Num("blocks", count);
             r.Num("elapsedMs", ms);
             // Read rate the way a measuring scan sees it: KB (1000 bytes) per second.
             r.Num("rateKBps", ms ? int64_t{count} * kBlockSize / ms : 0);
             if (count && res) {
                 char first[16];
                 std::snprintf(first, sizeof first, "%02X%02X%02X%02X", buffer[0], buffer[1],
                               buffer[2], buffer[3]);
                 r.Text("firstBytes", first);
             }
             return res;
         },
         {0, 0},
         {0xFFFFFFFF, kMaxReadBlocks}},
        {"prevent",
         1,
         [](const DriveAddress& a, const std::vector<int64_t>& v, Report&,
            bool& failed) -> int64_t {
             const int res = PreventCDROMRemoval(a, static_cast<int>(v[0]));
             failed = res == 0;
             return res;
         },
         {0},
         {1}},
        {"audio-status",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report& r,
            bool& failed) -> int64_t {
             const int res = ReadCDROMAudioStatus(a);
             failed = res == -1;
             if (!failed) {
                 r.Hex("status", static_cast<uint32_t>(res));
                 r.Bool("active", IsAudioActive(static_cast<uint32_t>(res)));
             }
             return res;
         },
         {},
         {}},
        {"profile",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report& r,
            bool& failed) -> int64_t {
             const int32_t p = GetCDROMProfile(a);
             failed = p == -1;
             if (!failed) {
                 char b[16];
                 std::snprintf(b, sizeof b, "0x%04X", static_cast<unsigned>(p));
                 r.Text("profile", b);
                 r.Text("family", IsProfileCD(p)    ? "CD"
                                  : IsProfileDVD(p) ? "DVD"
                                  : IsProfileBD(p)  ? "BD"
                                                    : "none");
             }
             return p;
         },
         {},
         {}},
        {"set-dvd-speed",
         2,
         [](const DriveAddress& a, const std::vector<int64_t>& v, Report&,
            bool& failed) -> int64_t {
             const int res =
                 SetDVDSpeed(a, static_cast<uint32_t>(v[0]), static_cast<uint32_t>(v[1]));
             failed = res == 0;
             return res;
         },
         {0, 0},
         {0xFFFFFFFF, 0xFFFFFFFF}},
        {"dvd-speed",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report&, bool&) -> int64_t {
             return GetDVDSpeed(a);
         },
         {},
         {}},
        {"book-type",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report& r,
            bool& failed) -> int64_t {
             const int b = ReadDVDBookType(a);
             failed = b == -1;
             static const char* kNames[16] = {"DVD-ROM",    "DVD-RAM",    "DVD-R",    "DVD-RW",
                                              "HD DVD-ROM", "HD DVD-RAM", "HD DVD-R", "reserved",
                                              "reserved",   "DVD+RW",     "DVD+R",    "reserved",
                                              "reserved",   "DVD+RW DL",  "DVD+R DL", "reserved"};
             if (!failed) r.Text("bookType", kNames[b & 0x0F]);
             return b;
         },
         {},
         {}},
        {"bd-disc-type",
         0,
         [](const DriveAddress& a, const std::vector<int64_t>&, Report& r, bool&) -> int64_t {
             const uint32_t t = ReadBlurayDiscType(a);
             char s[5] = {static_cast<char>(t & 0xFF), static_cast<char>((t >> 8) & 0xFF),
                          static_cast<char>((t >> 16) & 0xFF), 0, 0};
             r.Text("discType", Printable(s));
             return t;
         },
         {},
         {}},
        {"feature",
         1,
         [](const DriveAddress& a, const std::vector<int64_t>& v, Report& r, bool&) -> int64_t {
             const int res = CheckCDROMFeature(a, static_cast<uint32_t>(v[0]));
             r.Bool("present", res == 1);
             return res;
         },
         {0},
         {0xFFFF}},
    };
    return ops;
}

// DRIVE: a simulated drive of --sim, or a real one of --device.
bool ParseDriveAddress(CtlContext& ctx, const std::string& text, DriveAddress& address,
                       const char* usage) {
    size_t n = 0;
    if (!ctx.realDrives) {
        if (!ParseDrive(ctx, text, SimDrives(ctx), usage, n)) return false;
        address = sim::SimAddress(ctx.bus, n);
        return true;
    }
    const RealDriveList real = RealDrives();
    if (!ParseDrive(ctx, text, {real.addresses.size(), real.counted}, usage, n)) return false;
    address = real.addresses[n];
    return true;
}

}  // namespace

int RunMmc(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    const char* usage = command.usage;
    if (args.size() < 2) return UsageError(ctx, "mmc needs DRIVE and OP", usage);
    DriveAddress drive;
    if (!ParseDriveAddress(ctx, args[0], drive, usage)) return kExitUsage;
    const Op* op = nullptr;
    for (const Op& o : Ops())
        if (args[1] == o.name) op = &o;
    if (!op) return UsageError(ctx, "unknown mmc operation \"" + args[1] + "\"", usage);
    if (args.size() != 2 + static_cast<size_t>(op->argCount)) {
        return UsageError(ctx,
                          std::string("mmc ") + op->name + " takes " +
                              std::to_string(op->argCount) + " argument(s)",
                          usage);
    }
    std::vector<int64_t> values;
    for (int i = 0; i < op->argCount; ++i) {
        int64_t v = 0;
        if (!ParseNumber(args[2 + i], op->argMin[i], op->argMax[i], v)) {
            return UsageError(ctx,
                              "argument \"" + args[2 + i] + "\" of mmc " + op->name +
                                  " must be a number from " + std::to_string(op->argMin[i]) +
                                  " to " + std::to_string(op->argMax[i]),
                              usage);
        }
        values.push_back(v);
    }
    Report report;
    bool failed = false;
    const int64_t result = op->run(drive, values, report, failed);
    report.Print(ctx, op->name, result, failed);
    return failed ? kExitFailed : kExitOk;
}

}  // namespace tarvik::ctl
