#pragma once
// Hostile drive records for the fuzzers of the user-facing layer: every field
// a menu or the drive information text reads, taken from the input as it
// comes, names without a NUL and counts beyond the lists included.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "drive/drive.h"

namespace tarvik::fuzz {

inline void FillList(FuzzedDataProvider& in, SpeedList& list) {
    list.Factor = in.PickValueInArray<uint32_t>(
        {kFactorCD, kFactorDVD, kFactorBD, 0, 1, in.ConsumeIntegral<uint32_t>()});
    list.CanGetSpeed = in.ConsumeIntegral<uint8_t>();
    list.CanSetSpeed = in.ConsumeIntegral<uint8_t>();
    list.MethodDetected = in.ConsumeIntegral<uint8_t>();
    list.MethodPrefered = in.ConsumeIntegral<uint8_t>();
    list.MaxSpeed = in.ConsumeIntegral<uint32_t>();
    list.Selected = in.ConsumeIntegral<uint32_t>();
    list.Count = in.ConsumeIntegralInRange<uint32_t>(0, kMaxSpeedEntries + 8);
    const uint32_t filled = std::min<uint32_t>(list.Count, kMaxSpeedEntries);
    for (uint32_t k = 0; k < filled && in.remaining_bytes() > 0; ++k) {
        list.Entries[k].Speed = in.ConsumeIntegral<uint32_t>();
        list.Entries[k].Command = in.ConsumeIntegral<uint32_t>();
    }
}

inline void FillDrive(FuzzedDataProvider& in, CdromDrive& d) {
    const std::string name = in.ConsumeBytesAsString(sizeof d.Name);
    std::copy(name.begin(), name.end(), d.Name);  // may fill it without a NUL
    for (char16_t& c : d.DefaultShortName) c = in.ConsumeIntegral<char16_t>();
    for (char16_t& c : d.ShortName) c = in.ConsumeIntegral<char16_t>();
    d.DupIndex = in.ConsumeIntegral<int32_t>();
    d.CanClose = in.ConsumeBool();
    d.IsDVD = in.ConsumeBool();
    d.IsBD = in.ConsumeBool();
    d.Ignore = in.ConsumeBool();
    d.ShortMenu = in.ConsumeBool();
    d.EventMask = in.ConsumeIntegral<uint8_t>();
    d.AutoLock = in.ConsumeBool();
    d.Timer = in.ConsumeIntegral<uint32_t>();
    for (uint32_t& key : d.HotKeys) key = in.ConsumeIntegral<uint16_t>();
    // No letter keeps the menu from asking the file system about AUTORUN.INF.
    d.Address.adapter = in.ConsumeIntegral<uint8_t>();
    d.Address.target = in.ConsumeIntegral<uint8_t>();
    d.CurrentSpeed = in.ConsumeIntegral<uint32_t>();
    d.MediumPresent = in.ConsumeBool();
    d.TrayClosed = in.ConsumeBool();
    d.Caps.mediumType = in.ConsumeIntegral<uint8_t>();
    d.Caps.maxReadSpeed = in.ConsumeIntegral<uint32_t>();
    d.Profile = in.ConsumeIntegral<int32_t>();
    d.AudioStatus = in.ConsumeIntegral<uint8_t>();
    d.MediumClass = in.ConsumeIntegral<int32_t>();
    d.CurrentFamily = static_cast<MediumFamily>(in.ConsumeIntegralInRange<uint8_t>(0, 3));
    FillList(in, d.SpeedListCD);
    FillList(in, d.SpeedListDVD);
    FillList(in, d.SpeedListBD);
}

// As many drives as the list may hold.
inline CdromListType MakeDrives(FuzzedDataProvider& in) {
    CdromListType list;
    list.drives.resize(in.ConsumeIntegralInRange<unsigned>(0, kMaxDrives));
    for (CdromDrive& d : list.drives) FillDrive(in, d);
    return list;
}

}  // namespace tarvik::fuzz
