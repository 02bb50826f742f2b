#pragma once
// The Options dialog on screen: the model's rows with one handler that hands
// each click to the model over the live controls.
#include <windows.h>

#include "settings/store.h"
#include "ui/dialog/dialog_win32.h"

namespace tarvik {

// Runs the Options dialog modally, owned by `owner`, over `settings` (the
// program's GlobalSettings). True when it ended with OK, `settings` then
// updated; the start entry, autorun and autoplay are changed in the system
// either way only on OK. The password and the messages it shows are `nested`'s.
bool RunOptionsDialog(HWND owner, GlobalSettingsRecord* settings, const NestedDialogs& nested);

}  // namespace tarvik
