#include "ui/tray/menu_win32.h"

#include <algorithm>
#include <string>
#include <vector>

#include "base/log.h"
#include "platform/dpi_win32.h"
#include "ui/tray/commands.h"

namespace tarvik {
namespace {

// Handles and addresses in the log are their low 32 bits, as "0x%X" prints them.
unsigned LogBits(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

// The ANSI form of a drive name the menu widened byte by byte.
std::string NarrowName(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x100 ? static_cast<char>(c) : '?');
    return out;
}

// DeleteMenu destroys each submenu with its own submenus.
void EmptyMenu(HMENU menu) {
    if (!menu) return;
    while (::GetMenuItemCount(menu) > 0)
        if (!::DeleteMenu(menu, 0, MF_BYPOSITION)) break;
}

// A menu opens at the cursor, on that monitor.
int CursorDpi() {
    POINT cursor{};
    (void)::GetCursorPos(&cursor);
    return DpiAtPoint(cursor);
}

UINT StateOf(const MenuRow& row) {
    UINT state = row.checked ? MFS_CHECKED : MFS_UNCHECKED;
    // MFS_DISABLED is MFS_GRAYED in the headers; MF_DISABLED alone keeps the
    // text drawn normally, which the drive name labels want.
    if (row.grayed)
        state |= MFS_GRAYED;
    else if (row.disabled)
        state |= MF_DISABLED;
    return state;
}

// A text or submenu item. cbSize is this build's own: the 64-bit calls reject
// the 32-bit size.
bool InsertTextItem(HMENU menu, UINT position, const MenuRow& row, HMENU submenu) {
    std::wstring text(row.text.begin(), row.text.end());
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE | MIIM_ID | MIIM_TYPE | MIIM_DATA | (submenu ? MIIM_SUBMENU : 0);
    info.fType = MFT_STRING;
    info.fState = StateOf(row);
    info.wID = row.id;
    info.hSubMenu = submenu;
    info.dwItemData = row.data;
    info.dwTypeData = text.data();
    info.cch = static_cast<UINT>(text.size());
    return ::InsertMenuItemW(menu, position, TRUE, &info) != FALSE;
}

bool InsertRow(HMENU menu, UINT position, const MenuRow& row, const TrayMenus& owner) {
    switch (row.kind) {
        case MenuRowKind::Separator:
            return ::InsertMenuW(menu, position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr) != FALSE;
        case MenuRowKind::Bitmap:
            return ::InsertMenuW(menu, position, MF_BYPOSITION | MF_BITMAP | StateOf(row), row.id,
                                 reinterpret_cast<LPCWSTR>(owner.Bitmap(row.bitmap))) != FALSE;
        case MenuRowKind::Submenu: {
            // A submenu that can't be made leaves its item out.
            UniqueMenu submenu(::CreatePopupMenu());
            if (!submenu) return false;
            (void)InsertMenuRows(submenu.get(), 0, row.children, owner);
            if (!InsertTextItem(menu, position, row, submenu.get())) return false;
            (void)submenu.release();  // the item owns it now
            return true;
        }
        case MenuRowKind::Item: return InsertTextItem(menu, position, row, nullptr);
    }
    return false;
}

// The check mark, set after the item exists; a null bitmap keeps the standard one.
void SetCheckMark(HMENU menu, UINT position, const MenuRow& row, const TrayMenus& owner) {
    if (row.checkMark != MenuBitmap::None)
        (void)::SetMenuItemBitmaps(menu, position, MF_BYPOSITION, nullptr,
                                   owner.Bitmap(row.checkMark));
}

// Fixed rows take their state from the model by identifier: Help follows the
// help file.
void ApplyFixedStates(HMENU menu, const MenuRows& rows) {
    for (const MenuRow& row : rows) {
        if (row.data == RMENU_DYNAMIC_TAG || row.kind != MenuRowKind::Item || !row.id) continue;
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_STATE;
        info.fState = StateOf(row);
        (void)::SetMenuItemInfoW(menu, row.id, FALSE, &info);
    }
}

}  // namespace

UINT InsertMenuRows(HMENU menu, UINT position, const MenuRows& rows, const TrayMenus& owner) {
    return PlaceMenuRows(rows, position, [&](unsigned at, const MenuRow& row) {
        if (!InsertRow(menu, at, row, owner)) return false;
        SetCheckMark(menu, at, row, owner);
        return true;
    });
}

void ShowPopupMenu(HWND window, HMENU menu) {
    POINT cursor{};
    (void)::GetCursorPos(&cursor);
    ::SetForegroundWindow(window);
    (void)::TrackPopupMenuEx(menu, TPM_RIGHTALIGN, cursor.x, cursor.y, window, nullptr);
    // Lets the menu close properly when it is opened again from the tray.
    ::PostMessageW(window, WM_NULL, 0, 0);
}

HBITMAP TrayMenus::Bitmap(MenuBitmap which) const {
    const int slot = static_cast<int>(which) - static_cast<int>(MenuBitmap::CSpeed);
    if (slot < 0 || slot >= static_cast<int>(kMenuBitmapCount)) return nullptr;
    return bitmaps_[slot].get();
}

void TrayMenus::UseDpi(int dpi) {
    // The pictures are drawn 13 x 13, the size of a check mark at 96 DPI.
    const int side = ScaleForDpi(13, dpi);
    if (side == bitmapSide_) return;
    RMenuClearList();
    EmptyMenu(speedMenu_.get());
    for (unsigned i = 0; i < kMenuBitmapCount; ++i) {
        const char* name =
            MenuBitmapName(static_cast<MenuBitmap>(static_cast<unsigned>(MenuBitmap::CSpeed) + i));
        bitmaps_[i].reset(side == 13
                              ? ::LoadBitmapA(module_, name)
                              : static_cast<HBITMAP>(::LoadImageA(module_, name, IMAGE_BITMAP, side,
                                                                  side, LR_MONOCHROME)));
    }
    bitmapSide_ = side;
}

bool TrayMenus::Create(HINSTANCE module) {
    module_ = module;
    bitmapSide_ = 0;
    UseDpi(SystemDpi());
    UniqueMenu rMenu(::CreatePopupMenu());
    if (!rMenu) return false;
    const MenuRows fixed = RightMenuFixedRows();
    if (InsertMenuRows(rMenu.get(), 0, fixed, *this) != fixed.size()) return false;
    UniqueMenu speedMenu(::CreatePopupMenu());
    if (!speedMenu) return false;
    rMenu_ = std::move(rMenu);
    speedMenu_ = std::move(speedMenu);
    return true;
}

void TrayMenus::RMenuClearList() {
    HMENU menu = rMenu_.get();
    if (!menu) return;
    for (;;) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_DATA | MIIM_SUBMENU;
        if (!::GetMenuItemInfoW(menu, kRightMenuDynamicPosition, TRUE, &info) ||
            info.dwItemData != RMENU_DYNAMIC_TAG)
            break;
        // Detached first and destroyed once: DeleteMenu would destroy the
        // submenu itself and leave a dead handle to destroy again.
        if (!::RemoveMenu(menu, kRightMenuDynamicPosition, MF_BYPOSITION)) break;
        if (info.hSubMenu) {
            LogPrintf("RMenuClearList: DestroyMenu(0x%X)\n", LogBits(info.hSubMenu));
            const UniqueMenu detached(info.hSubMenu);  // ours again once removed
        }
    }
}

void TrayMenus::RMenuInsertList(const CdromListType& list, bool helpFileExists) {
    HMENU menu = rMenu_.get();
    if (!menu) return;
    RMenuClearList();
    LogPrintf("RMenuInsertList STARTED\n");
    UniqueMenu ignMenu(::CreatePopupMenu());
    LogPrintf("    ign_menu=0x%X\n", LogBits(ignMenu.get()));

    RightMenuInputs inputs;
    inputs.helpFileExists = helpFileExists;
    inputs.ignoredSubmenu = ignMenu != nullptr;
    const MenuRows rows = BuildRightMenu(list, inputs);
    ApplyFixedStates(menu, rows);

    // The drives in list order (their identifiers ascend with the index), each
    // into RMenu or ign_menu, then the "Ignored" item after them.
    struct Placed {
        const MenuRow* row;
        bool ignored;
    };
    std::vector<Placed> drives;
    const MenuRow* ignoredItem = nullptr;
    for (const MenuRow& row : rows) {
        if (row.data != RMENU_DYNAMIC_TAG) continue;
        if (row.kind == MenuRowKind::Submenu) {
            ignoredItem = &row;
            for (const MenuRow& child : row.children) drives.push_back({&child, true});
        } else {
            drives.push_back({&row, false});
        }
    }
    std::stable_sort(drives.begin(), drives.end(),
                     [](const Placed& a, const Placed& b) { return a.row->id < b.row->id; });

    UINT position = kRightMenuDynamicPosition;
    UINT ignPosition = 0;
    for (const Placed& drive : drives) {
        const std::string name = NarrowName(drive.row->text);
        if (drive.ignored) {
            LogPrintf("    Inserting [%s] into ign_menu\n", name.c_str());
            if (InsertTextItem(ignMenu.get(), ignPosition, *drive.row, nullptr)) ++ignPosition;
        } else {
            LogPrintf("    Inserting [%s] into RMenu\n", name.c_str());
            if (InsertTextItem(menu, position, *drive.row, nullptr)) ++position;
        }
    }
    if (ignoredItem) {
        if (InsertTextItem(menu, position, *ignoredItem, ignMenu.get()))
            (void)ignMenu.release();  // RMenu owns it until RMenuClearList
        LogPrintf("    STR_MNU_IGNORED=0x%X\n", LogBits(ignoredItem->text.data()));
    }
    LogPrintf("    RMenuInsertList FINISHED\n");
}

void TrayMenus::SpeedMenuBuild(const CdromListType& list, const SpeedMenuOptions& options) {
    HMENU menu = speedMenu_.get();
    if (!menu) return;
    EmptyMenu(menu);
    (void)InsertMenuRows(menu, 0, BuildSpeedMenu(list, options), *this);
}

void TrayMenus::ShowRightMenu(HWND window, const CdromListType& list, bool helpFileExists) {
    if (!rMenu_) return;
    UseDpi(CursorDpi());
    RMenuInsertList(list, helpFileExists);
    ShowPopupMenu(window, rMenu_.get());
}

void TrayMenus::ShowSpeedMenu(HWND window, const CdromListType& list,
                              const SpeedMenuOptions& options) {
    if (!speedMenu_) return;
    UseDpi(CursorDpi());
    SpeedMenuBuild(list, options);
    ShowPopupMenu(window, speedMenu_.get());
}

}  // namespace tarvik
