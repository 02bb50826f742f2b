#pragma once
// Ready-made drives and discs for tests, benchmarks and the fault matrix: one
// typical DVD writer (and a Blu-ray combo built on it), so that every rig
// means the same drive when it says "a DVD writer".
#include <cstdint>
#include <string>
#include <vector>

#include "sim_profile.h"

namespace tarvik::sim {

// Speeds of a typical 24x DVD writer (KB/s, fastest first).
inline const std::vector<uint32_t> kCd48x = {8448, 7040, 5632, 4224, 2816, 1408, 704};
inline const std::vector<uint32_t> kDvd16x = {22160, 16620, 11080, 8310, 5540, 2770};
inline const std::vector<uint32_t> kBd12x = {53940, 35960, 26970, 17980, 8990};

inline Medium PressedCd() {
    Medium m;
    m.kind = MediumKind::Cd;
    m.cdType = CdType::Pressed;
    return m;
}
inline Medium CdOf(CdType type) {
    Medium m = PressedCd();
    m.cdType = type;
    return m;
}
inline Medium DvdOfBook(uint8_t book) {
    Medium m;
    m.kind = MediumKind::Dvd;
    m.bookType = book;
    return m;
}
inline Medium BdOf(const char* type) {
    Medium m;
    m.kind = MediumKind::Bd;
    m.discType = type;
    return m;
}

// A DVD writer that obeys SET CD SPEED for CD and SET STREAMING for DVD and
// rounds requests down, with the given disc in it.
inline Profile DvdWriter(std::string product = "DVDRW SIM24X", Medium medium = PressedCd()) {
    Profile p;
    p.product = std::move(product);
    SpeedModel& cd = p.Speeds(Family::Cd);
    cd.present = true;
    cd.read = kCd48x;
    cd.setStreaming = Obey::Ignore;
    SpeedModel& dvd = p.Speeds(Family::Dvd);
    dvd.present = true;
    dvd.read = kDvd16x;
    dvd.setCdSpeed = Obey::Ignore;
    p.writeSpeeds = {8467, 7056, 5645};
    p.medium = medium;
    return p;
}

inline Profile BdCombo(Medium medium = BdOf("BDO")) {
    Profile p = DvdWriter("BD SIM12X", medium);
    p.readCaps = 0x3F;
    p.features = {{0x1F, Feature::Current::Medium}, {0x40, Feature::Current::Medium}};
    SpeedModel& bd = p.Speeds(Family::Bd);
    bd.present = true;
    bd.read = kBd12x;
    bd.setCdSpeed = Obey::Ignore;
    return p;
}

}  // namespace tarvik::sim
