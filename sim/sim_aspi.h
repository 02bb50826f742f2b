#pragma once
// The ASPI for Win32 manager over a bus of simulated drives: what the test
// wnaspi32.dll answers, kept portable so the SRB handling is tested on the
// host. Drive i is host adapter i / 16, target i % 16, LUN 0.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim_bus.h"

namespace tarvik::sim {

class AspiManager {
public:
    explicit AspiManager(Bus& bus) : bus_(bus) {}

    // GetASPI32SupportInfo: status in bits 15..8, adapter count in 7..0.
    // No drives: SS_NO_ADAPTERS; a failed set-up (bad profile): SS_FAILED_INIT.
    uint32_t SupportInfo() const;
    void SetFailed(bool failed) { failed_ = failed; }

    // SendASPI32Command. An execution request with SRB_EVENT_NOTIFY is
    // completed, `notify` is called with SRB_PostProc (the event to set), and
    // SS_PENDING is returned, as a manager working in the background does;
    // otherwise the SRB status is returned. A request that times out never
    // completes: its status stays SS_PENDING and nothing is signalled.
    uint32_t Send(void* srb, const std::function<void(void* postProc)>& notify);

    // True after a command that may have changed drive state (worth saving).
    bool TakeChanged() {
        const bool c = changed_;
        changed_ = false;
        return c;
    }

    uint32_t AdapterCount() const;

private:
    int DriveIndex(uint8_t adapter, uint8_t target, uint8_t lun) const;
    uint32_t Execute(void* srb, const std::function<void(void*)>& notify);

    Bus& bus_;
    bool failed_ = false;
    bool changed_ = false;
};

// "a.json;b.json" -> paths (empty items dropped).
std::vector<std::string> SplitProfileList(std::string_view list);
// One profile path a line; blank lines and lines starting with '#' are
// skipped; relative paths are taken from the list file's folder.
[[nodiscard]] bool ReadProfileListFile(const std::string& path, std::vector<std::string>& out);

}  // namespace tarvik::sim
