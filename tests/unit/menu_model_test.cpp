#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/system.h"
#include "ui/commands.h"
#include "ui/menu_model.h"

namespace tarvik {
namespace {

// CD speeds in KB/s as drives report them (1x = 176.4 KB/s): 48x is 8467.
constexpr uint32_t Cd(uint32_t x) { return x * 1764 / 10; }

// A drive as the state check leaves it: a CD in it, its letter, a speed list.
CdromDrive Drive(const char* name, const char16_t* shortName, std::vector<uint32_t> speeds,
                 uint32_t letter = 'D') {
    CdromDrive d;
    std::memcpy(d.Name, name, std::min(std::strlen(name), sizeof(d.Name)));
    std::u16string s(shortName);
    std::copy(s.begin(), s.end(), d.DefaultShortName);
    d.SpeedListCD.Factor = kFactorCD;
    d.SpeedListDVD.Factor = kFactorDVD;
    d.SpeedListBD.Factor = kFactorBD;
    d.CurrentFamily = MediumFamily::CD;
    for (uint32_t speed : speeds) d.SpeedListCD.Entries[d.SpeedListCD.Count++] = {speed, speed};
    d.MediumPresent = 1;
    d.TrayClosed = 1;
    d.Address.letter = letter;
    return d;
}

CdromListType ListOf(std::vector<CdromDrive> drives) { return CdromListType{std::move(drives)}; }

std::string Narrow(const std::u16string& s) { return std::string(s.begin(), s.end()); }

// One menu as a line: "-" separator, "<Eject>" a bitmap item, "~x" grayed,
// "!x" disabled, "x*" checked, "x*(BitmapCSpeed)" with its own check mark,
// "x{...}" a submenu.
std::string Describe(const MenuRows& rows) {
    std::string out;
    for (const MenuRow& r : rows) {
        if (!out.empty()) out += " ";
        if (r.kind == MenuRowKind::Separator) {
            out += "-";
            continue;
        }
        if (r.grayed) out += "~";
        if (r.disabled && !r.grayed) out += "!";
        out += r.kind == MenuRowKind::Bitmap
                   ? std::string("<") + (MenuBitmapName(r.bitmap) + 6) + ">"
                   : Narrow(r.text);
        if (r.checked) out += "*";
        if (r.checkMark != MenuBitmap::None)
            out += std::string("(") + MenuBitmapName(r.checkMark) + ")";
        if (r.kind == MenuRowKind::Submenu) out += "{" + Describe(r.children) + "}";
    }
    return out;
}

// Answers for AUTORUN.INF on the drives the test names.
class AutorunSystem : public System {
public:
    explicit AutorunSystem(std::string present) : present_(std::move(present)) { SetSystem(this); }
    ~AutorunSystem() override { SetSystem(nullptr); }
    uint32_t FileAttributes(const std::string& path) override {
        return present_.find(path[0]) != std::string::npos && path.substr(1) == ":\\AUTORUN.INF"
                   ? 0x20
                   : 0xFFFFFFFFu;
    }

private:
    std::string present_;
};

SpeedMenuOptions AllCommands(bool ejectSingle, bool topNames, bool deepMenu) {
    SpeedMenuOptions o;
    o.ejectSingle = ejectSingle;
    o.topNames = topNames;
    o.deepMenu = deepMenu;
    o.cmdOpen = o.cmdExplore = o.cmdAutorun = true;
    return o;
}

// ---- speed items ---------------------------------------------------------------

SpeedMenuOptions NoShellCommands() {
    SpeedMenuOptions o;
    o.cmdExplore = o.cmdAutorun = false;
    return o;
}

TEST(SpeedMenuItems, ShortMenuGroupsByTens) {
    CdromDrive d = Drive(
        "X", u"X", {Cd(48), Cd(40), Cd(32), Cd(24), Cd(20), Cd(16), Cd(12), Cd(10), Cd(8), Cd(4)});
    EXPECT_EQ(Describe(SpeedItemRows(d, 0)), "48x 40x 32x 24x 20x 16x 12x 10x 8x 4x");

    d.ShortMenu = 1;
    const MenuRows rows = BuildSpeedMenu(ListOf({d}), NoShellCommands());
    EXPECT_EQ(Describe(rows),
              ">20x{24x} >10x{16x 12x} - 48x 40x 32x 20x 10x 8x 4x - X*(BitmapEject)");
    // The group items open submenus; their entries keep their list index.
    EXPECT_EQ(rows[0].id, 0);
    EXPECT_EQ(rows[0].children[0].id, 0x830C);
    EXPECT_EQ(rows[1].children[0].id, 0x850C);  // 16x is entry 5
    EXPECT_EQ(rows[1].children[1].id, 0x860C);
    EXPECT_EQ(rows[3].id, 0x800C);
    EXPECT_EQ(rows[6].id, 0x840C);  // 20x
    EXPECT_EQ(rows[9].id, 0x890C);
}

TEST(SpeedMenuItems, ShortMenuShapes) {
    struct Case {
        const char* what;
        std::vector<uint32_t> x;
        const char* rows;
    };
    const Case cases[] = {
        {"nothing to group", {24, 16, 8, 4}, "24x 16x 8x 4x"},
        {"entries below 10x stay plain", {9, 8, 6, 4, 2}, "9x 8x 6x 4x 2x"},
        {"the fastest entry is plain in its group", {48, 44}, "48x 44x"},
        {"one group of three", {52, 48, 44, 42, 40, 8}, ">40x{48x 44x 42x} - 52x 40x 8x"},
        {"a group at the top", {19, 18, 17, 16}, ">10x{18x 17x} - 19x 16x"},
        {"multiples count modulo 1000", {1050, 1048, 1044, 4}, ">40x{48x} - 50x 44x 4x"},
        {"single entry", {12}, "12x"},
        {"unsorted list", {30, 10, 12, 31, 35}, ">10x{10x} >30x{31x} - 30x 12x 35x"},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> speeds;
        for (uint32_t x : c.x) speeds.push_back(x * kFactorCD);
        CdromDrive d = Drive("X", u"X", speeds);
        d.ShortMenu = 1;
        EXPECT_EQ(Describe(SpeedItemRows(d, 0)), c.rows) << c.what;
    }
}

TEST(SpeedMenuItems, SelectedAndCurrentMarks) {
    struct Case {
        const char* what;
        MediumFamily family;
        uint32_t selected;
        uint32_t current;
        const char* rows;
    };
    const uint32_t dvd16 = 22160, dvd12 = 16620, dvd8 = 11080;
    const Case cases[] = {
        {"selected is current", MediumFamily::CD, Cd(24), Cd(24), "48x 24x* 8x"},
        {"current differs", MediumFamily::CD, Cd(24), Cd(8), "48x 24x* 8x*(BitmapCSpeed)"},
        {"nothing selected", MediumFamily::CD, 0, Cd(48), "48x*(BitmapCSpeed) 24x 8x"},
        {"same CD unit is current", MediumFamily::CD, 0, Cd(24) + 100, "48x 24x*(BitmapCSpeed) 8x"},
        {"speed unknown marks nothing", MediumFamily::CD, 0, 0, "48x 24x 8x"},
        {"selected not in list", MediumFamily::CD, 1234, 0, "48x 24x 8x"},
        // The drive's speed is compared in CD units on DVDs too.
        {"DVD current in CD units", MediumFamily::DVD, dvd16, dvd8 + 5,
         "16x* 12x 8x*(BitmapCSpeed)"},
        {"DVD one CD unit off", MediumFamily::DVD, 0, dvd12 + 176, "16x 12x 8x"},
    };
    for (const Case& c : cases) {
        CdromDrive d = Drive("X", u"X", {Cd(48), Cd(24), Cd(8)});
        d.SpeedListDVD.Count = 0;
        for (uint32_t s : {dvd16, dvd12, dvd8})
            d.SpeedListDVD.Entries[d.SpeedListDVD.Count++] = {s, s};
        d.CurrentFamily = c.family;
        d.CurrentList().Selected = c.selected;
        d.CurrentSpeed = c.current;
        EXPECT_EQ(Describe(SpeedItemRows(d, 0)), c.rows) << c.what;
    }
}

TEST(SpeedMenuItems, GroupCarriesTheMarksOfItsEntries) {
    struct Case {
        const char* what;
        uint32_t selected;
        uint32_t current;
        const char* rows;
    };
    const Case cases[] = {
        {"selected inside", 16, 16, ">10x*{16x*} - 20x 12x"},
        {"only current inside", 20, 16, ">10x*(BitmapCSpeed){16x*(BitmapCSpeed)} - 20x* 12x"},
        {"both inside", 16, 14, ">10x*{16x* 14x*(BitmapCSpeed)} - 20x 12x"},
        {"marks on plain entries only", 12, 20, ">10x{16x} - 20x*(BitmapCSpeed) 12x*"},
    };
    for (const Case& c : cases) {
        const bool four = std::string(c.what) == "both inside";
        std::vector<uint32_t> speeds = {20 * kFactorCD, 16 * kFactorCD};
        if (four) speeds.push_back(14 * kFactorCD);
        speeds.push_back(12 * kFactorCD);
        CdromDrive d = Drive("X", u"X", speeds);
        d.ShortMenu = 1;
        d.SpeedListCD.Selected = c.selected * kFactorCD;
        d.CurrentSpeed = c.current * kFactorCD;
        EXPECT_EQ(Describe(SpeedItemRows(d, 0)), c.rows) << c.what;
    }
}

TEST(SpeedMenuItems, NonsenseListsGiveASaneMenu) {
    CdromDrive many = Drive("X", u"X", {Cd(8)});
    many.SpeedListCD.Count = 500;  // the array holds 128
    MenuRows rows = SpeedItemRows(many, 3);
    ASSERT_EQ(rows.size(), kMaxSpeedEntries);
    EXPECT_EQ(rows.back().id, (DriveCommand{127, 3, DRIVE_CMD_SET_SPEED}.Encode()));
    many.ShortMenu = 1;
    EXPECT_EQ(SpeedItemRows(many, 3).size(), kMaxSpeedEntries);  // all below 10x: nothing grouped

    CdromDrive noFactor = Drive("X", u"X", {Cd(48), Cd(40), Cd(24)});
    noFactor.SpeedListCD.Factor = 0;
    EXPECT_EQ(Describe(SpeedItemRows(noFactor, 0)), "0x 0x 0x");
    noFactor.ShortMenu = 1;
    EXPECT_EQ(Describe(SpeedItemRows(noFactor, 0)), "0x 0x 0x");

    CdromDrive huge = Drive("X", u"X", {0xFFFFFFFFu});    // no overflow in the multiple
    EXPECT_EQ(Describe(SpeedItemRows(huge, 0)), "223x");  // 24403223 modulo 1000
}

// ---- speed menu ----------------------------------------------------------------

TEST(SpeedMenu, BlockOrderForEachLayout) {
    AutorunSystem autorun("D");
    struct Case {
        const char* what;
        SpeedMenuOptions options;
        const char* rows;
    };
    const Case cases[] = {
        {"flat, names below, separate eject and close", AllCommands(false, false, false),
         "48x 24x - Autorun Explorer Browse - <Eject> <Close> - !DRV"},
        {"flat, names below, the name ejects", AllCommands(true, false, false),
         "48x 24x - Autorun Explorer Browse - DRV*(BitmapEject)"},
        {"flat, names above", AllCommands(false, true, false),
         "!DRV - 48x 24x - Autorun Explorer Browse - <Eject> <Close>"},
        {"flat, names above, one eject item", AllCommands(true, true, false),
         "!DRV - 48x 24x - Autorun Explorer Browse - <Eject>"},
        {"a submenu per drive", AllCommands(false, false, true),
         "DRV{48x 24x - Autorun Explorer Browse - <Eject> <Close>}"},
        {"a submenu per drive, one eject item", AllCommands(true, true, true),
         "DRV{48x 24x - Autorun Explorer Browse - <Eject>}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(
            Describe(BuildSpeedMenu(ListOf({Drive("N", u"DRV", {Cd(48), Cd(24)})}), c.options)),
            c.rows)
            << c.what;
}

TEST(SpeedMenu, ShellCommandsAndTheirGreyRules) {
    AutorunSystem autorun("D");
    struct Case {
        const char* what;
        bool open, explore, run;
        uint32_t letter;
        bool disc;
        const char* rows;
    };
    const Case cases[] = {
        {"all, disc with AUTORUN.INF", true, true, true, 'D', true,
         "!DRV - Autorun Explorer Browse - <Eject>"},
        {"no disc: all grey", true, true, true, 'D', false,
         "!DRV - ~Autorun ~Explorer ~Browse - <Eject>"},
        {"disc without AUTORUN.INF", true, true, true, 'E', true,
         "!DRV - ~Autorun Explorer Browse - <Eject>"},
        {"browse only", true, false, false, 'D', true, "!DRV - Browse - <Eject>"},
        {"none chosen", false, false, false, 'D', true, "!DRV - <Eject>"},
        {"no letter", true, true, true, 0, true, "!DRV - <Eject>"},
    };
    for (const Case& c : cases) {
        CdromDrive d = Drive("N", u"DRV", {}, c.letter);
        d.MediumPresent = c.disc ? 1 : 0;
        SpeedMenuOptions o = AllCommands(true, true, false);
        o.cmdOpen = c.open;
        o.cmdExplore = c.explore;
        o.cmdAutorun = c.run;
        EXPECT_EQ(Describe(BuildSpeedMenu(ListOf({d}), o)), c.rows) << c.what;
    }
}

TEST(SpeedMenu, IdentifiersCarryTheListIndexOfTheDrive) {
    AutorunSystem autorun("DEF");
    CdromDrive ignored = Drive("I", u"I", {Cd(8)});
    ignored.Ignore = 1;
    std::vector<CdromDrive> drives = {Drive("A", u"A", {}), ignored,
                                      Drive("C", u"C", {Cd(48), Cd(8)}, 'F')};
    const MenuRows rows = BuildSpeedMenu(ListOf(drives), AllCommands(false, false, false));
    EXPECT_EQ(Describe(rows),
              "Autorun Explorer Browse - <Eject> <Close> - !A - - "
              "48x 8x - Autorun Explorer Browse - <Eject> <Close> - !C");
    std::vector<uint16_t> ids;
    for (const MenuRow& r : rows) ids.push_back(r.id);
    const std::vector<uint16_t> expected = {0x800B, 0x800A, 0x8009, 0,      0x8001, 0x8002, 0,
                                            0,      0,      0,      0x802C, 0x812C, 0,      0x802B,
                                            0x802A, 0x8029, 0,      0x8021, 0x8022, 0,      0};
    EXPECT_EQ(ids, expected);
}

TEST(SpeedMenu, DrivesTopToBottomInListOrder) {
    CdromDrive busy = Drive("B", u"BUSY", {Cd(8)});
    busy.Busy = 1;
    CdromDrive ignored = Drive("I", u"IGN", {Cd(8)});
    ignored.Ignore = 1;
    const auto list = ListOf({Drive("A", u"A", {Cd(8)}), busy, ignored, Drive("C", u"C", {Cd(4)})});
    struct Case {
        const char* what;
        SpeedMenuOptions options;
        const char* rows;
    };
    SpeedMenuOptions deep = NoShellCommands();
    deep.deepMenu = true;
    const Case cases[] = {
        {"flat: two separators between blocks, the busy drive's name a block of its own",
         NoShellCommands(), "8x - A*(BitmapEject) - - ~BUSY - - 4x - C*(BitmapEject)"},
        {"a submenu per drive", deep, "A{8x - <Eject>} ~BUSY C{4x - <Eject>}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Describe(BuildSpeedMenu(list, c.options)), c.rows) << c.what;

    EXPECT_TRUE(BuildSpeedMenu(ListOf({}), NoShellCommands()).empty());
    EXPECT_TRUE(BuildSpeedMenu(ListOf({ignored}), NoShellCommands()).empty());
}

TEST(SpeedMenu, DisplayNames) {
    CdromDrive d = Drive("TARVIKSM DVDRW SIM24X", u"SIM24", {});
    SpeedMenuOptions o = NoShellCommands();
    EXPECT_EQ(Describe(BuildSpeedMenu(ListOf({d}), o)), "SIM24*(BitmapEject)");
    std::memcpy(d.ShortName, u"Mine", sizeof(u"Mine"));
    EXPECT_EQ(Describe(BuildSpeedMenu(ListOf({d}), o)), "Mine*(BitmapEject)");
    o.numNames = false;
    EXPECT_EQ(Describe(BuildSpeedMenu(ListOf({d}), o)), "TARVIKSM DVDRW SIM24X*(BitmapEject)");

    // Names that fill their arrays to the last unit still end there.
    std::memset(d.Name, 'N', sizeof(d.Name));
    std::fill(std::begin(d.ShortName), std::end(d.ShortName), u'S');
    EXPECT_EQ(MenuDriveName(d, false), std::u16string(32, u'N'));
    EXPECT_EQ(MenuDriveName(d, true), std::u16string(kShortNameChars, u'S'));
    d.Name[0] = static_cast<char>(0xC4);  // a byte above ASCII widens as itself
    EXPECT_EQ(MenuDriveName(d, false)[0], u'\u00C4');
}

TEST(SpeedMenu, DrivesPastTheSixteenthAreLeftOut) {
    std::vector<CdromDrive> drives;
    for (int i = 0; i < 20; ++i) drives.push_back(Drive("N", u"N", {Cd(8)}));
    SpeedMenuOptions o = NoShellCommands();
    o.deepMenu = true;
    const MenuRows speed = BuildSpeedMenu(ListOf(drives), o);
    ASSERT_EQ(speed.size(), kMaxDrives);
    EXPECT_EQ(speed.back().children[0].id, 0x80FC);

    const MenuRows dynamic = RightMenuDynamicRows(ListOf(drives), {});
    ASSERT_EQ(dynamic.size(), kMaxDrives + 1);
    EXPECT_EQ(dynamic[15].id, 0x80F0);
}

// ---- program menu --------------------------------------------------------------

TEST(RightMenu, FixedItems) {
    const MenuRows rows = RightMenuFixedRows();
    EXPECT_EQ(Describe(rows),
              "About Tarvik Help - Drive information - Options Reset configuration - "
              "Detect drives - Exit");
    std::vector<uint16_t> ids;
    for (const MenuRow& r : rows) ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<uint16_t>{102, 103, 0, 104, 0, 106, 108, 0, 105, 0, 109}));
    EXPECT_EQ(rows[kRightMenuDynamicPosition].kind, MenuRowKind::Separator);
    EXPECT_EQ(rows[kRightMenuDynamicPosition - 1].id, CMD_DETECT_DRIVES);
}

TEST(RightMenu, DrivesIgnoredSubmenuAndHelp) {
    CdromDrive ignored = Drive("Ignored Drive", u"I", {});
    ignored.Ignore = 1;
    CdromDrive busy = Drive("Busy Drive", u"B", {});
    busy.Busy = 1;  // the program menu lists it like any other
    const auto list = ListOf({Drive("First Drive", u"F", {}), ignored, busy});
    struct Case {
        const char* what;
        CdromListType list;
        RightMenuInputs inputs;
        const char* rows;
    };
    const Case cases[] = {
        {"drives, ignored ones in the submenu",
         list,
         {.helpFileExists = true},
         "About Tarvik Help - Drive information - Options Reset configuration - Detect drives "
         "First Drive Busy Drive Ignored{Ignored Drive} - Exit"},
        {"no help file",
         list,
         {.helpFileExists = false},
         "About Tarvik ~Help - Drive information - Options Reset configuration - Detect drives "
         "First Drive Busy Drive Ignored{Ignored Drive} - Exit"},
        {"nothing ignored: the submenu is grey",
         ListOf({Drive("First Drive", u"F", {})}),
         {.helpFileExists = true},
         "About Tarvik Help - Drive information - Options Reset configuration - Detect drives "
         "First Drive ~Ignored{} - Exit"},
        {"no drives",
         ListOf({}),
         {.helpFileExists = true},
         "About Tarvik Help - Drive information - Options Reset configuration - Detect drives "
         "~Ignored{} - Exit"},
        {"without a submenu the ignored drives stand with the others",
         list,
         {.helpFileExists = true, .ignoredSubmenu = false},
         "About Tarvik Help - Drive information - Options Reset configuration - Detect drives "
         "First Drive Ignored Drive Busy Drive ~Ignored{} - Exit"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Describe(BuildRightMenu(c.list, c.inputs)), c.rows) << c.what;

    const MenuRows dynamic = RightMenuDynamicRows(list, {});
    ASSERT_EQ(dynamic.size(), 3u);
    EXPECT_EQ(dynamic[0].id, 0x8000);
    EXPECT_EQ(dynamic[1].id, 0x8020);
    EXPECT_EQ(dynamic[2].children[0].id, 0x8010);
    EXPECT_TRUE(dynamic[2].grayed == false && dynamic[2].disabled == false);
    for (const MenuRow& r : {dynamic[0], dynamic[1], dynamic[2], dynamic[2].children[0]})
        EXPECT_EQ(r.data, RMENU_DYNAMIC_TAG);
    for (const MenuRow& r : RightMenuFixedRows()) EXPECT_EQ(r.data, 0u);
}

}  // namespace
}  // namespace tarvik
