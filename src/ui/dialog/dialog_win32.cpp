#include "ui/dialog/dialog_win32.h"

// These need windows.h first.
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dpi_win32.h"
#include "platform/handles_win32.h"
#include "platform/late_bound_win32.h"
#include "ui/dialog/dialog_layout.h"
#include "ui/dialog/dialog_position.h"
#include "ui/dialog/dialog_template.h"
#include "ui/text/text_api_win32.h"

namespace tarvik {
namespace {

// One per open dialog, in the dialog's user data from WM_INITDIALOG to
// WM_DESTROY. A modal dialog's state belongs to RunDialog, which frees it
// when the dialog has ended (or failed to start); a modeless one's belongs to
// its window once OpenDialog has it, and goes at WM_DESTROY.
struct DialogState {
    void* context = nullptr;
    std::vector<ItemState> items;
    Size minimum;  // outer size at opening: 0 x 0 until WM_INITDIALOG has run
    int scrollWidth = 0;
    int scrollHeight = 0;
    bool ownedByWindow = false;
    // The DPI the fonts and the layout are for; whether the template names
    // the message font, which the dialog then makes again for another DPI.
    int dpi = kBaseDpi;
    bool messageFont = false;
    std::vector<std::pair<uint16_t, const char16_t*>> icons;  // icon rows: id, resource name
    UniqueFont dpiFont;             // the dialog font made for `dpi`, if any
    std::vector<UniqueFont> fonts;  // made for the dialog's controls
    std::vector<int> boldIds;       // the controls given a bold copy of the font
    std::vector<UniqueIcon> ownIcons;
};

// Window messages and window data carry handles and pointers as integers.
template <class T>
T FromInteger(LONG_PTR value) {
    return reinterpret_cast<T>(value);  // NOLINT(performance-no-int-to-ptr)
}

DialogState* StateOf(HWND dialog) {
    return FromInteger<DialogState*>(::GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

std::wstring ToWide(std::u16string_view s) { return std::wstring(s.begin(), s.end()); }
std::u16string ToU16(std::wstring_view s) { return std::u16string(s.begin(), s.end()); }

HFONT FontOf(HWND control) {
    auto font = FromInteger<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    if (!font) {
        if (HWND parent = ::GetParent(control))
            font = FromInteger<HFONT>(::SendMessageW(parent, WM_GETFONT, 0, 0));
    }
    return font;
}

// A device context of a control with the control's font selected.
class FontDc {
public:
    explicit FontDc(HWND control)
        : dc_(WindowDc(control)), font_(dc_.get(), dc_ ? FontOf(control) : nullptr) {}
    HDC get() const { return dc_.get(); }

private:
    UniqueDc dc_;
    SelectedObject font_;
};

// What the layout engine knows about the live controls, from GDI.
class GdiTextMetrics final : public TextMetrics {
public:
    GdiTextMetrics(HWND dialog, int scrollWidth, int scrollHeight, int dpi, HWND only = nullptr)
        : dialog_(dialog),
          only_(only),
          scrollWidth_(scrollWidth),
          scrollHeight_(scrollHeight),
          dpi_(dpi) {}

    std::u16string Text(uint16_t id) override {
        HWND control = Control(id);
        return control ? ToU16(UiWindowText(control)) : std::u16string();
    }
    Size TextExtent(uint16_t id, std::u16string_view line) override {
        FontDc dc(Control(id));
        const std::wstring text = ToWide(line);
        SIZE s{};
        if (!dc.get() ||
            !::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &s))
            return {};
        return {s.cx, s.cy};
    }
    int MaxCharWidth(uint16_t id) override {
        FontDc dc(Control(id));
        TEXTMETRICA tm{};
        return dc.get() && ::GetTextMetricsA(dc.get(), &tm) ? tm.tmMaxCharWidth : 0;
    }
    // The dialog's DPI: a device context says the system's, which a dialog
    // on another monitor does not have.
    int Dpi(uint16_t) override { return dpi_; }
    int ScrollWidth() override { return scrollWidth_; }
    int ScrollHeight() override { return scrollHeight_; }
    Size IconSize(uint16_t id) override {
        RECT r{};
        if (!::GetWindowRect(Control(id), &r)) return {};
        return {r.right - r.left, r.bottom - r.top};
    }
    Size ListViewSize(uint16_t id) override {
        const auto packed = static_cast<DWORD>(
            ::SendMessageW(Control(id), LVM_APPROXIMATEVIEWRECT, 5, MAKELPARAM(-1, -1)));
        // An empty list view not yet sized answers its own client area, which
        // its header makes negative (Wine: 65516 high): that is no estimate.
        const auto width = static_cast<int16_t>(LOWORD(packed));
        const auto height = static_cast<int16_t>(HIWORD(packed));
        if (width < 0 || height < 0) return {};
        return {width, height};
    }

private:
    HWND Control(uint16_t id) const { return only_ ? only_ : ::GetDlgItem(dialog_, id); }

    HWND dialog_;
    HWND only_;
    int scrollWidth_;
    int scrollHeight_;
    int dpi_;
};

GdiTextMetrics MetricsOf(HWND dialog, const DialogState& state) {
    return GdiTextMetrics(dialog, state.scrollWidth, state.scrollHeight, state.dpi);
}

// ---- class initialisation and preparation ------------------------------------

// The list view's column titles, from its window text; each column as wide
// as its title in the list's font.
struct ListColumn {
    std::wstring title;
    int width = 0;
};
std::vector<ListColumn> ListColumns(HWND list) {
    const std::wstring titles = UiWindowText(list);
    GdiTextMetrics metrics(nullptr, 0, 0, kBaseDpi, list);
    std::vector<ListColumn> columns;
    for (std::size_t start = 0; start <= titles.size();) {
        std::size_t end = titles.find(L'\t', start);
        if (end == std::wstring::npos) end = titles.size();
        std::wstring title = titles.substr(start, end - start);
        const int width = metrics.TextExtent(0, ToU16(title)).width + 16;
        columns.push_back({std::move(title), width});
        start = end + 1;
    }
    return columns;
}

void InsertListViewColumns(HWND list) {
    int index = 0;
    for (ListColumn& c : ListColumns(list)) {
        std::wstring& title = c.title;
        const int width = c.width;
        if (UiIsUnicode()) {
            LVCOLUMNW column{};
            column.mask = LVCF_WIDTH | LVCF_TEXT;
            column.cx = width;
            column.pszText = title.data();
            ::SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
        } else {
            std::string titleA = WideToAnsi(title.c_str());
            LVCOLUMNA column{};
            column.mask = LVCF_WIDTH | LVCF_TEXT;
            column.cx = width;
            column.pszText = titleA.data();
            ::SendMessageA(list, LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column));
        }
        ++index;
    }
    ::SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

// The rich edit control writes in the character set of the dialog's font.
void SetRichTextCharset(HWND dialog, HWND rich) {
    BYTE charset = DEFAULT_CHARSET;
    if (const UniqueDc dc = WindowDc(rich)) {
        const SelectedObject font(dc.get(),
                                  FromInteger<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0)));
        TEXTMETRICA tm{};
        if (::GetTextMetricsA(dc.get(), &tm)) charset = tm.tmCharSet;
    }
    CHARFORMATA format{};
    format.cbSize = sizeof(format);
    ::SendMessageW(rich, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    format.dwMask |= CFM_CHARSET;
    format.bCharSet = charset;
    ::SendMessageW(rich, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
}

void InitItem(HWND dialog, const ItemState& item) {
    HWND control = ::GetDlgItem(dialog, item.id);
    switch (item.cls->init) {
        case ClassInit::None: break;
        case ClassInit::FocusSelf: ::SetFocus(control); break;
        case ClassInit::ListViewColumns: InsertListViewColumns(control); break;
        case ClassInit::RichTextCharset: SetRichTextCharset(dialog, control); break;
    }
}

// Every common-control class a table uses is registered before the system
// creates its windows: a hot key or list view alone needs it as much as a
// progress bar.
void PrepareClass(ClassPrepare prepare) {
    static DWORD registered = 0;
    static bool richEditTried = false;
    DWORD wanted = 0;
    switch (prepare) {
        case ClassPrepare::None: return;
        case ClassPrepare::ListViewClass: wanted = ICC_LISTVIEW_CLASSES; break;
        case ClassPrepare::HotKeyClass: wanted = ICC_HOTKEY_CLASS; break;
        case ClassPrepare::ProgressClass: wanted = ICC_PROGRESS_CLASS; break;
        case ClassPrepare::RichEditLibrary:
            // Loaded once and kept: the class lives in the library. From
            // System32: it is no known DLL, so a copy beside the exe would win.
            if (!richEditTried) (void)LoadSystemLibrary("riched32.dll");
            richEditTried = true;
            return;
    }
    if (registered & wanted) return;
    // InitCommonControlsEx came with comctl32 4.70; an older library has only
    // InitCommonControls, which registers every class at once.
    const auto initEx = late::InitCommonControlsEx();
    const auto initAll = late::InitCommonControls();
    INITCOMMONCONTROLSEX init{};
    init.dwSize = sizeof(init);
    init.dwICC = wanted;
    if (initEx && initEx(&init)) {
        registered |= wanted;
    } else if (initAll) {
        initAll();
        registered = ~DWORD{0};
    }
}

// ---- opening, placing, routing ------------------------------------------------

Rect ToRect(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// The work area of the monitor nearest the point; the primary one's when the
// system has no monitor functions.
Rect WorkAreaAt(POINT point) {
    const auto monitorFromPoint = late::MonitorFromPoint();
    const auto getMonitorInfo = late::GetMonitorInfoA();
    if (monitorFromPoint && getMonitorInfo) {
        MONITORINFO info{};
        info.cbSize = sizeof(info);
        HMONITOR monitor = monitorFromPoint(point, MONITOR_DEFAULTTONEAREST);
        if (monitor && getMonitorInfo(monitor, &info)) return ToRect(info.rcWork);
    }
    RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    return ToRect(work);
}

void MoveTo(HWND window, const Rect& r) {
    ::MoveWindow(window, r.left, r.top, r.width(), r.height(), FALSE);
}

// ---- the DPI ----------------------------------------------------------------

INT_PTR OnSize(HWND dialog, DialogState* state);

// The window size for a client area of `content`, with the frame the window has now.
Size OuterSize(HWND dialog, Size content) {
    RECT window{}, client{};
    ::GetWindowRect(dialog, &window);
    ::GetClientRect(dialog, &client);
    return {content.width + (window.right - window.left) - client.right,
            content.height + (window.bottom - window.top) - client.bottom};
}

UniqueFont BoldCopy(HFONT font) {
    LOGFONTW logical{};
    if (!font || ::GetObjectW(font, sizeof(logical), &logical) != sizeof(logical)) return nullptr;
    logical.lfWeight = FW_BOLD;
    return UniqueFont(::CreateFontIndirectW(&logical));
}

void SendFont(HWND window, HFONT font) {
    ::SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

uint16_t MessageFontPoints(const LOGFONTW& font, int dpi);

// The non-client metrics as the system gives them at `dpi`: its own answer
// where it has one (Windows 10 1607 on), else those of the system DPI scaled.
bool NonClientMetricsAt(int dpi, NONCLIENTMETRICSW& out) {
    out = NONCLIENTMETRICSW{};
    out.cbSize = kNonClientMetricsSizeW;
    if (const auto forDpi = late::SystemParametersInfoForDpi())
        if (forDpi(SPI_GETNONCLIENTMETRICS, out.cbSize, &out, 0, static_cast<UINT>(dpi)))
            return true;
    if (!UiGetNonClientMetrics(&out)) return false;
    const int system = SystemDpi();
    out.lfMessageFont.lfHeight = ::MulDiv(out.lfMessageFont.lfHeight, dpi, system);
    out.iScrollWidth = ::MulDiv(out.iScrollWidth, dpi, system);
    out.iScrollHeight = ::MulDiv(out.iScrollHeight, dpi, system);
    return true;
}

// Gives the controls the message font at `dpi` as a dialog opened there gets
// it (its point size, made at that DPI), with the metrics, icons and list
// columns that go with it. A dialog without a template font keeps the
// system's, and its DPI.
void UseDpi(HWND dialog, DialogState& state, int dpi) {
    NONCLIENTMETRICSW metrics{};
    if (!state.messageFont || !NonClientMetricsAt(dpi, metrics)) return;
    LOGFONTW logical = metrics.lfMessageFont;
    logical.lfHeight = -MulDivRound(MessageFontPoints(logical, dpi), dpi, 72);
    logical.lfWidth = 0;
    UniqueFont font(::CreateFontIndirectW(&logical));
    if (!font) return;

    // The old fonts go only once no control holds them. The dialog keeps its
    // own: the dialog manager deletes whatever font the dialog holds at the end.
    std::vector<UniqueFont> bold;
    for (const ItemState& item : state.items)
        if (HWND control = ::GetDlgItem(dialog, item.id)) SendFont(control, font.get());
    for (int id : state.boldIds) {
        if (UniqueFont b = BoldCopy(font.get())) {
            SendFont(::GetDlgItem(dialog, id), b.get());
            bold.push_back(std::move(b));
        }
    }
    state.dpiFont = std::move(font);
    state.fonts = std::move(bold);

    state.dpi = dpi;
    state.scrollWidth = metrics.iScrollWidth;
    state.scrollHeight = metrics.iScrollHeight;

    // An icon control takes the size of its icon, which the layout reads.
    std::vector<UniqueIcon> icons;
    const int side = SystemMetricForDpi(SM_CXICON, dpi);
    for (const auto& [id, name] : state.icons) {
        UniqueIcon icon(static_cast<HICON>(::LoadImageW(::GetModuleHandleA(nullptr),
                                                        reinterpret_cast<const wchar_t*>(name),
                                                        IMAGE_ICON, side, side, 0)));
        if (!icon) continue;
        ::SendDlgItemMessageW(dialog, id, STM_SETICON, reinterpret_cast<WPARAM>(icon.get()), 0);
        icons.push_back(std::move(icon));
    }
    state.ownIcons = std::move(icons);

    for (const ItemState& item : state.items) {
        if (item.cls->init != ClassInit::ListViewColumns) continue;
        HWND list = ::GetDlgItem(dialog, item.id);
        int index = 0;
        for (const ListColumn& c : ListColumns(list))
            ::SendMessageW(list, LVM_SETCOLUMNWIDTH, index++, MAKELPARAM(c.width, 0));
    }
}

// The monitor's DPI changed, or the dialog moved to one with another: the
// dialog is measured and laid out again for it, where the system suggests.
INT_PTR OnDpiChanged(HWND dialog, DialogState* state, WPARAM wParam, LPARAM lParam) {
    const int dpi = HIWORD(wParam);
    if (!PlausibleDpi(dpi) || !state->messageFont) return FALSE;
    UseDpi(dialog, *state, dpi);
    // Measured before anything moves: placing would size the icons as they
    // were measured before.
    GdiTextMetrics metrics = MetricsOf(dialog, *state);
    const Size content = MeasureDialog(state->items, metrics);
    // At the suggested place first: the frame takes its size for the new DPI
    // there, and the content's size is added to it. Then around the
    // suggested centre, which lies on the monitor of the new DPI.
    RECT place{};
    if (const auto* suggested = FromInteger<const RECT*>(lParam)) {
        place = *suggested;
        ::SetWindowPos(dialog, nullptr, place.left, place.top, place.right - place.left,
                       place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
    } else {
        ::GetWindowRect(dialog, &place);
    }
    const Size outer = OuterSize(dialog, content);
    state->minimum = outer;
    const Rect r = PlaceForNewDpi(ToRect(place), outer);
    ::SetWindowPos(dialog, nullptr, r.left, r.top, r.width(), r.height(),
                   SWP_NOZORDER | SWP_NOACTIVATE);
    // A size that did not change sends no WM_SIZE; the fonts did change.
    (void)OnSize(dialog, state);
    return TRUE;
}

INT_PTR OnInitDialog(HWND dialog, WPARAM wParam, DialogState* state) {
    if (!state) return FALSE;
    ::SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    const LPARAM self = reinterpret_cast<LPARAM>(state);
    // The engine lays the dialog out for a new DPI itself (Windows 10 1703
    // on would also rescale it), and opens it at the DPI of its monitor.
    if (const auto behaviour = late::SetDialogDpiChangeBehavior()) behaviour(dialog, 1, 1);
    if (const int dpi = WindowDpi(dialog); dpi != state->dpi) UseDpi(dialog, *state, dpi);
    for (std::size_t i = 0; i < state->items.size(); ++i) {
        const ItemState item = state->items[i];
        InitItem(dialog, item);
        if (item.handler) (void)item.handler(dialog, item.id, WM_INITDIALOG, wParam, self);
        // A handler may have closed the dialog already.
        if (StateOf(dialog) != state) return FALSE;
    }

    GdiTextMetrics metrics = MetricsOf(dialog, *state);
    const Size content = MeasureDialog(state->items, metrics);
    const Size outer = OuterSize(dialog, content);
    state->minimum = outer;
    RECT window{};
    ::GetWindowRect(dialog, &window);
    // The system answers with WM_SIZE, which lays the controls out.
    MoveTo(dialog, ResizeKeepingCentre(ToRect(window), outer));

    POINT cursor{};
    ::GetCursorPos(&cursor);
    std::optional<Rect> focused;
    HWND focus = ::GetFocus();
    RECT focusRect{};
    if (focus && ::IsChild(dialog, focus) && ::GetWindowRect(focus, &focusRect))
        focused = ToRect(focusRect);
    ::GetWindowRect(dialog, &window);
    MoveTo(dialog,
           PlaceUnderPointer(ToRect(window), focused, {cursor.x, cursor.y}, WorkAreaAt(cursor)));
    return FALSE;  // the focus is set
}

INT_PTR OnSize(HWND dialog, DialogState* state) {
    RECT client{};
    ::GetClientRect(dialog, &client);
    GdiTextMetrics metrics = MetricsOf(dialog, *state);
    const std::vector<Placement> placements =
        PlaceDialog(state->items, metrics, client.right, client.bottom);
    for (const Placement& p : placements) {
        const ItemState& item = state->items[p.index];
        if (p.move)
            ::MoveWindow(::GetDlgItem(dialog, item.id), p.box.x, p.box.y, p.box.width, p.box.height,
                         FALSE);
        if (item.handler) {
            (void)item.handler(dialog, item.id, WM_MOVE, 0, MAKELPARAM(p.box.x, p.box.y));
            (void)item.handler(dialog, item.id, WM_SIZE, 0, MAKELPARAM(p.box.width, p.box.height));
        }
    }
    // Erase only the background no opaque control covers: no flicker.
    const UniqueRegion background(::CreateRectRgnIndirect(&client));
    for (const ItemState& item : state->items) {
        HWND control = ::GetDlgItem(dialog, item.id);
        if (!control) continue;
        ::RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
        if (!item.cls->opaque || !background) continue;
        RECT r{};
        ::GetWindowRect(control, &r);
        ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        if (const UniqueRegion covered{::CreateRectRgnIndirect(&r)})
            ::CombineRgn(background.get(), background.get(), covered.get(), RGN_DIFF);
    }
    ::RedrawWindow(dialog, nullptr, background.get(), RDW_INVALIDATE | RDW_ERASE | RDW_NOCHILDREN);
    return TRUE;
}

INT_PTR OnGetMinMaxInfo(DialogState* state, LPARAM lParam) {
    auto* info = FromInteger<MINMAXINFO*>(lParam);
    Point minTrack{info->ptMinTrackSize.x, info->ptMinTrackSize.y};
    Point maxTrack{info->ptMaxTrackSize.x, info->ptMaxTrackSize.y};
    if (!ApplyMinTrackSize(state->minimum, minTrack, maxTrack)) return FALSE;
    info->ptMinTrackSize = {minTrack.x, minTrack.y};
    info->ptMaxTrackSize = {maxTrack.x, maxTrack.y};
    return TRUE;
}

INT_PTR OnDestroy(HWND dialog, DialogState* state) {
    // Controls still talk to the dialog while they are destroyed after it
    // (a list view's notifications); with no state they reach nobody.
    ::SetWindowLongPtrW(dialog, GWLP_USERDATA, 0);
    if (state->ownedByWindow) delete state;
    return TRUE;
}

INT_PTR Route(HWND dialog, DialogState* state, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto key = static_cast<uint16_t>(
        message == WM_CTLCOLORSTATIC ? ::GetDlgCtrlID(FromInteger<HWND>(lParam)) : LOWORD(wParam));
    for (const ItemState& item : state->items)
        if (item.id == key && item.handler)
            return item.handler(dialog, key, message, wParam, lParam);
    if (message == WM_COMMAND && (key == IDOK || key == IDCANCEL)) {
        ::EndDialog(dialog, key);
        return TRUE;
    }
    return FALSE;
}

// The template and the state of a dialog about to open.
struct Prepared {
    std::vector<uint8_t> bytes;
    std::unique_ptr<DialogState> state;
};

std::u16string ResTextU16(unsigned id) { return ToU16(ResText(id)); }

// Point size of the message font. A positive height is the cell height, and
// the template wants the character height: the font itself tells the
// difference.
uint16_t MessageFontPoints(const LOGFONTW& font, int dpi) {
    if (font.lfHeight <= 0) return DialogPointSize(font.lfHeight, dpi);
    int charHeight = font.lfHeight;
    if (const UniqueFont created{::CreateFontIndirectW(&font)}) {
        if (const UniqueDc dc = WindowDc(nullptr)) {
            const SelectedObject selected(dc.get(), created.get());
            TEXTMETRICW tm{};
            if (::GetTextMetricsW(dc.get(), &tm)) charHeight = tm.tmHeight - tm.tmInternalLeading;
        }
    }
    return DialogPointSize(charHeight, dpi);
}

Prepared Prepare(const wchar_t* title, UINT titleStringId, DWORD style, DWORD exStyle,
                 DialogTable table, void* context) {
    Prepared p;
    NONCLIENTMETRICSW metrics{};
    const bool haveFont = UiGetNonClientMetrics(&metrics) != 0;

    DialogHeader header;
    header.style = (style | kDsCenterMouse) & ~kDsSetFont;
    header.exStyle = exStyle;
    header.caption = DialogCaption(title ? ToU16(title) : std::u16string(),
                                   titleStringId ? ResTextU16(titleStringId) : std::u16string());
    int dpi = kBaseDpi;
    if (const UniqueDc screen = WindowDc(nullptr)) dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    if (haveFont) {
        const LOGFONTW& font = metrics.lfMessageFont;
        header.style |= kDsSetFont;
        header.font = DialogFont{
            MessageFontPoints(font, dpi), static_cast<uint16_t>(font.lfWeight), font.lfItalic,
            font.lfCharSet,
            ToU16(std::wstring_view(font.lfFaceName, wcsnlen(font.lfFaceName, LF_FACESIZE)))};
    }
    p.state = std::make_unique<DialogState>();
    std::vector<std::u16string> texts;
    texts.reserve(table.size());
    for (const DialogItem& row : table) {
        texts.push_back(ItemInitialText(row, ResTextU16));
        PrepareClass(row.cls->prepare);
        // The table's literals are static: the name is taken as it is.
        if (row.cls->measure == MeasureRule::Icon && row.text)
            p.state->icons.emplace_back(static_cast<uint16_t>(row.id), row.text);
    }
    p.bytes = BuildDialogTemplate(header, table, texts);
    if (p.bytes.empty()) {
        p.state.reset();
        return p;
    }

    p.state->context = context;
    p.state->items = MakeItemStates(table);
    p.state->dpi = dpi;
    p.state->messageFont = header.font.has_value();
    if (haveFont) {
        p.state->scrollWidth = metrics.iScrollWidth;
        p.state->scrollHeight = metrics.iScrollHeight;
    }
    return p;
}

}  // namespace

int RunDialog(HWND parent, const wchar_t* title, UINT titleStringId, DWORD style, DWORD exStyle,
              DialogTable table, void* context) {
    Prepared p = Prepare(title, titleStringId, style, exStyle, table, context);
    if (p.bytes.empty() || !p.state) return 0;
    // The state outlives the dialog here and is freed on return, also when
    // the system could not create the dialog (-1).
    const INT_PTR result = UiDialogBoxIndirectParam(
        ::GetModuleHandleA(nullptr), reinterpret_cast<const DLGTEMPLATE*>(p.bytes.data()), parent,
        LayoutDialogProc, reinterpret_cast<LPARAM>(p.state.get()));
    // The modal loop ends at a quit message and puts it back; the result it
    // then returns (IDOK on Wine) is nobody's answer.
    MSG quit;
    if (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) return 0;
    return static_cast<int>(result);
}

HWND OpenDialog(HWND parent, const wchar_t* title, UINT titleStringId, DWORD style, DWORD exStyle,
                DialogTable table, void* context) {
    Prepared p = Prepare(title, titleStringId, style, exStyle, table, context);
    if (p.bytes.empty() || !p.state) return nullptr;
    HWND dialog = UiCreateDialogIndirectParam(
        ::GetModuleHandleA(nullptr), reinterpret_cast<const DLGTEMPLATE*>(p.bytes.data()), parent,
        LayoutDialogProc, reinterpret_cast<LPARAM>(p.state.get()));
    if (!dialog) return nullptr;  // the state goes with `p`
    // From here the window frees it, at WM_DESTROY.
    p.state->ownedByWindow = true;
    (void)p.state.release();
    return dialog;
}

INT_PTR CALLBACK LayoutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        return OnInitDialog(dialog, wParam, FromInteger<DialogState*>(lParam));
    // Before WM_INITDIALOG (WM_SETFONT, the first WM_SIZE) and after
    // WM_DESTROY there is nothing to lay out or route to.
    DialogState* state = StateOf(dialog);
    if (!state) return FALSE;
    switch (message) {
        case WM_SIZE: return OnSize(dialog, state);
        case WM_GETMINMAXINFO: return OnGetMinMaxInfo(state, lParam);
        case kWmDpiChanged: return OnDpiChanged(dialog, state, wParam, lParam);
        case WM_DESTROY: return OnDestroy(dialog, state);
        default: return Route(dialog, state, message, wParam, lParam);
    }
}

void* DialogContext(HWND dialog) {
    DialogState* state = StateOf(dialog);
    return state ? state->context : nullptr;
}

void MeasureText(HWND control, const wchar_t* text, SIZE* size) {
    if (!control || !text || !size) return;
    GdiTextMetrics metrics(nullptr, 0, 0, kBaseDpi, control);
    const Size s = MeasureText(metrics, 0, ToU16(text));
    size->cx += s.width;
    size->cy += s.height;
}

void MakePlainCheckBox(HWND dialog, int id) {
    HWND box = ::GetDlgItem(dialog, id);
    if (!box) return;
    const auto style = static_cast<DWORD>(::GetWindowLongW(box, GWL_STYLE));
    ::SendMessageW(box, BM_SETSTYLE, (style & 0xFFFF & ~DWORD{BS_TYPEMASK}) | BS_CHECKBOX, FALSE);
}

bool SetBoldFont(HWND dialog, int id) {
    DialogState* state = StateOf(dialog);
    HWND control = ::GetDlgItem(dialog, id);
    if (!state || !control) return false;
    UniqueFont bold = BoldCopy(FontOf(control));
    if (!bold) return false;
    SendFont(control, bold.get());
    state->fonts.push_back(std::move(bold));
    // Bold again in the font of a new DPI.
    state->boldIds.push_back(id);
    return true;
}

}  // namespace tarvik
