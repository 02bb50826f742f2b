#pragma once
#include <windows.h>

namespace tarvik {

// The program's message box: text from the string table, caption "Tarvik 5.0".
// Returns the button pressed (IDOK 1, IDCANCEL 2).
int MessageBoxRes(HWND owner, UINT stringId, UINT flags);

}  // namespace tarvik
