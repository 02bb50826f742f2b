#pragma once
// Test doubles for the SCSI layer: a scripted transport set (canned answers,
// recorded requests) installed through InstallTransport, and fakes of the
// System and ScsiOs seams for the SPTI and ASPI sets.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/scsi_os.h"
#include "platform/system.h"
#include "scsi/request.h"
#include "scsi/transport.h"

namespace tarvik::testing_support {

// One recorded command as the transport received it.
struct SentCommand {
    std::vector<uint8_t> cdb;  // cdbLength bytes
    uint32_t senseLength = 0;
    uint32_t dataLength = 0;
    uint32_t direction = 0;
    bool hasData = false;
    std::vector<uint8_t> dataOut;  // what a write command carried
    bool onHandle = false;         // sent with TransportExecuteOn
    int32_t statusBefore[5] = {};  // osError..senseKey as the caller left them
};

// One scripted answer. ok=false fails with the given sense key (-1: no sense).
struct Reply {
    bool ok = true;
    std::vector<uint8_t> data;  // copied into the caller's buffer (data in)
    int32_t senseKey = -1;
    int32_t targetStatus = -1;
    int32_t osError = -1;
};

inline Reply Ok(std::vector<uint8_t> data = {}) { return Reply{true, std::move(data)}; }
inline Reply Fail(int32_t senseKey, int32_t targetStatus = 2) {
    Reply r;
    r.ok = false;
    r.senseKey = senseKey;
    r.targetStatus = targetStatus;
    return r;
}

class ScriptedTransport {
public:
    ScriptedTransport() {
        current_ = this;
        oldMode_ = GetTransportMode();
        old_ = InstallTransport(&kSet, kTransportSpti);
    }
    ~ScriptedTransport() {
        InstallTransport(old_, oldMode_);
        current_ = nullptr;
    }
    ScriptedTransport(const ScriptedTransport&) = delete;
    ScriptedTransport& operator=(const ScriptedTransport&) = delete;

    void Queue(Reply reply) { replies_.push_back(std::move(reply)); }
    // Used when the queue is empty.
    Reply fallback = Fail(5);
    bool openFails = false;

    std::vector<SentCommand> sent;
    int opens = 0, closes = 0;

private:
    static int Execute(ScsiRequest* request, bool onHandle) {
        ScriptedTransport& self = *current_;
        SentCommand cmd;
        cmd.cdb.assign(request->cdb, request->cdb + request->cdbLength);
        cmd.senseLength = request->senseLength;
        cmd.dataLength = request->dataLength;
        cmd.direction = request->direction;
        cmd.hasData = request->data != nullptr;
        cmd.onHandle = onHandle;
        cmd.statusBefore[0] = request->osError;
        cmd.statusBefore[1] = request->aspiStatus;
        cmd.statusBefore[2] = request->adapterStatus;
        cmd.statusBefore[3] = request->targetStatus;
        cmd.statusBefore[4] = request->senseKey;
        if (request->direction && request->data) {
            auto* p = static_cast<const uint8_t*>(request->data);
            cmd.dataOut.assign(p, p + request->dataLength);
        }
        self.sent.push_back(cmd);

        Reply reply = self.fallback;
        if (!self.replies_.empty()) {
            reply = self.replies_.front();
            self.replies_.pop_front();
        }
        request->ClearStatus();
        request->osError = reply.osError;
        request->targetStatus = reply.ok ? 0 : reply.targetStatus;
        request->senseKey = reply.senseKey;
        if (reply.ok && request->direction == 0 && request->data) {
            const size_t n = std::min<size_t>(reply.data.size(), request->dataLength);
            // copy_n: an empty reply has no buffer, which memcpy may not be given.
            std::copy_n(reply.data.data(), n, static_cast<uint8_t*>(request->data));
            request->dataLength = static_cast<uint32_t>(n);
        }
        return reply.ok ? 1 : 0;
    }
    static int ExecuteOne(ScsiRequest* r) { return Execute(r, false); }
    static int ExecuteOn(ScsiRequest* r, TransportHandle h) {
        return h == &current_->handle_ ? Execute(r, true) : 0;
    }
    static TransportHandle Open(ScsiRequest* r) {
        ++current_->opens;
        if (current_->openFails) {
            r->ClearStatus();
            r->osError = 5;
            return nullptr;
        }
        return &current_->handle_;
    }
    static void Close(TransportHandle) { ++current_->closes; }
    static int FindFirst(DriveAddress*) { return 0; }
    static int FindNext(DriveAddress*) { return 0; }

    static inline ScriptedTransport* current_ = nullptr;
    static constexpr ScsiTransport kSet = {
        .TransportClose = Close,
        .TransportExecuteOn = ExecuteOn,
        .TransportOpen = Open,
        .FindNextDrive = FindNext,
        .FindFirstDrive = FindFirst,
        .TransportExecute = ExecuteOne,
    };
    const ScsiTransport* old_ = nullptr;
    uint32_t oldMode_ = 0;
    int handle_ = 0;
    std::deque<Reply> replies_;
};

// A machine with given drive letters and Windows version.
class FakeSystem : public System {
public:
    bool versionOk = true;
    WinVersionInfo version{6, 1, 7601, 2};
    std::map<char, unsigned> drives;  // letter -> drive type
    std::vector<std::string> typeQueries;
    std::map<uint32_t, std::string> messages;

    bool GetVersion(WinVersionInfo& out) override {
        out = version;
        return versionOk;
    }
    uint32_t LogicalDrives() override {
        uint32_t mask = 0;
        for (const auto& [letter, type] : drives) mask |= 1u << (letter - 'A');
        return mask;
    }
    unsigned DriveType(const std::string& root) override {
        typeQueries.push_back(root);
        auto it = drives.find(root.empty() ? 0 : root[0]);
        return it == drives.end() ? 1 : it->second;
    }
    std::string SystemMessage(uint32_t code) override {
        auto it = messages.find(code);
        return it == messages.end() ? std::string{} : it->second;
    }
};

// The OS below the SPTI and ASPI sets: devices, the pass-through ioctl, the
// ASPI library and its events.
class FakeOs : public ScsiOs {
public:
    // ---- devices
    std::map<char, uint32_t> openError;               // letter -> error (absent: opens)
    std::map<char, std::deque<uint32_t>> openScript;  // errors for the next attempts first
    std::vector<std::string> openPaths;
    std::vector<uint32_t> openAccess;
    int devicesOpen = 0;
    int devicesClosed = 0;

    bool OpenDevice(const std::string& path, uint32_t access, void** handle,
                    uint32_t* error) override {
        openPaths.push_back(path);
        openAccess.push_back(access);
        const char letter = path.size() > 4 ? path[4] : 0;
        uint32_t e = 0;
        if (auto it = openScript.find(letter); it != openScript.end() && !it->second.empty()) {
            e = it->second.front();
            it->second.pop_front();
        } else if (auto it2 = openError.find(letter); it2 != openError.end()) {
            e = it2->second;
        }
        if (e) {
            *error = e;
            return false;
        }
        ++devicesOpen;
        *handle = &deviceToken_;
        return true;
    }
    void CloseDevice(void* handle) override {
        if (handle == &deviceToken_) ++devicesClosed;
    }

    // The pass-through ioctl: the block as it was handed over, then a handler
    // that plays the driver (it may edit the block).
    struct IoctlCall {
        uint32_t code = 0, inSize = 0, outSize = 0;
        std::vector<uint8_t> block;
    };
    std::vector<IoctlCall> ioctls;
    std::map<uint32_t, uint32_t> refuseCode;  // ioctl code -> error it fails with
    bool wine = false;
    bool UnderWine() override { return wine; }
    std::function<bool(uint8_t* block, uint32_t* error)> driver = [](uint8_t*, uint32_t* error) {
        *error = kErrorNotSupported;
        return false;
    };
    bool DeviceControl(void* handle, uint32_t code, void* block, uint32_t inSize, uint32_t outSize,
                       uint32_t* returned, uint32_t* error) override {
        auto* bytes = static_cast<uint8_t*>(block);
        ioctls.push_back({code, inSize, outSize,
                          std::vector<uint8_t>(bytes, bytes + std::max(inSize, outSize))});
        if (handle != &deviceToken_) {
            *error = kErrorInvalidHandle;
            return false;
        }
        if (const auto it = refuseCode.find(code); it != refuseCode.end()) {
            *error = it->second;
            return false;
        }
        *returned = outSize;
        // The driver plays the pass-through; another ioctl's small block
        // (the one byte of a media-removal lock) is taken as given.
        if (code != kIoctlScsiPassThroughDirect) return true;
        return driver(bytes, error);
    }

    // ---- ASPI library
    bool libraryPresent = false;
    std::map<std::string, void*> procs;
    std::string libraryPath = "C:\\WINDOWS\\SYSTEM\\WNASPI32.DLL";
    std::vector<std::string> loads;
    bool LoadModule(const char* name) override {
        loads.push_back(name);
        return libraryPresent;
    }
    void* ModuleProc(const char* name) override {
        auto it = procs.find(name);
        return it == procs.end() ? nullptr : it->second;
    }
    std::string LoadedModulePath() override { return libraryPath; }

    // ---- events
    bool eventsWork = true;
    int eventsCreated = 0;
    std::vector<void*> eventsClosed;
    std::function<bool(void*, uint32_t)> wait = [](void*, uint32_t) { return true; };
    std::vector<uint32_t> waitTimes;
    void* NewEvent() override {
        if (!eventsWork) return nullptr;
        ++eventsCreated;
        events_.push_back(std::make_unique<int>(eventsCreated));
        return events_.back().get();
    }
    bool WaitEvent(void* event, uint32_t ms) override {
        waitTimes.push_back(ms);
        return wait(event, ms);
    }
    void CloseEvent(void* event) override { eventsClosed.push_back(event); }

private:
    int deviceToken_ = 0;
    std::vector<std::unique_ptr<int>> events_;
};

}  // namespace tarvik::testing_support
