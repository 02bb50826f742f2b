#include "settings/settings_path.h"

namespace tarvik {

namespace {

bool Absolute(const char* path) { return path && path[0] == '/'; }

}  // namespace

std::string SettingsFilePath(bool system, const char* xdgConfigHome, const char* home) {
    if (system) return kSystemSettingsFile;
    // "/" alone becomes empty, so that no path starts with "//".
    auto folder = [](std::string path) {
        while (!path.empty() && path.back() == '/') path.pop_back();
        return path;
    };
    std::string base;
    if (Absolute(xdgConfigHome))
        base = folder(xdgConfigHome);
    else if (Absolute(home))
        base = folder(home) + "/.config";
    else
        return {};
    return base + "/tarvik/settings.reg";
}

}  // namespace tarvik
