#pragma once
// The dialog engine's system side: a dialog table becomes a template, the
// template a window, and one dialog procedure measures, places and routes
// messages to the rows' handlers by control id.
#include <windows.h>

#include <type_traits>

#include "ui/dialog/dialog_table.h"

namespace tarvik {

// The portable handler type spells these without <windows.h>.
static_assert(std::is_same_v<HWND, HWND__*>);
static_assert(std::is_same_v<WPARAM, MsgWParam>);
static_assert(std::is_same_v<LPARAM, MsgLParam>);
static_assert(std::is_same_v<INT_PTR, intptr_t>);

// The caption of the program's windows ("Tarvik 5.0"), as the wide calls take it.
inline constexpr wchar_t kProgramCaption[] = L"Tarvik 5.0";

// The dialogs a dialog opens of the others' (the password, a message box),
// handed in by whoever runs it: no dialog includes another dialog's files.
// app/ passes MessageBoxRes and AskPassword (ui/dialogs/message_box_win32.h,
// ui/dialogs/password_win32.h).
struct NestedDialogs {
    int (*messageBox)(HWND owner, UINT stringId, UINT flags);
    int (*askPassword)(HWND parent, char* data, int capacity);
};

// Runs the dialog modally: the dialog's result (as a rule the id of the
// button that ended it), 0 when nothing could be shown or the program's quit
// message ended it (the program is ending: no answer was given), -1 when the system
// could not create the dialog. `title` or `titleStringId` (or both, joined by
// " - ") make the caption. `context` is handed to the handlers.
int RunDialog(HWND parent, const wchar_t* title, UINT titleStringId, DWORD style, DWORD exStyle,
              DialogTable table, void* context);

// The same, modeless: the dialog's window, or null. The caller pumps its
// messages and ends it with DestroyWindow.
HWND OpenDialog(HWND parent, const wchar_t* title, UINT titleStringId, DWORD style, DWORD exStyle,
                DialogTable table, void* context);

// The one dialog procedure of every dialog.
INT_PTR CALLBACK LayoutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The context given to RunDialog or OpenDialog; null once the dialog is gone.
void* DialogContext(HWND dialog);

// Adds the extent of `text` in the control's font (its parent's when it has
// none) to `size`: width of the widest line, sum of the line heights.
void MeasureText(HWND control, const wchar_t* text, SIZE* size);

// Gives control `id` a bold copy of its font; the dialog deletes that font
// when it goes. False, with nothing created, when the font cannot be read.
bool SetBoldFont(HWND dialog, int id);

// Check box `id` no longer toggles on a click: its handler sets the check
// from what the click led to (a password asked, a file chosen). Only the
// button type changes.
void MakePlainCheckBox(HWND dialog, int id);

}  // namespace tarvik
