#include "drive/drive_store.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/bytes.h"
#include "platform/registry.h"
#include "settings/store.h"
#include "settings/values.h"

namespace tarvik {

namespace {

constexpr uint32_t kRangeMaxBytes = 1024;
constexpr uint32_t kShortNameBytes = 2 * (kShortNameChars + 1);  // 22
constexpr uint32_t kHotKeyBytes = 4 * kHotKeySlots;              // 28

constexpr Row<CdromDrive> kModelValues[] = {
    {"CanClose", &CdromDrive::CanClose},
    {"CanSenseMedium", &CdromDrive::CanSenseMedium},
    {"IsDVD", &CdromDrive::IsDVD},
    {"IsBD", &CdromDrive::IsBD},
};

constexpr Row<SpeedList> kListValues[] = {
    {"CanGetSpeed", &SpeedList::CanGetSpeed},
    {"CanSetSpeed", &SpeedList::CanSetSpeed},
    {"CanGetStreaming", &SpeedList::CanGetStreaming},
    {"CanSetStreaming", &SpeedList::CanSetStreaming},
    {"MethodDetected", &SpeedList::MethodDetected},
    {"MethodPrefered", &SpeedList::MethodPrefered},
    {"MaxLevel", &SpeedList::MaxLevel},
    {"MaxSpeed", &SpeedList::MaxSpeed},
    {"Selected", &SpeedList::Selected},
};

constexpr Row<CdromDrive> kInstanceValues[] = {
    {"Ignore", &CdromDrive::Ignore},
    {"EventMask", &CdromDrive::EventMask},
    {"OnlyWithDisk", &CdromDrive::OnlyWithDisk},
    {"WhenAudio", &CdromDrive::WhenAudio},
    {"IgnoreSpeed", &CdromDrive::IgnoreSpeed},
    {"ShortMenu", &CdromDrive::ShortMenu},
    {"ForceRead", &CdromDrive::ForceRead},
    {"AutoLock", &CdromDrive::AutoLock},
    {"Timer", &CdromDrive::Timer},
};

// Values newer than the table above, each a REG_DWORD of its own; an older
// program reading the key passes them over.
constexpr Row<CdromDrive> kInstanceLaterValues[] = {
    {"WinBackSpeed", &CdromDrive::WinBack},
};
// What was learnt about obeying the speed, newer still: the program writes
// these on its own, without the options beside them.
constexpr Row<CdromDrive> kVerdictValues[] = {
    {"SpeedVerdictCD", &CdromDrive::VerdictCD}, {"SpeedVerdictDVD", &CdromDrive::VerdictDVD},
    {"SpeedVerdictBD", &CdromDrive::VerdictBD}, {"SpeedReportCD", &CdromDrive::ReportCD},
    {"SpeedReportDVD", &CdromDrive::ReportDVD}, {"SpeedReportBD", &CdromDrive::ReportBD},
};

struct ListSlot {
    const char* name;
    SpeedList CdromDrive::*list;
};
constexpr ListSlot kLists[] = {
    {"SpeedListCD", &CdromDrive::SpeedListCD},
    {"SpeedListDVD", &CdromDrive::SpeedListDVD},
    {"SpeedListBD", &CdromDrive::SpeedListBD},
};

bool LoadList(const RegKey& model, const char* name, SpeedList* list) {
    RegKey key = RegKey::Open(model.handle(), name, kKeyRead, nullptr, model.registry());
    if (!key) return false;
    const bool complete = ReadTable(key, kListValues, list);
    uint8_t range[kRangeMaxBytes];
    uint32_t size = sizeof(range);
    if (key.Query("Range", nullptr, range, &size) == kRegOk) {
        list->Count = size / 8;
        for (uint32_t i = 0; i < list->Count; ++i) {
            list->Entries[i].Speed = GetLe32(range + 8 * i);
            list->Entries[i].Command = GetLe32(range + 8 * i + 4);
        }
    } else {
        list->Count = 0;  // missing, or more than 128 entries
    }
    return complete;
}

void SaveList(const RegKey& model, const char* name, const SpeedList& list) {
    RegKey key =
        RegKey::Create(model.handle(), name, kKeyAllAccess, nullptr, nullptr, model.registry());
    if (!key) return;
    WriteTable(key, kListValues, list);
    const uint32_t count = list.Count < kMaxSpeedEntries ? list.Count : kMaxSpeedEntries;
    uint8_t range[kRangeMaxBytes];
    for (uint32_t i = 0; i < kMaxSpeedEntries; ++i) {
        PutLe32(range + 8 * i, list.Entries[i].Speed);
        PutLe32(range + 8 * i + 4, list.Entries[i].Command);
    }
    // An empty list is stored as one byte, which reads back as no entries.
    (void)key.Set("Range", kRegBinary, range, count ? count * 8 : 1);
}

std::string ModelPath(const CdromDrive& drive) {
    return std::string(kRootKeyPath) + "\\" +
           std::string(drive.Name, strnlen(drive.Name, sizeof(drive.Name)));
}

std::string InstancePath(const CdromDrive& drive) {
    // A negative index would make a key named "-5"; the stored numbers are 00..99.
    const int number = (drive.DupIndex % 100 + 100) % 100;
    char suffix[8];
    std::snprintf(suffix, sizeof(suffix), "\\%02d", number);
    return ModelPath(drive) + suffix;
}

}  // namespace

int LoadDriveModel(CdromDrive* drive) {
    if (!drive) return 0;
    RegKey model = RegKey::Open(kHkeyCurrentUser, ModelPath(*drive).c_str(), kKeyRead);
    if (!model) return 0;
    bool complete = ReadTable(model, kModelValues, drive);
    for (const auto& slot : kLists)  // all three are loaded whatever the others gave
        complete = LoadList(model, slot.name, &(drive->*slot.list)) && complete;
    return complete ? 1 : 0;
}

void SaveDriveModel(CdromDrive* drive) {
    if (!drive) return;
    RegKey model = RegKey::Create(kHkeyCurrentUser, ModelPath(*drive).c_str(), kKeyAllAccess);
    if (!model) return;
    WriteTable(model, kModelValues, *drive);
    for (const auto& slot : kLists) SaveList(model, slot.name, drive->*slot.list);
}

int LoadDriveInstance(CdromDrive* drive) {
    if (!drive) return 0;
    RegKey key = RegKey::Open(kHkeyCurrentUser, InstancePath(*drive).c_str(), kKeyRead);
    if (!key) return 0;
    (void)ReadTable(key, kInstanceValues, drive);
    (void)ReadTable(key, kInstanceLaterValues, drive);
    (void)ReadTable(key, kVerdictValues, drive);

    uint8_t name[kShortNameBytes];
    uint32_t size = sizeof(name);
    if (key.Query("ShortName", nullptr, name, &size) == kRegOk) {
        const uint32_t chars = size / 2;
        for (uint32_t i = 0; i <= kShortNameChars; ++i)
            drive->ShortName[i] = i < chars ? static_cast<char16_t>(GetLe16(name + 2 * i)) : u'\0';
        drive->ShortName[kShortNameChars] = u'\0';
    }

    uint8_t keys[kHotKeyBytes];
    size = sizeof(keys);
    if (key.Query("HotKeys", nullptr, keys, &size) == kRegOk)
        for (uint32_t i = 0; i < size / 4; ++i) drive->HotKeys[i] = GetLe32(keys + 4 * i);

    // Lock\Value is read last, so when present it decides AutoLock.
    RegKey lock = RegKey::Open(key.handle(), "Lock", kKeyRead, nullptr, key.registry());
    if (lock) (void)ReadDword(lock, "Value", &drive->AutoLock);
    return 1;
}

void SaveDriveInstance(CdromDrive* drive) {
    if (!drive) return;
    RegKey key = RegKey::Create(kHkeyCurrentUser, InstancePath(*drive).c_str(), kKeyAllAccess);
    if (!key) return;
    WriteTable(key, kInstanceValues, *drive);
    WriteTable(key, kInstanceLaterValues, *drive);
    WriteTable(key, kVerdictValues, *drive);

    uint8_t name[kShortNameBytes] = {};
    uint32_t length = 0;
    while (length < kShortNameChars && drive->ShortName[length]) ++length;
    for (uint32_t i = 0; i < length; ++i) {
        name[2 * i] = static_cast<uint8_t>(drive->ShortName[i]);
        name[2 * i + 1] = static_cast<uint8_t>(drive->ShortName[i] >> 8);
    }
    (void)key.Set("ShortName", kRegBinary, name, 2 * length + 2);

    uint8_t keys[kHotKeyBytes];
    for (uint32_t i = 0; i < kHotKeySlots; ++i) PutLe32(keys + 4 * i, drive->HotKeys[i]);
    (void)key.Set("HotKeys", kRegBinary, keys, sizeof(keys));

    RegKey lock =
        RegKey::Create(key.handle(), "Lock", kKeyAllAccess, nullptr, nullptr, key.registry());
    if (lock) (void)lock.SetDword("Value", drive->AutoLock);
}

void SaveDriveVerdicts(CdromDrive* drive) {
    if (!drive) return;
    RegKey key = RegKey::Create(kHkeyCurrentUser, InstancePath(*drive).c_str(), kKeyAllAccess);
    if (!key) return;
    WriteTable(key, kVerdictValues, *drive);
}

void SaveDriveWinBack(CdromDrive* drive) {
    if (!drive) return;
    RegKey key = RegKey::Create(kHkeyCurrentUser, InstancePath(*drive).c_str(), kKeyAllAccess);
    if (!key) return;
    WriteTable(key, kInstanceLaterValues, *drive);
}

}  // namespace tarvik
