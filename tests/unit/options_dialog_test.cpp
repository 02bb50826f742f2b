// The Options dialog's model over map-backed controls and the memory registry:
// its table, the enabling rules, the password and export clicks, and what OK
// changes in the system and in the settings.
#include "ui/dialogs/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "settings/shell.h"
#include "settings_fixture.h"
#include "string_ids.h"
#include "ui/dialog/dialog_view.h"

namespace tarvik {
namespace {

using testing_support::SettingsTest;

intptr_t Handler(HWND__*, uint16_t, unsigned, MsgWParam, MsgLParam) { return 0; }

constexpr char kStored[] = "$1$abcd$0123456789ABCDEFGHIJKL";

// The dialogs the model opens, scripted; ANSI is Latin-1 here.
struct FakeDialogs : OptionsDialogs {
    int passwordResult = 1;
    std::vector<int> asked;  // the capacity of each password dialog
    std::string exportPath = "C:\\out\\tarvik.reg";
    int exportAsked = 0;
    std::vector<unsigned> messages;
    TransportFacts transport{kTransportAspi, kAspiOk, kSptiOk};

    int AskPassword(char* data, int capacity) override {
        asked.push_back(capacity);
        if (capacity && passwordResult == 1) std::strncpy(data, kStored, capacity - 1);
        return passwordResult;
    }
    std::string AskExportPath() override {
        ++exportAsked;
        return exportPath;
    }
    void ShowMessage(unsigned stringId, unsigned) override { messages.push_back(stringId); }
    std::u16string FromAnsi(std::string_view ansi) override {
        std::u16string s;
        for (unsigned char c : ansi) s.push_back(c);
        return s;
    }
    std::string ToAnsi(std::u16string_view text) override {
        std::string s;
        for (char16_t c : text) s.push_back(static_cast<char>(c));
        return s;
    }
    TransportFacts Transport() override { return transport; }
};

bool SameSettings(const GlobalSettingsRecord& a, const GlobalSettingsRecord& b) {
    size_t count = 0;
    const GlobalOption* options = GlobalOptionTable(&count);
    for (size_t i = 0; i < count; ++i)
        if (a.*options[i].field != b.*options[i].field) return false;
    return std::strcmp(a.Data, b.Data) == 0 && std::strcmp(a.SavePath, b.SavePath) == 0 &&
           std::strcmp(a.Language, b.Language) == 0;
}

class OptionsTest : public SettingsTest {
protected:
    // A new dialog over the settings: the table's literal texts, then the opening.
    void OpenDialog() {
        view_ = MapDialogView();
        for (const DialogItem& row : OptionsDialogRows(Handler))
            if (row.text) view_.SetText(static_cast<uint16_t>(row.id), row.text);
        Model().Open();
    }
    OptionsDialog Model() { return OptionsDialog(view_, dialogs_, GlobalSettings); }
    // The user's click on a box: the system toggles an automatic one first.
    void Click(uint16_t id, bool automatic = true) {
        if (automatic) view_.SetChecked(id, !view_.Checked(id));
        Model().Click(id);
    }
    void Ok() { Model().SaveState(); }
    std::string RunEntry(bool* found = nullptr) {
        const auto [type, data] = GetValue(kHkeyCurrentUser, kRunKeyPath, "Tarvik", found);
        return data.empty() ? std::string() : std::string(data.begin(), data.end() - 1);
    }
    uint32_t RunValueCount() {
        RegKey key = RegKey::Open(kHkeyCurrentUser, kRunKeyPath, kKeyRead);
        uint32_t n = 0;
        char name[64];
        for (uint32_t chars = sizeof name;
             key && key.registry()->EnumValue(key.handle(), n, name, &chars, nullptr, nullptr,
                                              nullptr) == kRegOk;
             chars = sizeof name)
            ++n;
        return n;
    }

    MapDialogView view_;
    FakeDialogs dialogs_;
};

// What the layout and the read-back rely on: a tree of containers, and the
// delay radios whose texts are their delays.
TEST(OptionsTable, RowsFormATreeOfContainers) {
    const auto rows = OptionsDialogRows(Handler);
    std::map<uint32_t, const DialogItem*> byId;
    for (const DialogItem& row : rows) EXPECT_TRUE(byId.emplace(row.id, &row).second) << row.id;
    auto isContainer = [](const ControlClass* c) {
        return c == &ctl::Row || c == &ctl::Column || c == &ctl::GroupRow || c == &ctl::GroupColumn;
    };
    for (const DialogItem& row : rows) {
        if (row.parent == 0) continue;
        ASSERT_TRUE(byId.count(row.parent)) << row.id;
        const DialogItem& parent = *byId[row.parent];
        if (row.id == kOptPasswordData || row.id == kOptExportPath) {
            // Data holders under a check box: never laid out.
            EXPECT_EQ(row.cls, &ctl::Label);
            EXPECT_EQ(parent.cls, &ctl::CheckBox);
        } else {
            EXPECT_TRUE(isContainer(parent.cls)) << row.id << " in " << row.parent;
        }
        // Up to the root within the table's size: no cycle.
        uint32_t up = row.parent;
        size_t steps = 0;
        while (up != 0 && steps++ < rows.size()) up = byId[up]->parent;
        EXPECT_EQ(up, 0u) << row.id;
    }
    EXPECT_EQ(std::u16string(byId[151]->text), u"10");
}

TEST_F(OptionsTest, StartArgumentsExcludeEachOtherAndTheSecondsNeedTimerAndAutoclose) {
    OpenDialog();
    EXPECT_FALSE(view_.Enabled(kOptStartExit) || view_.Enabled(kOptStartHide));
    Click(kOptStartAuto);
    EXPECT_TRUE(view_.Enabled(kOptStartExit) && view_.Enabled(kOptStartHide));
    Click(kOptStartHide);
    EXPECT_FALSE(view_.Enabled(kOptStartExit));
    EXPECT_TRUE(view_.Enabled(kOptStartHide));

    EXPECT_FALSE(view_.Enabled(kOptAutoclose) || view_.Enabled(kOptAutocloseSeconds));
    Click(kOptTimerOn);
    EXPECT_TRUE(view_.Enabled(kOptAutoclose));
    EXPECT_FALSE(view_.Enabled(kOptAutocloseSeconds));
    Click(kOptAutoclose);
    EXPECT_TRUE(view_.Enabled(kOptAutocloseSeconds) && view_.Enabled(kOptSecondsLabel));
    Click(kOptTimerOn);
    EXPECT_FALSE(view_.Enabled(kOptAutocloseSeconds));
}

TEST_F(OptionsTest, AudioAutoplayOnlyBeforeXpAndOnWindows2000WithBothAutoruns) {
    sys_.SetWindows(5, 1, 2);  // XP
    OpenDialog();
    EXPECT_FALSE(view_.Enabled(kOptAutoplay));
    sys_.SetWindows(4, 10, 1);  // 98
    OpenDialog();
    EXPECT_TRUE(view_.Enabled(kOptAutoplay));
    sys_.SetWindows(5, 0, 2);  // 2000; no policy values: autorun is on for both
    OpenDialog();
    EXPECT_TRUE(view_.Enabled(kOptAutoplay));
    Click(kOptAutorunUser);
    EXPECT_FALSE(view_.Enabled(kOptAutoplay));
    Click(kOptAutorunUser);
    EXPECT_TRUE(view_.Enabled(kOptAutoplay));
}

TEST_F(OptionsTest, DisableAspiShowsSptiAndStoresFive) {
    GlobalSettings.ApiPrefered = kPreferAspi;
    OpenDialog();
    EXPECT_TRUE(view_.Checked(kOptMethodAspi));
    EXPECT_TRUE(view_.Enabled(kOptMethodAspi));
    EXPECT_FALSE(view_.Checked(kOptMethodSpti));
    Click(kOptDisableAspi);
    EXPECT_FALSE(view_.Checked(kOptMethodAspi));
    EXPECT_FALSE(view_.Enabled(kOptMethodAspi));
    EXPECT_TRUE(view_.Checked(kOptMethodSpti));
    Ok();
    EXPECT_EQ(GlobalSettings.ApiPrefered, 5u);

    // Unchecked again, ASPI comes back even with no transport radio checked.
    dialogs_.transport = {kTransportAspi, kAspiOk, kSptiOk};
    OpenDialog();
    EXPECT_TRUE(view_.Checked(kOptDisableAspi));
    Click(kOptDisableAspi);
    view_.SetChecked(kOptMethodAspi, false);
    view_.SetChecked(kOptMethodSpti, false);
    Ok();
    EXPECT_EQ(GlobalSettings.ApiPrefered, 1u);
}

TEST_F(OptionsTest, CloseTrayAfterIsClampedBeforeItBecomesMilliseconds) {
    struct Case {
        const char16_t* typed;
        uint32_t ms;
        uint32_t enabled;
    };
    const Case cases[] = {
        {u"2", 2000, 0},
        {u"3", 3000, 1},
        {u" 60 ", 60000, 1},
        {u"", 0, 0},
        {u"3s", 0, 0},
        {u"86400", 86400000, 1},
        {u"4294968", 86400000, 1},         // x 1000 wraps 32 bits to 672 s
        {u"99999999999999", 86400000, 1},  // beyond 32 bits
    };
    for (const Case& c : cases) {
        GlobalSettings = GlobalSettingsRecord{};
        OpenDialog();
        Click(kOptTimerOn);
        Click(kOptAutoclose);
        view_.SetText(kOptAutocloseSeconds, c.typed);
        Ok();
        const std::u16string typed(c.typed);
        EXPECT_EQ(GlobalSettings.TimerAutoclose, c.ms) << std::string(typed.begin(), typed.end());
        EXPECT_EQ(GlobalSettings.EnableAutoclose, c.enabled);
        EXPECT_EQ(GlobalSettings.TimerEnable, 1u);
    }
    // Shown again in seconds; below 3 s the box is cleared and off.
    GlobalSettings.TimerAutoclose = 3000;
    GlobalSettings.EnableAutoclose = 1;
    OpenDialog();
    EXPECT_EQ(view_.Text(kOptAutocloseSeconds), u"3");
    EXPECT_TRUE(view_.Checked(kOptAutoclose));
    GlobalSettings.TimerAutoclose = 2999;
    OpenDialog();
    EXPECT_EQ(view_.Text(kOptAutocloseSeconds), u"");
    EXPECT_FALSE(view_.Checked(kOptAutoclose));
}

TEST_F(OptionsTest, StartHiddenLeavesOneEntryAfterRepeatedOkAndUncheckingRemovesIt) {
    StartLog();
    OpenDialog();
    Click(kOptStartAuto);
    Click(kOptStartHide);
    Ok();
    const std::string hidden = '"' + sys_.modulePath + "\" /hide";
    EXPECT_EQ(RunEntry(), hidden);
    for (int i = 0; i < 2; ++i) {
        OpenDialog();
        EXPECT_TRUE(view_.Checked(kOptStartAuto));
        EXPECT_TRUE(view_.Checked(kOptStartHide));
        EXPECT_FALSE(view_.Checked(kOptStartExit));
        EXPECT_FALSE(view_.Enabled(kOptStartExit));
        Ok();
    }
    EXPECT_EQ(RunEntry(), hidden);
    EXPECT_EQ(RunValueCount(), 1u);

    OpenDialog();
    Click(kOptStartAuto);
    Ok();
    bool found = true;
    RunEntry(&found);
    EXPECT_FALSE(found);
    // Written once, deleted once; the OKs between change nothing in the system.
    const std::vector<std::string> expected = {
        "SaveState STARTED", "    AddAutoLoad(/hide)...",
        "        DONE",      "    SaveState FINISHED",
        "SaveState STARTED", "    SaveState FINISHED",
        "SaveState STARTED", "    SaveState FINISHED",
        "SaveState STARTED", "    DeleteAutoLoad...",
        "        DONE",      "    SaveState FINISHED",
    };
    EXPECT_EQ(LogLines(), expected);
}

// Entries an older version wrote, without quotes: shown as they are, kept by
// OK, and still removed when the user unchecks the box.
TEST_F(OptionsTest, StartEntriesWithoutQuotesAreKeptAsTheyAreUntilChanged) {
    for (const char* argument : {"", " /hide", " /exit"}) {
        SCOPED_TRACE(argument);
        const std::string old = sys_.modulePath + argument;
        PutString(kHkeyCurrentUser, kRunKeyPath, "Tarvik", old);
        StartLog();
        OpenDialog();
        EXPECT_TRUE(view_.Checked(kOptStartAuto));
        EXPECT_EQ(view_.Checked(kOptStartHide), std::string(argument) == " /hide");
        EXPECT_EQ(view_.Checked(kOptStartExit), std::string(argument) == " /exit");
        Ok();
        EXPECT_EQ(RunEntry(), old);
        EXPECT_EQ(LogLines(),
                  (std::vector<std::string>{"SaveState STARTED", "    SaveState FINISHED"}));

        OpenDialog();
        Click(kOptStartAuto);
        Ok();
        bool found = true;
        RunEntry(&found);
        EXPECT_FALSE(found);
    }
    // A changed choice writes the new entry, in quotes.
    PutString(kHkeyCurrentUser, kRunKeyPath, "Tarvik", sys_.modulePath);
    OpenDialog();
    Click(kOptStartHide);
    Ok();
    EXPECT_EQ(RunEntry(), '"' + sys_.modulePath + "\" /hide");
}

TEST_F(OptionsTest, ChangedAutorunIsLoggedAndAnOldShellAsksForANewSession) {
    sys_.shellMajor = 4;
    StartLog();
    OpenDialog();
    Click(kOptAutorunUser);
    Ok();
    const std::vector<std::string> expected = {
        "SaveState STARTED",
        "    SetAutoRunUser(0)...",
    };
    const std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2), expected);
    EXPECT_EQ(lines[lines.size() - 5], "    IsAutoRunUser...");
    EXPECT_EQ(lines[lines.size() - 4], "        DONE(0)");
    EXPECT_EQ(lines[lines.size() - 3], "    GetShellVersionMajor...");
    EXPECT_EQ(IsAutoRunUser(), 0);
    EXPECT_EQ(dialogs_.messages, (std::vector<unsigned>{IDS_RESTART_SESSION}));
}

TEST_F(OptionsTest, CancelLeavesSettingsAndSystemAlone) {
    GlobalSettings.TimerAutoclose = 5000;
    const GlobalSettingsRecord before = GlobalSettings;
    OpenDialog();
    Click(kOptPassword, false);
    EXPECT_TRUE(view_.Checked(kOptPassword));
    EXPECT_FALSE(view_.Shown(kOptPasswordData));
    Click(kOptExport, false);
    EXPECT_EQ(view_.Text(kOptExportPath), u"C:\\out\\tarvik.reg");
    for (uint16_t id :
         {kOptStartAuto, kOptTimerOn, kOptShortNames, kOptDisableAspi, kOptAutorunUser})
        Click(id);
    view_.SetText(kOptAutocloseSeconds, u"9");
    // Cancel: its row has no handler, so the dialog engine ends the dialog
    // with IDCANCEL and no model code runs; a click that reached the model
    // would have to change nothing either.
    const auto rows = OptionsDialogRows(Handler);
    const auto cancel =
        std::find_if(rows.begin(), rows.end(), [](const DialogItem& row) { return row.id == 2; });
    ASSERT_NE(cancel, rows.end());
    EXPECT_EQ(cancel->handler, nullptr) << "Cancel reaches the model";
    Model().Click(2);
    EXPECT_TRUE(SameSettings(GlobalSettings, before));
    bool found = true;
    RunEntry(&found);
    EXPECT_FALSE(found);
    EXPECT_EQ(IsAutoRunUser(), 1);
    OpenDialog();
    EXPECT_EQ(view_.Text(kOptAutocloseSeconds), u"5") << "opened again it shows the old delay";
    EXPECT_FALSE(view_.Checked(kOptStartAuto));
}

TEST_F(OptionsTest, PasswordIsSetAndRemovedOnlyThroughItsDialogs) {
    OpenDialog();
    EXPECT_FALSE(view_.Checked(kOptPassword));
    dialogs_.passwordResult = 0;  // "New password" cancelled
    Click(kOptPassword, false);
    EXPECT_FALSE(view_.Checked(kOptPassword));
    dialogs_.passwordResult = 1;
    Click(kOptPassword, false);
    EXPECT_TRUE(view_.Checked(kOptPassword));
    Ok();
    EXPECT_STREQ(GlobalSettings.Data, kStored);

    OpenDialog();
    EXPECT_TRUE(view_.Checked(kOptPassword));
    dialogs_.passwordResult = 0;  // a wrong password keeps it
    Click(kOptPassword, false);
    EXPECT_TRUE(view_.Checked(kOptPassword));
    dialogs_.passwordResult = 1;
    Click(kOptPassword, false);
    EXPECT_FALSE(view_.Checked(kOptPassword));
    Ok();
    EXPECT_STREQ(GlobalSettings.Data, "");
    EXPECT_EQ(dialogs_.asked, (std::vector<int>{35, 35, 0, 0}));
}

TEST_F(OptionsTest, ExportNeedsAChosenFileAndAClickClearsIt) {
    OpenDialog();
    dialogs_.exportPath.clear();  // the file dialog cancelled
    Click(kOptExport, false);
    EXPECT_FALSE(view_.Checked(kOptExport));
    dialogs_.exportPath = "C:\\out\\tarvik.reg";
    Click(kOptExport, false);
    EXPECT_TRUE(view_.Checked(kOptExport));
    Ok();
    EXPECT_STREQ(GlobalSettings.SavePath, "C:\\out\\tarvik.reg");
    OpenDialog();
    Click(kOptExport, false);
    EXPECT_FALSE(view_.Checked(kOptExport));
    EXPECT_EQ(dialogs_.exportAsked, 2);
    Ok();
    EXPECT_STREQ(GlobalSettings.SavePath, "");
}

TEST_F(OptionsTest, DelaysLongerThanTheHungAppTimeoutAreDisabled) {
    sys_.SetWindows(5, 1, 2);  // XP reads the timeout from the registry
    PutString(kHkeyCurrentUser, "Control Panel\\Desktop", "HungAppTimeout", "5000");
    GlobalSettings.DNTimer = 5;
    OpenDialog();
    const std::vector<bool> enabled = {true, true, false, false, false};
    for (uint16_t id = kOptDelayFirst; id <= kOptDelayLast; ++id)
        EXPECT_EQ(view_.Enabled(id), enabled[id - kOptDelayFirst]) << id;
    EXPECT_TRUE(view_.Checked(149));
    view_.SetChecked(149, false);
    view_.SetChecked(148, true);
    Ok();
    EXPECT_EQ(GlobalSettings.DNTimer, 3u);

    // A stored delay the system would not wait for moves to the longest allowed.
    GlobalSettings.DNTimer = 15;
    OpenDialog();
    EXPECT_FALSE(view_.Checked(152));
    EXPECT_TRUE(view_.Checked(149));
    Ok();
    EXPECT_EQ(GlobalSettings.DNTimer, 5u);

    sys_.SetWindows(6, 1, 2);  // 7: 15 s, all five
    GlobalSettings.DNTimer = 15;
    OpenDialog();
    for (uint16_t id = kOptDelayFirst; id <= kOptDelayLast; ++id) EXPECT_TRUE(view_.Enabled(id));
    EXPECT_TRUE(view_.Checked(152));
}

TEST_F(OptionsTest, OkWritesEachBoxToItsOwnField) {
    const struct {
        uint16_t id;
        uint32_t GlobalSettingsRecord::*field;
        uint32_t after;  // from the defaults, the box clicked once
    } boxes[] = {
        {kOptStartCloseTrays, &GlobalSettingsRecord::CloseOnRun, 1},
        {kOptShowUnknown, &GlobalSettingsRecord::ShowUnknown, 1},
        {kOptShortNames, &GlobalSettingsRecord::NumNames, 0},
        {kOptSeparateEject, &GlobalSettingsRecord::EjectSingle, 0},
        {kOptNamesAbove, &GlobalSettingsRecord::TopNames, 1},
        {kOptDeepMenu, &GlobalSettingsRecord::DeepMenu, 1},
        {kOptForceRefresh, &GlobalSettingsRecord::ForceRefresh, 1},
        {kOptShutdownEject, &GlobalSettingsRecord::DNEject, 1},
        {kOptShutdownClose, &GlobalSettingsRecord::DNClose, 1},
        {kOptShutdownReminder, &GlobalSettingsRecord::DNMessage, 1},
        {kOptIconDisk, &GlobalSettingsRecord::IconDisk, 0},
        {kOptIconTray, &GlobalSettingsRecord::IconOpen, 1},
        {kOptCmdBrowse, &GlobalSettingsRecord::CmdOpen, 1},
        {kOptCmdExplorer, &GlobalSettingsRecord::CmdExplore, 0},
        {kOptCmdAutorun, &GlobalSettingsRecord::CmdAutorun, 0},
    };
    for (const auto& box : boxes) {
        GlobalSettings = GlobalSettingsRecord{};
        // The language has no box: a chosen one stays through OK.
        std::strcpy(GlobalSettings.Language, "ru");
        OpenDialog();
        Click(box.id);
        Ok();
        GlobalSettingsRecord expected{};
        std::strcpy(expected.Language, "ru");
        expected.*box.field = box.after;
        expected.ApiPrefered = kPreferAspi;  // the transport in use
        EXPECT_TRUE(SameSettings(GlobalSettings, expected)) << box.id;
    }
}

}  // namespace
}  // namespace tarvik
