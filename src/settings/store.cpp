#include "settings/store.h"

#include <cstring>
#include <string>
#include <string_view>

#include "base/log.h"
#include "platform/registry.h"
#include "platform/system.h"
#include "settings/reg_file.h"
#include "settings/shell.h"
#include "settings/values.h"

namespace tarvik {

GlobalSettingsRecord GlobalSettings;

const char kRootKeyPath[] = "Software\\Orvanto Software\\Tarvik\\4.0";

namespace {

constexpr int kSwHide = 0;
// ShellExecute's result is an instance handle above 32 when it started the
// program and an error code up to 32 when not.
constexpr intptr_t kShellExecuteFailedMax = 32;

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

// "Data" holds at most 34 characters. A longer value is no stored form of
// ours, yet loaded as nothing (a string longer than its field keeps the
// field's content) it would drop the eject protection, and merely cut short
// it could still read as a whole hash. So it loads as its first 33
// characters and a '*', an end no stored form has: every password is refused
// until the user sets the value right or resets the configuration.
void ReadStoredPassword(const RegKey& lock, char* field, uint32_t fieldSize) {
    uint32_t size = 0;
    if (lock.Query("Data", nullptr, nullptr, &size) != kRegOk || size < fieldSize) {
        (void)ReadString(lock, "Data", field, fieldSize);
        return;
    }
    std::string value(size, '\0');
    if (lock.Query("Data", nullptr, value.data(), &size) != kRegOk) return;
    const size_t length = strnlen(value.data(), size);
    if (length < fieldSize) {  // the rest was NULs
        std::memset(field, 0, fieldSize);
        std::memcpy(field, value.data(), length);
        return;
    }
    std::memcpy(field, value.data(), fieldSize - 2);
    field[fieldSize - 2] = '*';
    field[fieldSize - 1] = '\0';
    LogPrintf("LoadGlobalSettings: Lock\\Data is longer than a stored password\n");
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
    if (lock) ReadStoredPassword(lock, GlobalSettings.Data, sizeof(GlobalSettings.Data));
    (void)ReadString(root, "SavePath", GlobalSettings.SavePath, sizeof(GlobalSettings.SavePath));
    (void)ReadString(root, "Language", GlobalSettings.Language, sizeof(GlobalSettings.Language));
}

void ReadLanguageSetting(char* field, uint32_t fieldSize) {
    if (!field || fieldSize == 0) return;
    std::memset(field, 0, fieldSize);
    RegKey root = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead);
    if (root) (void)ReadString(root, "Language", field, fieldSize);
}

void SaveGlobalSettings() {
    RegKey root = RegKey::Create(kHkeyCurrentUser, kRootKeyPath, kKeyAllAccess);
    if (!root) return;
    WriteTable(root, kGlobalOptions, GlobalSettings);
    RegKey lock =
        RegKey::Create(root.handle(), "Lock", kKeyAllAccess, nullptr, nullptr, root.registry());
    if (lock) WriteString(lock, "Data", GlobalSettings.Data, sizeof(GlobalSettings.Data));
    WriteString(root, "SavePath", GlobalSettings.SavePath, sizeof(GlobalSettings.SavePath));
    // Written only when chosen: no value is the automatic choice.
    if (GlobalSettings.Language[0])
        WriteString(root, "Language", GlobalSettings.Language, sizeof(GlobalSettings.Language));
    else
        (void)root.DeleteValue("Language");
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

namespace {

// A path that would end its quotes early in the tool's command line: a '"',
// or a trailing backslash, which escapes the closing quote. Either would let
// the stored path add arguments of its own; neither names a file one can write.
bool BreaksQuotes(std::string_view path) {
    return path.find('"') != std::string_view::npos || path.back() == '\\';
}

}  // namespace

void SaveConfigToFile(const char* path) {
    if (!path || !*path) return;
    if (BreaksQuotes(path)) {
        LogPrintf("SaveConfigToFile: '%s' cannot be quoted, not exported\n", path);
        return;
    }
    const std::string key = std::string("HKEY_CURRENT_USER\\") + kRootKeyPath;
    std::string program, parameters, folder;
    if (GetWinVersion() > kWinVersionNt6) {
        // "/y": without it reg.exe asks before overwriting an existing file,
        // and hidden, with nobody to answer, it would wait forever.
        program = "reg.exe";
        parameters = "export \"" + key + "\" \"" + path + "\" /y";
        folder = Sys().SystemFolder();
    } else {
        program = "regedit.exe";
        parameters = "/ea \"" + std::string(path) + "\" \"" + key + "\"";
        folder = Sys().WindowsFolder();
    }
    LogPrintf("SaveConfigToFile: '%s' '%s'\n", program.c_str(), parameters.c_str());
    // By full path: a bare name would be looked for in the current folder and
    // along PATH, where anyone could have put a program of that name. Without
    // the folder the program writes the export itself, as below.
    const std::string file = folder.empty() ? std::string() : folder + "\\" + program;
    const intptr_t started =
        file.empty()
            ? 0
            : Sys().ShellExecute(nullptr, file.c_str(), parameters.c_str(), nullptr, kSwHide);
    if (started > kShellExecuteFailedMax) return;
    // No registry tool on this system: write the same export ourselves.
    const bool written = ExportRegFile(GetRegistry(), kHkeyCurrentUser, kRootKeyPath, path);
    // A folder that stays read-only fails every save: said once until one works.
    static bool failing = false;
    if (written || !failing)
        LogPrintf("SaveConfigToFile: %s not started (%d), own export %s\n", program.c_str(),
                  static_cast<int>(started), written ? "written" : "FAILED");
    failing = !written;
}

}  // namespace tarvik
