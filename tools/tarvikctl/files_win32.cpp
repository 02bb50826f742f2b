// The settings file's folders, on Windows.
#include <windows.h>

#include "registry_file.h"

namespace tarvik::ctl {

void MakeFoldersFor(const std::string& file) {
    // Either separator; "C:" and a share's "\\server" fail, as they may.
    for (size_t at = file.find_first_of("/\\", 1); at != std::string::npos;
         at = file.find_first_of("/\\", at + 1))
        (void)::CreateDirectoryA(file.substr(0, at).c_str(), nullptr);
}

// The settings are the user's own registry or a file the user named.
std::string SettingsOwnerProblem(const std::string&) { return {}; }

}  // namespace tarvik::ctl
