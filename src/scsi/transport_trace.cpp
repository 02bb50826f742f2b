#include "scsi/transport_trace.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/clock.h"
#include "scsi/sense.h"

namespace tarvik {
namespace {

// Opcodes whose data is the disc's content: READ(10), READ(12), READ CD.
bool IsBlockRead(uint8_t opcode) { return opcode == 0x28 || opcode == 0xA8 || opcode == 0xBE; }

struct Recorder {
    const ScsiTransport* inner = nullptr;
    std::FILE* file = nullptr;
    std::vector<DriveAddress> drives;
    const char* via = nullptr;
};

Recorder& Rec() {
    static Recorder recorder;
    return recorder;
}

void AppendHex(std::string& s, const uint8_t* bytes, size_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (size_t i = 0; i < n; ++i) {
        s += kDigits[bytes[i] >> 4];
        s += kDigits[bytes[i] & 0x0F];
    }
}

void Field(std::string& s, const char* name, int64_t value) {
    s += ",\"";
    s += name;
    s += "\":";
    s += std::to_string(value);
}

void HexField(std::string& s, const char* name, const uint8_t* bytes, size_t n) {
    s += ",\"";
    s += name;
    s += "\":\"";
    AppendHex(s, bytes, n);
    s += '"';
}

void TextField(std::string& s, const char* name, const char* text) {
    s += ",\"";
    s += name;
    s += "\":\"";
    s += text;  // words of this file, nothing to escape
    s += '"';
}

int DriveNumber(const ScsiRequest& r) {
    const auto& d = Rec().drives;
    for (size_t i = 0; i < d.size(); ++i)
        if (d[i].adapter == r.adapter && d[i].target == r.target && d[i].lun == r.lun &&
            d[i].letter == r.letter)
            return static_cast<int>(i);
    return -1;
}

void Write(const ScsiRequest& sent, const ScsiRequest& answered, int result, uint32_t t,
           const char* via) {
    Recorder& rec = Rec();
    if (!rec.file) return;
    const uint32_t ms = GetClock().TickCount() - t;
    const std::string line =
        TraceLine(sent, answered, result, t, ms, DriveNumber(sent), via) + "\n";
    std::fwrite(line.data(), 1, line.size(), rec.file);
    std::fflush(rec.file);  // a crash or a hang still leaves the lines before it
}

// The request as handed over, with a copy of the bytes it sends.
struct Sent {
    ScsiRequest request;
    std::vector<uint8_t> out;
};

Sent Before(const ScsiRequest& r) {
    Sent s{r, {}};
    if (r.direction != 0 && r.dataLength && r.data) {
        const auto* bytes = static_cast<const uint8_t*>(r.data);
        s.out.assign(bytes, bytes + r.dataLength);
    }
    return s;
}

int Forward(ScsiRequest* request, TransportHandle handle, bool onHandle) {
    Recorder& rec = Rec();
    const Sent sent = Before(*request);
    const uint32_t t = GetClock().TickCount();
    rec.via = nullptr;
    const int result = onHandle ? rec.inner->TransportExecuteOn(request, handle)
                                : rec.inner->TransportExecute(request);
    Write(sent.request, *request, result, t, rec.via);
    rec.via = nullptr;
    return result;
}

int RecExecute(ScsiRequest* request) { return Forward(request, nullptr, false); }
int RecExecuteOn(ScsiRequest* request, TransportHandle handle) {
    return Forward(request, handle, true);
}
void RecClose(TransportHandle handle) { Rec().inner->TransportClose(handle); }
TransportHandle RecOpen(ScsiRequest* request) { return Rec().inner->TransportOpen(request); }
int RecFindNext(DriveAddress* address) { return Rec().inner->FindNextDrive(address); }
int RecFindFirst(DriveAddress* address) { return Rec().inner->FindFirstDrive(address); }

const ScsiTransport kRecordingSet = {
    .TransportClose = RecClose,
    .TransportExecuteOn = RecExecuteOn,
    .TransportOpen = RecOpen,
    .FindNextDrive = RecFindNext,
    .FindFirstDrive = RecFindFirst,
    .TransportExecute = RecExecute,
};

}  // namespace

std::string TraceLine(const ScsiRequest& sent, const ScsiRequest& answered, int result, uint32_t t,
                      uint32_t ms, int drive, const char* via) {
    std::string s = "{\"t\":" + std::to_string(t);
    Field(s, "drive", drive);
    HexField(s, "cdb", sent.cdb, std::min<uint32_t>(sent.cdbLength, kCdbSize));
    if (sent.direction != 0 && sent.dataLength && sent.data)
        HexField(s, "out", static_cast<const uint8_t*>(sent.data), sent.dataLength);
    // A command the drive answered has its status byte; one that failed
    // before (open, ioctl, host adapter) has -1 and what the system said.
    const bool answeredByDrive = answered.targetStatus >= 0;
    const uint32_t senseLength = std::min<uint32_t>(answered.senseLength, kSenseSize);
    if (answeredByDrive) {
        Field(s, "status", answered.targetStatus);
        const SenseInfo sense = DecodeSense(answered.sense, senseLength);
        if (answered.targetStatus == 2 && sense.key >= 0 && sense.asc >= 0) {
            char text[32];
            std::snprintf(text, sizeof text, "%02X/%02X/%02X", static_cast<unsigned>(sense.key),
                          static_cast<unsigned>(sense.asc), static_cast<unsigned>(sense.ascq));
            TextField(s, "sense", text);
        }
    } else {
        Field(s, "status", -1);
        const DriveFault fault = FaultOfRequest(answered);
        TextField(s, "error",
                  fault == DriveFault::TimedOut ? "timeout"
                  : fault == DriveFault::Gone   ? "gone"
                                                : "transport");
    }
    const uint32_t in = answeredByDrive && sent.direction == 0 ? answered.dataLength : 0;
    Field(s, "in", in);
    // What the readers of a simulator trace do not know, at the end.
    if (in && sent.data && !IsBlockRead(sent.cdb[0]))
        HexField(s, "data", static_cast<const uint8_t*>(sent.data),
                 std::min<uint32_t>({in, sent.dataLength, kTraceDataMax}));
    if (senseLength) HexField(s, "senseData", answered.sense, senseLength);
    Field(s, "result", result);
    if (answered.osError != -1) Field(s, "osError", answered.osError);
    if (answered.aspiStatus != -1) Field(s, "aspiStatus", answered.aspiStatus);
    if (answered.adapterStatus != -1) Field(s, "adapterStatus", answered.adapterStatus);
    if (via) TextField(s, "via", via);
    Field(s, "ms", ms);
    return s + "}";
}

const ScsiTransport* StartTransportTrace(const ScsiTransport& inner, const std::string& path) {
    StopTransportTrace();
    Recorder& rec = Rec();
    rec.file = std::fopen(path.c_str(), "wb");
    if (!rec.file) return nullptr;
    rec.inner = &inner;
    DriveAddress a;
    for (int found = inner.FindFirstDrive(&a); found && rec.drives.size() < 64;
         found = inner.FindNextDrive(&a))
        rec.drives.push_back(a);
    return &kRecordingSet;
}

void StopTransportTrace() {
    Recorder& rec = Rec();
    if (rec.file) std::fclose(rec.file);
    rec = Recorder{};
}

void NoteTransportRoute(const char* via) { Rec().via = via; }

}  // namespace tarvik
