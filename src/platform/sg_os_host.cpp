#include <fcntl.h>
#include <linux/cdrom.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/sg_os.h"

namespace tarvik {
namespace {

class RealSgOs final : public SgOs {
public:
    int Open(const std::string& path, int flags, int* error) override {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
        if (fd < 0) *error = errno;
        return fd;
    }
    void Close(int fd) override {
        if (fd >= 0) (void)::close(fd);
    }
    int SgIo(int fd, sg_io_hdr* header, int* error) override {
        int r;
        // A signal cuts the wait short, not the command; every command the
        // core sends may be sent twice.
        do r = ::ioctl(fd, SG_IO, header);
        while (r < 0 && errno == EINTR);
        if (r < 0) *error = errno;
        return r < 0 ? -1 : 0;
    }
    int LockDoor(int fd, int lock, int* error) override {
        int r;
        do r = ::ioctl(fd, CDROM_LOCKDOOR, lock);
        while (r < 0 && errno == EINTR);
        if (r < 0) *error = errno;
        return r < 0 ? -1 : 0;
    }
};

SgOs* g_os = nullptr;

}  // namespace

SgOs& SgSys() {
    static RealSgOs real;
    return g_os ? *g_os : real;
}

void SetSgOs(SgOs* os) { g_os = os; }

}  // namespace tarvik
