#include "sim_state.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "settings/reg_file.h"

namespace tarvik::sim {

using nlohmann::json;

std::string BusStateText(const Bus& bus) {
    json drives = json::array();
    for (size_t i = 0; i < bus.Count(); ++i) {
        const Drive& d = bus.At(i);
        json j;
        j["profile"] = d.profile().name;
        j["medium"] = json::parse(MediumToJsonText(d.medium()));
        j["trayOpen"] = d.TrayOpen();
        j["locked"] = d.Locked();
        j["inForce"] = {d.SpeedInForce(Family::Cd), d.SpeedInForce(Family::Dvd),
                        d.SpeedInForce(Family::Bd)};
        j["requested"] = {d.RequestedSpeed(Family::Cd), d.RequestedSpeed(Family::Dvd),
                          d.RequestedSpeed(Family::Bd)};
        j["writeSpeed"] = d.WriteSpeed();
        j["audio"] = d.AudioStatus();
        drives.push_back(j);
    }
    return json{{"drives", drives}}.dump(1);
}

bool ApplyBusStateText(Bus& bus, const std::string& text, std::string& error, bool asChange) {
    try {
        const json j = json::parse(text, nullptr, false);
        if (j.is_discarded() || !j.is_object() || !j.contains("drives") ||
            !j["drives"].is_array()) {
            error = "state file is not a drive state";
            return false;
        }
        struct Pending {
            size_t index;
            Medium medium;
            bool trayOpen, locked;
            uint32_t inForce[kFamilies], requested[kFamilies];
            uint32_t writeSpeed;
            uint8_t audio;
        };
        // Everything is checked before anything is applied.
        std::vector<Pending> pending;
        const json& drives = j["drives"];
        for (size_t i = 0; i < drives.size() && i < bus.Count(); ++i) {
            const json& d = drives[i];
            if (!d.is_object() || d.value("profile", std::string()) != bus.At(i).profile().name)
                continue;  // another drive now sits at this position
            Pending p{};
            p.index = i;
            if (!ParseMediumText(d.at("medium").dump(), p.medium, error)) return false;
            p.trayOpen = d.at("trayOpen").get<bool>();
            p.locked = d.at("locked").get<bool>();
            for (int f = 0; f < kFamilies; ++f) {
                p.inForce[f] = d.at("inForce").at(f).get<uint32_t>();
                p.requested[f] = d.at("requested").at(f).get<uint32_t>();
            }
            p.writeSpeed = d.at("writeSpeed").get<uint32_t>();
            p.audio = d.at("audio").get<uint8_t>();
            pending.push_back(p);
        }
        for (const Pending& p : pending) {
            bus.At(p.index).RestoreState(p.medium, p.trayOpen, p.locked, p.inForce, p.requested,
                                         p.writeSpeed, p.audio, asChange);
        }
        return true;
    } catch (const std::exception& e) {
        error = std::string("state file: ") + e.what();
        return false;
    }
}

bool SaveBusState(const Bus& bus, const std::string& path, std::string& error) {
    // Written beside and put in its place, so a reader never sees half a file.
    if (ReplaceWholeFile(path, BusStateText(bus) + "\n")) return true;
    error = path + ": cannot write the state file";
    return false;
}

bool LoadBusState(Bus& bus, const std::string& path, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, &text)) return true;  // nothing saved yet
    if (!ApplyBusStateText(bus, text, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool SharedStateFile::Read(std::string& text) const { return ReadWholeFile(path_, &text); }

bool SharedStateFile::Load(Bus& bus, std::string& error) {
    std::string text;
    if (!Read(text)) return true;  // nothing saved yet
    if (!ApplyBusStateText(bus, text, error, false)) {
        error = path_ + ": " + error;
        return false;
    }
    seen_ = text;
    return true;
}

bool SharedStateFile::Refresh(Bus& bus, std::string& error) {
    std::string text;
    // Missing (being replaced this instant) or unchanged: nothing to do.
    if (!Read(text) || text == seen_) return true;
    seen_ = text;
    if (!ApplyBusStateText(bus, text, error, true)) {
        error = path_ + ": " + error;
        return false;
    }
    return true;
}

bool SharedStateFile::Save(const Bus& bus, std::string& error) {
    const std::string text = BusStateText(bus) + "\n";
    if (text == seen_) return true;
    if (!SaveBusState(bus, path_, error)) return false;
    seen_ = text;
    return true;
}

}  // namespace tarvik::sim
