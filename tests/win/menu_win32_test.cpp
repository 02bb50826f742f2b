// The tray menus built as real HMENUs and read back through the system: they
// hold exactly their rows (identifiers, texts, states, check-mark bitmaps,
// picture items, submenus); a rebuild leaves no old submenu alive.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "ui/tray/commands.h"
#include "ui/tray/menu_win32.h"
#include "ui/tray/tray_win32.h"

namespace tarvik {
namespace {

#ifndef _WIN64
static_assert(sizeof(MENUITEMINFOW) == 48, "the 32-bit structure the system expects");
#endif

MenuBitmap WhichBitmap(const TrayMenus& menus, HBITMAP bitmap) {
    for (MenuBitmap b : {MenuBitmap::CSpeed, MenuBitmap::Eject, MenuBitmap::Close})
        if (bitmap && menus.Bitmap(b) == bitmap) return b;
    return MenuBitmap::None;
}

MenuRows ReadMenu(HMENU menu, const TrayMenus& menus) {
    MenuRows rows;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_DATA;
        EXPECT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info));
        MenuRow row;
        if (info.fType & MFT_SEPARATOR) {
            row.kind = MenuRowKind::Separator;
            rows.push_back(row);
            continue;
        }
        row.checked = (info.fState & MFS_CHECKED) != 0;
        row.grayed = (info.fState & MF_GRAYED) != 0;
        row.disabled = (info.fState & MF_DISABLED) != 0;
        row.checkMark = WhichBitmap(menus, info.hbmpChecked);
        row.data = static_cast<uint32_t>(info.dwItemData);
        row.id = info.hSubMenu ? 0 : static_cast<uint16_t>(info.wID);
        info.fMask = MIIM_TYPE;  // the text, or the picture of a bitmap item
        info.dwTypeData = text;
        info.cch = ARRAYSIZE(text);
        EXPECT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info));
        if (info.fType & MFT_BITMAP) {
            row.kind = MenuRowKind::Bitmap;
            row.bitmap = WhichBitmap(menus, reinterpret_cast<HBITMAP>(info.dwTypeData));
        } else {
            row.text.assign(text, text + wcslen(text));
        }
        if (HMENU sub = GetSubMenu(menu, i)) {
            row.kind = MenuRowKind::Submenu;
            row.children = ReadMenu(sub, menus);
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<HMENU> Submenus(HMENU menu) {
    std::vector<HMENU> found;
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
        if (HMENU sub = GetSubMenu(menu, i)) found.push_back(sub);
    return found;
}

CdromDrive Drive(const char* name, std::vector<uint32_t> x, uint32_t letter = 'D') {
    CdromDrive d;
    std::memcpy(d.Name, name, std::strlen(name));
    std::copy(name, name + std::strlen(name), d.DefaultShortName);
    d.SpeedListCD.Factor = kFactorCD;
    d.CurrentFamily = MediumFamily::CD;
    for (uint32_t s : x) d.SpeedListCD.Entries[d.SpeedListCD.Count++] = {s * 176, s * 176};
    d.MediumPresent = 1;
    d.Address.letter = letter;
    return d;
}

class TrayMenusTest : public testing::Test {
protected:
    void SetUp() override {
        // The bitmaps come from the program next to the test.
        wchar_t path[MAX_PATH] = {};
        std::wstring exe(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
        exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"tarvik.exe";
        module_ = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr);
        ASSERT_TRUE(menus_.Create(module_));
    }
    void TearDown() override { FreeLibrary(module_); }

    // Grouped speeds with 16x chosen and 8x running, a busy, an ignored drive.
    static CdromListType Drives() {
        CdromDrive grouped = Drive("GROUPED", {48, 40, 32, 24, 20, 16, 12, 10, 8, 4});
        grouped.ShortMenu = 1;
        grouped.SpeedListCD.Selected = 16 * 176;
        grouped.CurrentSpeed = 8 * 176;
        CdromDrive busy = Drive("BUSY", {8}), ignored = Drive("IGNORED", {8});
        busy.Busy = 1;
        ignored.Ignore = 1;
        CdromDrive plain = Drive("PLAIN", {24, 8}, 'F');
        plain.MediumPresent = 0;
        return CdromListType{{grouped, busy, ignored, plain}};
    }

    HMODULE module_ = nullptr;
    TrayMenus menus_;
};

// The rows as a menu holds them: which rows form a list only guides the insertion.
MenuRows AsShown(MenuRows rows) {
    for (MenuRow& row : rows) {
        row.listItem = false;
        row.children = AsShown(std::move(row.children));
    }
    return rows;
}

TEST_F(TrayMenusTest, SpeedMenuHoldsItsRowsInEveryLayout) {
    for (MenuBitmap b : {MenuBitmap::CSpeed, MenuBitmap::Eject, MenuBitmap::Close})
        EXPECT_NE(menus_.Bitmap(b), nullptr) << MenuBitmapName(b);
    const CdromListType list = Drives();
    std::vector<HMENU> previous;
    struct Layout {
        const char* what;
        bool ejectSingle, topNames, deepMenu;
    };
    for (const Layout& l :
         {Layout{"eject single", true, false, false},
          Layout{"eject and close", false, false, false}, Layout{"names above", false, true, false},
          Layout{"deep", false, false, true}}) {
        const char* layout = l.what;
        SpeedMenuOptions o;
        o.ejectSingle = l.ejectSingle;
        o.topNames = l.topNames;
        o.deepMenu = l.deepMenu;
        o.cmdOpen = true;
        menus_.SpeedMenuBuild(list, o);
        EXPECT_EQ(ReadMenu(menus_.SpeedMenu(), menus_), AsShown(BuildSpeedMenu(list, o))) << layout;
        for (HMENU old : previous) EXPECT_FALSE(IsMenu(old)) << layout;
        previous = Submenus(menus_.SpeedMenu());
        EXPECT_FALSE(previous.empty()) << layout;
    }
}

BITMAP BitmapInfo(HBITMAP bitmap) {
    BITMAP info{};
    GetObjectW(bitmap, sizeof(info), &info);
    return info;
}

TEST_F(TrayMenusTest, BitmapsTakeTheCheckMarkSizeOfTheDpiAndNoItemKeepsAnOldOne) {
    const CdromListType list = Drives();
    for (auto [dpi, side] : {std::pair{144, 20}, {192, 26}, {96, 13}}) {
        menus_.SpeedMenuBuild(list, SpeedMenuOptions{});
        menus_.RMenuInsertList(list, false);
        ASSERT_GT(GetMenuItemCount(menus_.SpeedMenu()), 0);
        menus_.UseDpi(dpi);
        for (MenuBitmap b : {MenuBitmap::CSpeed, MenuBitmap::Eject, MenuBitmap::Close}) {
            const BITMAP info = BitmapInfo(menus_.Bitmap(b));
            EXPECT_EQ(info.bmWidth, side) << dpi << " " << MenuBitmapName(b);
            EXPECT_EQ(info.bmHeight, side) << dpi << " " << MenuBitmapName(b);
            EXPECT_EQ(info.bmBitsPixel, 1) << dpi << " " << MenuBitmapName(b);
        }
        EXPECT_EQ(GetMenuItemCount(menus_.SpeedMenu()), 0) << dpi;
        EXPECT_EQ(GetMenuItemCount(menus_.RightMenu()),
                  static_cast<int>(RightMenuFixedRows().size()))
            << dpi;
    }
    // The same size again loads nothing.
    const HBITMAP kept = menus_.Bitmap(MenuBitmap::Eject);
    menus_.UseDpi(96);
    EXPECT_EQ(menus_.Bitmap(MenuBitmap::Eject), kept);
}

int IconSide(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info)) return 0;
    const int side = BitmapInfo(info.hbmMask).bmWidth;
    DeleteObject(info.hbmMask);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    return side;
}

// The tray icon's pictures live beside the menus' in the program's resources.
TEST_F(TrayMenusTest, TrayIconTakesTheSmallIconSizeOfTheDpiAndKeepsItsPicture) {
    TrayIcon icon;
    icon.LoadIcons(module_, true, 96);
    icon.Init(nullptr);
    EXPECT_EQ(IconSide(icon.Record().hIcon), 16);
    icon.UseDpi(module_, true, 144, false);
    const HICON at144 = icon.Record().hIcon;
    EXPECT_EQ(IconSide(at144), 24);
    icon.UseDpi(module_, true, 144, false);
    EXPECT_EQ(icon.Record().hIcon, at144);
}

TEST_F(TrayMenusTest, RightMenuRebuildsItsDrivesAndLogsIt) {
    EXPECT_EQ(ReadMenu(menus_.RightMenu(), menus_), RightMenuFixedRows());
    wchar_t previous[MAX_PATH], temp[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    GetTempPathW(MAX_PATH, temp);
    ASSERT_TRUE(SetCurrentDirectoryW(temp));
    ASSERT_EQ(LogOpen("menulog", ".txt"), 1);
    const std::string path = LogPath();

    const CdromListType list = Drives();
    menus_.RMenuInsertList(list, false);
    EXPECT_EQ(ReadMenu(menus_.RightMenu(), menus_), BuildRightMenu(list, {false, true}));
    HMENU ignMenu = GetSubMenu(menus_.RightMenu(), 12);
    ASSERT_NE(ignMenu, nullptr);
    const CdromListType one{{list.drives[0]}};
    menus_.RMenuInsertList(one, true);
    EXPECT_FALSE(IsMenu(ignMenu));
    EXPECT_EQ(ReadMenu(menus_.RightMenu(), menus_), BuildRightMenu(one, {true, true}));

    LogClose();
    std::ifstream in(path);
    std::string log;  // without time stamps and line ends
    for (std::string line; std::getline(in, line);)
        log += line.substr(13, line.find_last_not_of('\r') - 12) + "\n";
    in.close();
    DeleteFileA(path.c_str());
    SetCurrentDirectoryW(previous);
    char ign[16];
    std::snprintf(ign, sizeof(ign), "0x%X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(ignMenu)));
    EXPECT_EQ(log.substr(0, log.find("STR_MNU_IGNORED")),
              std::string("RMenuInsertList STARTED\n    ign_menu=") + ign +
                  "\n    Inserting [GROUPED] into RMenu\n    Inserting [BUSY] into RMenu\n"
                  "    Inserting [IGNORED] into ign_menu\n    Inserting [PLAIN] into RMenu\n    ");
    EXPECT_NE(log.find(std::string("    RMenuInsertList FINISHED\nRMenuClearList: DestroyMenu(") +
                       ign + ")\n"),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace tarvik
