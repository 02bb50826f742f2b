#include "registry_file.h"

#include <cstdio>
#include <fstream>

#include "settings/reg_file.h"

namespace tarvik::ctl {

MemoryRegistry& CtlRegistry() {
    static MemoryRegistry registry;
    return registry;
}

bool LoadRegistryFile(const std::string& path, std::string* error) {
    MemoryRegistry& registry = CtlRegistry();
    registry.Clear();
    SetRegistry(&registry);
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
    return true;
}

bool SaveRegistryFile(const std::string& path, std::string* error) {
    if (path.empty()) return true;  // settings live only for this run
    const std::string temporary = path + ".tmp";
    if (!WriteWholeFile(temporary, EncodeRegFile(ExportAllRegText(CtlRegistry()))) ||
        std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        if (error) *error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace tarvik::ctl
