#include "settings/store.h"

#include <cstring>
#include <string>

#include "app/log.h"
#include "drive/drive.h"
#include "platform/system.h"
#include "settings/reg_file.h"
#include "settings/registry.h"
#include "settings/shell.h"

namespace tarvik {

GlobalSettingsRecord GlobalSettings;

const char kRootKeyPath[] = "Software\\Orvanto Software\\Tarvik\\4.0";

namespace {

constexpr int kSwHide = 0;
constexpr uint32_t kRangeMaxBytes = 1024;
constexpr uint32_t kShortNameBytes = 2 * (kShortNameChars + 1);  // 22
constexpr uint32_t kHotKeyBytes = 4 * kHotKeySlots;              // 28

template <class Record>
struct Row {
    const char* name;
    uint32_t Record::*field;
};

// Load and save walk these front to back; the order is the stored layout's.
constexpr GlobalOption kGlobalOptions[] = {
    {"ApiPrefered", &GlobalSettingsRecord::ApiPrefered},
    {"NumNames", &GlobalSettingsRecord::NumNames},
    {"EjectSingle", &GlobalSettingsRecord::EjectSingle},
    {"ShowUnknown", &GlobalSettingsRecord::ShowUnknown},
    {"ForceRefresh", &GlobalSettingsRecord::ForceRefresh},
    {"DNEject", &GlobalSettingsRecord::DNEject},
    {"DNClose", &GlobalSettingsRecord::DNClose},
    {"DNMessage", &GlobalSettingsRecord::DNMessage},
    {"DNTimer", &GlobalSettingsRecord::DNTimer},
    {"DeepMenu", &GlobalSettingsRecord::DeepMenu},
    {"TopNames", &GlobalSettingsRecord::TopNames},
    {"CloseOnRun", &GlobalSettingsRecord::CloseOnRun},
    {"IconDisk", &GlobalSettingsRecord::IconDisk},
    {"IconOpen", &GlobalSettingsRecord::IconOpen},
    {"CmdOpen", &GlobalSettingsRecord::CmdOpen},
    {"CmdExplore", &GlobalSettingsRecord::CmdExplore},
    {"CmdAutorun", &GlobalSettingsRecord::CmdAutorun},
    {"TimerAutoclose", &GlobalSettingsRecord::TimerAutoclose},
    {"EnableAutoclose", &GlobalSettingsRecord::EnableAutoclose},
    {"TimerEnable", &GlobalSettingsRecord::TimerEnable},
};

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

struct ListSlot {
    const char* name;
    SpeedList CdromDrive::*list;
};
constexpr ListSlot kLists[] = {
    {"SpeedListCD", &CdromDrive::SpeedListCD},
    {"SpeedListDVD", &CdromDrive::SpeedListDVD},
    {"SpeedListBD", &CdromDrive::SpeedListBD},
};

void PutLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t GetLe32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A REG_DWORD is read into a 4-byte buffer whatever its stored type; a shorter
// value replaces only the low bytes, a missing or longer one nothing.
bool ReadDword(const RegKey& key, const char* name, uint32_t* field) {
    uint8_t bytes[4];
    PutLe32(bytes, *field);
    uint32_t size = sizeof(bytes);
    if (key.Query(name, nullptr, bytes, &size) != kRegOk) return false;
    *field = GetLe32(bytes);
    return true;
}

template <class Record, class RowType, size_t N>
bool ReadTable(const RegKey& key, const RowType (&rows)[N], Record* record) {
    bool complete = true;
    for (const auto& row : rows)  // every row is tried, even after a miss
        complete = ReadDword(key, row.name, &(record->*row.field)) && complete;
    return complete;
}

template <class Record, class RowType, size_t N>
void WriteTable(const RegKey& key, const RowType (&rows)[N], const Record& record) {
    for (const auto& row : rows) (void)key.SetDword(row.name, record.*row.field);
}

// Reads a string into a fixed field. A value longer than the field fails and
// leaves the field as it was; whatever the registry holds, the field ends
// terminated.
bool ReadString(const RegKey& key, const char* name, char* field, uint32_t fieldSize) {
    std::string buffer(fieldSize, '\0');
    uint32_t size = fieldSize;
    if (key.Query(name, nullptr, buffer.data(), &size) != kRegOk) return false;
    std::memset(field, 0, fieldSize);
    std::memcpy(field, buffer.data(), size < fieldSize ? size : fieldSize);
    field[fieldSize - 1] = '\0';
    return true;
}

void WriteString(const RegKey& key, const char* name, const char* field, uint32_t fieldSize) {
    const std::string text(field, strnlen(field, fieldSize - 1));
    (void)key.SetString(name, text.c_str());
}

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

const GlobalOption* GlobalOptionTable(size_t* count) {
    if (count) *count = sizeof(kGlobalOptions) / sizeof(kGlobalOptions[0]);
    return kGlobalOptions;
}

void LoadGlobalSettings() {
    GlobalSettings = GlobalSettingsRecord{};
    RegKey root = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead);
    if (!root) return;
    (void)ReadTable(root, kGlobalOptions, &GlobalSettings);
    RegKey lock = RegKey::Open(root.handle(), "Lock", kKeyRead, nullptr, root.registry());
    if (lock) (void)ReadString(lock, "Data", GlobalSettings.Data, sizeof(GlobalSettings.Data));
    (void)ReadString(root, "SavePath", GlobalSettings.SavePath, sizeof(GlobalSettings.SavePath));
}

void SaveGlobalSettings() {
    RegKey root = RegKey::Create(kHkeyCurrentUser, kRootKeyPath, kKeyAllAccess);
    if (!root) return;
    WriteTable(root, kGlobalOptions, GlobalSettings);
    RegKey lock =
        RegKey::Create(root.handle(), "Lock", kKeyAllAccess, nullptr, nullptr, root.registry());
    if (lock) WriteString(lock, "Data", GlobalSettings.Data, sizeof(GlobalSettings.Data));
    WriteString(root, "SavePath", GlobalSettings.SavePath, sizeof(GlobalSettings.SavePath));
}

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

    uint8_t name[kShortNameBytes];
    uint32_t size = sizeof(name);
    if (key.Query("ShortName", nullptr, name, &size) == kRegOk) {
        const uint32_t chars = size / 2;
        for (uint32_t i = 0; i <= kShortNameChars; ++i)
            drive->ShortName[i] =
                i < chars ? static_cast<char16_t>(name[2 * i] | name[2 * i + 1] << 8) : u'\0';
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

void ResetConfiguration() {
    OwnedStr program = ParentKeyPath(kRootKeyPath);  // every version's settings go
    if (!program) return;
    (void)DeleteKeyTree(kHkeyCurrentUser, program.get());
    OwnedStr vendor = ParentKeyPath(program.get());
    if (!vendor) return;
    RegKey key = RegKey::Open(kHkeyCurrentUser, vendor.get(), kKeyRead);
    if (!key) return;
    uint32_t subkeys = 0;
    const long rc = key.CountSubkeys(&subkeys);
    key.Reset();
    // Another program of the vendor keeps its folder.
    if (rc == kRegOk && subkeys == 0) (void)GetRegistry().DeleteKey(kHkeyCurrentUser, vendor.get());
}

void SaveConfigToFile(const char* path) {
    if (!path || !*path) return;
    const std::string key = std::string("HKEY_CURRENT_USER\\") + kRootKeyPath;
    std::string program, parameters;
    if (GetWinVersion() > kWinVersionNt6) {
        // "/y": without it reg.exe asks before overwriting an existing file,
        // and hidden, with nobody to answer, it would wait forever.
        program = "reg.exe";
        parameters = "export \"" + key + "\" \"" + path + "\" /y";
    } else {
        program = "regedit.exe";
        parameters = "/ea \"" + std::string(path) + "\" \"" + key + "\"";
    }
    LogPrintf("SaveConfigToFile: '%s' '%s'\n", program.c_str(), parameters.c_str());
    const intptr_t started =
        Sys().ShellExecute(nullptr, program.c_str(), parameters.c_str(), nullptr, kSwHide);
    if (started > 32) return;
    // No registry tool on this system: write the same export ourselves.
    const bool written = ExportRegFile(GetRegistry(), kHkeyCurrentUser, kRootKeyPath, path);
    LogPrintf("SaveConfigToFile: %s not started (%d), own export %s\n", program.c_str(),
              static_cast<int>(started), written ? "written" : "FAILED");
}

}  // namespace tarvik
