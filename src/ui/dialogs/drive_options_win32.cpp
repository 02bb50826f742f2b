#include "ui/dialogs/drive_options_win32.h"

// These need windows.h first.
#include <commctrl.h>

#include <array>
#include <memory>
#include <string>

#include "base/log.h"
#include "drive/drive_list.h"
#include "settings/shell.h"
#include "string_ids.h"
#include "ui/dialog/dialog_view_win32.h"
#include "ui/dialog/dialog_win32.h"
#include "ui/text/text_api_win32.h"

namespace tarvik {
namespace {

constexpr UINT kTitleStringId = IDS_DRIVE_OPTIONS;
constexpr DWORD kDialogStyle = WS_CAPTION | WS_SYSMENU;
constexpr DWORD kProgressStyle = WS_VISIBLE | WS_CAPTION;

template <class T>
T FromInteger(LONG_PTR value) {
    return reinterpret_cast<T>(value);  // NOLINT(performance-no-int-to-ptr)
}

// What a detection's progress window and its pump share.
struct ProgressState {
    HWND window = nullptr;
    const CdromDrive* drive = nullptr;
    uint32_t generation = 0;
    bool quit = false;
};

// The live dialog as the model's view: controls through WindowDialogView,
// list rows, hot keys and the dialog's questions here.
class DriveOptionsWindow final : public WindowDialogView, public DriveOptionsUi {
public:
    DriveOptionsWindow(HWND dialog, DriveOptionsContext& context, const NestedDialogs& nested)
        : WindowDialogView(dialog),
          context_(context),
          nested_(nested),
          model(context, *this, *this) {}

    void ClearRows(uint16_t list) override { Send(list, LVM_DELETEALLITEMS, 0, 0); }
    void InsertRow(uint16_t list, unsigned at, std::u16string_view speed,
                   std::u16string_view command) override {
        SetRowText(list, LVM_INSERTITEMW, LVM_INSERTITEMA, 0, at, 0, speed);
        SetRowText(list, LVM_SETITEMTEXTW, LVM_SETITEMTEXTA, at, at, 1, command);
    }
    void DeleteRow(uint16_t list, unsigned at) override { Send(list, LVM_DELETEITEM, at, 0); }
    int SelectedRow(uint16_t list) const override {
        return static_cast<int>(
            Send(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }
    void SelectRow(uint16_t list, unsigned at) override {
        LVITEMA item{};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        Send(list, LVM_SETITEMSTATE, at, reinterpret_cast<LPARAM>(&item));
        Send(list, LVM_ENSUREVISIBLE, at, FALSE);
    }
    uint32_t HotKey(uint16_t id) const override {
        return static_cast<uint32_t>(Send(id, HKM_GETHOTKEY, 0, 0)) & 0xFFFF;
    }
    void SetHotKey(uint16_t id, uint32_t value) override {
        Send(id, HKM_SETHOTKEY, value & 0xFFFF, 0);
    }
    bool AskPassword() override {
        return nested_.askPassword(window(), context_.passwordData, 0) == 1;
    }
    int MessageBox(unsigned stringId, unsigned flags) override {
        return nested_.messageBox(window(), stringId, flags);
    }
    ScanEnd RunScan(unsigned titleStringId, DetectFn scan, CdromDrive* drive) override;
    void End(int result) override { ::EndDialog(window(), result); }

private:
    LRESULT Send(uint16_t id, UINT message, WPARAM wParam, LPARAM lParam) const {
        return ::SendDlgItemMessageW(window(), id, message, wParam, lParam);
    }
    // The W messages where the system speaks Unicode (A macros would garble
    // wide text), the A ones on the Windows 95 family.
    void SetRowText(uint16_t list, UINT wide, UINT ansi, WPARAM wParam, unsigned at, int column,
                    std::u16string_view text) {
        std::wstring w(text.begin(), text.end());
        if (UiIsUnicode()) return SendRowText<LVITEMW>(list, wide, wParam, at, column, w);
        std::string a = WideToAnsi(w.c_str());
        SendRowText<LVITEMA>(list, ansi, wParam, at, column, a);
    }
    template <typename Item, typename Text>
    void SendRowText(uint16_t list, UINT message, WPARAM wParam, unsigned at, int column,
                     Text& text) {
        Item item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(at);
        item.iSubItem = column;
        item.pszText = text.data();
        Send(list, message, wParam, reinterpret_cast<LPARAM>(&item));
    }

    DriveOptionsContext& context_;
    const NestedDialogs& nested_;

public:
    DriveOptionsModel model;
};

// RunDialog's context: the caller's, and the view once the dialog exists.
struct Session {
    DriveOptionsContext* context = nullptr;
    const NestedDialogs* nested = nullptr;
    std::unique_ptr<DriveOptionsWindow> window;
};

Session* SessionOf(HWND dialog) { return static_cast<Session*>(DialogContext(dialog)); }

// ---- the progress window ----------------------------------------------------------

intptr_t OnProgressItem(HWND window, uint16_t id, unsigned message, WPARAM wParam, LPARAM) {
    if (id == kProgressName && message == WM_INITDIALOG) {
        const auto* state = static_cast<const ProgressState*>(DialogContext(window));
        if (state && state->drive) ::SetDlgItemTextA(window, id, state->drive->Name);
        return FALSE;
    }
    if (id == kProgressCancel && message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        // Disabled, the button tells the next progress call to stop the scan.
        ::EnableWindow(::GetDlgItem(window, id), FALSE);
        return TRUE;
    }
    return FALSE;
}

const std::array<DialogItem, kProgressRows> kProgressRowsWithHandlers = [] {
    std::array<DialogItem, kProgressRows> rows = kProgressTable;
    for (DialogItem& row : rows)
        if (row.id == kProgressName || row.id == kProgressCancel) row.handler = OnProgressItem;
    return rows;
}();

ScanEnd DriveOptionsWindow::RunScan(unsigned titleStringId, DetectFn scan, CdromDrive* drive) {
    ProgressState state;
    state.drive = drive;
    state.generation = context_.generation;
    HWND dialog = window();
    state.window = OpenDialog(dialog, nullptr, titleStringId, kProgressStyle, 0,
                              kProgressRowsWithHandlers, &state);
    ::EnableWindow(dialog, FALSE);
    scan(drive, BarUpdate, &state);
    ::EnableWindow(dialog, TRUE);
    if (state.window) ::DestroyWindow(state.window);
    return state.quit ? ScanEnd::Quit : ScanEnd::Done;
}

// ---- the dialog's rows -------------------------------------------------------------

void RightAlignColumns(HWND dialog, uint16_t id) {
    if (GetComctlVersionMajor() == 0) return;
    for (int column = 0; column < 2; ++column) {
        LVCOLUMNA format{};
        format.mask = LVCF_FMT;
        format.fmt = LVCFMT_RIGHT;
        ::SendDlgItemMessageA(dialog, id, LVM_SETCOLUMNA, column,
                              reinterpret_cast<LPARAM>(&format));
    }
}

void OnInit(Session& session, HWND dialog, uint16_t id) {
    switch (id) {
        case kDoName: (void)SetBoldFont(dialog, id); return;
        case kDoFirstList:
        case kDoFirstList + 1:
        case kDoFirstList + 2: return RightAlignColumns(dialog, id);
        case kDoLockTray:
            // Clicking must not toggle it: switching the lock off may need the password.
            return MakePlainCheckBox(dialog, id);
        case kDoShortName:
            ::SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, kShortNameChars, 0);
            return;
        case IDOK: return session.window->model.Open();
        default: return;
    }
}

// The DVD and Blu-ray items of a stacked set go where the engine put the CD one.
void OnPlaced(HWND dialog, uint16_t id) {
    const bool stacking = id == kDoFirstList || id == kDoMethodAuto || id == kDoMethodSetSpeed ||
                          id == kDoMethodStreaming;
    if (!stacking) return;
    RECT r{};
    ::GetWindowRect(::GetDlgItem(dialog, id), &r);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    for (int medium = 1; medium < 3; ++medium)
        if (HWND other = ::GetDlgItem(dialog, id + medium))
            ::MoveWindow(other, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
}

intptr_t OnCommand(DriveOptionsModel& model, uint16_t id, unsigned code, HWND control) {
    if (id >= kDoAddSpeedX && id <= kDoAddCommandKb) {
        // Only what the user types converts: the partner's update must not echo.
        if (code == EN_CHANGE && control && ::GetFocus() == control) model.EditChanged(id);
        return FALSE;
    }
    if (code != BN_CLICKED) return FALSE;
    switch (id) {
        case kDoMediumCD:
        case kDoMediumCD + 1:
        case kDoMediumCD + 2: model.SwitchMedium(); break;
        case kDoByTimer: model.ByTimer(); break;
        case kDoLockTray: model.LockTray(); break;
        case kDoFast:
        case kDoFull:
        case kDoMeasure: model.Detect(id); break;
        case kDoAdd: model.Add(); break;
        case kDoDelete: model.Delete(); break;
        case kDoDeleteAll: model.DeleteAll(); break;
        case IDOK: model.Ok(); break;
        default: return FALSE;
    }
    return TRUE;
}

intptr_t OnItem(HWND dialog, uint16_t id, unsigned message, WPARAM wParam, LPARAM lParam) {
    Session* session = SessionOf(dialog);
    if (!session) return FALSE;
    if (message == WM_INITDIALOG) {
        if (!session->window)
            session->window =
                std::make_unique<DriveOptionsWindow>(dialog, *session->context, *session->nested);
        OnInit(*session, dialog, id);
        return FALSE;
    }
    if (!session->window) return FALSE;
    DriveOptionsModel& model = session->window->model;
    switch (message) {
        case WM_SIZE: OnPlaced(dialog, id); return FALSE;
        case WM_COMMAND: return OnCommand(model, id, HIWORD(wParam), FromInteger<HWND>(lParam));
        case WM_NOTIFY: {
            const auto* header = FromInteger<const NMHDR*>(lParam);
            if (id >= kDoFirstList && id <= kDoFirstList + 2 && header &&
                (header->code == LVN_ITEMCHANGED || header->code == NM_SETFOCUS))
                model.SelectEntry();
            return FALSE;
        }
        default: return FALSE;
    }
}

// Cancel keeps the engine's own ending; every other row is the model's.
const std::array<DialogItem, kDriveOptionsRows> kRowsWithHandlers = [] {
    std::array<DialogItem, kDriveOptionsRows> rows = kDriveOptionsTable;
    for (DialogItem& row : rows)
        if (row.id != IDCANCEL) row.handler = OnItem;
    return rows;
}();

}  // namespace

int BarUpdate(uint32_t min, uint32_t max, uint32_t pos, uint32_t speed, uint32_t command,
              void* window) {
    auto* state = static_cast<ProgressState*>(window);
    LogProgress(min, max, pos, speed, command);
    if (!state) return 0;
    HWND progress = state->window;
    if (min || max || pos) {
        // The 32-bit range: a Blu-ray scan's maximum is beyond 65535.
        ::SendDlgItemMessageW(progress, kProgressBar, PBM_SETRANGE32, min, max);
        ::SendDlgItemMessageW(progress, kProgressBar, PBM_SETPOS, pos, 0);
    }
    // An entry report comes right before the scan writes the list: nothing
    // may run in between that could take the record away.
    if (!min && !max && !pos && (speed || command)) return 1;
    MSG msg;
    while (!state->quit && ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Meant for the main loop: put back, and stop the scan so we get there.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            state->quit = true;
            break;
        }
        ::DispatchMessageA(&msg);
    }
    if (state->quit || DriveListGeneration() != state->generation) return 0;
    if (progress) ::UpdateWindow(progress);
    HWND cancel = progress ? ::GetDlgItem(progress, kProgressCancel) : nullptr;
    return cancel && ::IsWindowEnabled(cancel) ? 1 : 0;
}

int RunDriveOptionsDialog(HWND parent, DriveOptionsContext& context, const NestedDialogs& nested) {
    Session session;
    session.context = &context;
    session.nested = &nested;
    const int result = RunDialog(parent, kProgramCaption, kTitleStringId, kDialogStyle,
                                 WS_EX_APPWINDOW, kRowsWithHandlers, &session);
    // The record may be gone by now (a rebuilt list): not looked at here.
    LogPrintf("Drive options dialog: %d\n", result);
    return result;
}

}  // namespace tarvik
