#pragma once
// The Linux side of the drive device: open, close and the SG_IO ioctl of a
// /dev/sr* or /dev/sg* node. The sibling of ScsiOs (whose calls are shaped by
// Windows); only the Linux build has it. Tests install fakes; the default
// makes the real calls.
#include <cerrno>
#include <string>

struct sg_io_hdr;

namespace tarvik {

class SgOs {
public:
    virtual ~SgOs() = default;
    // open(path, flags | O_CLOEXEC): the descriptor, or -1 with errno in *error.
    virtual int Open(const std::string& path, int flags, int* error) = 0;
    virtual void Close(int fd) = 0;
    // ioctl(fd, SG_IO, header): 0, or -1 with errno in *error. The header's
    // output fields are filled only when it returns 0.
    virtual int SgIo(int fd, sg_io_hdr* header, int* error) = 0;
    // ioctl(fd, CDROM_LOCKDOOR, lock): 0, or -1 with errno in *error. The sr
    // driver unlocks the door when the node's last descriptor closes unless
    // the lock was taken this way. A node without it (sg) says ENOTTY, which
    // is also what a seam without a drive behind it answers.
    virtual int LockDoor(int fd, int lock, int* error) {
        (void)fd, (void)lock;
        *error = ENOTTY;
        return -1;
    }
};

// The process-wide seam. SetSgOs(nullptr) restores the real calls.
SgOs& SgSys();
void SetSgOs(SgOs* os);

}  // namespace tarvik
