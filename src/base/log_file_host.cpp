#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/log_file.h"

namespace tarvik {

std::FILE* CreateNewFile(const char* path, bool* nameTaken) {
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR);
    *nameTaken = fd < 0 && errno == EEXIST;
    if (fd < 0) return nullptr;
    std::FILE* stream = ::fdopen(fd, "w");
    if (!stream) ::close(fd);
    return stream;
}

}  // namespace tarvik
