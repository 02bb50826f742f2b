#pragma once
// The text of the drive information dialog as a model: the state of both
// access methods, the ASPI library's version strings, the method in use, and
// for each drive what the program knows of it. UTF-16 with CR LF line ends,
// ready for the dialog's text control; tarvikctl prints the same text.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "drive/drive.h"
#include "platform/version_info.h"

namespace tarvik {

// What the text reports besides the drives.
struct DriveInfoSources {
    uint32_t sptiStatus = 0;     // GetSptiStatus
    uint32_t aspiStatus = 0;     // GetAspiStatus
    uint32_t transportMode = 0;  // GetTransportMode
    // The ASPI library's version block; null or not loaded: empty values.
    const AspiVersionInfo* aspiVersion = nullptr;
    // A pass-through that is neither SPTI nor ASPI (Linux SG_IO): its name
    // is the access method, and the two status lines are left out.
    const char16_t* otherMethod = nullptr;
};

// The transport's state now, with the given version block.
DriveInfoSources CurrentDriveInfoSources(const AspiVersionInfo* aspiVersion);

// The keys of the version strings the text shows, in their order.
inline constexpr const char* kAspiVersionKeys[] = {"LegalCopyright", "ProductName", "FileVersion"};

// A bound on the text in UTF-16 units. Sixteen drives with three full speed
// lists need about 37000; the rest is room for long version strings. The
// dialog must let its control hold this much (EM_EXLIMITTEXT).
constexpr size_t kDriveInfoTextLimit = 65536;

// The whole text. When it would pass limit units it ends instead after the
// last whole line that fits (CR LF included); a limit too small for one line
// gives an empty text.
std::u16string DriveInfoText(const DriveInfoSources& sources, std::span<const CdromDrive> drives,
                             size_t limit = kDriveInfoTextLimit);

}  // namespace tarvik
