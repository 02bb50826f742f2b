#pragma once
// The drive options dialog as a model: its item table, and the rules that fill
// the controls from a drive record, edit the three speed lists, run the
// detections and write everything back on OK. It speaks to the controls only
// through DialogView and DriveOptionsUi, so it runs without Windows.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "drive/drive.h"
#include "drive/speed_detect.h"
#include "ui/dialog/dialog_table.h"
#include "ui/dialog/dialog_view.h"

namespace tarvik {

// Control ids the rules name; the table lists every row.
enum DriveOptionsId : uint16_t {
    kDoName = 102,
    kDoIgnore = 103,
    kDoAtStart = 109,
    kDoOnDiskChange = 110,
    kDoOnTrayClose = 111,
    kDoIgnoreSpeed = 112,
    kDoAtResume = 114,
    kDoOnlyWithDisk = 115,
    kDoWhenAudio = 116,
    kDoByTimer = 118,
    kDoTimerEvery = 119,
    kDoTimer = 120,
    kDoTimerSeconds = 121,
    kDoForceRead = 123,
    kDoFirstHotKey = 140,  // + slot
    kDoFirstWinKey = 147,  // + slot
    kDoMediumCD = 170,     // + medium index
    kDoMethodAuto = 174,   // + medium index
    kDoMethodSetSpeed = 177,
    kDoMethodStreaming = 180,
    kDoFirstList = 186,  // + medium index
    kDoAddSpeedX = 194,
    kDoAddCommandX = 195,
    kDoAddSpeedKb = 196,
    kDoAddCommandKb = 197,
    kDoFast = 203,
    kDoFull = 204,
    kDoMeasure = 205,
    kDoAdd = 207,
    kDoDelete = 208,
    kDoDeleteAll = 209,
    kDoShortMenu = 211,
    kDoLockTray = 212,
    kDoShortName = 216,
    kDoWinBack = 218,     // set the speed again when another program raised it
    kDoWinBackWhy = 219,  // why that cannot work on this drive, when it cannot
};

constexpr std::size_t kDriveOptionsRows = 121;
constexpr std::size_t kProgressRows = 9;

// The rows, without handlers: the view adds its own. Table order is the order
// of children and the tab order.
extern const std::array<DialogItem, kDriveOptionsRows> kDriveOptionsTable;

// The progress window of a detection.
enum ProgressId : uint16_t { kProgressName = 102, kProgressBar = 105, kProgressCancel = 2 };
extern const std::array<DialogItem, kProgressRows> kProgressTable;

// Typed values are bounded before they are multiplied. A speed in x beyond
// three digits names no drive (the list shows three); a timer beyond a day
// restores nothing anyone would wait for.
constexpr uint32_t kMaxTypedFactor = 999;
constexpr uint32_t kMaxTimerSeconds = 86400;

// What RunDialog is given: the record being edited, the eject password data
// (empty: none set) and the list generation the record belongs to (a rebuilt
// list means the record is gone). Cancel's copy of the record is the caller's.
struct DriveOptionsContext {
    CdromDrive* drive = nullptr;
    char* passwordData = nullptr;
    uint32_t generation = 0;
};

using DetectFn = void (*)(CdromDrive* drive, ProgressFn progress, void* user);

// How a detection's progress window ended.
enum class ScanEnd { Done, Quit };

// What the model needs beyond DialogView: list rows, hot key controls and the
// dialog's own questions.
class DriveOptionsUi {
public:
    virtual ~DriveOptionsUi() = default;
    virtual void ClearRows(uint16_t list) = 0;
    virtual void InsertRow(uint16_t list, unsigned at, std::u16string_view speed,
                           std::u16string_view command) = 0;
    virtual void DeleteRow(uint16_t list, unsigned at) = 0;
    // The first selected row, -1 when none.
    virtual int SelectedRow(uint16_t list) const = 0;
    // Selects and focuses the row and scrolls it into view.
    virtual void SelectRow(uint16_t list, unsigned at) = 0;
    virtual uint32_t HotKey(uint16_t id) const = 0;
    virtual void SetHotKey(uint16_t id, uint32_t value) = 0;
    // The eject password prompt: true when the typed password matches.
    virtual bool AskPassword() = 0;
    virtual int MessageBox(unsigned stringId, unsigned flags) = 0;  // 1 only for OK
    // Runs `scan` on the drive in the progress window titled `titleStringId`,
    // with the dialog disabled meanwhile.
    virtual ScanEnd RunScan(unsigned titleStringId, DetectFn scan, CdromDrive* drive) = 0;
    virtual void End(int result) = 0;
};

// The speed as the list shows it: whole x, rounded, modulo 1000.
uint32_t SpeedInX(uint32_t kbs, uint32_t factor);

// The "BarUpdate" log line of a progress call, and the "Got speed" line of an
// entry report.
void LogProgress(uint32_t min, uint32_t max, uint32_t pos, uint32_t speed, uint32_t command);

class DriveOptionsModel {
public:
    DriveOptionsModel(DriveOptionsContext& context, DialogView& view, DriveOptionsUi& ui);

    void Open();                      // fills every control from the record
    void SwitchMedium();              // a medium radio was clicked
    void SelectEntry();               // a list row was selected or focused
    void EditChanged(uint16_t edit);  // the user typed into 194..197
    void Add();
    void Delete();
    void DeleteAll();
    void ByTimer();
    void LockTray();
    void Detect(uint16_t button);  // 203 Fast, 204 Full, 205 Measure
    void Ok();

    unsigned medium() const { return medium_; }
    const std::vector<SpeedEntry>& entries(unsigned medium) const { return lists_[medium]; }

private:
    CdromDrive* Drive() const;  // null once the record is gone
    uint32_t FactorOf(unsigned medium) const;
    void Load(unsigned medium, const SpeedList& list);
    void Fill(unsigned medium);
    void InsertRow(unsigned medium, unsigned at);
    void ReadBack(unsigned medium, SpeedList& list) const;
    void CheckMedium(MediumFamily family);
    void RunDetection(unsigned titleStringId, DetectFn scan);
    void Measure();
    void MarkListEdited();

    DriveOptionsContext& context_;
    DialogView& view_;
    DriveOptionsUi& ui_;
    unsigned medium_ = 0;
    // The lists being edited, in full 32 bits; the list views only show them.
    std::array<std::vector<SpeedEntry>, 3> lists_;
    std::array<uint32_t, 3> factors_{};
};

}  // namespace tarvik
