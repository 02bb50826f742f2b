#include "scsi/aspi_version.h"

#include <utility>

#include "scsi/aspi.h"

namespace tarvik {
namespace {

// The ASPI library's version block as kept at its load.
VersionBlockReader g_readVersion = nullptr;
AspiVersionInfo g_aspiVersion;

void KeepCopy(const std::string& libraryPath) {
    g_aspiVersion = AspiVersionInfo{};
    std::vector<uint8_t> block = g_readVersion(libraryPath);
    if (!block.empty()) g_aspiVersion.StoreVersionInfo(std::move(block));
}

}  // namespace

void KeepAspiVersionOnLoad(VersionBlockReader read) {
    g_readVersion = read;
    SetAspiLoadedNotify(read ? KeepCopy : nullptr);
    if (!read) g_aspiVersion = AspiVersionInfo{};
}

const AspiVersionInfo& LoadedAspiVersion() { return g_aspiVersion; }

}  // namespace tarvik
