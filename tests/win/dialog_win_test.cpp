// The dialog engine against the real dialog manager: the template bytes make
// the windows the rows describe, the engine opens the dialog at the pointer
// inside the work area, ends it with OK and Cancel, and stays away from
// dialogs it has no state for. Then the same through the ANSI forms on a
// system that reports itself as Windows 98, and the program's message box.
#include <windows.h>

// These need windows.h first.
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/system.h"
#include "ui/dialog/dialog_template.h"
#include "ui/dialog/dialog_win32.h"
#include "ui/dialogs/message_box.h"
#include "ui/dialogs/message_box_win32.h"
#include "ui/text/strings.h"
#include "ui/text/text_api_win32.h"

namespace tarvik {
namespace {

// A System that reports a chosen Windows version; the text layer is chosen
// again for it, and for the real system when the test ends.
class VersionSystem final : public System {
public:
    explicit VersionSystem(WinVersionInfo v) : version_(v) {}
    bool GetVersion(WinVersionInfo& out) override {
        out = version_;
        return true;
    }

private:
    WinVersionInfo version_;
};

class ForcedVersion {
public:
    explicit ForcedVersion(WinVersionInfo v) : system_(v) {
        SetSystem(&system_);
        UiTextApiInit();
    }
    ~ForcedVersion() {
        SetSystem(nullptr);
        UiTextApiInit();
    }

private:
    VersionSystem system_;
};

constexpr WinVersionInfo kWindows98{4, 10, 2222, 1};
constexpr WinVersionInfo kWindows7{6, 1, 7601, 2};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring Wide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }

// Every class of the engine, with texts that each class takes as it is.
// clang-format off
const DialogItem kAllClasses[] = {
    {&ctl::GroupColumn,   100, u"Frame",          0, 0,   nullptr},
    {&ctl::SmallButton,   101, u"Small",          0, 100, nullptr},
    {&ctl::DefaultButton, 1,   u"OK",             0, 100, nullptr},
    {&ctl::Button,        2,   u"Cancel",         0, 100, nullptr},
    {&ctl::RadioFirst,    102, u"First",          0, 100, nullptr},
    {&ctl::Radio,         103, u"Second",         0, 100, nullptr},
    {&ctl::CheckBox,      104, u"Check",          0, 100, nullptr},
    {&ctl::EditRight,     105, u"15",             0, 100, nullptr},
    {&ctl::Edit,          106, u"text",           0, 100, nullptr},
    {&ctl::Spacer,        107, nullptr,           0, 100, nullptr},
    {&ctl::GroupRow,      108, nullptr,           IDS_OPT_TIMER, 0, nullptr},
    {&ctl::HotKey,        109, nullptr,           0, 108, nullptr},
    {&ctl::SmallIcon,     110, u"IconApp",        0, 108, nullptr},
    {&ctl::Icon,          111, u"IconApp",        0, 108, nullptr},
    {&ctl::LabelRight,    112, u"Right",          0, 108, nullptr},
    {&ctl::LabelCenter,   113, u"Centre",         0, 108, nullptr},
    {&ctl::Label,         114, u"Left",           0, 108, nullptr},
    {&ctl::ListView,      115, u"Speed\tCommand", 0, 0,   nullptr},
    {&ctl::Progress,      116, u"120",            0, 0,   nullptr},
    {&ctl::RichText,      117, u"rich",           0, 0,   nullptr},
    {&ctl::Row,           118, u"6",              0, 0,   nullptr},
    {&ctl::Column,        119, u"0",              0, 118, nullptr},
};
// clang-format on

INT_PTR CALLBACK BareProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

TEST(DialogTemplateWin, TheDialogManagerMakesEveryRowAsWritten) {
    // Only the template here: the system's own window classes need no engine.
    INITCOMMONCONTROLSEX init{sizeof(init),
                              ICC_LISTVIEW_CLASSES | ICC_HOTKEY_CLASS | ICC_PROGRESS_CLASS};
    ASSERT_TRUE(InitCommonControlsEx(&init));
    ASSERT_NE(LoadLibraryA("RICHED32.DLL"), nullptr);
    DialogHeader header;
    header.style = 0x00C80000 | kDsCenterMouse | kDsSetFont;
    header.caption = u"Template";
    header.font = DialogFont{8, 400, 0, 0, u"MS Shell Dlg"};
    std::vector<std::u16string> texts;
    for (const DialogItem& row : kAllClasses)
        texts.push_back(
            ItemInitialText(row, [](unsigned id) { return std::u16string(ResString(id)); }));
    const std::vector<uint8_t> bytes = BuildDialogTemplate(header, kAllClasses, texts);
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                             reinterpret_cast<const DLGTEMPLATE*>(bytes.data()),
                                             nullptr, BareProc, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    wchar_t caption[64] = {};
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Template");
    EXPECT_NE(SendMessageW(dialog, WM_GETFONT, 0, 0), 0);

    // The children in table order, each with its id, class, style and text.
    HWND child = GetWindow(dialog, GW_CHILD);
    for (std::size_t i = 0; i < std::size(kAllClasses);
         ++i, child = GetWindow(child, GW_HWNDNEXT)) {
        const DialogItem& row = kAllClasses[i];
        SCOPED_TRACE(row.id);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(GetDlgCtrlID(child), static_cast<int>(row.id));
        EXPECT_EQ(_wcsicmp(ClassOf(child).c_str(), Wide(row.cls->windowClass).c_str()), 0)
            << ClassOf(child).c_str();
        const auto style = static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE));
        const auto exStyle = static_cast<DWORD>(GetWindowLongW(child, GWL_EXSTYLE));
        // The dialog manager draws a control's border as a sunken client edge.
        const DWORD wanted = row.cls->style & ~WS_BORDER;
        EXPECT_EQ(style & wanted, wanted);
        if (row.cls->style & WS_BORDER) {
            EXPECT_TRUE((style & WS_BORDER) || (exStyle & WS_EX_CLIENTEDGE));
        }
        EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
        const bool plainText = row.cls != &ctl::SmallIcon && row.cls != &ctl::Icon &&
                               row.cls != &ctl::HotKey && row.cls != &ctl::ListView &&
                               row.cls != &ctl::Progress;
        if (plainText) {
            wchar_t text[64] = {};
            GetWindowTextW(child, text, 64);
            EXPECT_EQ(std::wstring(text), Wide(texts[i]));
        }
    }
    EXPECT_EQ(child, nullptr);
    DestroyWindow(dialog);
}

// ---- the engine ---------------------------------------------------------------

int g_handlerCalls = 0;
int g_afterDestroy = 0;
bool g_destroyed = false;

intptr_t CountingHandler(HWND, uint16_t, unsigned, MsgWParam, MsgLParam) {
    ++g_handlerCalls;
    if (g_destroyed) ++g_afterDestroy;
    return 0;
}

// clang-format off
const DialogItem kCountdown[] = {
    {&ctl::GroupColumn,   101, u"",      0, 0,   nullptr},
    {&ctl::Label,         102, u"D: DVD", 0, 101, nullptr},
    {&ctl::Row,           103, u"1",     0, 101, nullptr},
    {&ctl::Label,         104, nullptr,  IDS_TIME_LEFT, 103, nullptr},
    {&ctl::Spacer,        105, nullptr,  0, 103, nullptr},
    {&ctl::LabelRight,    106, u"00",    0, 103, nullptr},
    {&ctl::GroupRow,      107, u"",      0, 0,   nullptr},
    {&ctl::DefaultButton, 1,   nullptr,  IDS_REMINDER_EJECT, 107, nullptr},
    {&ctl::Spacer,        108, nullptr,  0, 107, nullptr},
    {&ctl::Button,        2,   nullptr,  IDS_CANCEL, 107, nullptr},
};
// clang-format on

RECT WindowRectOf(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

RECT WorkArea() {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    return work;
}

struct Opened {
    HWND dialog = nullptr;
    ~Opened() {
        if (dialog) DestroyWindow(dialog);
    }
};

TEST(DialogEngine, OpensWithTheDefaultButtonJustAboveAndLeftOfThePointer) {
    const RECT work = WorkArea();
    const POINT pointer{(work.left + work.right) / 2, (work.top + work.bottom) / 2};
    ASSERT_TRUE(SetCursorPos(pointer.x, pointer.y));
    Opened d;
    d.dialog = OpenDialog(nullptr, L"Countdown", 0, WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 0,
                          kCountdown, nullptr);
    ASSERT_NE(d.dialog, nullptr);
    const RECT eject = WindowRectOf(GetDlgItem(d.dialog, 1));
    EXPECT_EQ(eject.right, pointer.x - 1);
    EXPECT_EQ(eject.bottom, pointer.y - 1);
    EXPECT_EQ(GetFocus(), GetDlgItem(d.dialog, 1));

    // The opening size is the smallest the window may be dragged to.
    const RECT window = WindowRectOf(d.dialog);
    MINMAXINFO info{};
    info.ptMaxTrackSize = {10, 10};
    SendMessageW(d.dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, window.right - window.left);
    EXPECT_EQ(info.ptMinTrackSize.y, window.bottom - window.top);
    EXPECT_EQ(info.ptMaxTrackSize.x, window.right - window.left);
}

TEST(DialogEngine, ResizingGivesTheExtraWidthToTheButtonsShare) {
    Opened d;
    d.dialog = OpenDialog(nullptr, L"Countdown", 0, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, kCountdown,
                          nullptr);
    ASSERT_NE(d.dialog, nullptr);
    const RECT window = WindowRectOf(d.dialog);
    const RECT before = WindowRectOf(GetDlgItem(d.dialog, 2));
    SetWindowPos(d.dialog, nullptr, 0, 0, window.right - window.left + 30,
                 window.bottom - window.top, SWP_NOMOVE | SWP_NOZORDER);
    const RECT after = WindowRectOf(GetDlgItem(d.dialog, 2));
    // Three Fixed slots share 30 pixels: Cancel moves by half a share plus two shares.
    EXPECT_EQ((after.left - window.left) - (before.left - window.left), 5 + 10 + 10);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
}

// Posts keys to the modal dialog captioned `caption` from inside its own loop.
struct KeyPlan {
    const wchar_t* caption;
    WPARAM key;
    std::vector<std::wstring> children;  // what the dialog held: "id class text"
    bool done = false;
};
KeyPlan* g_plan = nullptr;

void CALLBACK PressKey(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = FindWindowW(L"#32770", g_plan->caption);
    if (!dialog || g_plan->done) return;
    g_plan->done = true;
    KillTimer(nullptr, timer);
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t text[128] = {};
        GetWindowTextW(c, text, 128);
        g_plan->children.push_back(std::to_wstring(GetDlgCtrlID(c)) + L" " + ClassOf(c) + L" " +
                                   text);
    }
    HWND target = GetFocus();
    PostMessageW(target ? target : dialog, WM_KEYDOWN, g_plan->key, 0);
}

int RunWithKey(const wchar_t* caption, WPARAM key, KeyPlan& plan, const std::function<int()>& run) {
    plan.caption = caption;
    plan.key = key;
    g_plan = &plan;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, PressKey);
    const int result = run();
    if (!plan.done) KillTimer(nullptr, timer);
    g_plan = nullptr;
    return result;
}

intptr_t EndWithSeven(HWND dialog, uint16_t, unsigned message, MsgWParam, MsgLParam) {
    if (message != WM_COMMAND) return 0;
    EndDialog(dialog, 7);
    return 1;
}

TEST(DialogEngine, AHandlerForOkDecidesTheResult) {
    std::vector<DialogItem> table(std::begin(kCountdown), std::end(kCountdown));
    table[7].handler = EndWithSeven;
    KeyPlan plan;
    const int result = RunWithKey(L"Handled", VK_RETURN, plan, [&] {
        return RunDialog(nullptr, L"Handled", 0, WS_CAPTION, 0, table, nullptr);
    });
    EXPECT_EQ(result, 7);
}

TEST(DialogEngine, ADialogTheSystemCannotCreateIsReportedAndNothingStays) {
    static constexpr ControlClass kMissing{
        u"NoSuchClass",    0, 0, true, ClassInit::None, MeasureRule::Label, PlaceRule::Move,
        ClassPrepare::None};
    const DialogItem table[] = {{&kMissing, 10, u"x", 0, 0, CountingHandler}};
    g_handlerCalls = 0;
    EXPECT_EQ(RunDialog(nullptr, L"Broken", 0, WS_CAPTION, 0, table, nullptr), -1);
    EXPECT_EQ(OpenDialog(nullptr, L"Broken", 0, WS_CAPTION, 0, table, nullptr), nullptr);
    EXPECT_EQ(g_handlerCalls, 0);
    EXPECT_EQ(FindWindowW(L"#32770", L"Broken"), nullptr);
}

TEST(DialogEngine, MessagesWithoutDialogStateDoNothing) {
    // A window the engine never initialised: the messages that arrive before
    // WM_INITDIALOG (or after WM_DESTROY) find no state and change nothing.
    HWND plain =
        CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(plain, nullptr);
    MINMAXINFO info{};
    info.ptMinTrackSize = {1, 2};
    EXPECT_EQ(LayoutDialogProc(plain, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), FALSE);
    EXPECT_EQ(info.ptMinTrackSize.x, 1);
    EXPECT_EQ(LayoutDialogProc(plain, WM_SIZE, 0, MAKELPARAM(10, 10)), FALSE);
    EXPECT_EQ(LayoutDialogProc(plain, WM_SETFONT, 0, 0), FALSE);
    EXPECT_EQ(LayoutDialogProc(plain, WM_COMMAND, IDOK, 0), FALSE);
    NMHDR note{plain, 5, LVN_DELETEALLITEMS};
    EXPECT_EQ(LayoutDialogProc(plain, WM_NOTIFY, 5, reinterpret_cast<LPARAM>(&note)), FALSE);
    EXPECT_EQ(LayoutDialogProc(plain, WM_DESTROY, 0, 0), FALSE);
    EXPECT_EQ(DialogContext(plain), nullptr);
    DestroyWindow(plain);
}

TEST(DialogEngine, ListViewNotificationsAfterTheDialogIsGoneReachNoHandler) {
    const DialogItem table[] = {
        {&ctl::ListView, 50, u"Speed\tCommand", 0, 0, CountingHandler},
        {&ctl::DefaultButton, 1, u"OK", 0, 0, nullptr},
    };
    int context = 42;
    HWND dialog = OpenDialog(nullptr, L"List", 0, WS_CAPTION, 0, table, &context);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(DialogContext(dialog), &context);
    HWND list = GetDlgItem(dialog, 50);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 2);  // the two titles
    for (int i = 0; i < 3; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(L"8x");
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    g_handlerCalls = 0;
    g_afterDestroy = 0;
    g_destroyed = false;
    SendMessageW(list, LVM_DELETEITEM, 0, 0);  // notifies the dialog: routed while it lives
    EXPECT_GT(g_handlerCalls, 0);
    g_destroyed = true;
    DestroyWindow(dialog);
    g_destroyed = false;
    EXPECT_EQ(g_afterDestroy, 0);
}

TEST(DialogEngine, BoldFontIsTheDialogsAndAFontThatCannotBeReadMakesNone) {
    const DialogItem table[] = {{&ctl::Label, 60, u"Drive", 0, 0, nullptr},
                                {&ctl::Label, 61, u"Other", 0, 0, nullptr}};
    Opened d;
    d.dialog = OpenDialog(nullptr, L"Bold", 0, WS_CAPTION, 0, table, nullptr);
    ASSERT_NE(d.dialog, nullptr);
    ASSERT_TRUE(SetBoldFont(d.dialog, 60));
    LOGFONTW bold{};
    ASSERT_EQ(
        GetObjectW(reinterpret_cast<HFONT>(SendDlgItemMessageW(d.dialog, 60, WM_GETFONT, 0, 0)),
                   sizeof(bold), &bold),
        static_cast<int>(sizeof(bold)));
    EXPECT_EQ(bold.lfWeight, FW_BOLD);
    // A font handle that no longer exists: nothing to copy, nothing created.
    HFONT gone = CreateFontW(-11, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, L"Tahoma");
    DeleteObject(gone);
    SendDlgItemMessageW(d.dialog, 61, WM_SETFONT, reinterpret_cast<WPARAM>(gone), FALSE);
    EXPECT_FALSE(SetBoldFont(d.dialog, 61));
    EXPECT_EQ(reinterpret_cast<HFONT>(SendDlgItemMessageW(d.dialog, 61, WM_GETFONT, 0, 0)), gone);
}

// ---- the same through the ANSI forms --------------------------------------------

TEST(DialogEngineAnsi, OnWindows98TheDialogIsAnAnsiWindowWithTheSameTextsAndLayout) {
    RECT wideClient{};
    {
        ForcedVersion nt(kWindows7);
        ASSERT_EQ(UiIsUnicode(), 1);
        Opened d;
        d.dialog = OpenDialog(nullptr, L"Countdown", 0, WS_CAPTION, 0, kCountdown, nullptr);
        ASSERT_NE(d.dialog, nullptr);
        EXPECT_TRUE(IsWindowUnicode(d.dialog));
        GetClientRect(d.dialog, &wideClient);
    }
    ForcedVersion old(kWindows98);
    ASSERT_EQ(UiIsUnicode(), 0);
    Opened d;
    d.dialog =
        OpenDialog(nullptr, L"Countdown", IDS_REMINDER_EJECT, WS_CAPTION, 0, kCountdown, nullptr);
    ASSERT_NE(d.dialog, nullptr);
    EXPECT_FALSE(IsWindowUnicode(d.dialog));
    char caption[64] = {};
    GetWindowTextA(d.dialog, caption, 64);
    EXPECT_STREQ(caption, "Countdown - Eject");
    EXPECT_EQ(UiWindowText(GetDlgItem(d.dialog, 104)), L"Time left:");
    EXPECT_EQ(UiWindowText(GetDlgItem(d.dialog, 2)), L"Cancel");
    RECT client{};
    GetClientRect(d.dialog, &client);
    EXPECT_EQ(client.right, wideClient.right);
    EXPECT_EQ(client.bottom, wideClient.bottom);

    // Texts go out and come back through the ANSI code page.
    if (GetACP() == 1252) {
        EXPECT_TRUE(UiSetDlgItemText(d.dialog, 102, L"Gr\u00f6\u00dfe"));
        EXPECT_EQ(UiWindowText(GetDlgItem(d.dialog, 102)), L"Gr\u00f6\u00dfe");
        EXPECT_TRUE(UiSetDlgItemText(d.dialog, 102, L"\u0436"));
        EXPECT_EQ(UiWindowText(GetDlgItem(d.dialog, 102)), L"?");
    }
    // A buffer too small for the text: cut, terminated, nothing beyond it.
    wchar_t small[8];
    for (wchar_t& c : small) c = L'#';
    EXPECT_TRUE(UiSetDlgItemText(d.dialog, 102, L"Hello world"));
    UiGetDlgItemText(d.dialog, 102, small, 6);
    EXPECT_STREQ(small, L"Hello");
    EXPECT_EQ(small[6], L'#');
}

// ---- the program's message box ------------------------------------------------------

TEST(MessageBoxRes, ShowsTheMessageWithOkOrOkAndCancelAndAnswersTheKeys) {
    struct Case {
        UINT stringId, flags;
        WPARAM key;
        int result;
        std::size_t children;
    };
    const Case cases[] = {
        {IDS_RESET_CONFIRM, 0x2021, VK_RETURN, IDOK, 7},
        {IDS_CANT_CREATE_MENU, 0x2010, VK_ESCAPE, IDCANCEL, 6},  // no Cancel button, still Cancel
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stringId * 100 + c.key);
        KeyPlan plan;
        const int result = RunWithKey(L"Tarvik 5.0", c.key, plan,
                                      [&] { return MessageBoxRes(nullptr, c.stringId, c.flags); });
        EXPECT_EQ(result, c.result);
        ASSERT_EQ(plan.children.size(), c.children);
        const std::wstring message = Wide(ResString(c.stringId));
        EXPECT_EQ(plan.children[3], std::to_wstring(kMsgText) + L" Static " + message);
        EXPECT_EQ(plan.children[5], L"1 Button OK");
        if (c.children == 7) {
            EXPECT_EQ(plan.children[6], L"2 Button Cancel");
        }
    }
}

}  // namespace
}  // namespace tarvik
