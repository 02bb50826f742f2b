#pragma once
// Simulated drives for the drive-control scenario tests: a bus of drives on a
// virtual clock behind the in-process transport, an empty memory registry,
// default global settings and an empty drive list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "drive/drive.h"
#include "drive/drive_list.h"
#include "platform/registry_memory.h"
#include "scsi/transport.h"
#include "settings/store.h"
#include "sim_bus.h"
#include "sim_models.h"
#include "sim_transport.h"

namespace tarvik::test {

using sim::BdCombo;
using sim::BdOf;
using sim::CdOf;
using sim::DvdOfBook;
using sim::DvdWriter;
using sim::kBd12x;
using sim::kCd48x;
using sim::kDvd16x;
using sim::PressedCd;

class DriveSim : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegistry(&registry_);
        GlobalSettings = GlobalSettingsRecord{};
        FreeDriveList();
        ClearBrokenDrives();  // a new bus: none of its drives has failed yet
        SetDriveBusyNotify(nullptr);
    }
    void TearDown() override {
        FreeDriveList();
        ClearBrokenDrives();
        SetDriveBusyNotify(nullptr);
        if (installed_) sim::UninstallSimTransport();
        SetRegistry(nullptr);
    }

    // Adds a drive to the bus; call Start() after the last one.
    size_t Add(sim::Profile profile) { return static_cast<size_t>(bus_.Add(std::move(profile))); }
    void Start() {
        sim::InstallSimTransport(bus_);
        installed_ = true;
    }
    // One drive record not taken from the list: as BuildDriveList sets it up,
    // without loading or scanning. Lets a test watch one operation alone.
    CdromDrive Record(size_t index) {
        CdromDrive d;
        d.Address = sim::SimAddress(bus_, index);
        const sim::Profile& p = bus_.At(index).profile();
        std::snprintf(d.Name, sizeof d.Name, "%-8.8s %-16.16s %-4.4s", p.vendor.c_str(),
                      p.product.c_str(), p.revision.c_str());
        d.SpeedListCD.Factor = kFactorCD;
        d.SpeedListDVD.Factor = kFactorDVD;
        d.SpeedListBD.Factor = kFactorBD;
        d.CurrentFamily = MediumFamily::CD;
        d.TrayClosed = 1;
        d.EventMask = 11;
        d.ForceRead = 1;
        return d;
    }

    sim::Drive& Sim(size_t index) { return bus_.At(index); }
    VirtualClock& Clock() { return bus_.virtualClock(); }
    void Settle(uint32_t ms = 10000) { Clock().Advance(ms); }

    // Opcodes sent since the last ClearTrace, in order.
    std::vector<uint8_t> Ops() const {
        std::vector<uint8_t> ops;
        for (const sim::TraceEntry& e : bus_.Trace()) ops.push_back(e.cdb.empty() ? 0 : e.cdb[0]);
        return ops;
    }
    size_t CountOp(uint8_t op) const {
        size_t n = 0;
        for (const sim::TraceEntry& e : bus_.Trace())
            if (!e.cdb.empty() && e.cdb[0] == op) ++n;
        return n;
    }
    // Read speeds requested by SET CD SPEED / SET STREAMING, in order.
    std::vector<uint32_t> SpeedRequests(uint8_t op) const {
        std::vector<uint32_t> out;
        for (const sim::TraceEntry& e : bus_.Trace()) {
            if (e.cdb.empty() || e.cdb[0] != op) continue;
            if (op == sim::kOpSetCdSpeed)
                out.push_back(uint32_t{e.cdb[2]} << 8 | e.cdb[3]);
            else if (e.out.size() >= 16)
                out.push_back(uint32_t{e.out[12]} << 24 | uint32_t{e.out[13]} << 16 |
                              uint32_t{e.out[14]} << 8 | e.out[15]);
        }
        return out;
    }
    void ClearTrace() { bus_.ClearTrace(); }

    bool RegistryHas(const std::string& subkey) {
        RegKey key = RegKey::Open(kHkeyCurrentUser,
                                  (std::string(kRootKeyPath) + "\\" + subkey).c_str(), kKeyRead);
        return static_cast<bool>(key);
    }
    uint32_t SubkeyCount(const std::string& subkey) {
        RegKey key = RegKey::Open(kHkeyCurrentUser,
                                  (std::string(kRootKeyPath) + "\\" + subkey).c_str(), kKeyRead);
        uint32_t n = 0;
        if (key) (void)key.CountSubkeys(&n);
        return n;
    }

    sim::Bus bus_;
    MemoryRegistry registry_;
    bool installed_ = false;
};

using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;
inline Pairs EntriesOf(const SpeedList& list) {
    Pairs out;
    for (uint32_t i = 0; i < EntryCount(list); ++i)
        out.emplace_back(list.Entries[i].Speed, list.Entries[i].Command);
    return out;
}
inline std::vector<uint32_t> SpeedsOf(const SpeedList& list) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < EntryCount(list); ++i) out.push_back(list.Entries[i].Speed);
    return out;
}

}  // namespace tarvik::test
