#pragma once
#include <windows.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "drive/drive.h"
#include "platform/version_info.h"

namespace tarvik {

// The drive information dialog, modal and resizable, owned by `owner`: the
// access methods, the ASPI library's version strings and what is known of
// each of `drives` (none: "No drives found!").
void ShowDriveInfo(HWND owner, std::span<const CdromDrive> drives);

// The version resource of a file (path in UTF-8); empty when it has none.
// The reader KeepAspiVersionOnLoad takes.
std::vector<uint8_t> ReadVersionBlock(const std::string& path);

// The version block of the ASPI library the transport loaded (from the path
// it recorded, UTF-8); not loaded when there is none.
AspiVersionInfo ReadAspiVersion();

}  // namespace tarvik
