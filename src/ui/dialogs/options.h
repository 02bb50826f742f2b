#pragma once
// The Options dialog as a model: its 56 rows, what it shows when it opens, the
// enabling rules between its boxes, the eject-password and export-file clicks,
// and SaveState, which changes the start-with-Windows entry, autorun and audio
// autoplay in the system at once and writes the program-wide settings. It
// sees the controls only through a DialogView and the dialogs it opens only
// through OptionsDialogs, so every rule runs and is tested without Windows.
//
// The dialog keeps no state of its own: the eject password's stored form and
// the export path live in two hidden labels until OK, so Cancel discards them
// with everything else.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "scsi/transport.h"
#include "settings/store.h"
#include "ui/dialog/dialog_table.h"
#include "ui/dialog/dialog_view.h"

namespace tarvik {

// Control ids, as the table names them.
enum OptionsId : uint16_t {
    kOptMainRow = 100,
    kOptLeftColumn = 101,
    kOptRightColumn = 102,
    kOptStartGroup = 103,
    kOptStartAuto = 104,  // "Start automatically"
    kOptStartExit = 105,  // "Restore speed and exit": the entry's "/exit"
    kOptStartHide = 106,  // "Hide icon": the entry's "/hide"
    kOptStartCloseTrays = 107,
    kOptTimerGroup = 108,
    kOptTimerOn = 109,
    kOptAutoclose = 110,  // "Close tray after"
    kOptAutocloseRow = 111,
    kOptAutocloseSeconds = 112,
    kOptSecondsLabel = 113,
    kOptSpacer1 = 114,
    kOptSpacer2 = 115,
    kOptSpacer3 = 116,
    kOptSystemGroup = 117,
    kOptAutorunAll = 118,
    kOptAutorunUser = 119,
    kOptAutoplay = 120,
    kOptOtherGroup = 121,
    kOptForceRefresh = 122,
    kOptExport = 123,      // "Save settings to file"
    kOptExportPath = 124,  // hidden: SavePath
    kOptMethodGroup = 125,
    kOptMethodAspi = 126,
    kOptMethodSpti = 127,
    kOptDisableAspi = 128,
    kOptInterfaceGroup = 129,
    kOptShowUnknown = 130,
    kOptShortNames = 131,
    kOptSeparateEject = 132,
    kOptNamesAbove = 133,
    kOptDeepMenu = 134,
    kOptPassword = 135,  // "Eject password"
    kOptIconDisk = 136,
    kOptIconTray = 137,
    kOptCmdBrowse = 138,
    kOptCmdExplorer = 139,
    kOptCmdAutorun = 140,
    kOptPasswordData = 141,  // hidden: Data, the password's stored form
    kOptShutdownGroup = 142,
    kOptShutdownReminder = 143,
    kOptShutdownEject = 144,
    kOptShutdownClose = 145,
    kOptDelayLabel = 146,
    kOptDelayRow = 147,
    kOptDelayFirst = 148,  // the delay radios 148..152: "3" "5" "8" "10" "15"
    kOptDelayLast = 152,
    kOptButtonRow = 153,
};

constexpr size_t kOptionsRowCount = 56;

// The longest "Close tray after" the dialog stores: one day. A typed number is
// clamped to it before it becomes milliseconds, so no typed value can wrap into
// a short delay, and the stored value stays within the signed 32-bit tick
// differences the main timer compares it with.
constexpr uint32_t kMaxAutocloseSeconds = 86400;

// The rows in table order; the rows with a behaviour (the start, timer,
// autoplay and access-method boxes, the password and export boxes, OK) route
// to `handler`.
std::array<DialogItem, kOptionsRowCount> OptionsDialogRows(ItemHandler handler);

// What SCSIInit found: the transport in use and the status of each.
struct TransportFacts {
    uint32_t mode = 0;
    uint32_t aspiStatus = 0;
    uint32_t sptiStatus = 0;
};

// The dialogs the Options dialog opens, the system's ANSI texts, and the
// transport's facts: the _win32 side answers with the real ones, tests with
// their own.
class OptionsDialogs {
public:
    virtual ~OptionsDialogs() = default;
    // The eject password dialog over a buffer of kStoredPasswordSize bytes:
    // capacity 35 asks a new password and leaves its stored form in `data`
    // (empty: none); capacity 0 checks a typed one against `data`. 1 when
    // confirmed.
    virtual int AskPassword(char* data, int capacity) = 0;
    // The save-file dialog for the export file: the path chosen (fewer than 260
    // bytes), empty when cancelled.
    virtual std::string AskExportPath() = 0;
    // The program's message box.
    virtual void ShowMessage(unsigned stringId, unsigned flags) = 0;
    // Conversions between the ANSI settings and the controls' texts.
    virtual std::u16string FromAnsi(std::string_view ansi) = 0;
    virtual std::string ToAnsi(std::u16string_view text) = 0;
    virtual TransportFacts Transport() {
        return {GetTransportMode(), GetAspiStatus(), GetSptiStatus()};
    }
};

class OptionsDialog {
public:
    OptionsDialog(DialogView& view, OptionsDialogs& dialogs, GlobalSettingsRecord& settings)
        : view_(view), dialogs_(dialogs), s_(settings) {}

    // WM_INITDIALOG: the controls from the settings and the system, then the
    // enabling rules. Changes nothing.
    void Open();
    // A click on one of the rows with a behaviour, OK aside.
    void Click(uint16_t id);
    // OK: the system changes, then the settings' fields, in their order. The
    // dialog then ends with 1.
    void SaveState();

private:
    bool On(uint16_t id) const { return view_.Checked(id); }
    void StartGroup();
    void TimerGroup();
    void Autoplay();
    void AccessMethod();
    void PasswordClick();
    void ExportClick();
    void SaveStart();
    void SaveAutorun();
    // A hidden label's text as ANSI, at most capacity - 1 bytes.
    std::string HiddenText(uint16_t id, size_t capacity);

    DialogView& view_;
    OptionsDialogs& dialogs_;
    GlobalSettingsRecord& s_;
};

// The number typed in the "Close tray after" box, as the seconds to store:
// optional spaces, digits, optional spaces, else 0; anything above
// kMaxAutocloseSeconds, however many digits, is kMaxAutocloseSeconds.
uint32_t AutocloseSeconds(std::u16string_view text);

}  // namespace tarvik
