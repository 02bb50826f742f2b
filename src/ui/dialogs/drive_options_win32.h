#pragma once
// The drive options dialog on screen: the model's rows become controls, the
// detections run with a modeless progress window.
#include <windows.h>

#include <cstdint>

#include "ui/dialog/dialog_win32.h"
#include "ui/dialogs/drive_options.h"

namespace tarvik {

// Runs the dialog modally on `parent` for context.drive: 1 after OK, 2 after
// Cancel or a close, 0 (or -1) when it could not be shown or a quit message
// ended it. The password and the messages it shows are `nested`'s.
int RunDriveOptionsDialog(HWND parent, DriveOptionsContext& context, const NestedDialogs& nested);

// The progress callback of the detections (`window`: the progress window's
// state). Non-zero to go on; 0 once Cancel was clicked, the program is
// quitting, the drive list was rebuilt or there is no progress window.
int BarUpdate(uint32_t min, uint32_t max, uint32_t pos, uint32_t speed, uint32_t command,
              void* window);

}  // namespace tarvik
