#pragma once
#include <windows.h>

#include <span>

#include "drive/drive.h"
#include "ui/version_info.h"

namespace tarvik {

// The drive information dialog, modal and resizable, owned by `owner`: the
// access methods, the ASPI library's version strings and what is known of
// each of `drives` (none: "No drives found!").
void ShowDriveInfo(HWND owner, std::span<const CdromDrive> drives);

// The version block of the ASPI library the transport loaded (from the path
// it recorded, UTF-8); not loaded when there is none.
AspiVersionInfo ReadAspiVersion();

}  // namespace tarvik
