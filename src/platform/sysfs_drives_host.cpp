#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "base/text.h"
#include "platform/sysfs_drives.h"

namespace tarvik {
namespace {

constexpr size_t kMaxAttribute = 64;  // vendor 8, model 16, rev 4 in practice

// "sr12" with prefix "sr": 12. -1 for anything else.
long NumberAfter(const std::string& name, const char* prefix) {
    const std::string p = prefix;
    if (name.size() <= p.size() || name.size() > p.size() + 6 || name.compare(0, p.size(), p))
        return -1;
    long n = 0;
    for (size_t i = p.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return -1;
        n = n * 10 + (name[i] - '0');
    }
    return n;
}

// First line of a small attribute file, trailing blanks cut, anything
// unprintable shown as '?'. False when it cannot be read.
bool ReadAttribute(const std::string& path, std::string* out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[256];
    const size_t n = std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);
    std::string s(buffer, n);
    s = s.substr(0, s.find('\n'));
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.pop_back();
    if (s.size() > kMaxAttribute) s.resize(kMaxAttribute);
    for (char& c : s)
        if (IsControlChar(c) || static_cast<unsigned char>(c) >= 0x80) c = '?';
    *out = s;
    return true;
}

// "3:0:1:0" into four numbers; nothing else is accepted.
bool ParseAddress(const std::string& text, SysfsDrive* d) {
    uint32_t v[4];
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (at >= text.size() || text[at] != ':') return false;
            ++at;
        }
        size_t digits = 0;
        uint32_t n = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 9; ++digits)
            n = n * 10 + static_cast<uint32_t>(text[at++] - '0');
        if (!digits) return false;
        v[i] = n;
    }
    if (at != text.size()) return false;
    d->host = v[0], d->channel = v[1], d->target = v[2], d->lun = v[3];
    return true;
}

// The last part of where the device link points ("../../../3:0:0:0").
std::string LinkName(const std::string& link) {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    std::string target(buffer, static_cast<size_t>(n));
    while (!target.empty() && target.back() == '/') target.pop_back();
    return target.substr(target.find_last_of('/') + 1);
}

// One entry of class/block or class/scsi_generic; false when it is not an
// optical drive.
bool ReadDrive(const std::string& classDir, const std::string& name, long number, bool typeRequired,
               SysfsDrive* d) {
    const std::string dir = classDir + "/" + name;
    const std::string device = dir + "/device";
    std::string type;
    if (ReadAttribute(device + "/type", &type)) {
        if (type != "5" && type != "4") return false;  // MMC device, or its write-once cousin
    } else if (typeRequired || ::access(device.c_str(), F_OK) != 0) {
        return false;  // an sr device is optical by its driver; an sg one must say so
    }
    *d = SysfsDrive{};
    d->name = name;
    (void)ReadAttribute(device + "/vendor", &d->vendor);
    (void)ReadAttribute(device + "/model", &d->model);
    (void)ReadAttribute(device + "/rev", &d->revision);
    if (!ParseAddress(LinkName(device), d)) {
        d->host = kUnknownHost;
        d->target = static_cast<uint32_t>(number);
    }
    // The node is named by the kernel's DEVNAME; a name that would lead
    // out of /dev is not taken.
    std::string node = name;
    if (std::FILE* f = std::fopen((dir + "/uevent").c_str(), "rb")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            std::string l = line;
            while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
            if (l.rfind("DEVNAME=", 0) == 0) {
                const std::string v = l.substr(8);
                if (!v.empty() && v.find("..") == std::string::npos && v[0] != '/') node = v;
            }
        }
        std::fclose(f);
    }
    d->node = "/dev/" + node;
    return true;
}

std::vector<std::pair<long, std::string>> Numbered(const std::string& dir, const char* prefix) {
    std::vector<std::pair<long, std::string>> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return names;
    while (const dirent* e = ::readdir(d)) {
        const long n = NumberAfter(e->d_name, prefix);
        if (n >= 0) names.emplace_back(n, e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::vector<SysfsDrive> ListOpticalDrives(const std::string& root) {
    std::vector<SysfsDrive> drives;
    const std::string dir = root + "/class/block";
    for (const auto& [number, name] : Numbered(dir, "sr")) {
        SysfsDrive d;
        if (ReadDrive(dir, name, number, false, &d)) drives.push_back(d);
    }
    return drives;
}

bool FindOpticalDrive(const std::string& root, const std::string& path, SysfsDrive* out) {
    std::string resolved = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        resolved = real;
        std::free(real);
    }
    const std::string name = resolved.substr(resolved.find_last_of('/') + 1);
    if (const long n = NumberAfter(name, "sr"); n >= 0)
        return ReadDrive(root + "/class/block", name, n, false, out);
    if (const long n = NumberAfter(name, "sg"); n >= 0)
        return ReadDrive(root + "/class/scsi_generic", name, n, true, out);
    return false;
}

}  // namespace tarvik
