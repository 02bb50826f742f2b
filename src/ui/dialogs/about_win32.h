#pragma once
#include <windows.h>

namespace tarvik {

// The About dialog, modal, owned by `owner`: the program icon beside the
// version, licence and notice lines and two links, which open in the shell.
void ShowAbout(HWND owner);

}  // namespace tarvik
