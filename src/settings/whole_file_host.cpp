// Replacing a file on Linux. tarvikctl writes the system's settings as root,
// in folders it may share with others and to an export path read from the
// file itself, so the temporary must be one nobody could have prepared: a
// link planted under a guessable name would have root write where it points.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "settings/reg_file.h"

namespace tarvik {

bool ReplaceWholeFile(const std::string& fileName, const std::string& bytes) {
    // In the same folder, so that the rename cannot cross file systems.
    std::string temporary = fileName + ".XXXXXX";
    // mkstemp creates with O_CREAT|O_EXCL (an existing name or link fails,
    // none is followed) and mode 0600.
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, 0600) == 0;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<size_t>(n);
    }
    // The new file is complete on the disk before it takes the name.
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    // rename() replaces a link at fileName itself, never what it points to.
    if (ok && std::rename(temporary.c_str(), fileName.c_str()) == 0) return true;
    (void)::unlink(temporary.c_str());
    return false;
}

}  // namespace tarvik
