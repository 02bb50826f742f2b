#include "ui/dialogs/options_win32.h"

// This needs windows.h first.
#include <commdlg.h>

#include <string>

#include "string_ids.h"
#include "ui/dialog/dialog_view_win32.h"
#include "ui/dialog/dialog_win32.h"
#include "ui/dialogs/options.h"
#include "ui/text/text_api_win32.h"

namespace tarvik {
namespace {

#ifndef _WIN64
// The classic 32-bit structure, with the three fields of Windows 2000.
static_assert(sizeof(OPENFILENAMEA) == 88);
#endif

// OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN | OFN_LONGNAMES
constexpr DWORD kExportFileFlags = 0x208006;
static_assert(kExportFileFlags ==
              (OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_NOREADONLYRETURN | OFN_LONGNAMES));

class WindowOptionsDialogs final : public OptionsDialogs {
public:
    WindowOptionsDialogs(HWND dialog, const NestedDialogs& nested)
        : dialog_(dialog), nested_(nested) {}

    int AskPassword(char* data, int capacity) override {
        return nested_.askPassword(dialog_, data, capacity);
    }
    std::string AskExportPath() override {
        char path[MAX_PATH] = ".\\tarvik.reg";
        OPENFILENAMEA file{};
        file.lStructSize = sizeof(file);
        file.hwndOwner = dialog_;
        // Each pattern is its own description.
        file.lpstrFilter = "*.reg\0*.reg\0*.*\0*.*\0";
        file.lpstrFile = path;
        file.nMaxFile = sizeof(path);
        file.lpstrDefExt = "reg";
        file.Flags = kExportFileFlags;
        if (!::GetSaveFileNameA(&file)) return {};
        path[sizeof(path) - 1] = '\0';
        return path;
    }
    void ShowMessage(unsigned stringId, unsigned flags) override {
        (void)nested_.messageBox(dialog_, stringId, flags);
    }
    std::u16string FromAnsi(std::string_view ansi) override {
        const std::wstring wide = AnsiToWide(ansi.data(), static_cast<int>(ansi.size()));
        return std::u16string(wide.begin(), wide.end());
    }
    std::string ToAnsi(std::u16string_view text) override {
        const std::wstring wide(text.begin(), text.end());
        return WideToAnsi(wide.c_str());
    }

private:
    HWND dialog_;
    const NestedDialogs& nested_;
};

// RunDialog's context.
struct OptionsSession {
    GlobalSettingsRecord* settings;
    const NestedDialogs& nested;
};

intptr_t OptionsHandler(HWND dialog, uint16_t id, unsigned message, MsgWParam wParam, MsgLParam) {
    auto* session = static_cast<OptionsSession*>(DialogContext(dialog));
    if (!session) return FALSE;
    // Every row gets WM_INITDIALOG; the opening is OK's, the last row with a
    // handler, when every control exists.
    const bool opening = message == WM_INITDIALOG && id == IDOK;
    const bool click = message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED;
    if (!opening && !click) return FALSE;

    WindowDialogView view(dialog);
    WindowOptionsDialogs dialogs(dialog, session->nested);
    OptionsDialog model(view, dialogs, *session->settings);
    if (opening) {
        MakePlainCheckBox(dialog, kOptPassword);
        MakePlainCheckBox(dialog, kOptExport);
        model.Open();
        return FALSE;
    }
    if (id == IDOK) {
        model.SaveState();
        ::EndDialog(dialog, IDOK);
    } else {
        model.Click(id);
    }
    return TRUE;
}

}  // namespace

bool RunOptionsDialog(HWND owner, GlobalSettingsRecord* settings, const NestedDialogs& nested) {
    const auto rows = OptionsDialogRows(OptionsHandler);
    OptionsSession session{settings, nested};
    return RunDialog(owner, kProgramCaption, IDS_MNU_OPTIONS, WS_CAPTION | WS_SYSMENU,
                     WS_EX_APPWINDOW, rows, &session) == IDOK;
}

}  // namespace tarvik
