// The settings file's folders and a name of this run's own, on Windows.
#include <windows.h>

#include "registry_file.h"

namespace tarvik::ctl {

void MakeFoldersFor(const std::string& file) {
    // Either separator; "C:" and a share's "\\server" fail, as they may.
    for (size_t at = file.find_first_of("/\\", 1); at != std::string::npos;
         at = file.find_first_of("/\\", at + 1))
        (void)::CreateDirectoryA(file.substr(0, at).c_str(), nullptr);
}

uint32_t ProcessId() { return ::GetCurrentProcessId(); }

}  // namespace tarvik::ctl
