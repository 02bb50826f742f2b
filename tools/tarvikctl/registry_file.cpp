#include "registry_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "settings/reg_file.h"

namespace tarvik::ctl {

namespace {

// The registry as loaded: a run that changed nothing leaves the file alone
// (a disc change must not rewrite the system's settings each time).
std::string& Loaded() {
    static std::string text;
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
    if (!std::ifstream(path, std::ios::binary)) return true;  // not written yet: nothing stored
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

bool SaveRegistryFile(const std::string& path, std::string* error) {
    if (path.empty()) return true;  // settings live only for this run
    const std::string text = ExportAllRegText(CtlRegistry());
    if (text == Loaded()) return true;
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    const std::string temporary = path + ".tmp";
    if (!WriteWholeFile(temporary, EncodeRegFile(text)) ||
        std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        if (error) *error = "cannot write " + path;
        return false;
    }
    Loaded() = text;
    return true;
}

}  // namespace tarvik::ctl
