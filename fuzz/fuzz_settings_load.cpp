// Loads a registry tree of arbitrary value types and sizes into the global
// settings and a drive record: no crash, no read or write past a field, every
// string terminated, no list longer than its entry array.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drive/drive.h"
#include "drive/drive_store.h"
#include "platform/registry_memory.h"
#include "settings/store.h"

using namespace tarvik;

namespace {

const char* const kKeys[] = {
    "",
    "\\Lock",
    "\\DRIVE",
    "\\DRIVE\\SpeedListCD",
    "\\DRIVE\\SpeedListDVD",
    "\\DRIVE\\SpeedListBD",
    "\\DRIVE\\00",
    "\\DRIVE\\00\\Lock",
};
const char* const kNames[] = {
    "ApiPrefered", "NumNames",    "DNTimer",  "TimerEnable", "Data",  "SavePath",  "CanClose",
    "IsBD",        "CanGetSpeed", "Selected", "MaxSpeed",    "Range", "Ignore",    "AutoLock",
    "Timer",       "ShortName",   "HotKeys",  "Value",       "",      "EventMask",
};
const uint32_t kTypes[] = {kRegNone,  kRegSz,      kRegExpandSz, kRegBinary,
                           kRegDword, kRegMultiSz, kRegQword,    0xFFFFFFFFu};

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryRegistry reg;
    SetRegistry(&reg);
    size_t pos = 0;
    while (pos + 5 <= size) {
        const std::string path =
            std::string(kRootKeyPath) + kKeys[data[pos] % (sizeof(kKeys) / sizeof(kKeys[0]))];
        const char* name = kNames[data[pos + 1] % (sizeof(kNames) / sizeof(kNames[0]))];
        const uint32_t type = kTypes[data[pos + 2] % (sizeof(kTypes) / sizeof(kTypes[0]))];
        size_t length = data[pos + 3] | (data[pos + 4] & 0x07) << 8;  // up to 2047 bytes
        pos += 5;
        if (length > size - pos) length = size - pos;
        RegKey key = RegKey::Create(kHkeyCurrentUser, path.c_str(), kKeyAllAccess);
        if (key) (void)key.Set(name, type, data + pos, static_cast<uint32_t>(length));
        pos += length;
    }

    // Data starts full of garbage: the defaults must replace it.
    std::memset(GlobalSettings.Data, 'D', sizeof(GlobalSettings.Data));
    LoadGlobalSettings();
    Check(std::memchr(GlobalSettings.Data, 0, sizeof(GlobalSettings.Data)) != nullptr);
    Check(GlobalSettings.SavePath[sizeof(GlobalSettings.SavePath) - 1] == '\0');

    auto* drive = new CdromDrive;
    std::strcpy(drive->Name, "DRIVE");
    for (unsigned i = 0; i < kShortNameChars; ++i) drive->ShortName[i] = u'S';
    (void)LoadDriveModel(drive);
    (void)LoadDriveInstance(drive);
    Check(drive->ShortName[kShortNameChars] == u'\0');
    for (const SpeedList* list : {&drive->SpeedListCD, &drive->SpeedListDVD, &drive->SpeedListBD})
        Check(list->Count <= kMaxSpeedEntries);
    // Saving what was loaded must work and load back the same lists.
    SaveDriveModel(drive);
    SaveDriveInstance(drive);
    SaveGlobalSettings();
    auto* again = new CdromDrive;
    std::strcpy(again->Name, "DRIVE");
    Check(LoadDriveModel(again) == 1);
    Check(again->SpeedListCD.Count == drive->SpeedListCD.Count);
    Check(std::memcmp(again->SpeedListCD.Entries, drive->SpeedListCD.Entries,
                      drive->SpeedListCD.Count * sizeof(SpeedEntry)) == 0);
    delete again;
    delete drive;
    Check(reg.OpenHandles() == 0);
    SetRegistry(nullptr);
    return 0;
}
