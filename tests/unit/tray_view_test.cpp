#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ui/tray/tray_view.h"

namespace tarvik {
namespace {

// A drive as the state checks leave it: lists set up, a name, a disc or not.
CdromDrive Drive(const char16_t* shortName, uint32_t speed, int32_t mediumClass,
                 bool present = true) {
    CdromDrive d;
    d.SpeedListCD.Factor = kFactorCD;
    d.SpeedListDVD.Factor = kFactorDVD;
    d.SpeedListBD.Factor = kFactorBD;
    d.CurrentFamily = MediumFamily::CD;
    d.TrayClosed = 1;
    std::u16string name(shortName);
    std::copy(name.begin(), name.end(), d.DefaultShortName);
    d.CurrentSpeed = speed;
    d.MediumClass = mediumClass;
    d.MediumPresent = present ? 1 : 0;
    return d;
}

struct List {
    std::vector<CdromDrive> drives;
    CdromListType Get() const { return CdromListType{drives}; }
};

TrayInputs Modern() {
    TrayInputs in;
    in.shellMajor = 6;
    in.iconDisk = true;
    return in;
}

TEST(TrayTip, ListsEveryDriveWithSpeedAndState) {
    List list;
    list.drives.push_back(Drive(u"PLEX", 1411, kMediumPressed));  // 8x CD-ROM
    CdromDrive open = Drive(u"HL", 0, kMediumNone, false);
    open.Caps.mediumType = 0x71;
    list.drives.push_back(open);
    EXPECT_EQ(ComputeTrayView(list.Get(), Modern()).tip, u"PLEX 8x(CD-ROM)\nHL 0x(open)");

    TrayInputs old = Modern();
    old.shellMajor = 4;  // old shells show the tip on one line
    EXPECT_EQ(ComputeTrayView(list.Get(), old).tip, u"PLEX 8x(CD-ROM) HL 0x(open)");
}

TEST(TrayTip, StateWordsInTheirOrder) {
    struct Case {
        const char* what;
        CdromDrive drive;
        const char16_t* tip;
    };
    CdromDrive busy = Drive(u"A", 0, kMediumPressed);
    busy.Busy = 1;
    busy.Caps.mediumType = 0x71;  // busy wins over open
    CdromDrive playing = Drive(u"A", 1411, kMediumPressed);
    playing.AudioStatus = 0x11;
    CdromDrive paused = Drive(u"A", 1411, kMediumPressed);
    paused.AudioStatus = 0x12;
    CdromDrive dvdR = Drive(u"A", 22160, kMediumRecordable);
    dvdR.CurrentFamily = MediumFamily::DVD;
    CdromDrive bdRe = Drive(u"A", 53940, kMediumRewritable);
    bdRe.CurrentFamily = MediumFamily::BD;
    CdromDrive unknownBd = Drive(u"A", 0, kMediumUnknown);
    unknownBd.CurrentFamily = MediumFamily::BD;
    CdromDrive user = Drive(u"DEFAULT", 7056, kMediumRewritable);
    std::memcpy(user.ShortName, u"Mine", sizeof(u"Mine"));
    const Case cases[] = {
        {"busy", busy, u"A 0x(...)"},
        {"no disk keeps empty parentheses", Drive(u"A", 0, kMediumNone, false), u"A 0x()"},
        {"audio", playing, u"A 8x(audio)"},
        {"pause", paused, u"A 8x(pause)"},
        {"DVD-R at 16x", dvdR, u"A 16x(DVD-R)"},
        {"BD-RE at 12x", bdRe, u"A 12x(BD-RE)"},
        {"other Blu-ray disc", unknownBd, u"A 0x(Blu-ray)"},
        {"user's short name wins", user, u"Mine 40x(CD-RW)"},
    };
    for (const Case& c : cases) {
        List list;
        list.drives.push_back(c.drive);
        EXPECT_EQ(ComputeTrayView(list.Get(), Modern()).tip, c.tip) << c.what;
    }
}

TEST(TrayTip, OddRecordsNeverCrashOrOverflow) {
    // A record whose lists are not set up shows "?" and speed 0.
    List list;
    CdromDrive lost = Drive(u"A", 5000, kMediumPressed);
    lost.CurrentFamily = MediumFamily::None;
    list.drives.push_back(lost);
    EXPECT_EQ(ComputeTrayView(list.Get(), Modern()).tip, u"A 0x(?)");

    // The speed shows two digits at most: 176 * 123 is "23x".
    List fast;
    fast.drives.push_back(Drive(u"A", 176 * 123, kMediumPressed));
    EXPECT_EQ(ComputeTrayView(fast.Get(), Modern()).tip, u"A 23x(CD-ROM)");
}

TEST(TrayTip, BudgetDropsWhatDoesNotFit) {
    // Ten-letter names: an entry takes 1 + 10 + 6 + 8 of the 127 units, so
    // five fit; the sixth gets its separator but no room for its name.
    List list;
    for (int i = 0; i < 16; ++i) list.drives.push_back(Drive(u"ABCDEFGHIJ", 1411, kMediumPressed));
    std::u16string expected;
    for (int i = 0; i < 5; ++i) expected += u"ABCDEFGHIJ 8x(CD-ROM)\n";
    EXPECT_EQ(ComputeTrayView(list.Get(), Modern()).tip, expected);

    // Room for a name but not for its word: nine-letter entries leave 8
    // units after five; "A" takes 1 + 7 of them, and "(CD-ROM)" no longer fits.
    List tight;
    for (int i = 0; i < 5; ++i) tight.drives.push_back(Drive(u"ABCDEFGHI", 1411, kMediumPressed));
    tight.drives.push_back(Drive(u"A", 1411, kMediumPressed));
    const std::u16string tip = ComputeTrayView(tight.Get(), Modern()).tip;
    EXPECT_EQ(tip.size(), 5 * 21u + 4);
    EXPECT_EQ(tip.substr(tip.size() - 5), u"\nA 8x")
        << "the last drive keeps its name, not its word";
}

TEST(TrayTip, IgnoredDrivesAreLeftOutAndAnEmptyListShowsTheProgram) {
    List list;
    CdromDrive ignored = Drive(u"IGN", 1411, kMediumPressed);
    ignored.Ignore = 1;
    list.drives.push_back(ignored);
    list.drives.push_back(Drive(u"B", 1411, kMediumPressed));
    EXPECT_EQ(ComputeTrayView(list.Get(), Modern()).tip, u"B 8x(CD-ROM)");
    EXPECT_EQ(ComputeTrayView(CdromListType{}, Modern()).tip, u"Tarvik 5.0");
}

TEST(TrayIcon, FirstMatchingRuleWins) {
    List withDisk;
    withDisk.drives.push_back(Drive(u"A", 1411, kMediumPressed));
    CdromDrive trayOpen = Drive(u"B", 0, kMediumNone, false);
    trayOpen.TrayClosed = 0;  // a drive that senses nothing: the program's own record
    withDisk.drives.push_back(trayOpen);
    const CdromListType drives = withDisk.Get();

    TrayInputs in = Modern();
    EXPECT_EQ(ComputeTrayView(drives, in).iconRow, 2) << "a disk inside";
    in.iconDisk = false;
    EXPECT_EQ(ComputeTrayView(drives, in).iconRow, 0) << "disk colour off";
    in.iconOpen = true;
    EXPECT_EQ(ComputeTrayView(drives, in).iconRow, 1) << "open beats disk";
    in.blink = true;
    EXPECT_EQ(ComputeTrayView(drives, in).iconRow, 5) << "closing soon";
    EXPECT_EQ(ComputeTrayView(CdromListType{}, in).iconRow, 3) << "no drives";
    in.accessBroken = true;
    EXPECT_EQ(ComputeTrayView(CdromListType{}, in).iconRow, 5) << "no drive access";
    in.busyCount = 1;
    EXPECT_EQ(ComputeTrayView(drives, in).iconRow, 4) << "busy beats everything";
}

TEST(TrayIcon, BusyDrivesAreNotCountedAsHoldingADisk) {
    List list;
    CdromDrive busy = Drive(u"A", 1411, kMediumPressed);
    busy.Busy = 1;
    list.drives.push_back(busy);
    EXPECT_EQ(ComputeTrayView(list.Get(), Modern()).iconRow, 0);
}

}  // namespace
}  // namespace tarvik
