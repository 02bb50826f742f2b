#pragma once
// A dialog is a table of rows: each names a control class, an id, a text and
// the container it sits in. The engine builds the template, measures and
// places the controls from these rows alone; the _win32 side only creates
// the windows and routes their messages to the rows' handlers.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

struct HWND__;  // the dialog window; only the _win32 side looks inside

namespace tarvik {

// Stretch kind of a control along one axis. Along a container's stacking
// axis free space goes to Expand children, else to Fill children, else is
// spread around the Fixed ones; across it, anything but Fixed takes the
// container's full size.
enum class StretchKind : uint8_t { Fixed = 0, Expand = 1, Fill = 2 };

// What a container's text asks of its own kinds after measuring; a code sets
// only the axes it names, anything else keeps the measured kinds.
enum LayoutCode : unsigned {
    kLayoutKeep = 0,
    kLayoutFixed = 1,
    kLayoutExpand = 2,
    kLayoutExpandH = 3,
    kLayoutExpandV = 4,
    kLayoutFill = 5,
    kLayoutFillH = 6,
    kLayoutFillV = 7,
};

enum class MeasureRule : uint8_t {
    CompactButton,
    Button,
    CheckMark,
    Edit,
    HotKey,
    Label,      // text, Fixed/Fixed
    LabelFill,  // text, Fill/Fixed
    SmallIcon,
    Icon,
    Spacer,
    Progress,
    ListView,
    RichText,
    GroupRow,
    GroupColumn,
    Row,
    Column,
};

enum class PlaceRule : uint8_t {
    None,  // never moved: spacers and containers stay zero-sized at the origin
    Move,
    GroupRow,
    GroupColumn,
    Row,
    Column,
};

// Done once at WM_INITDIALOG, before the item's handler.
enum class ClassInit : uint8_t { None, FocusSelf, ListViewColumns, RichTextCharset };

// Done while the template is built, once per item of the class: what the
// system needs before it can create the class's windows.
enum class ClassPrepare : uint8_t {
    None,
    ListViewClass,
    HotKeyClass,
    ProgressClass,
    RichEditLibrary
};

struct ControlClass {
    const char16_t* windowClass;
    uint32_t style;  // the engine adds WS_CHILD | WS_VISIBLE
    uint32_t exStyle;
    bool opaque;  // paints its whole rectangle: left out of the background repaint
    ClassInit init;
    MeasureRule measure;
    PlaceRule place;
    ClassPrepare prepare;
};

constexpr uint32_t kWsChildVisible = 0x50000000;

// The 22 control classes. In a namespace of their own: Row and Column are
// common words elsewhere in the program.
namespace ctl {
// clang-format off
inline constexpr ControlClass SmallButton   {u"BUTTON", 0x00010000, 0, true, ClassInit::None, MeasureRule::CompactButton, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass DefaultButton {u"BUTTON", 0x00010001, 0, true, ClassInit::FocusSelf, MeasureRule::Button, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass Button        {u"BUTTON", 0x00010000, 0, true, ClassInit::None, MeasureRule::Button, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass RadioFirst    {u"BUTTON", 0x00032009, 0, true, ClassInit::None, MeasureRule::CheckMark, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass Radio         {u"BUTTON", 0x00012009, 0, true, ClassInit::None, MeasureRule::CheckMark, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass CheckBox      {u"BUTTON", 0x00012003, 0, true, ClassInit::None, MeasureRule::CheckMark, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass EditRight     {u"EDIT", 0x00810082, 0, true, ClassInit::None, MeasureRule::Edit, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass Edit          {u"EDIT", 0x00810080, 0, true, ClassInit::None, MeasureRule::Edit, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass Spacer        {u"STATIC", 0x0000000D, 0, false, ClassInit::None, MeasureRule::Spacer, PlaceRule::None, ClassPrepare::None};
inline constexpr ControlClass GroupRow      {u"BUTTON", 0x00000007, 0, false, ClassInit::None, MeasureRule::GroupRow, PlaceRule::GroupRow, ClassPrepare::None};
inline constexpr ControlClass GroupColumn   {u"BUTTON", 0x00000007, 0, false, ClassInit::None, MeasureRule::GroupColumn, PlaceRule::GroupColumn, ClassPrepare::None};
inline constexpr ControlClass HotKey        {u"msctls_hotkey32", 0x00810000, 0, true, ClassInit::None, MeasureRule::HotKey, PlaceRule::Move, ClassPrepare::HotKeyClass};
inline constexpr ControlClass SmallIcon     {u"STATIC", 0x00000003, 0, true, ClassInit::None, MeasureRule::SmallIcon, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass Icon          {u"STATIC", 0x00000003, 0, true, ClassInit::None, MeasureRule::Icon, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass LabelRight    {u"STATIC", 0x00000102, 0, true, ClassInit::None, MeasureRule::LabelFill, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass LabelCenter   {u"STATIC", 0x00000101, 0, true, ClassInit::None, MeasureRule::LabelFill, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass Label         {u"STATIC", 0x00000100, 0, true, ClassInit::None, MeasureRule::Label, PlaceRule::Move, ClassPrepare::None};
inline constexpr ControlClass ListView      {u"SysListView32", 0x00818005, 0, true, ClassInit::ListViewColumns, MeasureRule::ListView, PlaceRule::Move, ClassPrepare::ListViewClass};
inline constexpr ControlClass Progress      {u"msctls_progress32", 0x00000001, 0, true, ClassInit::None, MeasureRule::Progress, PlaceRule::Move, ClassPrepare::ProgressClass};
inline constexpr ControlClass RichText      {u"RichEdit", 0x00B108C4, 0, true, ClassInit::RichTextCharset, MeasureRule::RichText, PlaceRule::Move, ClassPrepare::RichEditLibrary};
inline constexpr ControlClass Row           {u"STATIC", 0x0000000D, 0, false, ClassInit::None, MeasureRule::Row, PlaceRule::Row, ClassPrepare::None};
inline constexpr ControlClass Column        {u"STATIC", 0x0000000D, 0, false, ClassInit::None, MeasureRule::Column, PlaceRule::Column, ClassPrepare::None};
// clang-format on
}  // namespace ctl

// WPARAM and LPARAM of either Windows build, without <windows.h>: the _win32
// side checks that they are the very same types.
using MsgWParam = uintptr_t;
using MsgLParam = std::conditional_t<sizeof(long) == sizeof(void*), long, long long>;

// Receives the dialog messages routed to one control (by its id). Its result
// is the dialog procedure's (non-zero: handled); pointer-sized, so a handler
// can answer WM_CTLCOLORSTATIC with a brush on 64-bit Windows too.
using ItemHandler = intptr_t (*)(HWND__* dialog, uint16_t id, unsigned message, MsgWParam wParam,
                                 MsgLParam lParam);

struct DialogItem {
    const ControlClass* cls;
    uint32_t id;           // low 16 bits used; 1 and 2 are OK and Cancel
    const char16_t* text;  // literal text, or null for the string-table text
    uint32_t stringId;     // used when text is null; 0: empty
    uint32_t parent;       // container id, 0 = the dialog's root column
    ItemHandler handler;   // or null
};

using DialogTable = std::span<const DialogItem>;

constexpr bool IsContainer(const ControlClass* cls) {
    return cls == &ctl::Row || cls == &ctl::Column;
}

// Dialog styles the engine adds.
constexpr uint32_t kDsSetFont = 0x40;
constexpr uint32_t kDsCenterMouse = 0x1000;

// The caption: title, " - ", string text; the separator only between two
// non-empty parts.
std::u16string DialogCaption(std::u16string_view title, std::u16string_view stringText);

// The row's initial text: its literal, else its string-table text as `lookup`
// gives it (empty for id 0 or a missing string).
using StringLookup = std::u16string (*)(unsigned id);
std::u16string ItemInitialText(const DialogItem& item, StringLookup lookup);

}  // namespace tarvik
