#include "sim_aspi.h"

#include <algorithm>
#include <cstring>
#include <fstream>

#include "scsi/aspi_defs.h"

namespace tarvik::sim {

using namespace tarvik::aspi;

namespace {

constexpr unsigned kTargetsPerAdapter = 16;

void CopyPadded(uint8_t* dst, const char* text, size_t width) {
    std::memset(dst, ' ', width);
    std::memcpy(dst, text, std::min(width, std::strlen(text)));
}

}  // namespace

uint32_t AspiManager::AdapterCount() const {
    return static_cast<uint32_t>((bus_.Count() + kTargetsPerAdapter - 1) / kTargetsPerAdapter);
}

uint32_t AspiManager::SupportInfo() const {
    if (failed_) return uint32_t{SS_FAILED_INIT} << 8;
    const uint32_t adapters = AdapterCount();
    return (uint32_t{adapters ? SS_COMP : SS_NO_ADAPTERS} << 8) | adapters;
}

int AspiManager::DriveIndex(uint8_t adapter, uint8_t target, uint8_t lun) const {
    if (lun != 0 || target >= kTargetsPerAdapter) return -1;
    const size_t index = size_t{adapter} * kTargetsPerAdapter + target;
    if (index >= bus_.Count() || bus_.At(index).Gone()) return -1;
    return static_cast<int>(index);
}

uint32_t AspiManager::Send(void* srb, const std::function<void(void*)>& notify) {
    if (!srb) return SS_INVALID_SRB;
    auto* header = static_cast<SRB_Header*>(srb);
    if (failed_) return header->SRB_Status = SS_NO_ASPI;
    switch (header->SRB_Cmd) {
        case SC_HA_INQUIRY: {
            auto* s = static_cast<SRB_HAInquiry*>(srb);
            if (s->SRB_HaId >= std::max<uint32_t>(AdapterCount(), 1))
                return s->SRB_Status = SS_INVALID_HA;
            s->HA_Count = static_cast<uint8_t>(AdapterCount());
            s->HA_SCSI_ID = 7;
            CopyPadded(s->HA_ManagerId, "ASPI for WIN32", sizeof s->HA_ManagerId);
            CopyPadded(s->HA_Identifier, "TARVIK SIM", sizeof s->HA_Identifier);
            std::memset(s->HA_Unique, 0, sizeof s->HA_Unique);
            s->HA_Unique[3] = kTargetsPerAdapter;  // maximum target count
            return s->SRB_Status = SS_COMP;
        }
        case SC_GET_DEV_TYPE: {
            auto* s = static_cast<SRB_GDEVBlock*>(srb);
            if (s->SRB_HaId >= AdapterCount()) return s->SRB_Status = SS_INVALID_HA;
            const int index = DriveIndex(s->SRB_HaId, s->SRB_Target, s->SRB_Lun);
            if (index < 0) return s->SRB_Status = SS_NO_DEVICE;
            s->SRB_DeviceType = bus_.At(static_cast<size_t>(index)).profile().deviceType & 0x1F;
            return s->SRB_Status = SS_COMP;
        }
        case SC_EXEC_SCSI_CMD: return Execute(srb, notify);
        case SC_ABORT_SRB:
        case SC_RESET_DEV: return header->SRB_Status = SS_COMP;
        default: return header->SRB_Status = SS_INVALID_CMD;
    }
}

uint32_t AspiManager::Execute(void* srb, const std::function<void(void*)>& notify) {
    auto* s = static_cast<SRB_ExecSCSICmd*>(srb);
    const bool eventNotify = (s->SRB_Flags & SRB_EVENT_NOTIFY) && s->SRB_PostProc;
    auto finish = [&](uint8_t status) -> uint32_t {
        s->SRB_Status = status;
        if (eventNotify) {
            if (notify) notify(s->SRB_PostProc);
            return SS_PENDING;
        }
        return status;
    };
    s->SRB_HaStat = HASTAT_OK;
    s->SRB_TargStat = STATUS_GOOD;
    if (s->SRB_HaId >= AdapterCount()) return finish(SS_INVALID_HA);
    const int index = DriveIndex(s->SRB_HaId, s->SRB_Target, s->SRB_Lun);
    if (index < 0) {
        s->SRB_HaStat = HASTAT_SEL_TO;
        return finish(SS_NO_DEVICE);
    }
    const bool in = s->SRB_Flags & SRB_DIR_IN;
    const bool out = s->SRB_Flags & SRB_DIR_OUT;
    if ((in && out) || ((in || out) && s->SRB_BufLen && !s->SRB_BufPointer))
        return finish(SS_INVALID_SRB);

    Command cmd;
    cmd.cdb = std::span<const uint8_t>(s->CDBByte, std::min<size_t>(s->SRB_CDBLen, 16));
    if (s->SRB_BufLen && s->SRB_BufPointer) {
        if (in) cmd.dataIn = std::span<uint8_t>(s->SRB_BufPointer, s->SRB_BufLen);
        if (out) cmd.dataOut = std::span<const uint8_t>(s->SRB_BufPointer, s->SRB_BufLen);
    }
    s->SRB_Status = SS_PENDING;
    const Outcome o = bus_.Execute(static_cast<size_t>(index), cmd);
    changed_ = true;
    std::memset(s->SenseArea, 0, sizeof s->SenseArea);
    switch (o.completion) {
        case Completion::Done:
            s->SRB_TargStat = o.status;
            if (o.status == STATUS_CHKCOND) {
                const std::vector<uint8_t> sense = FixedSense(o.sense);
                std::memcpy(s->SenseArea, sense.data(),
                            std::min<size_t>({sense.size(), s->SRB_SenseLen, sizeof s->SenseArea}));
                return finish(SS_ERR);
            }
            return finish(SS_COMP);
        case Completion::TransportError: s->SRB_HaStat = HASTAT_DO_DU; return finish(SS_ERR);
        case Completion::Gone: s->SRB_HaStat = HASTAT_SEL_TO; return finish(SS_NO_DEVICE);
        case Completion::Timeout:
            // Never completes: the caller's wait runs out.
            return SS_PENDING;
    }
    return finish(SS_ERR);
}

std::vector<std::string> SplitProfileList(std::string_view list) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(';', start);
        if (end == std::string_view::npos) end = list.size();
        std::string item(list.substr(start, end - start));
        while (!item.empty() && (item.back() == ' ' || item.back() == '\r')) item.pop_back();
        while (!item.empty() && item.front() == ' ') item.erase(item.begin());
        if (!item.empty()) out.push_back(item);
        start = end + 1;
    }
    return out;
}

bool ReadProfileListFile(const std::string& path, std::vector<std::string>& out) {
    std::ifstream in(path);
    if (!in) return false;
    const size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line[first] == '#') continue;
        line = line.substr(first);
        const bool absolute =
            line[0] == '/' || line[0] == '\\' || (line.size() > 1 && line[1] == ':');
        out.push_back(absolute ? line : folder + line);
    }
    return true;
}

}  // namespace tarvik::sim
