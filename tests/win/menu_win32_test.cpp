// The tray menus built as real HMENUs from their rows and read back through
// the system: identifiers, texts, states, check-mark bitmaps, bitmap items and
// submenus are what the model says; rebuilding leaves no old submenu alive;
// the right-click rebuild writes its log lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "ui/commands.h"
#include "ui/menu_win32.h"

namespace tarvik {
namespace {

#ifndef _WIN64
static_assert(sizeof(MENUITEMINFOW) == 48, "the 32-bit structure the system expects");
#endif

std::wstring ProgramPath() {
    wchar_t self[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    path.erase(path.find_last_of(L"\\/") + 1);
    return path + L"tarvik.exe";
}

MenuBitmap WhichBitmap(const TrayMenus& menus, HBITMAP bitmap) {
    for (MenuBitmap b : {MenuBitmap::CSpeed, MenuBitmap::Eject, MenuBitmap::Close})
        if (bitmap && menus.Bitmap(b) == bitmap) return b;
    return MenuBitmap::None;
}

// A menu as rows again, everything read through GetMenuItemInfoW.
MenuRows ReadMenu(HMENU menu, const TrayMenus& menus) {
    MenuRows rows;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_CHECKMARKS |
                     MIIM_DATA | MIIM_BITMAP;
        EXPECT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &info)) << "item " << i;
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
        if (info.fType & MFT_BITMAP) {
            row.kind = MenuRowKind::Bitmap;
            row.id = static_cast<uint16_t>(info.wID);
            MENUITEMINFOW type{};
            type.cbSize = sizeof(type);
            type.fMask = MIIM_TYPE;
            EXPECT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &type));
            HBITMAP bitmap =
                info.hbmpItem ? info.hbmpItem : reinterpret_cast<HBITMAP>(type.dwTypeData);
            row.bitmap = WhichBitmap(menus, bitmap);
            rows.push_back(row);
            continue;
        }
        wchar_t text[128] = {};
        MENUITEMINFOW string{};
        string.cbSize = sizeof(string);
        string.fMask = MIIM_STRING;
        string.dwTypeData = text;
        string.cch = ARRAYSIZE(text);
        EXPECT_TRUE(GetMenuItemInfoW(menu, i, TRUE, &string));
        row.text.assign(text, text + wcslen(text));
        if (info.hSubMenu) {
            row.kind = MenuRowKind::Submenu;
            row.children = ReadMenu(info.hSubMenu, menus);
        } else {
            row.id = static_cast<uint16_t>(info.wID);
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<HMENU> Submenus(HMENU menu) {
    std::vector<HMENU> found;
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
        if (HMENU sub = GetSubMenu(menu, i)) {
            found.push_back(sub);
            for (HMENU inner : Submenus(sub)) found.push_back(inner);
        }
    return found;
}

constexpr uint32_t Cd(uint32_t x) { return x * 1764 / 10; }

CdromDrive Drive(const char* name, std::vector<uint32_t> speeds, uint32_t letter = 'D') {
    CdromDrive d;
    std::memcpy(d.Name, name, std::strlen(name));
    for (size_t i = 0; i < 8 && name[i]; ++i)
        d.DefaultShortName[i] = static_cast<char16_t>(name[i]);
    d.SpeedListCD.Factor = kFactorCD;
    d.CurrentFamily = MediumFamily::CD;
    for (uint32_t s : speeds) d.SpeedListCD.Entries[d.SpeedListCD.Count++] = {s, s};
    d.MediumPresent = 1;
    d.TrayClosed = 1;
    d.Address.letter = letter;
    return d;
}

class TrayMenusTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "cannot load tarvik.exe next to the test program";
        ASSERT_TRUE(menus_.Create(module_));
    }

    // The ShortMenu example drive with 20x selected and running at 8x, another
    // drive busy, a third one ignored.
    static CdromListType Drives() {
        CdromDrive grouped = Drive("GROUPED", {Cd(48), Cd(40), Cd(32), Cd(24), Cd(20), Cd(16),
                                               Cd(12), Cd(10), Cd(8), Cd(4)});
        grouped.ShortMenu = 1;
        grouped.SpeedListCD.Selected = Cd(16);
        grouped.CurrentSpeed = Cd(8);
        CdromDrive busy = Drive("BUSY", {Cd(8)});
        busy.Busy = 1;
        CdromDrive ignored = Drive("IGNORED", {Cd(8)});
        ignored.Ignore = 1;
        CdromDrive plain = Drive("PLAIN", {Cd(24), Cd(8)}, 'F');
        plain.MediumPresent = 0;
        return CdromListType{{grouped, busy, ignored, plain}};
    }

    static HMODULE module_;
    TrayMenus menus_;
};
HMODULE TrayMenusTest::module_ = nullptr;

TEST_F(TrayMenusTest, CreatedWithTheFixedItemsAndTheBitmaps) {
    for (MenuBitmap b : {MenuBitmap::CSpeed, MenuBitmap::Eject, MenuBitmap::Close})
        EXPECT_NE(menus_.Bitmap(b), nullptr) << MenuBitmapName(b);
    EXPECT_EQ(ReadMenu(menus_.RightMenu(), menus_), RightMenuFixedRows());
    EXPECT_EQ(GetMenuItemCount(menus_.SpeedMenu()), 0);
}

TEST_F(TrayMenusTest, SpeedMenuReadsBackAsItsRowsInEveryLayout) {
    struct Case {
        const char* what;
        bool ejectSingle, topNames, deepMenu;
    };
    const Case cases[] = {
        {"names below, the name ejects", true, false, false},
        {"names below, eject and close", false, false, false},
        {"names above", false, true, false},
        {"a submenu per drive", false, false, true},
    };
    const CdromListType list = Drives();
    std::vector<HMENU> previous;
    for (const Case& c : cases) {
        SpeedMenuOptions o;
        o.ejectSingle = c.ejectSingle;
        o.topNames = c.topNames;
        o.deepMenu = c.deepMenu;
        o.cmdOpen = true;
        menus_.SpeedMenuBuild(list, o);
        EXPECT_EQ(ReadMenu(menus_.SpeedMenu(), menus_), BuildSpeedMenu(list, o)) << c.what;
        // Nothing of the previous showing is left.
        for (HMENU old : previous) EXPECT_FALSE(IsMenu(old)) << c.what;
        previous = Submenus(menus_.SpeedMenu());
        EXPECT_FALSE(previous.empty()) << c.what;
    }
}

TEST_F(TrayMenusTest, ShortMenuGroupsAndMarksAsTheUserSeesThem) {
    SpeedMenuOptions o;
    o.cmdExplore = o.cmdAutorun = false;
    menus_.SpeedMenuBuild(CdromListType{{Drives().drives[0]}}, o);
    HMENU menu = menus_.SpeedMenu();
    ASSERT_EQ(GetMenuItemCount(menu), 12);

    wchar_t text[32];
    GetMenuStringW(menu, 0, text, ARRAYSIZE(text), MF_BYPOSITION);
    EXPECT_STREQ(text, L">20x");
    GetMenuStringW(menu, 1, text, ARRAYSIZE(text), MF_BYPOSITION);
    EXPECT_STREQ(text, L">10x");
    HMENU tens = GetSubMenu(menu, 1);
    ASSERT_NE(tens, nullptr);
    ASSERT_EQ(GetMenuItemCount(tens), 2);
    EXPECT_EQ(GetMenuItemID(tens, 0), 0x850Cu);  // 16x, the selected speed
    EXPECT_EQ(GetMenuState(tens, 0, MF_BYPOSITION) & MF_CHECKED, UINT{MF_CHECKED});
    EXPECT_EQ(GetMenuState(menu, 1, MF_BYPOSITION) & MF_CHECKED, UINT{MF_CHECKED});

    // 8x runs but is not chosen: its own check mark.
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_CHECKMARKS | MIIM_STATE | MIIM_ID;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 8, TRUE, &info));
    EXPECT_EQ(info.wID, 0x880Cu);
    EXPECT_TRUE(info.fState & MFS_CHECKED);
    EXPECT_EQ(info.hbmpChecked, menus_.Bitmap(MenuBitmap::CSpeed));

    // The name at the bottom ejects, with the eject picture as its check mark.
    ASSERT_TRUE(GetMenuItemInfoW(menu, 11, TRUE, &info));
    EXPECT_EQ(info.wID, 0x8001u);
    EXPECT_TRUE(info.fState & MFS_CHECKED);
    EXPECT_EQ(info.hbmpChecked, menus_.Bitmap(MenuBitmap::Eject));
}

TEST_F(TrayMenusTest, RightMenuRebuildsItsDriveEntries) {
    const CdromListType list = Drives();
    menus_.RMenuInsertList(list, false);
    EXPECT_EQ(ReadMenu(menus_.RightMenu(), menus_), BuildRightMenu(list, {false, true}));
    HMENU ignMenu = GetSubMenu(menus_.RightMenu(), 12);
    ASSERT_NE(ignMenu, nullptr);
    EXPECT_EQ(GetMenuState(menus_.RightMenu(), CMD_HELP, MF_BYCOMMAND) & MF_GRAYED,
              UINT{MF_GRAYED});

    // Shown again with fewer drives and the help file there.
    const CdromListType one{{list.drives[0]}};
    menus_.RMenuInsertList(one, true);
    EXPECT_FALSE(IsMenu(ignMenu));
    EXPECT_EQ(ReadMenu(menus_.RightMenu(), menus_), BuildRightMenu(one, {true, true}));
    EXPECT_EQ(GetMenuItemCount(menus_.RightMenu()), 13);

    menus_.RMenuClearList();
    EXPECT_EQ(ReadMenu(menus_.RightMenu(), menus_), RightMenuFixedRows());
}

TEST_F(TrayMenusTest, RightMenuRebuildLogsWhatItDoes) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(temp));
    ASSERT_EQ(LogOpen("menulog", ".txt"), 1);
    const std::string path = LogPath();

    menus_.RMenuInsertList(Drives(), true);
    HMENU ignMenu = GetSubMenu(menus_.RightMenu(), 12);
    menus_.RMenuInsertList(CdromListType{}, true);
    LogClose();

    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line.substr(line.find(' ') + 1));  // after the time stamp
    }
    in.close();
    DeleteFileA(path.c_str());
    SetCurrentDirectoryW(previous);

    char handle[32];
    std::snprintf(handle, sizeof(handle), "0x%X",
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(ignMenu)));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "RMenuInsertList STARTED");
    EXPECT_EQ(lines[1], std::string("    ign_menu=") + handle);
    EXPECT_EQ(lines[2], "    Inserting [GROUPED] into RMenu");
    EXPECT_EQ(lines[3], "    Inserting [BUSY] into RMenu");
    EXPECT_EQ(lines[4], "    Inserting [IGNORED] into ign_menu");
    EXPECT_EQ(lines[5], "    Inserting [PLAIN] into RMenu");
    EXPECT_EQ(lines[6].rfind("    STR_MNU_IGNORED=0x", 0), 0u);
    EXPECT_EQ(lines[7], "    RMenuInsertList FINISHED");
    EXPECT_EQ(lines[8], std::string("RMenuClearList: DestroyMenu(") + handle + ")");
    EXPECT_EQ(lines[9], "RMenuInsertList STARTED");
    EXPECT_EQ(lines[10].rfind("    ign_menu=0x", 0), 0u);
    EXPECT_EQ(lines[11].rfind("    STR_MNU_IGNORED=0x", 0), 0u);
    EXPECT_EQ(lines[12], "    RMenuInsertList FINISHED");
}

}  // namespace
}  // namespace tarvik
