// The drive information text: its lines for the transport and for drives
// made by hand or found on simulated drives, and the bound on its length.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/units.h"
#include "drive/drive_list.h"
#include "drive/speed_obey.h"
#include "drive_sim_fixture.h"
#include "scsi/aspi.h"
#include "scsi/aspi_version.h"
#include "scsi/transport.h"
#include "scsi_fakes.h"
#include "ui/dialogs/drive_info.h"
#include "version_block.h"

namespace tarvik {
namespace {

// The text with CR LF kept, narrowed for readable failures (ASCII only).
std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

void SetList(SpeedList& list, std::vector<uint32_t> fastestFirst, uint32_t maxLevel) {
    list.Count = static_cast<uint32_t>(fastestFirst.size());
    for (size_t i = 0; i < fastestFirst.size(); ++i)
        list.Entries[i] = {fastestFirst[i], fastestFirst[i]};
    list.MaxLevel = maxLevel;
}

CdromDrive Drive(const char* name, uint32_t letter) {
    CdromDrive d;
    // Names of 32 characters fill the field without a NUL, as INQUIRY can.
    std::memcpy(d.Name, name, std::min(std::strlen(name), sizeof d.Name));
    d.Address.letter = letter;
    d.SpeedListCD.Factor = kFactorCD;
    d.SpeedListDVD.Factor = kFactorDVD;
    d.SpeedListBD.Factor = kFactorBD;
    return d;
}

// The lines of one drive's part, as the text should show them.
std::string DriveLines(const CdromDrive& d) {
    return Narrow(DriveInfoText({kSptiOk, kAspiNotInstalled, kTransportSpti, nullptr}, {&d, 1}))
        .substr(std::strlen("SPTI: OK\r\nASPI: Not installed\r\n\r\n"
                            "Drive access method: SPTI (Windows NT - 10)\r\n"));
}

TEST(DriveInfo, WholeTextOfOneDrive) {
    CdromDrive d = Drive("PLEXTOR  DVDR   PX-716A  1.11", 'D');
    d.CanSenseMedium = 1;
    d.IsDVD = 1;
    d.SpeedListCD.CanGetSpeed = 1;
    d.SpeedListCD.CanSetSpeed = 1;
    SetList(d.SpeedListCD, {7056, 1411, 176}, kMediumPressed);
    d.SpeedListDVD.CanGetSpeed = 1;
    d.SpeedListDVD.CanSetSpeed = 1;
    d.SpeedListDVD.CanSetStreaming = 1;
    d.SpeedListDVD.MethodDetected = kMethodSetStreaming;
    SetList(d.SpeedListDVD, {22160, 11080, 5540, 2770}, kMediumRecordable);
    const DriveInfoSources sources{kSptiOk, kAspiNotInstalled, kTransportSpti, nullptr};
    EXPECT_EQ(Narrow(DriveInfoText(sources, {&d, 1})),
              "SPTI: OK\r\n"
              "ASPI: Not installed\r\n"
              "\r\n"
              "Drive access method: SPTI (Windows NT - 10)\r\n"
              "\r\n"
              "[PLEXTOR  DVDR   PX-716A  1.11] (D)\r\n"
              "Medium sense:\tSupported\r\n"
              "Speed effect:\tnot known yet\r\n"
              "<   CD    >\r\n"
              "Speed detection:\tSupported\r\n"
              "Speed control:\t>SET SPEED<\r\n"
              "Speed list: 1x,8x,40x\r\n"
              "<   DVD   >\r\n"
              "Speed detection:\tSupported\r\n"
              "Speed control:\tSET SPEED, >SET STREAMING<\r\n"
              "Speed list: 2x,4x,8x,16x (R)\r\n");
}

TEST(DriveInfo, NoDrivesWithTheAspiVersionStrings) {
    AspiVersionInfo version;
    version.StoreVersionInfo(test::Bytes(test::Block(u"040904b0", test::kUsEnglishUnicode)));
    const DriveInfoSources sources{kSptiNotInitialized, kAspiOk, kTransportAspi, &version};
    EXPECT_EQ(Narrow(DriveInfoText(sources, {})),
              "SPTI: Not initialized!\r\n"
              "ASPI: OK\r\n"
              "\r\n"
              "ASPI LegalCopyright: (c) Someone 1999\r\n"
              "ASPI ProductName: ASPI for Win32\r\n"
              "ASPI FileVersion: 4.60 (1021)\r\n"
              "\r\n"
              "Drive access method: ASPI (Windows 95/98/ME)\r\n"
              "\r\n"
              "No drives found!\r\n");
}

// What the program reads of the ASPI library's file, and how often.
struct VersionFile {
    std::vector<uint8_t> block;
    std::vector<std::string> reads;
};
VersionFile g_versionFile;
std::vector<uint8_t> ReadVersionFile(const std::string& path) {
    g_versionFile.reads.push_back(path);
    return g_versionFile.block;
}

// The version lines show the library as it was loaded: its file is read and
// its block checked once, when it loads, and not again at each opening.
TEST(DriveInfo, TheAspiVersionIsKeptWhenTheLibraryLoads) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("drive-info-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    ASSERT_EQ(LogOpen((dir / "info").string().c_str(), ".log"), 1);
    testing_support::FakeOs os;
    os.libraryPresent = true;  // without its entry points: loaded, but broken
    ResetTransportState();
    SetScsiOs(&os);
    // A block without a translation: the complaint about it belongs to the load.
    g_versionFile = {test::Bytes(test::Block(u"040904b0", {}, false)), {}};
    KeepAspiVersionOnLoad(ReadVersionFile);

    EXPECT_FALSE(LoadedAspiVersion().loaded());
    (void)AspiLoad();
    EXPECT_EQ(g_versionFile.reads, std::vector<std::string>{os.libraryPath});
    const std::string versionLines =
        "ASPI LegalCopyright: (c) Someone 1999\r\n"
        "ASPI ProductName: ASPI for Win32\r\n"
        "ASPI FileVersion: 4.60 (1021)\r\n";
    for (int opening = 0; opening < 2; ++opening) {
        const std::string text =
            Narrow(DriveInfoText(CurrentDriveInfoSources(&LoadedAspiVersion()), {}));
        EXPECT_NE(text.find("ASPI: Driver is broken!\r\n\r\n" + versionLines), std::string::npos)
            << text;
    }
    EXPECT_EQ(g_versionFile.reads.size(), 1u) << "the dialog reads no file";

    // Loaded again (Detect drives) from a file without a version: the old copy goes.
    g_versionFile.block.clear();
    (void)AspiLoad();
    EXPECT_FALSE(LoadedAspiVersion().loaded());

    KeepAspiVersionOnLoad(nullptr);
    SetScsiOs(nullptr);
    ResetTransportState();
    const std::string logPath = LogPath();
    LogClose();
    std::ifstream in(logPath);
    size_t complaints = 0;
    for (std::string line; std::getline(in, line);)
        complaints += line.find(
                          "StoreVersionInfo: VerQueryValue(\\VarFileInfo\\Translation) "
                          "failed!") != std::string::npos;
    EXPECT_EQ(complaints, 1u) << "at the load, not at the openings";
    in.close();
    fs::remove_all(dir);
}

TEST(DriveInfo, TransportLines) {
    struct Case {
        uint32_t spti, aspi, mode;
        const char* head;  // the text up to the drives
    };
    const Case kCases[] = {
        {kSptiNotSupported, kAspiNotInstalled, 0,
         "SPTI: Not supported in this Windows version\r\nASPI: Not installed\r\n\r\n"
         "Drive access method: Unknown error!\r\n"},
        // Codes past the last text; the version lines show without a library.
        {5, 4, 3,
         "SPTI: Unknown error!\r\nASPI: Unknown error!\r\n\r\n"
         "ASPI LegalCopyright: \r\nASPI ProductName: \r\nASPI FileVersion: \r\n\r\n"
         "Drive access method: Unknown error!\r\n"},
    };
    for (const Case& c : kCases) {
        const std::string text = Narrow(DriveInfoText({c.spti, c.aspi, c.mode, nullptr}, {}));
        EXPECT_EQ(text, std::string(c.head) + "\r\nNo drives found!\r\n") << c.spti;
    }
}

TEST(DriveInfo, DriveHeaderLine) {
    struct Case {
        const char* name;
        uint32_t letter, adapter, target, lun;
        const char* line;
    };
    const Case kCases[] = {
        {"SIM DRIVE 1.0", 'E', 7, 8, 9, "[SIM DRIVE 1.0] (E)"},
        {"SIM DRIVE 1.0", 0, 101, 250, 3, "[SIM DRIVE 1.0] (1, 50, 3)"},  // each modulo 100
        {"SIM DRIVE 1.0", '[', 4, 5, 6, "[SIM DRIVE 1.0] (4, 5, 6)"},     // not a letter
    };
    for (const Case& c : kCases) {
        CdromDrive d = Drive(c.name, c.letter);
        d.Address.adapter = c.adapter;
        d.Address.target = c.target;
        d.Address.lun = c.lun;
        const std::string lines = DriveLines(d);
        EXPECT_EQ(lines.substr(0, lines.find("\r\n", 2)), std::string("\r\n") + c.line) << c.line;
    }
}

TEST(DriveInfo, NamesAreAnsiAndNeverReadPastTheirField) {
    CdromDrive d = Drive("", 'D');
    std::memset(d.Name, 'N', sizeof d.Name);  // all 32 bytes, no NUL
    d.Name[0] = static_cast<char>(0xE9);
    d.Name[1] = static_cast<char>(0x80);
    const std::u16string text = DriveInfoText({kSptiOk, kAspiNotInstalled, 1, nullptr}, {&d, 1});
    const std::u16string expected = u"[\u00E9\u20AC" + std::u16string(30, u'N') + u"] (D)\r\n";
    EXPECT_NE(text.find(expected), std::u16string::npos);
}

TEST(DriveInfo, SpeedControlLine) {
    struct Case {
        uint32_t canSetSpeed, canSetStreaming, detected, prefered;
        const char* line;
    };
    const Case kCases[] = {
        {0, 0, 0, 0, "Not supported"},
        {0, 1, 0, 0, ">SET STREAMING<"},
        {1, 1, 0, 0, ">SET SPEED<, SET STREAMING"},
        {1, 1, kMethodSetStreaming, 0, "SET SPEED, >SET STREAMING<"},
        {1, 1, kMethodSetStreaming, kMethodSetCdSpeed, ">SET SPEED<, SET STREAMING"},
        {1, 0, kMethodSetStreaming, 0, "SET SPEED"},  // the method in use is not offered
    };
    for (const Case& c : kCases) {
        CdromDrive d = Drive("D", 'D');
        d.SpeedListCD.CanSetSpeed = c.canSetSpeed;
        d.SpeedListCD.CanSetStreaming = c.canSetStreaming;
        d.SpeedListCD.MethodDetected = c.detected;
        d.SpeedListCD.MethodPrefered = c.prefered;
        EXPECT_NE(DriveLines(d).find(std::string("Speed control:\t") + c.line + "\r\n"),
                  std::string::npos)
            << c.line;
    }
}

TEST(DriveInfo, SpeedListLine) {
    struct Case {
        std::vector<uint32_t> speeds;
        uint32_t factor, maxLevel;
        const char* line;  // nullptr: no line
    };
    const Case kCases[] = {
        {{7056, 1411, 176}, kFactorCD, kMediumPressed, "1x,8x,40x"},
        {{7056}, kFactorCD, 0, "40x (?)"},
        {{7056}, kFactorCD, kMediumRewritable, "40x (RW)"},
        {{7056}, kFactorCD, kMediumRecordable, "40x (R)"},
        {{7056}, kFactorCD, 3, "40x"},
        {{4234, 2822}, kFactorCD, 8, "16x,24x"},  // 16.03, 24.05: the nearest
        {{264}, kFactorCD, 8, "2x"},              // 1.5 rounds up
        {{176000}, kFactorCD, 8, "0x"},           // 1000x: three digits only
        {{7056}, 0, 8, "0x"},                     // a damaged list without factor
        {{}, kFactorCD, 8, nullptr},
    };
    for (const Case& c : kCases) {
        CdromDrive d = Drive("D", 'D');
        SetList(d.SpeedListCD, c.speeds, c.maxLevel);
        d.SpeedListCD.Factor = c.factor;
        const std::string lines = DriveLines(d);
        if (c.line) {
            EXPECT_NE(lines.find(std::string("Speed list: ") + c.line + "\r\n"), std::string::npos)
                << c.line;
        } else {
            EXPECT_EQ(lines.find("Speed list"), std::string::npos);
        }
    }
}

TEST(DriveInfo, ACorruptCountShowsTheWholeArrayOnly) {
    CdromDrive d = Drive("D", 'D');
    SetList(d.SpeedListCD, std::vector<uint32_t>(kMaxSpeedEntries, 176), 8);
    d.SpeedListCD.Count = 100000;
    const std::string lines = DriveLines(d);
    const size_t start = lines.find("Speed list: ");
    ASSERT_NE(start, std::string::npos);
    const std::string list = lines.substr(start, lines.find("\r\n", start) - start);
    EXPECT_EQ(std::count(list.begin(), list.end(), 'x'), static_cast<long>(kMaxSpeedEntries));
}

// Sixteen drives with three full lists: far beyond the 10000 units the text
// once had, so it must grow; and cut to any bound, it ends after a whole line.
class DriveInfoLength : public ::testing::Test {
protected:
    void SetUp() override {
        for (uint32_t i = 0; i < kMaxDrives; ++i) {
            CdromDrive d = Drive("VENDOR   A VERY LONG PRODUCT 9.99", 'D' + i);
            d.CanSenseMedium = 1;
            d.IsDVD = d.IsBD = 1;
            for (SpeedList* l : {&d.SpeedListCD, &d.SpeedListDVD, &d.SpeedListBD}) {
                l->CanGetSpeed = l->CanSetSpeed = l->CanSetStreaming = 1;
                std::vector<uint32_t> speeds;
                for (uint32_t k = 0; k < kMaxSpeedEntries; ++k)
                    speeds.push_back(l->Factor * (kMaxSpeedEntries - k) * 7);
                SetList(*l, speeds, kMediumRewritable);
            }
            drives_.push_back(d);
        }
    }
    std::vector<CdromDrive> drives_;
    const DriveInfoSources sources_{kSptiOk, kAspiOk, kTransportSpti, nullptr};
};

TEST_F(DriveInfoLength, SixteenFullDrivesAreAllThere) {
    const std::u16string text = DriveInfoText(sources_, drives_);
    EXPECT_GT(text.size(), 30000u);
    EXPECT_LE(text.size(), kDriveInfoTextLimit);
    const std::string narrow = Narrow(text);
    for (uint32_t i = 0; i < kMaxDrives; ++i) {
        const std::string head = std::string("] (") + static_cast<char>('D' + i) + ")\r\n";
        EXPECT_NE(narrow.find(head), std::string::npos) << i;
    }
    size_t lists = 0;
    for (size_t at = 0; (at = narrow.find("Speed list: ", at)) != std::string::npos; ++at) ++lists;
    EXPECT_EQ(lists, 3 * kMaxDrives);
    EXPECT_TRUE(narrow.ends_with(",896x (RW)\r\n"));  // the last drive's fastest Blu-ray
}

TEST_F(DriveInfoLength, CutAtTheLastLineEndWithinTheBound) {
    const std::u16string full = DriveInfoText(sources_, drives_);
    std::vector<size_t> bounds = {
        0, 1, 2, 9, 10, 11, full.size() - 1, full.size(), full.size() + 1};
    for (size_t b = 13; b < full.size(); b += 997) bounds.push_back(b);
    for (size_t at = 0; (at = full.find(u"\r\n", at)) != std::u16string::npos && at < 400; ++at) {
        bounds.push_back(at + 1);  // one short of the line end
        bounds.push_back(at + 2);  // exactly the line end
    }
    for (size_t bound : bounds) {
        const std::u16string cut = DriveInfoText(sources_, drives_, bound);
        ASSERT_LE(cut.size(), bound) << bound;
        EXPECT_EQ(full.compare(0, cut.size(), cut), 0) << bound;
        if (!cut.empty()) {
            EXPECT_TRUE(cut.ends_with(u"\r\n")) << bound;
        }
        // The longest such text: the next line would not have fitted.
        const size_t next = full.find(u"\r\n", cut.size());
        if (next != std::u16string::npos) {
            EXPECT_GT(next + 2, bound) << bound;
        }
    }
}

class DriveInfoOnSimulatedDrives : public test::DriveSim {};

TEST_F(DriveInfoOnSimulatedDrives, ShowsWhatTheListBuildLearnt) {
    Add(test::DvdWriter());
    Add(test::BdCombo());
    ResetTransportState();  // statuses as before SCSIInit, whatever ran earlier
    Start();
    ASSERT_EQ(BuildDriveList(), 1);
    ASSERT_EQ(CdromList.count(), 2u);

    const std::string text =
        Narrow(DriveInfoText(CurrentDriveInfoSources(nullptr), CdromList.drives));
    EXPECT_TRUE(text.starts_with("SPTI: Not initialized!\r\nASPI: Not initialized!\r\n"));
    EXPECT_NE(text.find("Drive access method: SPTI (Windows NT - 10)\r\n"), std::string::npos);
    size_t pos = 0;
    for (const CdromDrive& d : CdromList.drives) {
        const std::string head = std::string("\r\n[") + d.Name + "] (";
        pos = text.find(head, pos);
        ASSERT_NE(pos, std::string::npos) << d.Name;
        // The list the start-up examination found for the disc in it, slowest first.
        std::string list = "Speed list: ";
        const SpeedList& found = d.CurrentList();
        const std::vector<uint32_t> speeds = test::SpeedsOf(found);
        ASSERT_FALSE(speeds.empty()) << d.Name;
        for (size_t i = speeds.size(); i-- > 0;)
            list += std::to_string(SpeedMultiple(speeds[i], found.Factor)) + (i ? "x," : "x");
        EXPECT_NE(text.find(list, pos), std::string::npos) << list;
    }
    EXPECT_EQ(text.find("< Blu-ray >"), text.rfind("< Blu-ray >"));  // the combo drive only
    EXPECT_GT(text.find("< Blu-ray >"), text.find("[" + std::string(CdromList.drives[1].Name)));
    EXPECT_NE(text.find("<   DVD   >"), text.rfind("<   DVD   >"));  // both drives
}

}  // namespace
}  // namespace tarvik

namespace tarvik {
namespace {

// The obedience line: per family the drive reads, unknown ones left out;
// one word for a drive that refuses everywhere.
TEST(DriveInfo, SpeedEffectLineSaysWhetherTheDriveObeys) {
    CdromDrive d = Drive("TARVIKSM DVD", 'E');
    d.IsDVD = 1;
    const auto line = [&d] {
        const std::string text = DriveLines(d);
        const size_t at = text.find("Speed effect:\t");
        return at == std::string::npos ? text : text.substr(at, text.find("\r\n", at) - at);
    };
    EXPECT_EQ(line(), "Speed effect:\tnot known yet");
    d.VerdictCD = kVerdictObeys;
    d.VerdictDVD = kVerdictIgnores | kVerdictByRead;
    d.VerdictBD = kVerdictRefuses;  // the drive reads no Blu-ray: not said
    EXPECT_EQ(line(), "Speed effect:\tobeys the speed for CD, ignores the speed for DVD");
    d.VerdictCD = kVerdictUnknown;
    d.VerdictDVD = kVerdictRefuses;
    EXPECT_EQ(line(), "Speed effect:\trefuses speed commands");
    d.VerdictCD = kVerdictObeys;
    EXPECT_EQ(line(), "Speed effect:\tobeys the speed for CD, refuses speed commands for DVD");
}

}  // namespace
}  // namespace tarvik
