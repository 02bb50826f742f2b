// The settings file's folders and who owns them, on Linux.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "registry_file.h"

namespace tarvik::ctl {

namespace {

// "alice (uid 1000)", or the number alone for a user the system does not name.
std::string UserText(uid_t uid) {
    const passwd* pw = ::getpwuid(uid);
    const std::string number = "uid " + std::to_string(uid);
    return pw && pw->pw_name ? std::string(pw->pw_name) + " (" + number + ")" : number;
}

std::string NotRoots(const std::string& what, const std::string& path, uid_t owner) {
    return "refusing the " + what + " " + path + ": it belongs to " + UserText(owner) +
           ", and root does not use another user's settings (with sudo, leave out -E, or " +
           "name the file: --system or --registry FILE)";
}

}  // namespace

void MakeFoldersFor(const std::string& file) {
    for (size_t at = file.find('/', 1); at != std::string::npos; at = file.find('/', at + 1))
        (void)::mkdir(file.substr(0, at).c_str(), 0777);  // one that is there fails, as it may
}

std::string SettingsOwnerProblem(const std::string& path) {
    if (::geteuid() != 0) return {};
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (st.st_uid != 0) return NotRoots("settings file", path, st.st_uid);
        // A link of root's own may still lead to a file of someone else's.
        if (S_ISLNK(st.st_mode) && ::stat(path.c_str(), &st) == 0 && st.st_uid != 0)
            return NotRoots("settings file", path, st.st_uid);
    }
    // The folder it is in, or the nearest one there is when it is to be made:
    // its owner could replace the file between our read and our write.
    std::string folder = path;
    for (;;) {
        const size_t slash = folder.find_last_of('/');
        if (slash == std::string::npos) {
            folder = ".";
        } else {
            folder.resize(slash == 0 ? 1 : slash);
        }
        if (::stat(folder.c_str(), &st) == 0) break;
        if (folder == "/" || folder == ".") return {};
    }
    if (st.st_uid != 0) return NotRoots("settings folder", folder, st.st_uid);
    return {};
}

}  // namespace tarvik::ctl
