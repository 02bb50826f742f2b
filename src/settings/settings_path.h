#pragma once
// Where the settings file lives when the settings are kept in a .reg file
// (tarvikctl on Linux) and no file was named.
#include <string>

namespace tarvik {

constexpr const char* kSystemSettingsFile = "/etc/tarvik/settings.reg";

// The system's file, or the user's $XDG_CONFIG_HOME/tarvik/settings.reg with
// ~/.config in place of a variable that is unset, empty or not absolute (a
// relative one is invalid and ignored). Empty when no absolute folder is known
// for the user.
std::string SettingsFilePath(bool system, const char* xdgConfigHome, const char* home);

}  // namespace tarvik
