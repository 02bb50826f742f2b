// The settings file's folders and a name of this run's own, on Linux.
#include <sys/stat.h>
#include <unistd.h>

#include "registry_file.h"

namespace tarvik::ctl {

void MakeFoldersFor(const std::string& file) {
    for (size_t at = file.find('/', 1); at != std::string::npos; at = file.find('/', at + 1))
        (void)::mkdir(file.substr(0, at).c_str(), 0777);  // one that is there fails, as it may
}

uint32_t ProcessId() { return static_cast<uint32_t>(::getpid()); }

}  // namespace tarvik::ctl
