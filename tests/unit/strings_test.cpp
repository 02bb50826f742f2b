// The string table: the texts the program shows, as the behaviour gives them,
// the lookup by id, and the resource block layout built from the same list.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include "ui/text/strings.h"

namespace tarvik {
namespace {

// UTF-8 to UTF-16, written here independently of the table so that the two
// copies the table keeps can be checked against each other.
std::u16string Utf8ToUtf16(std::string_view in) {
    std::u16string out;
    for (std::size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        char32_t cp;
        std::size_t n;
        if (b < 0x80) {
            cp = b, n = 1;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F, n = 2;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F, n = 3;
        } else {
            cp = b & 0x07, n = 4;
        }
        for (std::size_t k = 1; k < n && i + k < in.size(); ++k) {
            cp = (cp << 6) | (static_cast<unsigned char>(in[i + k]) & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += n;
    }
    return out;
}

struct Given {
    unsigned id;
    const char* text;  // UTF-8
};

// Every string whose id and text the behaviour fixes, transcribed from it.
// clang-format off
constexpr Given kGiven[] = {
    {1, "OK"}, {2, "Cancel"},
    {3, "Can't register window class!"}, {4, "Can't create main window!"},
    {5, "Can't create menu!"}, {6, "Remove all options from registry?"},
    {7, "About Tarvik"}, {8, "Help"}, {9, "Drive information"}, {10, "Detect drives"},
    {11, "Ignored"}, {12, "Options"}, {13, "Reset configuration"}, {14, "Exit"},
    {15, "Browse"}, {16, "Explorer"}, {17, "Autorun"},
    {18, "Program start"}, {19, "Start automatically"}, {20, "Restore speed and exit"},
    {21, "Hide icon"}, {22, "Close trays"}, {23, "Timer"}, {24, "On"},
    {25, "Close tray after"}, {26, "seconds"}, {27, "Force disk content refresh"},
    {28, "Use short drive names"}, {29, "Separate eject/close buttons"},
    {30, "Drive name above speed list"}, {31, "Separate menu for each drive"},
    {32, "Drive access method"}, {33, "Enable autorun (all users)"},
    {34, "Enable autorun (this user)"}, {35, "Enable audio autoplay"},
    {36, "ASPI (Windows 95/98/ME)"}, {37, "SPTI (Windows NT - 10)"}, {38, "Disable ASPI"},
    {39, "Show unknown drives"}, {40, "System settings"}, {41, "Interface settings"},
    {42, "You must restart Windows session to apply changes."}, {43, "Shutdown"},
    {44, "Show reminder"}, {45, "Eject disks"}, {46, "Close trays"}, {47, "Delay (seconds):"},
    {48, "Eject password"}, {49, "Other"}, {50, "Save settings to file"},
    {51, "Indicate disk status with icon color"}, {52, "Indicate tray status with icon color"},
    {53, "Show \"Browse\" command"}, {54, "Show \"Explorer\" command"},
    {55, "Show \"Autorun\" command"},
    {56, "Drive options"}, {57, "Ignore this drive"}, {58, "Restore speed"},
    {59, "At program start"}, {60, "On disk change"}, {61, "At system resume"},
    {62, "On tray close"}, {63, "Only when disk present"}, {64, "When playing audio"},
    {65, "By timer"}, {66, " (every "}, {67, " seconds)"}, {68, "Ignore current speed"},
    {69, "Medium type"}, {70, "Detect speeds"}, {71, "Fast"}, {72, "Full"}, {73, "Measure"},
    {74, "Speed control method"}, {75, "Auto detect"}, {76, "Speed list"}, {77, "Service"},
    {78, "Read data from disk after speed is set"}, {79, "Divide speed menu into groups"},
    {80, "Lock tray"}, {81, "Short name:"},
    {82, "Speed detection failed.\n\nPlease insert disk in drive and try again.\n"
         "The use of R/RW disks is not recommended."},
    {83, "Speed\tCommand"}, {84, "Speed"}, {85, "Delete"}, {86, "Delete all"}, {87, "Add"},
    {88, "x"}, {89, "KB/s"}, {90, "Hot keys"},
    {91, "Eject:"}, {92, "Close:"}, {93, "Max speed:"}, {94, "Faster:"}, {95, "Restore:"},
    {96, "Slower:"}, {97, "Min speed:"},
    {98, "Fast scan"}, {99, "Full scan"}, {100, "Measure"}, {101, "Tarvik version "},
    {107, "Medium sense:\t"}, {108, "Supported"}, {109, "Not supported"},
    {110, "<   CD    >"}, {111, "<   DVD   >"}, {112, "< Blu-ray >"},
    {113, "Speed detection:\t"}, {114, "Speed control:\t"}, {115, "SET SPEED"},
    {116, "SET STREAMING"}, {117, "Speed list: "},
    {118, "Not initialized!"}, {119, "Not installed"}, {120, "Driver is broken!"}, {121, "OK"},
    {122, "Not initialized!"}, {123, "Not supported in this Windows version"},
    {124, "No drives found!"}, {125, "Access denied!"}, {126, "OK"}, {127, "Unknown error!"},
    {128, "Please insert DATA or PROGRAM disk.\n\nDon't use CD-AUDIO. The use of VIDEO\n"
          "and R/RW type disks is not recommended."},
    {129, "Enter password"}, {130, "New password"}, {131, "Password:"}, {132, "Verify:"},
    {133, "Disk inserted!"}, {134, "Tray opened!"}, {135, "Time left:"}, {136, "Eject"},
    {137, "Close tray"},
    {138, "..."}, {139, "open"}, {140, ""}, {141, "audio"}, {142, "pause"},
    {143, "CD-ROM"}, {144, "CD-R"}, {145, "CD-RW"}, {146, "CD"},
    {147, "DVD-ROM"}, {148, "DVD-R"}, {149, "DVD-RW"}, {150, "DVD"},
    {151, "BD-ROM"}, {152, "BD-R"}, {153, "BD-RE"}, {154, "Blu-ray"}, {155, "?"},
};
// clang-format on

// The texts the behaviour leaves to us (About dialog lines and links) and our
// own (a broken drive in the drive information; whether a drive obeys the speed).
constexpr unsigned kOurOwn[] = {102, 103, 104, 105, 106, 156, 157, 158, 159, 160, 161,
                                162, 163, 164, 165, 166, 167, 168, 169, 170, 171, 174};

TEST(StringTable, HoldsEveryGivenStringWithItsExactText) {
    for (const Given& g : kGiven) {
        SCOPED_TRACE(testing::Message() << "string " << g.id);
        ASSERT_NE(FindResStringEntry(g.id), nullptr);
        EXPECT_EQ(ResStringUtf8(g.id), g.text);
        EXPECT_EQ(ResString(g.id), Utf8ToUtf16(g.text));
    }
}

TEST(StringTable, HoldsNothingBeyondTheGivenStringsAndTheAboutTexts) {
    std::set<unsigned> expected(std::begin(kOurOwn), std::end(kOurOwn));
    for (const Given& g : kGiven) expected.insert(g.id);
    std::set<unsigned> actual;
    for (const ResStringEntry& e : ResStringTable()) actual.insert(e.id);
    EXPECT_EQ(actual, expected);
    for (unsigned id : kOurOwn) EXPECT_FALSE(ResString(id).empty()) << "string " << id;
}

TEST(StringTable, UsesTheIdsAsTheBehaviourComputesThem) {
    // Transport state texts are reached by arithmetic on the state code.
    EXPECT_EQ(ResStringUtf8(IDS_ASPI_NOT_INITIALIZED + 3), "OK");
    EXPECT_EQ(ResStringUtf8(IDS_SPTI_NOT_INITIALIZED + 4), "OK");
    EXPECT_EQ(ResStringUtf8(IDS_SPTI_NOT_INITIALIZED + 1), "Not supported in this Windows version");
    // Named constants are the ids the code passes around.
    EXPECT_EQ(IDS_CANT_REGISTER_CLASS, 3u);
    EXPECT_EQ(IDS_RESET_CONFIRM, 6u);
    EXPECT_EQ(IDS_DRIVE_OPTIONS, 56u);
    EXPECT_EQ(IDS_TIP_NO_DISK, 140u);
    EXPECT_EQ(IDS_TIP_UNKNOWN, 155u);
}

TEST(StringTable, FreeIdsGiveEmptyTexts) {
    for (unsigned id : {0u, 172u, 175u, 200u, 1000u, 0xFFFFu, 0x10000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(FindResStringEntry(id), nullptr);
        EXPECT_TRUE(ResString(id).empty());
        EXPECT_TRUE(ResStringUtf8(id).empty());
        for (const UiLanguage language : kUiLanguages) {
            EXPECT_FALSE(FindTranslation(language, id)) << UiLanguageCode(language);
            EXPECT_TRUE(ResStringIn(language, id).empty()) << UiLanguageCode(language);
        }
    }
    // The empty tip word is a real string, not a free id.
    ASSERT_NE(FindResStringEntry(140), nullptr);
    EXPECT_TRUE(ResString(140).empty());
}

TEST(StringTable, Utf8AndUtf16CopiesAgreeAlsoBeyondAscii) {
    bool sawNonAscii = false;
    for (const ResStringEntry& e : ResStringTable()) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.text, Utf8ToUtf16(e.utf8));
        for (char16_t c : e.text) sawNonAscii = sawNonAscii || c > 0x7F;
    }
    // The copyright line carries a non-ASCII sign, which proves the encodings.
    EXPECT_TRUE(sawNonAscii);
    EXPECT_NE(ResString(IDS_ABOUT_NOTICE_START).find(u'\u00A9'), std::u16string_view::npos);
}

TEST(StringTable, ConstantNamesAreUniqueAndSpelledAsInTheList) {
    std::set<std::string> names;
    for (const ResStringEntry& e : ResStringTable()) {
        EXPECT_TRUE(names.insert(e.name).second) << e.name;
        EXPECT_EQ(std::string(e.name).rfind("IDS_", 0), 0u) << e.name;
    }
    EXPECT_STREQ(FindResStringEntry(IDS_MNU_IGNORED)->name, "IDS_MNU_IGNORED");
}

TEST(StringTable, TipWordsFitTheTipBudget) {
    // A tip word costs its length plus two parentheses out of 127 units; a
    // word that could never fit next to a name would be a mistake in the list.
    for (const UiLanguage language : kUiLanguages) {
        for (unsigned id = IDS_TIP_BUSY; id <= IDS_TIP_UNKNOWN; ++id)
            EXPECT_LE(ResStringIn(language, id).size(), 10u) << UiLanguageCode(language) << id;
    }
}

TEST(StringTable, LinksOfTheAboutDialogAreOpenableByTheShell) {
    EXPECT_EQ(ResStringUtf8(IDS_ABOUT_EMAIL).rfind("mailto:", 0), 0u);
    EXPECT_EQ(ResStringUtf8(IDS_ABOUT_WEB).rfind("https://", 0), 0u);
}

std::string ReadSourceFile(const std::string& relative) {
    std::ifstream in(std::string(TARVIK_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- the translated tables -----------------------------------------------------

TEST(StringTableLanguages, ChosenByTheSettingElseByTheDisplayLanguagesPrimaryLanguage) {
    const struct {
        const char* setting;
        uint16_t system;
        UiLanguage chosen;
    } cases[] = {
        {"", 0x0407, UiLanguage::German},     // de-DE
        {"", 0x0807, UiLanguage::German},     // de-CH: the primary language counts
        {"", 0x040C, UiLanguage::French},     // fr-FR
        {"", 0x0C0C, UiLanguage::French},     // fr-CA
        {"", 0x0C0A, UiLanguage::Spanish},    // es-ES
        {"", 0x080A, UiLanguage::Spanish},    // es-MX
        {"", 0x0419, UiLanguage::Russian},    // ru-RU
        {"", 0x0409, UiLanguage::English},    // en-US
        {"", 0x0411, UiLanguage::English},    // ja-JP: no table
        {"", 0x0000, UiLanguage::English},    // neutral
        {"", 0xFFFF, UiLanguage::English},    // nonsense
        {"de", 0x0419, UiLanguage::German},   // the setting wins
        {"RU", 0x0409, UiLanguage::Russian},  // in any case
        {"en", 0x0407, UiLanguage::English},  // English can be chosen too
        {"Es", 0x0000, UiLanguage::Spanish},
        {"xx", 0x040C, UiLanguage::French},  // unknown: automatic
        {"deu", 0x0419, UiLanguage::Russian},
        {"d", 0x0419, UiLanguage::Russian},
        {"auto", 0x0407, UiLanguage::German},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << '"' << c.setting << "\" " << std::hex << c.system);
        EXPECT_EQ(ChooseUiLanguage(c.setting, c.system), c.chosen);
    }
    for (const UiLanguage language : kUiLanguages) {
        EXPECT_EQ(ParseUiLanguage(UiLanguageCode(language)), language);
        EXPECT_EQ(LanguageOfLangId(PrimaryLangId(language)), language);
    }
}

TEST(StringTableLanguages, ResStringFollowsTheLanguageInUseAndFallsBackToEnglish) {
    const struct Restore {
        ~Restore() { SetUiLanguage(UiLanguage::English); }
    } restore;
    EXPECT_EQ(CurrentUiLanguage(), UiLanguage::English);
    SetUiLanguage(UiLanguage::German);
    EXPECT_EQ(ResString(IDS_CANCEL), u"Abbrechen");
    // The command line stays English whatever the language.
    EXPECT_EQ(ResStringUtf8(IDS_CANCEL), "Cancel");
    SetUiLanguage(UiLanguage::Russian);
    EXPECT_EQ(ResString(IDS_CANCEL), u"Отмена");
    SetUiLanguage(UiLanguage::English);
    EXPECT_EQ(ResString(IDS_CANCEL), u"Cancel");
    EXPECT_FALSE(FindTranslation(UiLanguage::English, IDS_CANCEL));
    // A string is never empty in a language where it is not in English: a
    // table that lacks it, or holds it empty, shows the English text.
    for (const UiLanguage language : kUiLanguages) {
        for (const ResStringEntry& e : ResStringTable()) {
            SCOPED_TRACE(testing::Message() << UiLanguageCode(language) << " " << e.name);
            EXPECT_EQ(ResStringIn(language, e.id).empty(), e.text.empty());
            const auto own = FindTranslation(language, e.id);
            if (!own || own->empty()) {
                EXPECT_EQ(ResStringIn(language, e.id), e.text);
            }
        }
    }
}

TEST(StringTableLanguages, CommandsUseTheWordsWindowsUsesInEachLanguage) {
    const struct {
        UiLanguage language;
        unsigned id;
        std::u16string_view text;
    } words[] = {
        {UiLanguage::German, IDS_OK, u"OK"},
        {UiLanguage::German, IDS_CANCEL, u"Abbrechen"},
        {UiLanguage::German, IDS_REMINDER_EJECT, u"Auswerfen"},
        {UiLanguage::German, IDS_MNU_OPTIONS, u"Optionen"},
        {UiLanguage::German, IDS_MNU_HELP, u"Hilfe"},
        {UiLanguage::German, IDS_MNU_EXIT, u"Beenden"},
        {UiLanguage::German, IDS_MNU_BROWSE, u"Durchsuchen"},
        {UiLanguage::German, IDS_DRV_DELETE, u"Löschen"},
        {UiLanguage::German, IDS_DRV_ADD, u"Hinzufügen"},
        {UiLanguage::French, IDS_OK, u"OK"},
        {UiLanguage::French, IDS_CANCEL, u"Annuler"},
        {UiLanguage::French, IDS_REMINDER_EJECT, u"Éjecter"},
        {UiLanguage::French, IDS_MNU_OPTIONS, u"Options"},
        {UiLanguage::French, IDS_MNU_HELP, u"Aide"},
        {UiLanguage::French, IDS_MNU_EXIT, u"Quitter"},
        {UiLanguage::French, IDS_MNU_BROWSE, u"Parcourir"},
        {UiLanguage::French, IDS_MNU_EXPLORER, u"Explorateur"},
        {UiLanguage::Spanish, IDS_OK, u"Aceptar"},
        {UiLanguage::Spanish, IDS_CANCEL, u"Cancelar"},
        {UiLanguage::Spanish, IDS_REMINDER_EJECT, u"Expulsar"},
        {UiLanguage::Spanish, IDS_MNU_OPTIONS, u"Opciones"},
        {UiLanguage::Spanish, IDS_MNU_HELP, u"Ayuda"},
        {UiLanguage::Spanish, IDS_MNU_EXIT, u"Salir"},
        {UiLanguage::Spanish, IDS_MNU_BROWSE, u"Examinar"},
        {UiLanguage::Russian, IDS_OK, u"ОК"},  // Cyrillic, as Windows writes it
        {UiLanguage::Russian, IDS_CANCEL, u"Отмена"},
        {UiLanguage::Russian, IDS_REMINDER_EJECT, u"Извлечь"},
        {UiLanguage::Russian, IDS_MNU_OPTIONS, u"Параметры"},
        {UiLanguage::Russian, IDS_MNU_HELP, u"Справка"},
        {UiLanguage::Russian, IDS_MNU_EXIT, u"Выход"},
        {UiLanguage::Russian, IDS_MNU_BROWSE, u"Обзор"},
        {UiLanguage::Russian, IDS_MNU_EXPLORER, u"Проводник"},
    };
    for (const auto& w : words) {
        SCOPED_TRACE(testing::Message() << UiLanguageCode(w.language) << " " << w.id);
        EXPECT_EQ(ResStringIn(w.language, w.id), w.text);
    }
    // The tray close of the reminder and the hot key label say the same verb.
    EXPECT_EQ(ResStringIn(UiLanguage::German, IDS_HK_EJECT), u"Auswerfen:");
    EXPECT_EQ(ResStringIn(UiLanguage::Russian, IDS_HK_EJECT), u"Извлечь:");
}

// ---- the build's table check --------------------------------------------------

struct CheckRun {
    int exitCode = -1;
    std::string output;
};

// check_strings.py on a table written from `entries`, against the program's
// neutral table or one written from `neutral`.
CheckRun CheckTable(const std::string& entries, const std::string& neutral = "") {
    // A file of its own per test: ctest runs the tests side by side.
    const std::string stem = std::string(TARVIK_BINARY_DIR) + "/strings_check_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string path = stem + "_table.inc";
    std::string neutralPath = std::string(TARVIK_SOURCE_DIR) + "/resources/strings.inc";
    if (!neutral.empty()) {
        neutralPath = stem + "_neutral.inc";
        std::ofstream(neutralPath, std::ios::binary) << neutral;
    }
    std::ofstream(path, std::ios::binary) << entries;
    const std::string command = "python3 " + std::string(TARVIK_SOURCE_DIR) +
                                "/resources/tools/check_strings.py " + neutralPath + " " + path +
                                " 2>&1";
    CheckRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof(buffer), pipe)) run.output += buffer;
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(StringTableCheck, PassesTheTablesAndOnlyNotesAStringATableLacks) {
    for (const char* code : {"de", "fr", "es", "ru"}) {
        SCOPED_TRACE(code);
        const CheckRun run =
            CheckTable(ReadSourceFile(std::string("resources/strings_") + code + ".inc"));
        EXPECT_EQ(run.exitCode, 0) << run.output;
        EXPECT_EQ(run.output.find("error"), std::string::npos) << run.output;
    }
    // A table without string 2: English shown, the build goes on.
    const CheckRun run = CheckTable("TARVIK_STRING(1, IDS_OK, \"OK\")\n");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("note: "), std::string::npos);
    EXPECT_NE(run.output.find("string 2 (IDS_CANCEL) not translated"), std::string::npos);
}

TEST(StringTableCheck, FailsOnWhatTheProgramWouldShowWrongly) {
    const struct {
        const char* name;
        std::string table;
        const char* says;
    } faults[] = {
        {"an id the neutral table lacks", "TARVIK_STRING(172, IDS_NEW, \"Neu\")\n",
         "the neutral table has no id 172"},
        {"a name not the neutral one", "TARVIK_STRING(2, IDS_OK, \"Abbrechen\")\n",
         "named IDS_OK, the neutral table names it IDS_CANCEL"},
        {"ids out of order",
         "TARVIK_STRING(2, IDS_CANCEL, \"B\")\nTARVIK_STRING(1, IDS_OK, \"A\")\n",
         "ids must ascend"},
        {"a conversion where English has none", "TARVIK_STRING(2, IDS_CANCEL, \"%d Abbrechen\")\n",
         "conversions ['d']"},
        {"an '&' mnemonic added", "TARVIK_STRING(2, IDS_CANCEL, \"&Abbrechen\")\n",
         "1 '&' mnemonics, the English has 0"},
        {"a tab lost", "TARVIK_STRING(83, IDS_DRV_LIST_COLUMNS, \"Geschwindigkeit Befehl\")\n",
         "0 tabs, the English has 1"},
        {"not an entry", "TARVIK_STRING(2, IDS_CANCEL, Abbrechen)\n", "not an entry"},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.name);
        const CheckRun run = CheckTable(f.table);
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_NE(run.output.find(f.says), std::string::npos) << run.output;
    }
    // Conversions: the same types in the same order, whatever the words.
    const std::string neutral = "TARVIK_STRING(1, IDS_A, \"%d of %s at %lu%%\")\n";
    EXPECT_EQ(CheckTable("TARVIK_STRING(1, IDS_A, \"%d von %s, %lu %%\")\n", neutral).exitCode, 0);
    const std::pair<const char*, const char*> conversions[] = {
        {"%s von %d bei %lu%%", "another order"}, {"%d von %s bei %u%%", "another type (length)"},
        {"%d von %d bei %lu%%", "another type"},  {"%d von %s", "one missing"},
        {"%d von %s bei %lu%% %s", "one added"},
    };
    for (const auto& [text, name] : conversions) {
        SCOPED_TRACE(name);
        const CheckRun run =
            CheckTable(std::string("TARVIK_STRING(1, IDS_A, \"") + text + "\")\n", neutral);
        EXPECT_EQ(run.exitCode, 1) << run.output;
        EXPECT_NE(run.output.find("the English has ['d', 's', 'lu']"), std::string::npos)
            << run.output;
    }
    // "&&" is a plain ampersand, not a mnemonic.
    EXPECT_EQ(CheckTable("TARVIK_STRING(2, IDS_CANCEL, \"A && B\")\n").exitCode, 0);
}

// ---- the resource block layout ---------------------------------------------

// Reads string `index` of a block the way the program's resource reader does:
// skip `index` counted entries, the next count is the length.
std::u16string ReadFromBlock(const std::vector<uint16_t>& block, unsigned index) {
    std::size_t pos = 0;
    for (unsigned k = 0; k < index; ++k) pos += 1 + block.at(pos);
    const uint16_t n = block.at(pos);
    return std::u16string(block.begin() + pos + 1, block.begin() + pos + 1 + n);
}

TEST(StringTableBlock, EveryStringReadsBackFromItsBlock) {
    for (const ResStringEntry& e : ResStringTable()) {
        SCOPED_TRACE(e.name);
        const std::vector<uint16_t> block = BuildResStringBlock(e.id / 16);
        ASSERT_FALSE(block.empty());
        EXPECT_EQ(ReadFromBlock(block, e.id % 16), e.text);
    }
}

TEST(StringTableBlock, LayoutOfTheFirstBlock) {
    // Block 0 holds ids 0..15; id 0 is free and so has a count of 0.
    const std::vector<uint16_t> block = BuildResStringBlock(0);
    ASSERT_GE(block.size(), 4u);
    EXPECT_EQ(block[0], 0);  // id 0
    EXPECT_EQ(block[1], 2);  // id 1: "OK"
    EXPECT_EQ(block[2], u'O');
    EXPECT_EQ(block[3], u'K');
    std::size_t expected = 16;  // one count per id
    for (unsigned id = 0; id < 16; ++id) expected += ResString(id).size();
    EXPECT_EQ(block.size(), expected);
}

TEST(StringTableBlock, IdSeventeenIsTheSecondStringOfBlockTwo) {
    EXPECT_EQ(ResStringBlockName(17), 2u);
    EXPECT_EQ(ReadFromBlock(BuildResStringBlock(1), 1), u"Autorun");
}

TEST(StringTableBlock, BlocksWithoutStringsAreNotWritten) {
    EXPECT_TRUE(BuildResStringBlock(11).empty());  // ids 176..191
    EXPECT_TRUE(BuildResStringBlock(4095).empty());
    EXPECT_TRUE(BuildResStringBlock(4096).empty());  // beyond 16-bit ids
    EXPECT_TRUE(BuildResStringBlock(0xFFFFFFFFu).empty());
    // Block 10 (ids 160..175) is written: 160..171 and 174 are used, the others free.
    const std::vector<uint16_t> block = BuildResStringBlock(10);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(ReadFromBlock(block, 15), u"");
    EXPECT_EQ(ReadFromBlock(block, 1), u"refuses speed commands");
}

// ---- the resource script -----------------------------------------------------

TEST(ResourceScript, IncludesTheStringListInTheNeutralLanguageAndEachTranslationInItsOwn) {
    const std::string rc = ReadSourceFile("resources/tarvik.rc");
    ASSERT_FALSE(rc.empty());
    EXPECT_NE(rc.find("#pragma code_page(65001)"), std::string::npos);
    EXPECT_NE(rc.find("LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL"), std::string::npos);
    const auto table = rc.find("STRINGTABLE");
    ASSERT_NE(table, std::string::npos);
    EXPECT_NE(rc.find("#include \"strings.inc\"", table), std::string::npos);
    // The neutral table comes first, in the neutral language; each translated
    // one under the language the program asks for (PrimaryLangId).
    EXPECT_LT(rc.find("LANGUAGE LANG_NEUTRAL"), table);
    const std::pair<const char*, const char*> languages[] = {{"LANG_GERMAN", "de"},
                                                             {"LANG_FRENCH", "fr"},
                                                             {"LANG_SPANISH", "es"},
                                                             {"LANG_RUSSIAN", "ru"}};
    for (const auto& [name, code] : languages) {
        SCOPED_TRACE(code);
        const std::regex block(std::string("LANGUAGE ") + name +
                               ", SUBLANG_NEUTRAL\\s+STRINGTABLE\\s+BEGIN\\s+#include \"strings_" +
                               code + ".inc\"\\s+END");
        EXPECT_TRUE(std::regex_search(rc, block));
    }
    // The version block after them is neutral again.
    EXPECT_LT(rc.rfind("LANGUAGE LANG_NEUTRAL"), rc.find("VS_VERSION_INFO"));
    EXPECT_GT(rc.rfind("LANGUAGE LANG_NEUTRAL"), rc.rfind("strings_ru.inc"));
}

TEST(ResourceScript, NamesEveryIconAndBitmapTheProgramLoads) {
    const std::string rc = ReadSourceFile("resources/tarvik.rc");
    const char* icons[] = {"IconApp",         "IconWinLogo",    "IconTask16",      "IconTask16Red",
                           "IconTask16Green", "IconQuestion16", "IconWait16",      "IconError16",
                           "IconTaskXP",      "IconTaskXPRed",  "IconTaskXPGreen", "IconQuestionXP",
                           "IconWaitXP",      "IconErrorXP"};
    for (const char* name : icons) {
        EXPECT_TRUE(std::regex_search(rc, std::regex(std::string("\n") + name + "\\s+ICON\\s")))
            << name;
    }
    for (const char* name : {"BitmapCSpeed", "BitmapEject", "BitmapClose"}) {
        EXPECT_TRUE(std::regex_search(rc, std::regex(std::string("\n") + name + "\\s+BITMAP\\s")))
            << name;
    }
}

TEST(ResourceScript, StringListKeepsTheRulesBothReadersNeed) {
    // The resource compiler rejects \" and reads \x greedily; only octal
    // escapes for quotes read the same in both builds.
    for (const char* file :
         {"strings.inc", "strings_de.inc", "strings_fr.inc", "strings_es.inc", "strings_ru.inc"}) {
        SCOPED_TRACE(file);
        const std::string list = ReadSourceFile(std::string("resources/") + file);
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list.find("\\\""), std::string::npos);
        EXPECT_EQ(list.find("\\x"), std::string::npos);
    }
}

}  // namespace
}  // namespace tarvik
