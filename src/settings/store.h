#pragma once
// The settings store: every setting lives under one key of the current user's
// registry. This file owns the layout, the defaults, load and save.
#include <cstddef>
#include <cstdint>

namespace tarvik {

struct GlobalSettingsRecord {
    uint32_t ApiPrefered = 0;
    uint32_t NumNames = 1;
    uint32_t EjectSingle = 1;
    uint32_t ShowUnknown = 0;
    uint32_t ForceRefresh = 0;
    uint32_t DNEject = 0;
    uint32_t DNClose = 0;
    uint32_t DNMessage = 0;
    uint32_t DNTimer = 5;
    uint32_t DeepMenu = 0;
    uint32_t TopNames = 0;
    uint32_t CloseOnRun = 0;
    uint32_t IconDisk = 1;
    uint32_t IconOpen = 0;
    uint32_t CmdOpen = 0;
    uint32_t CmdExplore = 1;
    uint32_t CmdAutorun = 1;
    uint32_t TimerAutoclose = 0;
    uint32_t EnableAutoclose = 0;
    uint32_t TimerEnable = 0;
    char Data[35] = {};       // stored eject password ("$1$..."), empty = none
    char SavePath[260] = {};  // .reg export file, empty = no export
    char Language[8] = {};    // "de", "en", ...: the tables' language; empty = the system's
};

extern GlobalSettingsRecord GlobalSettings;

// "Software\Orvanto Software\Tarvik\4.0" under HKEY_CURRENT_USER.
extern const char kRootKeyPath[];

// The twenty options in their stored order (value name, field), the table
// load and save walk; tools use it to name options.
struct GlobalOption {
    const char* name;
    uint32_t GlobalSettingsRecord::*field;
};
const GlobalOption* GlobalOptionTable(size_t* count);

void LoadGlobalSettings();
// The stored "Language" value alone, for the start-up, which chooses the
// texts before anything else is loaded; empty when there is none or it is
// longer than any language's name.
void ReadLanguageSetting(char* field, uint32_t fieldSize);
void SaveGlobalSettings();
void ResetConfiguration();
void SaveConfigToFile(const char* path);

}  // namespace tarvik
