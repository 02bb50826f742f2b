#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/system.h"
#include "ui/tray/commands.h"
#include "ui/tray/menu_model.h"

namespace tarvik {
namespace {

// CD speeds as drives report them (1x = 176.4 KB/s): 48x is 8467.
constexpr uint32_t Cd(uint32_t x) { return x * 1764 / 10; }

// A drive as the state check leaves it: a CD in D:, the speeds in its CD list.
CdromDrive Drive(const char* name, std::vector<uint32_t> speeds, uint32_t letter = 'D') {
    CdromDrive d;
    std::memcpy(d.Name, name, std::min(std::strlen(name), sizeof(d.Name)));
    std::copy_n(name, std::min<size_t>(std::strlen(name), kShortNameChars), d.DefaultShortName);
    d.SpeedListCD.Factor = kFactorCD;
    d.SpeedListDVD.Factor = kFactorDVD;
    d.CurrentFamily = MediumFamily::CD;
    for (uint32_t speed : speeds) d.SpeedListCD.Entries[d.SpeedListCD.Count++] = {speed, speed};
    d.MediumPresent = 1;
    d.Address.letter = letter;
    return d;
}

// A menu on one line: "-" separator, "<Eject>" bitmap item, "~x" grey, "!x"
// disabled, "x*" checked, "x*(BitmapCSpeed)" with its own check mark, "x{..}" submenu.
std::string Describe(const MenuRows& rows) {
    std::string out;
    for (const MenuRow& r : rows) {
        if (!out.empty()) out += " ";
        if (r.kind == MenuRowKind::Separator) {
            out += "-";
            continue;
        }
        out += r.grayed ? "~" : r.disabled ? "!" : "";
        out += r.kind == MenuRowKind::Bitmap
                   ? std::string("<") + (MenuBitmapName(r.bitmap) + 6) + ">"
                   : std::string(r.text.begin(), r.text.end());
        if (r.checked) out += "*";
        if (r.checkMark != MenuBitmap::None)
            out += std::string("(") + MenuBitmapName(r.checkMark) + ")";
        if (r.kind == MenuRowKind::Submenu) out += "{" + Describe(r.children) + "}";
    }
    return out;
}

// D: has an AUTORUN.INF, no other drive has.
class AutorunOnD : public System {
public:
    AutorunOnD() { SetSystem(this); }
    ~AutorunOnD() override { SetSystem(nullptr); }
    uint32_t FileAttributes(const std::string& path) override {
        return path == "D:\\AUTORUN.INF" ? 0x20 : 0xFFFFFFFFu;
    }
};

// Letters: e EjectSingle, t TopNames, d DeepMenu, o/x/a Browse/Explorer/Autorun.
SpeedMenuOptions Options(std::string_view f) {
    auto has = [&](char c) { return f.find(c) != std::string_view::npos; };
    SpeedMenuOptions o;
    o.ejectSingle = has('e');
    o.topNames = has('t');
    o.deepMenu = has('d');
    o.cmdOpen = has('o');
    o.cmdExplore = has('x');
    o.cmdAutorun = has('a');
    return o;
}

TEST(SpeedMenu, ShortMenuExample) {
    CdromDrive d =
        Drive("X", {Cd(48), Cd(40), Cd(32), Cd(24), Cd(20), Cd(16), Cd(12), Cd(10), Cd(8), Cd(4)});
    d.ShortMenu = 1;
    const MenuRows rows = BuildSpeedMenu(CdromListType{{d}}, Options("e"));
    EXPECT_EQ(Describe(rows),
              ">20x{24x} >10x{16x 12x} - 48x 40x 32x 20x 10x 8x 4x - X*(BitmapEject)");
    // Entries keep their list index in the identifier wherever they stand.
    EXPECT_EQ(rows[0].children[0].id, 0x830C);
    EXPECT_EQ(rows[1].children[0].id, 0x850C);
    EXPECT_EQ(rows[6].id, 0x840C);
    EXPECT_EQ(rows[9].id, 0x890C);
    EXPECT_EQ(rows[11].id, 0x8001);
}

TEST(SpeedMenu, SpeedItemsGroupsAndMarks) {
    struct Case {
        const char* what;
        std::vector<uint32_t> x;
        bool shortMenu;
        uint32_t selected, current;  // in x
        const char* rows;
    };
    // clang-format off
    const Case cases[] = {
        {"selected is current", {48, 24, 8}, false, 24, 24, "48x 24x* 8x"},
        {"current differs", {48, 24, 8}, false, 24, 8, "48x 24x* 8x*(BitmapCSpeed)"},
        {"nothing to group", {24, 16, 8, 4}, true, 0, 0, "24x 16x 8x 4x"},
        {"a group of three", {52, 48, 44, 42, 40, 8}, true, 0, 0, ">40x{48x 44x 42x} - 52x 40x 8x"},
        {"group holds the selected", {20, 16, 14, 12}, true, 16, 14, ">10x*{16x* 14x*(BitmapCSpeed)} - 20x 12x"},
        {"group holds the current", {20, 16, 12}, true, 20, 16, ">10x*(BitmapCSpeed){16x*(BitmapCSpeed)} - 20x* 12x"},
        {"multiples modulo 1000", {1050, 1048, 1044, 4}, true, 0, 0, ">40x{48x} - 50x 44x 4x"},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::vector<uint32_t> speeds;
        for (uint32_t x : c.x) speeds.push_back(x * kFactorCD);
        CdromDrive d = Drive("X", speeds);
        d.ShortMenu = c.shortMenu;
        d.SpeedListCD.Selected = c.selected * kFactorCD;
        d.CurrentSpeed = c.current * kFactorCD;
        EXPECT_EQ(Describe(SpeedItemRows(d, 0)), c.rows) << c.what;
    }

    // The running speed is compared in whole CD units on a DVD too.
    CdromDrive dvd = Drive("X", {});
    dvd.CurrentFamily = MediumFamily::DVD;
    dvd.SpeedListDVD.Entries[0] = {22160, 22160};
    dvd.SpeedListDVD.Entries[1] = {11080, 11080};
    dvd.SpeedListDVD.Count = 2;
    dvd.CurrentSpeed = 11080 + 5;  // 62 CD units, as 11080
    EXPECT_EQ(Describe(SpeedItemRows(dvd, 0)), "16x 8x*(BitmapCSpeed)");
    dvd.CurrentSpeed = 11080 + 176;
    EXPECT_EQ(Describe(SpeedItemRows(dvd, 0)), "16x 8x");
}

TEST(SpeedMenu, DriveBlockInEveryLayout) {
    AutorunOnD autorun;
    struct Case {
        const char* what;
        const char* options;
        uint32_t letter;
        bool disc;
        const char* rows;
    };
    // clang-format off
    const Case cases[] = {
        {"names below", "oxa", 'D', true, "48x 24x - Autorun Explorer Browse - <Eject> <Close> - !DRV"},
        {"names below, the name ejects", "eoxa", 'D', true, "48x 24x - Autorun Explorer Browse - DRV*(BitmapEject)"},
        {"names above", "toxa", 'D', true, "!DRV - 48x 24x - Autorun Explorer Browse - <Eject> <Close>"},
        {"names above, no close", "etoxa", 'D', true, "!DRV - 48x 24x - Autorun Explorer Browse - <Eject>"},
        {"a submenu per drive", "doxa", 'D', true, "DRV{48x 24x - Autorun Explorer Browse - <Eject> <Close>}"},
        {"no disc: shell commands grey", "eoxa", 'D', false, "48x 24x - ~Autorun ~Explorer ~Browse - DRV*(BitmapEject)"},
        {"no AUTORUN.INF", "ea", 'E', true, "48x 24x - ~Autorun - DRV*(BitmapEject)"},
        {"no letter: no shell commands", "eoxa", 0, true, "48x 24x - DRV*(BitmapEject)"},
    };
    // clang-format on
    for (const Case& c : cases) {
        CdromDrive d = Drive("DRV", {Cd(48), Cd(24)}, c.letter);
        d.MediumPresent = c.disc;
        EXPECT_EQ(Describe(BuildSpeedMenu(CdromListType{{d}}, Options(c.options))), c.rows)
            << c.what;
    }
}

TEST(SpeedMenu, DrivesInListOrder) {
    CdromDrive busy = Drive("BUSY", {Cd(8)}), ignored = Drive("IGN", {Cd(8)});
    busy.Busy = 1;
    ignored.Ignore = 1;
    const CdromListType list{{Drive("A", {Cd(8)}), busy, ignored, Drive("C", {Cd(4)}, 'F')}};
    // Two separators below a block; a busy drive is its grey name alone, with
    // the next drive straight below it.
    MenuRows rows = BuildSpeedMenu(list, Options("ex"));
    EXPECT_EQ(Describe(rows),
              "8x - Explorer - A*(BitmapEject) - - ~BUSY 4x - Explorer - C*(BitmapEject)");
    EXPECT_EQ(rows[8].id, 0x803C);  // the list index, ignored drives counted
    EXPECT_EQ(rows[10].id, 0x803A);
    EXPECT_EQ(rows[12].id, 0x8031);
    EXPECT_EQ(Describe(BuildSpeedMenu(list, Options("d"))),
              "A{8x - <Eject> <Close>} ~BUSY C{4x - <Eject> <Close>}");
    // Busy first, busy last, two busy ones, and with the names above.
    const CdromListType busyFirst{{busy, Drive("A", {Cd(8)})}};
    EXPECT_EQ(Describe(BuildSpeedMenu(busyFirst, Options("e"))), "~BUSY 8x - A*(BitmapEject)");
    const CdromListType busyLast{{Drive("A", {Cd(8)}), busy, busy}};
    EXPECT_EQ(Describe(BuildSpeedMenu(busyLast, Options("e"))),
              "8x - A*(BitmapEject) - - ~BUSY ~BUSY");
    EXPECT_EQ(Describe(BuildSpeedMenu(busyFirst, Options("t"))), "~BUSY !A - 8x - <Eject> <Close>");

    // The user's short name, or the INQUIRY name.
    CdromDrive named = Drive("Long Name", {});
    std::memcpy(named.ShortName, u"Mine", sizeof(u"Mine"));
    SpeedMenuOptions o = Options("e");
    EXPECT_EQ(Describe(BuildSpeedMenu(CdromListType{{named}}, o)), "Mine*(BitmapEject)");
    o.numNames = false;
    EXPECT_EQ(Describe(BuildSpeedMenu(CdromListType{{named}}, o)), "Long Name*(BitmapEject)");
}

// A menu that refuses the items named: what the system's menu ends up holding.
MenuRows Placed(const MenuRows& rows, const std::set<std::string>& refused) {
    MenuRows menu;
    const unsigned n = PlaceMenuRows(rows, 0, [&](unsigned at, const MenuRow& row) {
        if (refused.count(std::string(row.text.begin(), row.text.end()))) return false;
        menu.insert(menu.begin() + at, row);
        return true;
    });
    EXPECT_EQ(n, menu.size());
    return menu;
}

TEST(SpeedMenu, AFailingSpeedItemEndsItsListAndNothingElse) {
    const CdromListType list{
        {Drive("A", {Cd(48), Cd(40), Cd(32), Cd(24), Cd(16)}), Drive("B", {Cd(8), Cd(4)}, 'E')}};
    const MenuRows rows = BuildSpeedMenu(list, Options("ex"));
    EXPECT_EQ(Describe(Placed(rows, {})), Describe(rows)) << "all in, in their order";
    // The slowest go in first: the list ends below the item that failed.
    EXPECT_EQ(Describe(Placed(rows, {"32x"})),
              "24x 16x - Explorer - A*(BitmapEject) - - 8x 4x - Explorer - B*(BitmapEject)");
    EXPECT_EQ(Describe(Placed(rows, {"16x", "4x"})),
              "- Explorer - A*(BitmapEject) - - - Explorer - B*(BitmapEject)");
    // Any other item is left out alone.
    EXPECT_EQ(Describe(Placed(rows, {"Explorer"})),
              "48x 40x 32x 24x 16x - - A*(BitmapEject) - - 8x 4x - - B*(BitmapEject)");

    // Grouped by tens, each item stands on its own.
    CdromDrive grouped = Drive("G", {Cd(48), Cd(40), Cd(32), Cd(24), Cd(20), Cd(16), Cd(12)});
    grouped.ShortMenu = 1;
    EXPECT_EQ(Describe(Placed(SpeedItemRows(grouped, 0), {"40x"})),
              ">20x{24x} >10x{16x} - 48x 32x 20x 12x");
}

TEST(SpeedMenu, NonsenseGivesASaneMenu) {
    CdromDrive many = Drive("X", {Cd(8)});
    many.SpeedListCD.Count = 500;  // the array holds 128
    const MenuRows rows = SpeedItemRows(many, 3);
    ASSERT_EQ(rows.size(), kMaxSpeedEntries);
    EXPECT_EQ(rows.back().id, 0xFF3C);

    CdromDrive noFactor = Drive("X", {Cd(48), Cd(40), Cd(24)});
    noFactor.SpeedListCD.Factor = 0;
    noFactor.ShortMenu = 1;
    EXPECT_EQ(Describe(SpeedItemRows(noFactor, 0)), "0x 0x 0x");
    EXPECT_EQ(Describe(SpeedItemRows(Drive("X", {0xFFFFFFFFu}), 0)), "223x");  // 24403223x

    // Identifiers hold four bits of drive index: the seventeenth drive would be the first.
    std::vector<CdromDrive> drives(20, Drive("N", {Cd(8)}));
    std::memset(drives[15].Name, 'N', sizeof(drives[15].Name));  // no terminator
    EXPECT_EQ(BuildSpeedMenu(CdromListType{drives}, Options("d")).size(), kMaxDrives);
    const MenuRows right = RightMenuDynamicRows(CdromListType{drives}, {});
    ASSERT_EQ(right.size(), kMaxDrives + 1);
    EXPECT_EQ(right[15].text, std::u16string(32, u'N'));
}

TEST(RightMenu, FixedItemsDrivesAndIgnored) {
    CdromDrive ignored = Drive("Ignored Drive", {}), busy = Drive("Busy Drive", {});
    ignored.Ignore = 1;
    busy.Busy = 1;  // listed like any other
    const CdromListType list{{Drive("First Drive", {}), ignored, busy}};
    const std::string head =
        "About Tarvik Help - Drive information - Options Reset configuration - Detect drives ";
    struct Case {
        const char* what;
        CdromListType list;
        RightMenuInputs in;
        std::string rows;
    };
    // clang-format off
    const Case cases[] = {
        {"ignored ones in the submenu", list, {true, true}, head + "First Drive Busy Drive Ignored{Ignored Drive} - Exit"},
        {"no help file", list, {false, true}, "About Tarvik ~Help" + head.substr(17) + "First Drive Busy Drive Ignored{Ignored Drive} - Exit"},
        {"nothing ignored: grey", CdromListType{{list.drives[0]}}, {true, true}, head + "First Drive ~Ignored{} - Exit"},
        {"no submenu: all drives in the menu", list, {true, false}, head + "First Drive Ignored Drive Busy Drive ~Ignored{} - Exit"},
    };
    // clang-format on
    for (const Case& c : cases) EXPECT_EQ(Describe(BuildRightMenu(c.list, c.in)), c.rows) << c.what;

    std::vector<uint32_t> ids;
    for (const MenuRow& r : BuildRightMenu(list, {})) ids.push_back(r.id << 8 | r.data);
    EXPECT_EQ(ids,
              (std::vector<uint32_t>{102 << 8, 103 << 8, 0, 104 << 8, 0, 106 << 8, 108 << 8, 0,
                                     105 << 8, 0x800000 | 107, 0x802000 | 107, 107, 0, 109 << 8}));
}

}  // namespace
}  // namespace tarvik
