#include "registry_file.h"

#include <cstdio>
#include <string>
#include <vector>

#include "settings/reg_file.h"
#include "settings/store.h"

namespace tarvik::ctl {

namespace {

// The settings as loaded: a run that changed nothing leaves the file alone
// (a disc change must not rewrite the system's settings each time).
std::string& Loaded() {
    static std::string text;
    return text;
}

// The program's key of the user's registry, as text.
std::string RealRegistryText() {
    std::string text;
    (void)ExportRegText(GetRegistry(), kHkeyCurrentUser, kRootKeyPath, &text);
    return text;
}

}  // namespace

MemoryRegistry& CtlRegistry() {
    static MemoryRegistry registry;
    return registry;
}

bool LoadRegistryFile(const std::string& path, std::string* error) {
    MemoryRegistry& registry = CtlRegistry();
    registry.Clear();
    SetRegistry(&registry);
    Loaded() = ExportAllRegText(registry);
    if (path.empty()) return true;
    if (const std::string problem = SettingsOwnerProblem(path); !problem.empty()) {
        if (error) *error = problem;
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return true;  // not written yet: nothing stored
    (void)std::fclose(file);
    std::string bytes, why;
    if (!ReadWholeFile(path, &bytes)) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    if (bytes.empty()) return true;
    if (!ImportRegText(registry, bytes, &why)) {
        registry.Clear();
        if (error) *error = path + ": " + why;
        return false;
    }
    Loaded() = ExportAllRegText(registry);
    return true;
}

bool SaveRegistryFile(const std::string& path, std::string* error,
                      std::vector<std::string>* refused) {
    if (path.empty()) return true;  // settings live only for this run
    const std::string text = ExportAllRegText(CtlRegistry(), refused);
    if (text == Loaded()) return true;
    MakeFoldersFor(path);
    if (!ReplaceWholeFile(path, EncodeRegFile(text))) {
        if (error) *error = "cannot write " + path;
        return false;
    }
    Loaded() = text;
    return true;
}

bool LoadSettingsStore(const CtlContext& ctx, std::string* error) {
    if (!ctx.realRegistry) return LoadRegistryFile(ctx.registryPath, error);
    SetRegistry(nullptr);
    Loaded() = RealRegistryText();
    return true;
}

bool RealRegistryChanged() { return RealRegistryText() != Loaded(); }

bool SaveSettingsStore(const CtlContext& ctx, std::string* error) {
    if (ctx.realRegistry) return true;
    std::vector<std::string> refused;
    const bool saved = SaveRegistryFile(ctx.registryPath, error, &refused);
    // Said, not fatal: the other settings are written and load next time.
    for (const std::string& key : refused)
        ctx.err << "tarvikctl: not written to " << ctx.registryPath << ": the key " << key
                << " (its name cannot be read back from the file)\n";
    return saved;
}

}  // namespace tarvik::ctl
