#include "ui/tray/menu_model.h"
#include "drive/tray.h"

#include <algorithm>
#include <cstring>

#include "base/units.h"
#include "drive/speed_control.h"
#include "platform/system.h"
#include "settings/shell.h"
#include "ui/text/strings.h"
#include "ui/tray/commands.h"

namespace tarvik {
namespace {

MenuRow Row(MenuRowKind kind, uint16_t id = 0, std::u16string text = {}) {
    MenuRow row;
    row.kind = kind;
    row.id = id;
    row.text = std::move(text);
    return row;
}
MenuRow Separator() { return Row(MenuRowKind::Separator); }
MenuRow Item(uint16_t id, std::u16string text) {
    return Row(MenuRowKind::Item, id, std::move(text));
}
MenuRow BitmapItem(uint16_t id, MenuBitmap bitmap) {
    MenuRow row = Row(MenuRowKind::Bitmap, id);
    row.bitmap = bitmap;
    return row;
}

// A grey item can't be chosen either.
void Grey(MenuRow& row, bool grey) {
    row.grayed = grey;
    row.disabled = row.disabled || grey;
}

MenuRow TextItem(unsigned stringId, uint16_t id) {
    return Item(id, std::u16string(ResString(stringId)));
}

uint16_t DriveCommandId(unsigned drive, unsigned action, unsigned speedIndex = 0) {
    return DriveCommand{speedIndex, drive, action}.Encode();
}

// The identifiers carry the drive index in four bits: a drive past the
// sixteenth could only be reached as another drive, so the menus leave it out.
uint32_t AddressableDrives(const CdromListType& list) {
    return std::min<uint32_t>(list.count(), kMaxDrives);
}

bool HasLetter(const CdromDrive& drive) {
    return drive.Address.letter >= 'A' && drive.Address.letter <= 'Z';
}

// ---- speed items ---------------------------------------------------------------

// "48x" for an entry, ">20x" for a group; three digits at most.
std::u16string SpeedText(const char16_t* prefix, uint32_t multiple) {
    std::u16string text = prefix;
    for (char c : std::to_string(multiple % 1000)) text += static_cast<char16_t>(c);
    text += u'x';
    return text;
}

// The drive's speed is compared in whole CD units for every medium: drives
// report it a few KB/s off the entry they were given. A Selected or
// CurrentSpeed of 0 means "none" and marks nothing.
struct SpeedMarks {
    bool selected = false;
    bool current = false;

    void Apply(MenuRow& row) const {
        row.checked = selected || current;
        row.checkMark = current && !selected ? MenuBitmap::CSpeed : MenuBitmap::None;
    }
};

SpeedMarks MarksOf(const CdromDrive& drive, const SpeedEntry& entry) {
    const SpeedList& list = drive.CurrentList();
    return {list.Selected != 0 && entry.Speed == list.Selected,
            drive.CurrentSpeed != 0 && entry.Speed / kFactorCD == drive.CurrentSpeed / kFactorCD};
}

MenuRow SpeedItem(const CdromDrive& drive, unsigned driveIndex, unsigned k) {
    const SpeedList& list = drive.CurrentList();
    const SpeedEntry& entry = list.Entries[k];
    MenuRow row = Item(DriveCommandId(driveIndex, DRIVE_CMD_SET_SPEED, k),
                       SpeedText(u"", SpeedMultiple(entry.Speed, list.Factor)));
    MarksOf(drive, entry).Apply(row);
    return row;
}

// Group of tens of an entry: 24x is in group 2.
uint32_t GroupOf(const SpeedEntry& entry, uint32_t factor) {
    if (factor == 0) return 0;
    return static_cast<uint32_t>((uint64_t{entry.Speed} * 10 / factor + 5) / 100);
}

// Shows the fastest entry, the slowest of each group of tens and every entry
// below 10x as plain items; the other entries of a group go into a submenu
// ">N0x", and the submenus stand above the plain items behind a separator.
MenuRows GroupedSpeedItems(const CdromDrive& drive, unsigned driveIndex) {
    const SpeedList& list = drive.CurrentList();
    const uint32_t count = EntryCount(list);
    std::vector<uint32_t> group(count);
    for (uint32_t k = 0; k < count; ++k) group[k] = GroupOf(list.Entries[k], list.Factor);

    // An entry is plain when it opens its group walking up from the slowest.
    std::vector<bool> plain(count);
    bool anyLeft = false;
    for (uint32_t k = count; k-- > 0;) {
        const uint32_t below = k + 1 < count ? group[k + 1] : 0;
        plain[k] = group[k] == 0 || group[k] != below || k == 0;
        anyLeft = anyLeft || !plain[k];
    }
    MenuRows plainRows;
    for (uint32_t k = 0; k < count; ++k)
        if (plain[k]) plainRows.push_back(SpeedItem(drive, driveIndex, k));
    if (!anyLeft) return plainRows;

    // Walking up again, a change of group closes the open submenu; the entry
    // that changed it is already a plain item.
    MenuRows groups;  // bottom first while walking
    MenuRow open = Row(MenuRowKind::Submenu);
    SpeedMarks openMarks;
    uint32_t current = 0;
    auto close = [&] {
        if (open.children.empty()) return;
        std::reverse(open.children.begin(), open.children.end());
        open.text = SpeedText(u">", current * 10);
        openMarks.Apply(open);
        groups.push_back(std::move(open));
        open = Row(MenuRowKind::Submenu);
        openMarks = {};
    };
    for (uint32_t k = count; k-- > 0;) {
        if (group[k] == 0 || k == 0) continue;
        if (group[k] != current) {
            close();
            current = group[k];
            continue;
        }
        const SpeedMarks marks = MarksOf(drive, list.Entries[k]);
        openMarks.selected = openMarks.selected || marks.selected;
        openMarks.current = openMarks.current || marks.current;
        open.children.push_back(SpeedItem(drive, driveIndex, k));
    }
    close();

    MenuRows rows(groups.rbegin(), groups.rend());
    rows.push_back(Separator());
    rows.insert(rows.end(), plainRows.begin(), plainRows.end());
    return rows;
}

// ---- one drive's block ---------------------------------------------------------

MenuRow NameLabel(std::u16string name) {
    MenuRow row = Item(0, std::move(name));
    row.disabled = true;
    return row;
}

void AppendShellCommands(MenuRows& rows, const CdromDrive& drive, unsigned i,
                         const SpeedMenuOptions& o) {
    if (!HasLetter(drive) || !(o.cmdOpen || o.cmdExplore || o.cmdAutorun)) return;
    if (o.cmdAutorun) {
        MenuRow row = TextItem(IDS_MNU_AUTORUN, DriveCommandId(i, DRIVE_CMD_AUTORUN));
        Grey(row, !HasAutorunInf(&drive));
        rows.push_back(std::move(row));
    }
    if (o.cmdExplore) {
        MenuRow row = TextItem(IDS_MNU_EXPLORER, DriveCommandId(i, DRIVE_CMD_EXPLORE));
        Grey(row, !drive.MediumPresent);
        rows.push_back(std::move(row));
    }
    if (o.cmdOpen) {
        MenuRow row = TextItem(IDS_MNU_BROWSE, DriveCommandId(i, DRIVE_CMD_BROWSE));
        Grey(row, !drive.MediumPresent);
        rows.push_back(std::move(row));
    }
    rows.push_back(Separator());
}

// Top to bottom. Flat: [name, separator,] speeds, separator, shell commands,
// separator, Eject, Close[, separator, name]; in a drive's own submenu the
// name is the submenu's item and stands in neither place.
MenuRows DriveBlock(const CdromDrive& drive, unsigned i, const SpeedMenuOptions& o,
                    const std::u16string& name) {
    const bool flat = !o.deepMenu;
    MenuRows rows;
    if (flat && o.topNames) {
        rows.push_back(NameLabel(name));
        rows.push_back(Separator());
    }
    if (EntryCount(drive.CurrentList()) > 0) {
        const MenuRows speeds = SpeedItemRows(drive, i);
        rows.insert(rows.end(), speeds.begin(), speeds.end());
        rows.push_back(Separator());
    }
    AppendShellCommands(rows, drive, i, o);

    // With EjectSingle in the flat menu, the name below the block is the eject command.
    const bool nameEjects = o.ejectSingle && !o.topNames && flat;
    if (!nameEjects) {
        rows.push_back(BitmapItem(DriveCommandId(i, DRIVE_CMD_EJECT), MenuBitmap::Eject));
        if (!o.ejectSingle)
            rows.push_back(BitmapItem(DriveCommandId(i, DRIVE_CMD_CLOSE), MenuBitmap::Close));
        if (flat && !o.topNames) rows.push_back(Separator());
    }
    if (flat && !o.topNames) {
        if (nameEjects) {
            MenuRow row = Item(DriveCommandId(i, DRIVE_CMD_EJECT), name);
            row.checked = true;
            row.checkMark = MenuBitmap::Eject;
            rows.push_back(std::move(row));
        } else {
            rows.push_back(NameLabel(name));
        }
    }
    return rows;
}

}  // namespace

const char* MenuBitmapName(MenuBitmap bitmap) {
    switch (bitmap) {
        case MenuBitmap::CSpeed: return "BitmapCSpeed";
        case MenuBitmap::Eject: return "BitmapEject";
        case MenuBitmap::Close: return "BitmapClose";
        default: return nullptr;
    }
}

std::u16string WidenDriveName(const CdromDrive& drive) {
    const size_t length = strnlen(drive.Name, sizeof(drive.Name));
    std::u16string name;
    for (size_t i = 0; i < length; ++i)
        name += static_cast<char16_t>(static_cast<unsigned char>(drive.Name[i]));
    return name;
}

std::u16string MenuDriveName(const CdromDrive& drive, bool numNames) {
    if (!numNames) return WidenDriveName(drive);
    const char16_t* name = drive.ShortName[0] ? drive.ShortName : drive.DefaultShortName;
    size_t length = 0;
    while (length < kShortNameChars && name[length]) ++length;
    return std::u16string(name, length);
}

SpeedMenuOptions SpeedMenuOptionsFrom(const GlobalSettingsRecord& s) {
    return {.numNames = s.NumNames != 0,
            .ejectSingle = s.EjectSingle != 0,
            .deepMenu = s.DeepMenu != 0,
            .topNames = s.TopNames != 0,
            .cmdOpen = s.CmdOpen != 0,
            .cmdExplore = s.CmdExplore != 0,
            .cmdAutorun = s.CmdAutorun != 0};
}

MenuRows SpeedItemRows(const CdromDrive& drive, unsigned driveIndex) {
    if (drive.ShortMenu) return GroupedSpeedItems(drive, driveIndex);
    MenuRows rows;
    const uint32_t count = EntryCount(drive.CurrentList());
    for (uint32_t k = 0; k < count; ++k) {
        rows.push_back(SpeedItem(drive, driveIndex, k));
        rows.back().listItem = true;
    }
    return rows;
}

MenuRows BuildSpeedMenu(const CdromListType& list, const SpeedMenuOptions& o) {
    MenuRows menu;
    bool first = true;
    bool afterBusy = false;
    for (uint32_t i = 0; i < AddressableDrives(list); ++i) {
        const CdromDrive& drive = list.drives[i];
        if (drive.Ignore) continue;
        // Two separators below each drive's block of the flat menu, but none
        // below a busy drive's name: the next drive follows it at once.
        if (!o.deepMenu && !first && !afterBusy) {
            menu.push_back(Separator());
            menu.push_back(Separator());
        }
        first = false;
        afterBusy = drive.Busy != 0;
        std::u16string name = MenuDriveName(drive, o.numNames);
        if (drive.Busy) {
            MenuRow row = Item(0, std::move(name));
            Grey(row, true);
            menu.push_back(std::move(row));
            continue;
        }
        MenuRows block = DriveBlock(drive, i, o, name);
        if (o.deepMenu) {
            MenuRow row = Row(MenuRowKind::Submenu, 0, std::move(name));
            row.children = std::move(block);
            menu.push_back(std::move(row));
        } else {
            menu.insert(menu.end(), std::make_move_iterator(block.begin()),
                        std::make_move_iterator(block.end()));
        }
    }
    return menu;
}

MenuRows RightMenuFixedRows() {
    return {
        TextItem(IDS_MNU_ABOUT, CMD_ABOUT),
        TextItem(IDS_MNU_HELP, CMD_HELP),
        Separator(),
        TextItem(IDS_MNU_DRIVE_INFO, CMD_DRIVE_INFO),
        Separator(),
        TextItem(IDS_MNU_OPTIONS, CMD_OPTIONS),
        TextItem(IDS_MNU_RESET_CONFIG, CMD_RESET_CONFIG),
        Separator(),
        TextItem(IDS_MNU_DETECT_DRIVES, CMD_DETECT_DRIVES),
        Separator(),
        TextItem(IDS_MNU_EXIT, CMD_EXIT),
    };
}

MenuRows RightMenuDynamicRows(const CdromListType& list, const RightMenuInputs& in) {
    MenuRows rows;
    MenuRow ignored = Row(MenuRowKind::Submenu, 0, std::u16string(ResString(IDS_MNU_IGNORED)));
    ignored.data = RMENU_DYNAMIC_TAG;
    for (uint32_t i = 0; i < AddressableDrives(list); ++i) {
        const CdromDrive& drive = list.drives[i];
        MenuRow row = Item(DriveCommandId(i, DRIVE_CMD_OPTIONS), WidenDriveName(drive));
        row.data = RMENU_DYNAMIC_TAG;
        (drive.Ignore && in.ignoredSubmenu ? ignored.children : rows).push_back(std::move(row));
    }
    Grey(ignored, ignored.children.empty());
    rows.push_back(std::move(ignored));
    return rows;
}

bool HelpFileExists() {
    const OwnedStr path = GetHelpFilePath();
    return path && Sys().FileAttributes(path.get()) != 0xFFFFFFFFu;  // INVALID_FILE_ATTRIBUTES
}

MenuRows BuildRightMenu(const CdromListType& list, const RightMenuInputs& in) {
    MenuRows rows = RightMenuFixedRows();
    for (MenuRow& row : rows)
        if (row.id == CMD_HELP) Grey(row, !in.helpFileExists);
    MenuRows dynamic = RightMenuDynamicRows(list, in);
    rows.insert(rows.begin() + kRightMenuDynamicPosition, std::make_move_iterator(dynamic.begin()),
                std::make_move_iterator(dynamic.end()));
    return rows;
}

}  // namespace tarvik
