// Replacing a file on Windows: the C runtime renames onto no existing file,
// so the old one steps aside first.
#include <process.h>

#include <cstdio>

#include "settings/reg_file.h"

namespace tarvik {

bool ReplaceWholeFile(const std::string& fileName, const std::string& bytes) {
    // A name of this process's own: two runs at once must not share one.
    const std::string temporary = fileName + "." + std::to_string(_getpid()) + ".tmp";
    if (!WriteWholeFile(temporary, bytes)) {
        (void)std::remove(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), fileName.c_str()) == 0) return true;
    // The old file comes back when the new one cannot take its place.
    const std::string previous = fileName + ".old";
    (void)std::remove(previous.c_str());
    if (std::rename(fileName.c_str(), previous.c_str()) == 0) {
        if (std::rename(temporary.c_str(), fileName.c_str()) == 0) {
            (void)std::remove(previous.c_str());
            return true;
        }
        (void)std::rename(previous.c_str(), fileName.c_str());
    }
    (void)std::remove(temporary.c_str());
    return false;
}

}  // namespace tarvik
