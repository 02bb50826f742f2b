// tarvikctl settings show | set NAME VALUE | reset | export PATH: the stored
// settings as the program loads them, changed through the program's own
// save code, kept in the --registry file.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/text.h"
#include "ctl.h"
#include "ctl_json.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "drive/drive_store.h"
#include "platform/registry.h"
#include "registry_file.h"
#include "settings/reg_file.h"
#include "settings/store.h"
#include "ui/text/strings.h"

namespace tarvik::ctl {

namespace {

std::string Utf16ToText(const char16_t* text) {
    std::string out;
    for (; *text; ++text) out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
    return out;
}

std::string Hex(uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "0x%X", value);
    return buffer;
}

std::vector<std::string> Subkeys(RegHandle parent, const std::string& path) {
    std::vector<std::string> names;
    RegKey key = RegKey::Open(parent, path.c_str(), kKeyRead);
    if (!key) return names;
    char name[260];
    for (uint32_t i = 0;; ++i) {
        uint32_t chars = sizeof(name);
        if (key.EnumKey(i, name, &chars) != kRegOk) break;
        names.emplace_back(name, chars);
    }
    return names;
}

bool IsInstanceName(const std::string& name) {
    return name.size() == 2 && name[0] >= '0' && name[0] <= '9' && name[1] >= '0' && name[1] <= '9';
}

// One stored instance of `model` (its lists loaded), with the defaults the
// drive list would give the options it does not hold; null when not stored.
std::unique_ptr<CdromDrive> StoredInstance(const CdromDrive& model, const std::string& instance) {
    if (!IsInstanceName(instance)) return nullptr;
    auto copy = std::make_unique<CdromDrive>(model);
    copy->DupIndex = (instance[0] - '0') * 10 + (instance[1] - '0');
    SetInstanceDefaults(*copy);
    return LoadDriveInstance(copy.get()) ? std::move(copy) : nullptr;
}

void PrintList(CtlContext& ctx, const char* label, const SpeedList& list) {
    Writer& o = ctx.out;
    o << "    " << label << ": CanGetSpeed=" << list.CanGetSpeed
      << " CanSetSpeed=" << list.CanSetSpeed << " CanGetStreaming=" << list.CanGetStreaming
      << " CanSetStreaming=" << list.CanSetStreaming << " MethodDetected=" << list.MethodDetected
      << " MethodPrefered=" << list.MethodPrefered << " MaxLevel=" << list.MaxLevel
      << " MaxSpeed=" << list.MaxSpeed << " Selected=" << list.Selected << " Count=" << list.Count
      << "\n";
    if (!list.Count) return;
    o << "      Range:";
    for (uint32_t i = 0; i < list.Count && i < kMaxSpeedEntries; ++i)
        o << " " << list.Entries[i].Speed << "/" << list.Entries[i].Command;
    o << "\n";
}

void PrintInstance(CtlContext& ctx, const CdromDrive& d) {
    Writer& o = ctx.out;
    o << "    instance " << (d.DupIndex < 10 ? "0" : "") << d.DupIndex << ": Ignore=" << d.Ignore
      << " EventMask=" << Hex(d.EventMask) << " OnlyWithDisk=" << d.OnlyWithDisk
      << " WhenAudio=" << d.WhenAudio << " IgnoreSpeed=" << d.IgnoreSpeed
      << " ShortMenu=" << d.ShortMenu << " ForceRead=" << d.ForceRead << " AutoLock=" << d.AutoLock
      << " Timer=" << d.Timer << " WinBackSpeed=" << d.WinBack << "\n";
    o << "      SpeedVerdict=" << d.VerdictCD << "," << d.VerdictDVD << "," << d.VerdictBD
      << " SpeedReport=" << d.ReportCD << "," << d.ReportDVD << "," << d.ReportBD << "\n";
    o << "      ShortName=\"" << Utf16ToText(d.ShortName) << "\" HotKeys=";
    for (uint32_t i = 0; i < kHotKeySlots; ++i) o << (i ? "," : "") << Hex(d.HotKeys[i]);
    o << "\n";
}

Json ListJson(const SpeedList& list) {
    Json range = Json::array();
    for (uint32_t i = 0; i < list.Count && i < kMaxSpeedEntries; ++i)
        range.push_back({list.Entries[i].Speed, list.Entries[i].Command});
    return {{"CanGetSpeed", list.CanGetSpeed},
            {"CanSetSpeed", list.CanSetSpeed},
            {"CanGetStreaming", list.CanGetStreaming},
            {"CanSetStreaming", list.CanSetStreaming},
            {"MethodDetected", list.MethodDetected},
            {"MethodPrefered", list.MethodPrefered},
            {"MaxLevel", list.MaxLevel},
            {"MaxSpeed", list.MaxSpeed},
            {"Selected", list.Selected},
            {"Range", range}};
}

Json InstanceJson(const CdromDrive& d) {
    return {{"DupIndex", d.DupIndex},
            {"Ignore", d.Ignore},
            {"EventMask", d.EventMask},
            {"OnlyWithDisk", d.OnlyWithDisk},
            {"WhenAudio", d.WhenAudio},
            {"IgnoreSpeed", d.IgnoreSpeed},
            {"ShortMenu", d.ShortMenu},
            {"ForceRead", d.ForceRead},
            {"AutoLock", d.AutoLock},
            {"Timer", d.Timer},
            {"WinBackSpeed", d.WinBack},
            {"SpeedVerdictCD", d.VerdictCD},
            {"SpeedVerdictDVD", d.VerdictDVD},
            {"SpeedVerdictBD", d.VerdictBD},
            {"SpeedReportCD", d.ReportCD},
            {"SpeedReportDVD", d.ReportDVD},
            {"SpeedReportBD", d.ReportBD},
            {"ShortName", Utf16ToText(d.ShortName)},
            {"HotKeys", Json(std::vector<uint32_t>(d.HotKeys, d.HotKeys + kHotKeySlots))}};
}

int Show(CtlContext& ctx) {
    LoadGlobalSettings();
    if (ctx.json) {
        size_t count = 0;
        const GlobalOption* options = GlobalOptionTable(&count);
        Json global = Json::object();
        for (size_t i = 0; i < count; ++i)
            global[options[i].name] = GlobalSettings.*options[i].field;
        Json models = Json::array();
        for (const std::string& model : Subkeys(kHkeyCurrentUser, kRootKeyPath)) {
            auto drive = std::make_unique<CdromDrive>();
            if (EqualsNoCase(model, "Lock") || model.size() >= sizeof(drive->Name)) continue;
            std::memcpy(drive->Name, model.c_str(), model.size() + 1);
            const int complete = LoadDriveModel(drive.get());
            Json instances = Json::array();
            for (const std::string& instance :
                 Subkeys(kHkeyCurrentUser, std::string(kRootKeyPath) + "\\" + model)) {
                if (auto copy = StoredInstance(*drive, instance))
                    instances.push_back(InstanceJson(*copy));
            }
            models.push_back({{"Name", model},
                              {"complete", complete != 0},
                              {"CanClose", drive->CanClose},
                              {"CanSenseMedium", drive->CanSenseMedium},
                              {"IsDVD", drive->IsDVD},
                              {"IsBD", drive->IsBD},
                              {"SpeedListCD", ListJson(drive->SpeedListCD)},
                              {"SpeedListDVD", ListJson(drive->SpeedListDVD)},
                              {"SpeedListBD", ListJson(drive->SpeedListBD)},
                              {"instances", instances}});
        }
        const Json all = {{"global", global},
                          {"Data", GlobalSettings.Data},
                          {"SavePath", GlobalSettings.SavePath},
                          {"Language", GlobalSettings.Language},
                          {"models", models}};
        ctx.out << JsonText(all, -1) << "\n";
        return kExitOk;
    }
    size_t count = 0;
    const GlobalOption* options = GlobalOptionTable(&count);
    for (size_t i = 0; i < count; ++i)
        ctx.out << options[i].name << " " << GlobalSettings.*options[i].field << "\n";
    ctx.out << "Data \"" << GlobalSettings.Data << "\"\n";
    ctx.out << "SavePath \"" << GlobalSettings.SavePath << "\"\n";
    ctx.out << "Language \"" << GlobalSettings.Language << "\"\n";

    for (const std::string& model : Subkeys(kHkeyCurrentUser, kRootKeyPath)) {
        if (EqualsNoCase(model, "Lock")) continue;
        auto drive = std::make_unique<CdromDrive>();
        if (model.size() >= sizeof(drive->Name)) {
            ctx.out << "model \"" << model << "\": name longer than a drive name, never loaded\n";
            continue;
        }
        std::memcpy(drive->Name, model.c_str(), model.size() + 1);
        const int complete = LoadDriveModel(drive.get());
        ctx.out << "model \"" << model << "\"" << (complete ? "" : " (incomplete: detected again)")
                << ": CanClose=" << drive->CanClose << " CanSenseMedium=" << drive->CanSenseMedium
                << " IsDVD=" << drive->IsDVD << " IsBD=" << drive->IsBD << "\n";
        PrintList(ctx, "SpeedListCD", drive->SpeedListCD);
        PrintList(ctx, "SpeedListDVD", drive->SpeedListDVD);
        PrintList(ctx, "SpeedListBD", drive->SpeedListBD);
        for (const std::string& instance :
             Subkeys(kHkeyCurrentUser, std::string(kRootKeyPath) + "\\" + model)) {
            if (auto copy = StoredInstance(*drive, instance)) PrintInstance(ctx, *copy);
        }
    }
    return kExitOk;
}

int Set(CtlContext& ctx, const char* usage, const std::string& name, const std::string& value) {
    LoadGlobalSettings();
    if (EqualsNoCase(name, "SavePath")) {
        if (value.size() >= sizeof(GlobalSettings.SavePath))
            return UsageError(ctx, "SavePath is longer than 259 characters", usage);
        std::memset(GlobalSettings.SavePath, 0, sizeof(GlobalSettings.SavePath));
        std::memcpy(GlobalSettings.SavePath, value.c_str(), value.size());
    } else if (EqualsNoCase(name, "Language")) {
        // "auto" removes the value: the program follows the display language.
        const auto language = ParseUiLanguage(value);
        if (!language && !EqualsNoCase(value, "auto"))
            return UsageError(
                ctx, "\"" + value + "\" is not a language (en, de, fr, es, ru or auto)", usage);
        std::memset(GlobalSettings.Language, 0, sizeof(GlobalSettings.Language));
        if (language) {
            const char* code = UiLanguageCode(*language);
            std::memcpy(GlobalSettings.Language, code, std::strlen(code));
        }
    } else {
        size_t count = 0;
        const GlobalOption* options = GlobalOptionTable(&count);
        const GlobalOption* option = nullptr;
        for (size_t i = 0; i < count; ++i)
            if (EqualsNoCase(name, options[i].name)) option = &options[i];
        if (!option) return UsageError(ctx, "no option named \"" + name + "\"", usage);
        int64_t number = 0;
        if (!ParseNumber(value, 0, 0xFFFFFFFF, number))
            return UsageError(ctx,
                              "\"" + value + "\" is not a value for " + option->name +
                                  " (0 to 4294967295, decimal or 0x-hex)",
                              usage);
        GlobalSettings.*option->field = static_cast<uint32_t>(number);
    }
    SaveGlobalSettings();
    return kExitOk;
}

int Export(CtlContext& ctx, const std::string& path) {
    if (!RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead)) {
        ctx.err << "tarvikctl: no settings stored, nothing to export\n";
        return kExitFailed;
    }
    if (!ExportRegFile(GetRegistry(), kHkeyCurrentUser, kRootKeyPath, path)) {
        ctx.err << "tarvikctl: cannot write " << path << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int Compare(CtlContext& ctx, const std::string& path) {
    std::string bytes, error;
    MemoryRegistry other;
    if (!ReadWholeFile(path, &bytes)) {
        ctx.err << "tarvikctl: cannot read " << path << "\n";
        return kExitFailed;
    }
    if (!ImportRegText(other, bytes, &error)) {
        ctx.err << "tarvikctl: " << path << ": " << error << "\n";
        return kExitFailed;
    }
    RegKey mine = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead);
    RegKey theirs = RegKey::Open(kHkeyCurrentUser, kRootKeyPath, kKeyRead, nullptr, &other);
    if (!mine || !theirs) {
        const bool same = !mine && !theirs;
        if (!same) ctx.out << "root key only in " << (mine ? "the registry file" : path) << "\n";
        return same ? kExitOk : kExitFailed;
    }
    std::string difference;
    if (CompareRegTrees(*mine.registry(), mine.handle(), other, theirs.handle(), &difference))
        return kExitOk;
    ctx.out << "differ at " << kRootKeyPath << difference << "\n";
    return kExitFailed;
}

// One drive instance's WinBackSpeed, as the drive options dialog's OK keeps it.
int WinBackOption(CtlContext& ctx, const char* usage, const std::string& model,
                  const std::string& instance, const std::string& value) {
    auto drive = std::make_unique<CdromDrive>();
    if (model.size() >= sizeof(drive->Name) || !IsInstanceName(instance) ||
        (value != "0" && value != "1"))
        return UsageError(ctx, "win-back needs a MODEL name, an INSTANCE like 00, and 0 or 1",
                          usage);
    std::memcpy(drive->Name, model.c_str(), model.size() + 1);
    drive->DupIndex = (instance[0] - '0') * 10 + (instance[1] - '0');
    if (!LoadDriveInstance(drive.get())) {
        ctx.err << "tarvikctl: no instance " << instance << " of \"" << model << "\" stored\n";
        return kExitFailed;
    }
    drive->WinBack = value == "1" ? 1 : 0;
    // Only this option: the others may be unwritten, their defaults derived
    // at the next start from what this record does not hold.
    SaveDriveWinBack(drive.get());
    return kExitOk;
}

}  // namespace

int RunSettings(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    const char* usage = command.usage;
    if (args.empty()) return UsageError(ctx, "settings needs a subcommand", usage);
    const std::string& verb = args[0];
    const size_t wanted = verb == "win-back"                      ? 4
                          : verb == "set"                         ? 3
                          : verb == "export" || verb == "compare" ? 2
                                                                  : 1;
    if (verb != "show" && verb != "set" && verb != "reset" && verb != "export" &&
        verb != "compare" && verb != "win-back")
        return UsageError(ctx, "unknown settings subcommand \"" + verb + "\"", usage);
    if (args.size() != wanted)
        return UsageError(ctx, "wrong number of arguments for settings " + verb, usage);

    std::string error;
    if (!LoadSettingsStore(ctx, &error)) {
        ctx.err << "tarvikctl: " << error << "\n";
        return kExitFailed;
    }
    int rc = kExitOk;
    bool changed = false;
    if (verb == "show") {
        rc = Show(ctx);
    } else if (verb == "set") {
        rc = Set(ctx, usage, args[1], args[2]);
        changed = rc == kExitOk;
    } else if (verb == "win-back") {
        rc = WinBackOption(ctx, usage, args[1], args[2], args[3]);
        changed = rc == kExitOk;
    } else if (verb == "reset") {
        ResetConfiguration();
        changed = true;
    } else if (verb == "export") {
        rc = Export(ctx, args[1]);
    } else {
        rc = Compare(ctx, args[1]);
    }
    if (changed && !SaveSettingsStore(ctx, &error)) {
        ctx.err << "tarvikctl: " << error << "\n";
        rc = kExitFailed;
    }
    SetRegistry(nullptr);
    return rc;
}

}  // namespace tarvik::ctl
