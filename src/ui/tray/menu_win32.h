#pragma once
// The tray icon's two popup menus as HMENUs: the program menu (RMenu, created
// once with its fixed items, its drive entries rebuilt on each showing) and
// the speed menu (emptied and rebuilt on each showing), built from the rows of
// menu_model. One object owns both menus, their submenus and the three menu
// bitmaps.
#include <windows.h>

#include "platform/handles_win32.h"
#include "ui/tray/menu_model.h"

namespace tarvik {

class TrayMenus {
public:
    TrayMenus() = default;
    TrayMenus(const TrayMenus&) = delete;
    TrayMenus& operator=(const TrayMenus&) = delete;

    // Loads the bitmaps from `module` at the system's DPI (a missing one
    // leaves its items without a picture) and creates RMenu with its fixed
    // items and the empty speed menu. False, keeping nothing, when a menu or
    // an item can't be made.
    [[nodiscard]] bool Create(HINSTANCE module);

    // The bitmaps at the size of a check mark at `dpi` (13 pixels at 96),
    // loaded again when that size changes. The drive rows of both menus go
    // first, so that no item keeps a picture that is gone; each showing
    // builds them again. The two Show calls take the DPI at the cursor.
    void UseDpi(int dpi);

    // Right click: the drive entries and "Ignored" rebuilt, Help enabled when
    // the help file exists, then the menu at the cursor.
    void ShowRightMenu(HWND window, const CdromListType& list, bool helpFileExists);
    // Left click: the speed menu rebuilt from the drives, then shown.
    void ShowSpeedMenu(HWND window, const CdromListType& list, const SpeedMenuOptions& options);

    // The rebuilding halves of the two, without showing.
    void RMenuInsertList(const CdromListType& list, bool helpFileExists);
    void RMenuClearList();
    void SpeedMenuBuild(const CdromListType& list, const SpeedMenuOptions& options);

    HMENU RightMenu() const { return rMenu_.get(); }
    HMENU SpeedMenu() const { return speedMenu_.get(); }
    HBITMAP Bitmap(MenuBitmap which) const;

private:
    // Declared first so the menus that show them go before them.
    UniqueBitmap bitmaps_[kMenuBitmapCount];
    HINSTANCE module_ = nullptr;
    int bitmapSide_ = 0;
    UniqueMenu rMenu_;
    UniqueMenu speedMenu_;
};

// Inserts `rows` into `menu` from `position` on, creating a popup menu for
// each submenu row (owned by `menu` once inserted), in the order and with the
// failure rules of PlaceMenuRows. Returns how many rows went in.
UINT InsertMenuRows(HMENU menu, UINT position, const MenuRows& rows, const TrayMenus& bitmaps);

// At the cursor, with the main window in front so the menu closes when the
// user clicks elsewhere. The choice arrives as WM_COMMAND.
void ShowPopupMenu(HWND window, HMENU menu);

}  // namespace tarvik
