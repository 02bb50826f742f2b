#pragma once
// Optical drives as Linux lists them in sysfs: the sr block devices (and their
// sg twins) with the identity and SCSI address the kernel read from them. The
// root is a parameter so that tests can build a tree of their own.
#include <cstdint>
#include <string>
#include <vector>

namespace tarvik {

struct SysfsDrive {
    std::string name;  // "sr0"
    std::string node;  // "/dev/sr0"
    std::string vendor, model, revision;
    // host:channel:target:lun; when the device link does not end in one,
    // host kUnknownHost and target the drive's number, so each stays apart.
    uint32_t host = 0, channel = 0, target = 0, lun = 0;
};

constexpr uint32_t kUnknownHost = 0xFFFF;
constexpr const char* kSysfsRoot = "/sys";

// The drives under root/class/block (sr0, sr1, ... in number order). Entries
// that are not optical drives or cannot be read are passed over.
std::vector<SysfsDrive> ListOpticalDrives(const std::string& root);

// The optical drive a device path names: /dev/srN, /dev/sgN, or a link to one
// (/dev/cdrom). False when sysfs does not list it as an optical drive.
bool FindOpticalDrive(const std::string& root, const std::string& path, SysfsDrive* out);

}  // namespace tarvik
