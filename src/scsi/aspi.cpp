// The ASPI set: commands go to the ASPI manager as SRBs addressed by host
// adapter, target and LUN.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/log.h"
#include "platform/registry.h"
#include "scsi/aspi.h"
#include "scsi/aspi_defs.h"
#include "scsi/sense.h"
#include "scsi/transport.h"
#include "scsi/transport_state.h"

namespace tarvik {

using detail::State;

namespace {

constexpr uint32_t kAspiWaitMs = 30000;
constexpr uint32_t kDefaultTargets = 8;
constexpr uint32_t kMaxTargets = 16;

// One command as the manager sees it: the SRB, its completion event and a
// private copy of the data. Held on the heap so that a command the manager has
// not finished after the time-out can be left with it (see Park).
struct AspiCommand {
    aspi::SRB_ExecSCSICmd srb{};
    std::vector<uint8_t> buffer;
    void* event = nullptr;
};

// Commands that timed out. The manager may still write into the SRB and the
// buffer, and may still signal the event, so none of the three is released:
// freeing them would let the manager scribble over reused memory, and closing
// the event could make it signal a later command's event with the same handle
// value. A time-out takes 30 s, so these stay few.
std::vector<AspiCommand*>& Parked() {
    // Never destroyed: the manager may still write into a parked block while
    // the process ends, so it stays reachable to the very end.
    static auto* parked = new std::vector<AspiCommand*>;
    return *parked;
}

void Park(std::unique_ptr<AspiCommand> command) { Parked().push_back(command.release()); }

uint32_t SendSrb(void* srb) { return State().aspi.sendCommand(srb) & 0xFF; }

// Executes one request through the manager. Non-zero when the SRB completed
// with SS_COMP; the request then carries the manager's, the adapter's and the
// target's status and the sense key (the sense area is always requested).
int AspiExecute(ScsiRequest* request) {
    request->ClearStatus();
    if (!State().aspi.sendCommand) return 0;

    auto command = std::make_unique<AspiCommand>();
    aspi::SRB_ExecSCSICmd& srb = command->srb;
    srb.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = static_cast<uint8_t>(request->adapter);
    srb.SRB_Target = static_cast<uint8_t>(request->target);
    srb.SRB_Lun = static_cast<uint8_t>(request->lun);
    const uint32_t dataLength = request->data ? request->dataLength : 0;
    if (dataLength) {
        srb.SRB_Flags = request->direction == 0 ? aspi::SRB_DIR_IN : aspi::SRB_DIR_OUT;
        command->buffer.assign(dataLength, 0);
        if (request->direction != 0) std::memcpy(command->buffer.data(), request->data, dataLength);
    }
    srb.SRB_BufLen = dataLength;
    srb.SRB_BufPointer = dataLength ? command->buffer.data() : nullptr;
    srb.SRB_SenseLen = aspi::SENSE_LEN;
    srb.SRB_CDBLen = static_cast<uint8_t>(std::min<uint32_t>(request->cdbLength, kCdbSize));
    std::memcpy(srb.CDBByte, request->cdb, kCdbSize);

    // Without an event there is no way to learn when the manager is done with
    // the SRB, so the command is not handed over at all.
    command->event = ScsiSys().NewEvent();
    if (!command->event) return 0;
    srb.SRB_Flags |= aspi::SRB_EVENT_NOTIFY;
    srb.SRB_PostProc = command->event;

    uint32_t status = SendSrb(&srb);
    if (status == aspi::SS_PENDING) {
        if (!ScsiSys().WaitEvent(command->event, kAspiWaitMs)) {
            request->aspiStatus = aspi::SS_PENDING;
            Park(std::move(command));
            return 0;
        }
        status = srb.SRB_Status;
    }
    ScsiSys().CloseEvent(command->event);

    request->aspiStatus = srb.SRB_Status;
    request->adapterStatus = srb.SRB_HaStat;
    request->targetStatus = srb.SRB_TargStat;
    if (srb.SRB_SenseLen) {
        request->senseKey =
            DecodeSense(srb.SenseArea, std::min<size_t>(srb.SRB_SenseLen, kSenseSize)).key;
    }
    request->senseLength = srb.SRB_SenseLen;
    std::memcpy(request->sense, srb.SenseArea, kSenseSize);
    const uint32_t transferred = std::min(srb.SRB_BufLen, dataLength);
    if (request->direction == 0 && transferred)
        std::memcpy(request->data, command->buffer.data(), transferred);
    request->dataLength = transferred;
    return status == aspi::SS_COMP ? 1 : 0;
}

int AspiExecuteOn(ScsiRequest* request, TransportHandle) { return AspiExecute(request); }

// ASPI addresses a drive by adapter and target; there is nothing to open.
TransportHandle AspiOpen(ScsiRequest*) {
    static int dummy;
    return &dummy;
}

void AspiClose(TransportHandle) {}

int AspiFindFirst(DriveAddress* address) { return GetLetter(0, 0, address); }

int AspiFindNext(DriveAddress* address) {
    return GetLetter(address->adapter, address->target + 1, address);
}

const ScsiTransport kAspiSet = {
    .TransportClose = AspiClose,
    .TransportExecuteOn = AspiExecuteOn,
    .TransportOpen = AspiOpen,
    .FindNextDrive = AspiFindNext,
    .FindFirstDrive = AspiFindFirst,
    .TransportExecute = AspiExecute,
};

uint32_t ToDriveLetter(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c;
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    return 0;  // a corrupt assignment is treated as unresolved
}

// The Windows 9x configuration manager knows which letter belongs to the
// device node the ASPI manager names for an adapter and target. 0 when any
// step fails.
uint32_t ResolveLetter(uint32_t adapter, uint32_t target) {
    const auto translate = State().aspi.translateAddress;
    if (!translate) return 0;
    uint32_t path = (adapter << 16) | (target << 8);
    uint32_t devNode = 0;
    if (!translate(&path, &devNode) || devNode == 0) {
        LogPrintf("GetLetter: DllTranslateASPI32Address *FAILED*\n");
        return 0;
    }
    char nodeKey[64];
    std::snprintf(nodeKey, sizeof(nodeKey), "Config Manager\\Enum\\%08X", devNode);
    LogPrintf("GetLetter: DevNode=%s\n", nodeKey);

    std::string hardwareKey;
    {
        const RegKey node = RegKey::Open(kHkeyDynData, nodeKey, kKeyRead);
        if (!node) return 0;
        uint32_t size = 0;
        if (node.Query("HardWareKey", nullptr, nullptr, &size) != kRegOk || size == 0) return 0;
        // Room for one terminator more than asked: a value stored without its
        // NUL must not run into the bytes behind it.
        std::vector<char> value(size + 1, '\0');
        if (node.Query("HardWareKey", nullptr, value.data(), &size) != kRegOk) return 0;
        hardwareKey = "Enum\\";
        hardwareKey += value.data();
    }
    const RegKey hardware = RegKey::Open(kHkeyLocalMachine, hardwareKey.c_str(), kKeyRead);
    if (!hardware) return 0;
    uint8_t assignment[2] = {};
    uint32_t size = sizeof(assignment);
    if (hardware.Query("CurrentDriveLetterAssignment", nullptr, assignment, &size) != kRegOk)
        return 0;
    return ToDriveLetter(assignment[0]);
}

AspiLoadedFn g_aspiLoaded = nullptr;

// The path is recorded, and whoever keeps the library's version resource for
// the drive information reads it now, while the file is the one loaded.
void StoreVersionInfo() {
    State().aspiPath = ScsiSys().LoadedModulePath();
    if (g_aspiLoaded) g_aspiLoaded(State().aspiPath);
}

}  // namespace

namespace detail {

void ResetAspiState() {
    auto& s = State();
    s.aspiLoaded = false;
    s.aspi = AspiEntryPoints{};
    s.adapterCount = 0;
    s.aspiPath.clear();
}

}  // namespace detail

void SetAspiLoadedNotify(AspiLoadedFn fn) { g_aspiLoaded = fn; }

const ScsiTransport& AspiTransport() { return kAspiSet; }

size_t ParkedAspiCommandCount() { return Parked().size(); }

int AspiLoad() {
    auto& s = State();
    if (!s.aspiLoaded) {
        if (!ScsiSys().LoadModule("wnaspi32.dll")) {
            s.aspiStatus = kAspiNotInstalled;
            return 0;
        }
        s.aspiLoaded = true;
    }
    StoreVersionInfo();
    s.aspi.getSupportInfo = reinterpret_cast<aspi::GetASPI32SupportInfoFn>(
        ScsiSys().ModuleProc("GetASPI32SupportInfo"));
    s.aspi.sendCommand =
        reinterpret_cast<aspi::SendASPI32CommandFn>(ScsiSys().ModuleProc("SendASPI32Command"));
    s.aspi.translateAddress = reinterpret_cast<aspi::TranslateASPI32AddressFn>(
        ScsiSys().ModuleProc("TranslateASPI32Address"));
    s.adapterCount = 0;
    if (s.aspi.getSupportInfo && s.aspi.sendCommand) {
        const uint32_t info = s.aspi.getSupportInfo();
        const uint32_t managerStatus = (info >> 8) & 0xFF;
        if (managerStatus == aspi::SS_COMP || managerStatus == aspi::SS_NO_ADAPTERS) {
            s.adapterCount = info & 0xFF;
            s.aspiStatus = kAspiOk;
            return 1;
        }
    }
    s.aspiStatus = kAspiBroken;
    return 0;
}

int GetLetter(uint32_t firstAdapter, uint32_t firstTarget, DriveAddress* address) {
    auto& s = State();
    if (!address || !s.aspi.sendCommand) return 0;
    uint32_t startTarget = firstTarget;
    for (uint32_t a = firstAdapter; a < s.adapterCount; ++a, startTarget = 0) {
        aspi::SRB_HAInquiry inquiry{};
        inquiry.SRB_Cmd = aspi::SC_HA_INQUIRY;
        inquiry.SRB_HaId = static_cast<uint8_t>(a);
        if (SendSrb(&inquiry) != aspi::SS_COMP) continue;
        const uint32_t reported = inquiry.HA_Unique[3];
        const uint32_t targets = reported == 0 ? kDefaultTargets : std::min(reported, kMaxTargets);
        for (uint32_t t = startTarget; t < targets; ++t) {
            aspi::SRB_GDEVBlock device{};
            device.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
            device.SRB_HaId = static_cast<uint8_t>(a);
            device.SRB_Target = static_cast<uint8_t>(t);
            if (SendSrb(&device) != aspi::SS_COMP || device.SRB_DeviceType != aspi::DTYPE_CDROM)
                continue;
            *address = DriveAddress{a, t, 0, ResolveLetter(a, t)};
            return 1;
        }
    }
    return 0;
}

}  // namespace tarvik
