#pragma once
// The two popup menus of the tray icon as rows: the program menu (right click)
// and the speed menu (left click). The rows are the finished menus, top to
// bottom, computed from the drive list and the settings alone; the Win32 side
// (menu_win32) only turns them into HMENUs, so every rule is tested on Linux.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "drive/drive.h"
#include "settings/store.h"

namespace tarvik {

enum class MenuRowKind : uint8_t {
    Item,       // text with an identifier
    Separator,  // a line
    Submenu,    // text that opens `children`
    Bitmap,     // a picture (`bitmap`) with an identifier
};

// The program's menu bitmaps, loaded by name from its resources.
enum class MenuBitmap : uint8_t { None, CSpeed, Eject, Close };
constexpr unsigned kMenuBitmapCount = 3;  // CSpeed, Eject, Close
// "BitmapCSpeed", "BitmapEject", "BitmapClose"; null for None.
const char* MenuBitmapName(MenuBitmap bitmap);

struct MenuRow {
    MenuRowKind kind = MenuRowKind::Item;
    uint16_t id = 0;  // WM_COMMAND identifier; 0 for separators and submenus
    std::u16string text;
    bool checked = false;
    bool grayed = false;                      // drawn grey; always disabled too
    bool disabled = false;                    // not selectable (drawn normally unless grayed)
    MenuBitmap checkMark = MenuBitmap::None;  // drawn instead of the standard check mark
    MenuBitmap bitmap = MenuBitmap::None;     // the picture of a Bitmap row
    uint32_t data = 0;                        // item data
    std::vector<MenuRow> children;            // of a Submenu row
    // An item of a speed list shown whole (not grouped): the list's items go
    // in from the slowest up, and the first that fails ends the list.
    bool listItem = false;

    bool operator==(const MenuRow&) const = default;
};
using MenuRows = std::vector<MenuRow>;

// ---- speed menu (left click) -----------------------------------------------------

// The global options the speed menu depends on.
struct SpeedMenuOptions {
    bool numNames = true;     // short names instead of the INQUIRY name
    bool ejectSingle = true;  // the name is the eject command; no close item
    bool deepMenu = false;    // one submenu per drive
    bool topNames = false;    // the name above the drive's block
    bool cmdOpen = false;     // "Browse"
    bool cmdExplore = true;   // "Explorer"
    bool cmdAutorun = true;   // "Autorun"
};
SpeedMenuOptions SpeedMenuOptionsFrom(const GlobalSettingsRecord& settings);

// Every drive that is not ignored, the first at the top. Asks HasAutorunInf
// about drives with a disc when the Autorun command is shown.
MenuRows BuildSpeedMenu(const CdromListType& list, const SpeedMenuOptions& options);

// The speed items of one drive's current list (plain or grouped by tens with
// the drive's ShortMenu option), top to bottom, without the separator above.
MenuRows SpeedItemRows(const CdromDrive& drive, unsigned driveIndex);

// Puts `rows` into a menu through `insert(position, row)` (true when the row
// went in), top to bottom from `position` on. A row that fails is left out and
// the rest go on, except in a run of list items, which go in from the last
// (slowest) up, each at the run's top, until the first that fails. Returns how
// many rows went in. A template, not std::function: that would link the
// exception machinery (and the 32-bit unwinder) into the exe for one call.
template <typename Insert>
unsigned PlaceMenuRows(const MenuRows& rows, unsigned position, Insert&& insert) {
    unsigned inserted = 0;
    for (size_t i = 0; i < rows.size();) {
        if (!rows[i].listItem) {
            if (insert(position + inserted, rows[i])) ++inserted;
            ++i;
            continue;
        }
        // A separator always follows a drive's list, so a run is one list.
        size_t end = i;
        while (end < rows.size() && rows[end].listItem) ++end;
        const unsigned top = position + inserted;
        for (size_t k = end; k-- > i;) {
            if (!insert(top, rows[k])) break;
            ++inserted;
        }
        i = end;
    }
    return inserted;
}

// ---- program menu (right click) --------------------------------------------------

// The items the menu is created with, top to bottom: About ... Exit.
MenuRows RightMenuFixedRows();
// Where the rows rebuilt on each showing start: after "Detect drives".
constexpr size_t kRightMenuDynamicPosition = 9;

struct RightMenuInputs {
    bool helpFileExists = false;
    // False when the submenu of ignored drives could not be made: those drives
    // then stand with the others and "Ignored" stays empty.
    bool ignoredSubmenu = true;
};

// The rows tagged RMENU_DYNAMIC_TAG that go in at kRightMenuDynamicPosition:
// one per drive (its options), then the "Ignored" submenu.
MenuRows RightMenuDynamicRows(const CdromListType& list, const RightMenuInputs& inputs);

// The whole menu as it is shown: the fixed rows with Help enabled or grayed and
// the dynamic rows in their place.
MenuRows BuildRightMenu(const CdromListType& list, const RightMenuInputs& inputs);

// The help file (the program's path with ".chm") is there.
bool HelpFileExists();

// ---- shared ---------------------------------------------------------------------

// The name a menu shows for a drive: with NumNames its short name (the user's
// when set, else the default), without it the INQUIRY name.
std::u16string MenuDriveName(const CdromDrive& drive, bool numNames);
// The INQUIRY name, each byte widened (the name is ASCII by the standard).
std::u16string WidenDriveName(const CdromDrive& drive);

}  // namespace tarvik
