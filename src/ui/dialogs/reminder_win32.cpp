#include "ui/dialogs/reminder_win32.h"
#include "drive/all_drives.h"

#include <string>

#include "drive/speed_control.h"
#include "ui/dialog/dialog_view_win32.h"
#include "ui/dialog/dialog_win32.h"
#include "ui/dialogs/reminder.h"

namespace tarvik {
namespace {

constexpr UINT_PTR kCountdownTimer = 1;
constexpr UINT kCountdownPeriodMs = 1000;

ReminderContext* ContextOf(HWND dialog) {
    return static_cast<ReminderContext*>(DialogContext(dialog));
}

void CALLBACK ReminderTickProc(HWND dialog, UINT, UINT_PTR, DWORD) {
    ReminderContext* context = ContextOf(dialog);
    if (!context) return;
    WindowDialogView view(dialog);
    if (const int id = ReminderTick(view, *context))
        ::PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(id),
                       reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

intptr_t DiskListHandler(HWND dialog, uint16_t id, unsigned message, WPARAM, LPARAM) {
    if (message != WM_INITDIALOG) return FALSE;
    std::u16string list = DiskListText(DisksPresentMask(0));
    // The label shows lines, not a last empty one.
    if (!list.empty() && list.back() == u'\n') list.pop_back();
    WindowDialogView(dialog).SetText(id, list);
    return FALSE;
}

intptr_t CountdownHandler(HWND dialog, uint16_t id, unsigned message, WPARAM, LPARAM) {
    ReminderContext* context = ContextOf(dialog);
    if (!context) return FALSE;
    switch (message) {
        case WM_INITDIALOG:
            // The rows share this handler: start once, at the last of them.
            if (id == kReminderCancel) {
                WindowDialogView view(dialog);
                ReminderStart(view, *context);
                ::SetTimer(dialog, kCountdownTimer, kCountdownPeriodMs, ReminderTickProc);
            }
            return FALSE;
        case WM_COMMAND:
            if (const int result = ReminderCommandResult(id, *context)) {
                ::KillTimer(dialog, kCountdownTimer);
                ::EndDialog(dialog, result);
            }
            return TRUE;
        default: return FALSE;
    }
}

int ShowReminder(HWND window, ReminderKind kind, unsigned seconds, bool (*condition)()) {
    ::SetForegroundWindow(window);
    const ReminderDescription d = DescribeReminder(kind, DiskListHandler, CountdownHandler);
    ReminderContext context;
    context.seconds = seconds;
    context.condition = condition;
    return RunDialog(window, kProgramCaption, ReminderTitleId(kind), WS_CAPTION | WS_SYSMENU,
                     WS_EX_APPWINDOW, d.table(), &context);
}

}  // namespace

int ShowDiskReminder(HWND window, unsigned seconds) {
    const int result = ShowReminder(window, ReminderKind::Disk, seconds, NoDiskPresent);
    FinishReminder(ReminderKind::Disk, result, false);
    return result;
}

int ShowTrayReminder(HWND window, unsigned seconds, bool closeOnTimeout) {
    const int result = ShowReminder(window, ReminderKind::Tray, seconds, AllTraysClosed);
    FinishReminder(ReminderKind::Tray, result, closeOnTimeout);
    return result;
}

}  // namespace tarvik
