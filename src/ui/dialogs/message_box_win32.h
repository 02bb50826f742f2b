#pragma once
#include <windows.h>

namespace tarvik {

// The program's message box: the program icon, string `stringId` of the
// string table, OK (and Cancel when the button type in `flags` is
// MB_OKCANCEL), caption "Tarvik 5.0"; MB_TASKMODAL gives it its own taskbar
// button. Sounds the beep of the icon in `flags` first. Returns the button
// pressed (IDOK 1, IDCANCEL 2); IDCANCEL also when it could not be shown.
int MessageBoxRes(HWND owner, UINT stringId, UINT flags);

}  // namespace tarvik
