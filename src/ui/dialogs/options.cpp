#include "ui/dialogs/options.h"

#include <cstring>

#include "base/log.h"
#include "base/secret.h"
#include "settings/password_hash.h"
#include "settings/shell.h"
#include "string_ids.h"

namespace tarvik {
namespace {

constexpr char kAutoLoadName[] = "Tarvik";
constexpr char kArgExit[] = "/exit";
constexpr char kArgHide[] = "/hide";
constexpr unsigned kMbIconInformation = 0x40;
// Windows 2000 and XP as GetWinVersion words: audio autoplay is a setting of
// its own only before XP, and on 2000 only while autorun is on.
constexpr uint32_t kWinVersion2000 = 0x10500;
constexpr uint32_t kWinVersionXp = 0x10501;
constexpr uint32_t kAutocloseMinMs = 3000;

int Flag(bool on) { return on ? 1 : 0; }

}  // namespace

std::array<DialogItem, kOptionsRowCount> OptionsDialogRows(ItemHandler h) {
    // clang-format off
    return {{
        {&ctl::Row, kOptMainRow, nullptr, 0, 0, nullptr},
        {&ctl::Column, kOptLeftColumn, nullptr, 0, kOptMainRow, nullptr},
        {&ctl::GroupColumn, kOptInterfaceGroup, nullptr, IDS_OPT_INTERFACE_SETTINGS, kOptLeftColumn, nullptr},
        {&ctl::CheckBox, kOptShortNames, nullptr, IDS_OPT_SHORT_NAMES, kOptInterfaceGroup, nullptr},
        {&ctl::CheckBox, kOptSeparateEject, nullptr, IDS_OPT_SEPARATE_EJECT_CLOSE, kOptInterfaceGroup, nullptr},
        {&ctl::CheckBox, kOptNamesAbove, nullptr, IDS_OPT_NAME_ABOVE_LIST, kOptInterfaceGroup, nullptr},
        {&ctl::CheckBox, kOptDeepMenu, nullptr, IDS_OPT_MENU_PER_DRIVE, kOptInterfaceGroup, nullptr},
        {&ctl::CheckBox, kOptPassword, nullptr, IDS_OPT_EJECT_PASSWORD, kOptInterfaceGroup, h},
        {&ctl::CheckBox, kOptCmdBrowse, nullptr, IDS_OPT_CMD_BROWSE, kOptInterfaceGroup, nullptr},
        {&ctl::CheckBox, kOptCmdExplorer, nullptr, IDS_OPT_CMD_EXPLORER, kOptInterfaceGroup, nullptr},
        {&ctl::CheckBox, kOptCmdAutorun, nullptr, IDS_OPT_CMD_AUTORUN, kOptInterfaceGroup, nullptr},
        {&ctl::CheckBox, kOptIconDisk, nullptr, IDS_OPT_ICON_DISK, kOptInterfaceGroup, nullptr},
        {&ctl::CheckBox, kOptIconTray, nullptr, IDS_OPT_ICON_TRAY, kOptInterfaceGroup, nullptr},
        // Its parent is a check box, not a container: never laid out.
        {&ctl::Label, kOptPasswordData, nullptr, 0, kOptPassword, nullptr},
        {&ctl::GroupColumn, kOptSystemGroup, nullptr, IDS_OPT_SYSTEM_SETTINGS, kOptLeftColumn, nullptr},
        {&ctl::CheckBox, kOptAutorunAll, nullptr, IDS_OPT_AUTORUN_ALL_USERS, kOptSystemGroup, h},
        {&ctl::CheckBox, kOptAutorunUser, nullptr, IDS_OPT_AUTORUN_THIS_USER, kOptSystemGroup, h},
        {&ctl::CheckBox, kOptAutoplay, nullptr, IDS_OPT_AUDIO_AUTOPLAY, kOptSystemGroup, nullptr},
        {&ctl::GroupColumn, kOptOtherGroup, nullptr, IDS_OPT_OTHER, kOptLeftColumn, nullptr},
        {&ctl::CheckBox, kOptShowUnknown, nullptr, IDS_OPT_SHOW_UNKNOWN, kOptOtherGroup, nullptr},
        {&ctl::CheckBox, kOptForceRefresh, nullptr, IDS_OPT_FORCE_REFRESH, kOptOtherGroup, nullptr},
        {&ctl::CheckBox, kOptExport, nullptr, IDS_OPT_SAVE_TO_FILE, kOptOtherGroup, h},
        {&ctl::Label, kOptExportPath, nullptr, 0, kOptExport, nullptr},
        {&ctl::Column, kOptRightColumn, nullptr, 0, kOptMainRow, nullptr},
        {&ctl::GroupColumn, kOptStartGroup, nullptr, IDS_OPT_PROGRAM_START, kOptRightColumn, nullptr},
        {&ctl::CheckBox, kOptStartAuto, nullptr, IDS_OPT_START_AUTOMATICALLY, kOptStartGroup, h},
        {&ctl::CheckBox, kOptStartExit, nullptr, IDS_OPT_RESTORE_AND_EXIT, kOptStartGroup, h},
        {&ctl::CheckBox, kOptStartHide, nullptr, IDS_OPT_HIDE_ICON, kOptStartGroup, h},
        {&ctl::CheckBox, kOptStartCloseTrays, nullptr, IDS_OPT_START_CLOSE_TRAYS, kOptStartGroup, nullptr},
        {&ctl::GroupColumn, kOptShutdownGroup, nullptr, IDS_OPT_SHUTDOWN, kOptRightColumn, nullptr},
        {&ctl::CheckBox, kOptShutdownEject, nullptr, IDS_OPT_EJECT_DISKS, kOptShutdownGroup, nullptr},
        {&ctl::CheckBox, kOptShutdownClose, nullptr, IDS_OPT_SHUTDOWN_CLOSE_TRAYS, kOptShutdownGroup, nullptr},
        {&ctl::CheckBox, kOptShutdownReminder, nullptr, IDS_OPT_SHOW_REMINDER, kOptShutdownGroup, nullptr},
        {&ctl::Label, kOptDelayLabel, nullptr, IDS_OPT_DELAY_SECONDS, kOptShutdownGroup, nullptr},
        {&ctl::Row, kOptDelayRow, nullptr, 0, kOptShutdownGroup, nullptr},
        // The number in each radio's text is its delay.
        {&ctl::RadioFirst, 148, u"3", 0, kOptDelayRow, nullptr},
        {&ctl::Radio, 149, u"5", 0, kOptDelayRow, nullptr},
        {&ctl::Radio, 150, u"8", 0, kOptDelayRow, nullptr},
        {&ctl::Radio, 151, u"10", 0, kOptDelayRow, nullptr},
        {&ctl::Radio, 152, u"15", 0, kOptDelayRow, nullptr},
        {&ctl::GroupColumn, kOptTimerGroup, nullptr, IDS_OPT_TIMER, kOptRightColumn, nullptr},
        {&ctl::CheckBox, kOptTimerOn, nullptr, IDS_OPT_TIMER_ON, kOptTimerGroup, h},
        {&ctl::CheckBox, kOptAutoclose, nullptr, IDS_OPT_CLOSE_TRAY_AFTER, kOptTimerGroup, h},
        {&ctl::Row, kOptAutocloseRow, nullptr, 0, kOptTimerGroup, nullptr},
        {&ctl::Spacer, kOptSpacer1, nullptr, 0, kOptAutocloseRow, nullptr},
        {&ctl::Spacer, kOptSpacer2, nullptr, 0, kOptAutocloseRow, nullptr},
        {&ctl::Edit, kOptAutocloseSeconds, nullptr, 0, kOptAutocloseRow, nullptr},
        {&ctl::Spacer, kOptSpacer3, nullptr, 0, kOptAutocloseRow, nullptr},
        {&ctl::Label, kOptSecondsLabel, nullptr, IDS_OPT_SECONDS, kOptAutocloseRow, nullptr},
        {&ctl::GroupColumn, kOptMethodGroup, nullptr, IDS_OPT_ACCESS_METHOD, kOptRightColumn, nullptr},
        {&ctl::RadioFirst, kOptMethodAspi, nullptr, IDS_OPT_METHOD_ASPI, kOptMethodGroup, nullptr},
        {&ctl::Radio, kOptMethodSpti, nullptr, IDS_OPT_METHOD_SPTI, kOptMethodGroup, nullptr},
        {&ctl::CheckBox, kOptDisableAspi, nullptr, IDS_OPT_DISABLE_ASPI, kOptMethodGroup, h},
        {&ctl::GroupRow, kOptButtonRow, u"", 0, 0, nullptr},
        {&ctl::DefaultButton, 1, nullptr, IDS_OK, kOptButtonRow, h},
        {&ctl::Button, 2, nullptr, IDS_CANCEL, kOptButtonRow, nullptr},
    }};
    // clang-format on
}

uint32_t AutocloseSeconds(std::u16string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == u' ') ++i;
    const size_t digits = i;
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + static_cast<uint32_t>(text[i] - u'0');
        // Saturates: more digits only make it larger.
        if (value > kMaxAutocloseSeconds) value = kMaxAutocloseSeconds + 1;
    }
    if (i == digits) return 0;
    while (i < text.size() && text[i] == u' ') ++i;
    if (i != text.size()) return 0;
    return value > kMaxAutocloseSeconds ? kMaxAutocloseSeconds : value;
}

// ---- opening and the enabling rules -----------------------------------------------

void OptionsDialog::Open() {
    const uint32_t hungMs = GetHungAppTimeout();

    view_.SetChecked(kOptStartAuto, IsAutoLoad(kAutoLoadName, nullptr) == 1);
    view_.SetChecked(kOptStartExit, IsAutoLoad(kAutoLoadName, kArgExit) == 1);
    view_.SetChecked(kOptStartHide, IsAutoLoad(kAutoLoadName, kArgHide) == 1);
    StartGroup();

    view_.SetChecked(kOptStartCloseTrays, s_.CloseOnRun != 0);
    view_.SetChecked(kOptShowUnknown, s_.ShowUnknown != 0);
    view_.SetChecked(kOptShortNames, s_.NumNames != 0);
    view_.SetChecked(kOptSeparateEject, s_.EjectSingle == 0);
    view_.SetChecked(kOptNamesAbove, s_.TopNames != 0);
    view_.SetChecked(kOptDeepMenu, s_.DeepMenu != 0);

    view_.SetChecked(kOptAutorunAll, IsAutoRunSystem() == 1);
    view_.Enable(kOptAutorunAll, CanSetAutoRunSystem() == 1);
    view_.SetChecked(kOptAutorunUser, IsAutoRunUser() == 1);
    view_.Enable(kOptAutorunUser, CanSetAutoRunUser() == 1);
    view_.SetChecked(kOptAutoplay, IsAutoPlay() == 1);
    Autoplay();

    view_.SetChecked(kOptForceRefresh, s_.ForceRefresh != 0);
    view_.SetChecked(kOptTimerOn, s_.TimerEnable != 0);
    view_.SetChecked(kOptAutoclose, s_.EnableAutoclose != 0);
    if (s_.TimerAutoclose >= kAutocloseMinMs)
        view_.SetNumber(kOptAutocloseSeconds, s_.TimerAutoclose / 1000);
    else
        view_.SetChecked(kOptAutoclose, false);
    TimerGroup();

    view_.SetChecked(kOptDisableAspi, (s_.ApiPrefered & kDisableAspi) != 0);
    AccessMethod();

    view_.SetChecked(kOptShutdownEject, s_.DNEject != 0);
    view_.SetChecked(kOptShutdownClose, s_.DNClose != 0);
    view_.SetChecked(kOptShutdownReminder, s_.DNMessage != 0);

    // A delay longer than the system waits for a program that does not answer
    // at the end of the session cannot be chosen. A stored one that is too
    // long moves to the longest delay allowed, so that OK never keeps a delay
    // the box could not offer.
    const uint32_t hungSeconds = hungMs / 1000;
    uint16_t stored = 0, longestAllowed = 0;
    unsigned longestSeconds = 0;
    for (uint16_t id = kOptDelayFirst; id <= kOptDelayLast; ++id) {
        const unsigned n = view_.Number(id);
        const bool allowed = n <= hungSeconds;
        view_.SetChecked(id, n == s_.DNTimer);
        view_.Enable(id, allowed);
        if (n == s_.DNTimer) stored = id;
        if (allowed && n >= longestSeconds) longestSeconds = n, longestAllowed = id;
    }
    if (stored && !view_.Enabled(stored) && longestAllowed) {
        view_.SetChecked(stored, false);
        view_.SetChecked(longestAllowed, true);
    }

    view_.Show(kOptPasswordData, false);
    view_.SetText(kOptPasswordData, dialogs_.FromAnsi(s_.Data));
    view_.SetChecked(kOptPassword, s_.Data[0] != '\0');
    view_.Show(kOptExportPath, false);
    view_.SetText(kOptExportPath, dialogs_.FromAnsi(s_.SavePath));
    view_.SetChecked(kOptExport, s_.SavePath[0] != '\0');

    view_.SetChecked(kOptIconDisk, s_.IconDisk != 0);
    view_.SetChecked(kOptIconTray, s_.IconOpen != 0);
    view_.SetChecked(kOptCmdBrowse, s_.CmdOpen != 0);
    view_.SetChecked(kOptCmdExplorer, s_.CmdExplore != 0);
    view_.SetChecked(kOptCmdAutorun, s_.CmdAutorun != 0);
}

void OptionsDialog::Click(uint16_t id) {
    switch (id) {
        case kOptStartAuto:
        case kOptStartExit:
        case kOptStartHide: StartGroup(); break;
        case kOptTimerOn:
        case kOptAutoclose: TimerGroup(); break;
        case kOptAutorunAll:
        case kOptAutorunUser: Autoplay(); break;
        case kOptDisableAspi: AccessMethod(); break;
        case kOptPassword: PasswordClick(); break;
        case kOptExport: ExportClick(); break;
        default: break;
    }
}

// The two arguments of the entry exclude each other.
void OptionsDialog::StartGroup() {
    const bool start = On(kOptStartAuto);
    view_.Enable(kOptStartExit, start && !On(kOptStartHide));
    view_.Enable(kOptStartHide, start && !On(kOptStartExit));
}

void OptionsDialog::TimerGroup() {
    const bool timer = On(kOptTimerOn);
    const bool autoclose = timer && On(kOptAutoclose);
    view_.Enable(kOptAutoclose, timer);
    view_.Enable(kOptAutocloseSeconds, autoclose);
    view_.Enable(kOptSecondsLabel, autoclose);
}

void OptionsDialog::Autoplay() {
    const uint32_t version = GetWinVersion();
    bool enabled = version < kWinVersionXp;
    if (version == kWinVersion2000) enabled = On(kOptAutorunAll) && On(kOptAutorunUser);
    view_.Enable(kOptAutoplay, enabled);
}

// The radios show the transport in use, not the stored preference.
void OptionsDialog::AccessMethod() {
    const TransportFacts t = dialogs_.Transport();
    const bool disabled = On(kOptDisableAspi);
    const bool aspiUsable = t.aspiStatus == kAspiOk;
    if (t.mode != kTransportAspi || disabled) {
        view_.SetChecked(kOptMethodAspi, false);
        view_.Enable(kOptMethodAspi, !disabled && aspiUsable);
    } else {
        view_.SetChecked(kOptMethodAspi, true);
        view_.Enable(kOptMethodAspi, aspiUsable);
    }
    view_.SetChecked(kOptMethodSpti, t.mode == kTransportSpti || disabled);
    view_.Enable(kOptMethodSpti, t.sptiStatus == kSptiOk);
}

// ---- the password and the export file ------------------------------------------------

std::string OptionsDialog::HiddenText(uint16_t id, size_t capacity) {
    std::string text = dialogs_.ToAnsi(view_.Text(id));
    if (text.size() >= capacity) text.resize(capacity - 1);
    return text;
}

// The label holds the password's stored form, never the password; it is still
// not logged.
void OptionsDialog::PasswordClick() {
    char buffer[kStoredPasswordSize] = {};
    const std::string stored = HiddenText(kOptPasswordData, sizeof buffer);
    std::memcpy(buffer, stored.data(), stored.size());
    if (stored.empty()) {
        // A dialog that was not confirmed leaves no password.
        if (dialogs_.AskPassword(buffer, static_cast<int>(sizeof buffer)) != 1) buffer[0] = '\0';
    } else if (dialogs_.AskPassword(buffer, 0) == 1) {
        buffer[0] = '\0';
    }
    buffer[sizeof buffer - 1] = '\0';
    view_.SetText(kOptPasswordData, dialogs_.FromAnsi(buffer));
    view_.SetChecked(kOptPassword, buffer[0] != '\0');
    SecureWipe(buffer, sizeof buffer);
}

void OptionsDialog::ExportClick() {
    std::string path = HiddenText(kOptExportPath, sizeof s_.SavePath);
    if (!path.empty()) {
        path.clear();
    } else {
        path = dialogs_.AskExportPath();
        // A path the setting cannot hold whole is no choice.
        if (path.size() >= sizeof s_.SavePath) path.clear();
    }
    view_.SetText(kOptExportPath, dialogs_.FromAnsi(path));
    view_.SetChecked(kOptExport, !path.empty());
}

// ---- OK ------------------------------------------------------------------------------

void OptionsDialog::SaveStart() {
    if (On(kOptStartAuto)) {
        const char* argument = On(kOptStartHide) ? kArgHide : On(kOptStartExit) ? kArgExit : "";
        if (IsAutoLoad(kAutoLoadName, argument) != 0) return;
        if (*argument)
            LogPrintf("    AddAutoLoad(%s)...\n", argument);
        else
            LogPrintf("    AddAutoLoad...\n");
        AddAutoLoad(kAutoLoadName, *argument ? argument : nullptr);
        LogPrintf("        DONE\n");
    } else if (IsAutoLoad(kAutoLoadName, nullptr) == 1) {
        LogPrintf("    DeleteAutoLoad...\n");
        DeleteAutoLoad(kAutoLoadName);
        LogPrintf("        DONE\n");
    }
}

void OptionsDialog::SaveAutorun() {
    const int wantSystem = Flag(On(kOptAutorunAll));
    const int wantUser = Flag(On(kOptAutorunUser));
    bool changed = false;
    const int systemBefore = IsAutoRunSystem();
    int userBefore = IsAutoRunUser();
    if (systemBefore != wantSystem) {
        LogPrintf("    SetAutoRunSystem(%d)...\n", wantSystem);
        (void)SetAutoRunSystem(wantSystem);
        LogPrintf("        DONE\n");
        LogPrintf("    IsAutoRunSystem...\n");
        const int systemAfter = IsAutoRunSystem();
        LogPrintf("        DONE(%d)\n", systemAfter);
        changed = systemAfter != systemBefore;
        // The machine's policy may decide what this user sees.
        userBefore = IsAutoRunUser();
    }
    if (userBefore != wantUser) {
        LogPrintf("    SetAutoRunUser(%d)...\n", wantUser);
        (void)SetAutoRunUser(wantUser);
        LogPrintf("        DONE\n");
        LogPrintf("    IsAutoRunUser...\n");
        const int userAfter = IsAutoRunUser();
        LogPrintf("        DONE(%d)\n", userAfter);
        changed = changed || userAfter != userBefore;
    }
    if (!changed) return;
    LogPrintf("    GetShellVersionMajor...\n");
    if (GetShellVersionMajor() <= 4) dialogs_.ShowMessage(IDS_RESTART_SESSION, kMbIconInformation);
    LogPrintf("        DONE\n");
}

void OptionsDialog::SaveState() {
    LogPrintf("SaveState STARTED\n");
    SaveStart();
    SaveAutorun();
    const int autoplay = Flag(On(kOptAutoplay));
    if (IsAutoPlay() != autoplay) {
        LogPrintf("    SetAutoPlay(%d)...\n", autoplay);
        (void)SetAutoPlay(autoplay);
        LogPrintf("        DONE\n");
    }

    s_.CloseOnRun = Flag(On(kOptStartCloseTrays));
    s_.ShowUnknown = Flag(On(kOptShowUnknown));
    s_.NumNames = Flag(On(kOptShortNames));
    s_.EjectSingle = Flag(!On(kOptSeparateEject));
    s_.TopNames = Flag(On(kOptNamesAbove));
    s_.DeepMenu = Flag(On(kOptDeepMenu));
    s_.ForceRefresh = Flag(On(kOptForceRefresh));
    s_.TimerEnable = Flag(On(kOptTimerOn));
    s_.EnableAutoclose = Flag(On(kOptAutoclose));
    // Clamped before it is multiplied, and multiplied in 64 bits: one day fits.
    const uint64_t autocloseMs =
        uint64_t{AutocloseSeconds(view_.Text(kOptAutocloseSeconds))} * 1000;
    s_.TimerAutoclose = static_cast<uint32_t>(autocloseMs);
    if (autocloseMs < kAutocloseMinMs) s_.EnableAutoclose = 0;

    uint32_t api = s_.ApiPrefered;
    if (On(kOptMethodAspi))
        api = kPreferAspi;
    else if (On(kOptMethodSpti))
        api = kPreferSpti;
    else
        api &= ~uint32_t{kDisableAspi};  // an unchecked box always gives ASPI back
    if (On(kOptDisableAspi)) api |= kDisableAspi;
    s_.ApiPrefered = api;

    s_.DNEject = Flag(On(kOptShutdownEject));
    s_.DNClose = Flag(On(kOptShutdownClose));
    s_.DNMessage = Flag(On(kOptShutdownReminder));
    for (uint16_t id = kOptDelayFirst; id <= kOptDelayLast; ++id) {
        if (!On(id)) continue;
        s_.DNTimer = view_.Number(id);
        break;
    }

    const std::string data = HiddenText(kOptPasswordData, sizeof s_.Data);
    std::memset(s_.Data, 0, sizeof s_.Data);
    std::memcpy(s_.Data, data.data(), data.size());
    const std::string path = HiddenText(kOptExportPath, sizeof s_.SavePath);
    std::memset(s_.SavePath, 0, sizeof s_.SavePath);
    std::memcpy(s_.SavePath, path.data(), path.size());

    s_.IconDisk = Flag(On(kOptIconDisk));
    s_.IconOpen = Flag(On(kOptIconTray));
    s_.CmdOpen = Flag(On(kOptCmdBrowse));
    s_.CmdExplore = Flag(On(kOptCmdExplorer));
    s_.CmdAutorun = Flag(On(kOptCmdAutorun));
    LogPrintf("    SaveState FINISHED\n");
}

}  // namespace tarvik
