#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "base/log_file.h"

namespace tarvik {

// The C runtime's own descriptors, so the log is a plain FILE* in text mode
// (CRLF line ends) like any other.
std::FILE* CreateNewFile(const char* path, bool* nameTaken) {
    const int fd = ::_open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
    *nameTaken = fd < 0 && errno == EEXIST;
    if (fd < 0) return nullptr;
    std::FILE* stream = ::_fdopen(fd, "w");
    if (!stream) ::_close(fd);
    return stream;
}

}  // namespace tarvik
