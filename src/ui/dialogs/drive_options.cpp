#include "ui/dialogs/drive_options.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "base/text.h"
#include "drive/drive_list.h"
#include "drive/medium.h"
#include "drive/speed_obey.h"
#include "scsi/mmc.h"
#include "scsi/mmc_answer.h"
#include "settings/store.h"
#include "string_ids.h"
#include "ui/text/strings.h"
#include "ui/text/text_layer.h"

namespace tarvik {

// clang-format off
const std::array<DialogItem, kDriveOptionsRows> kDriveOptionsTable = {{
    {&ctl::Row, 101, nullptr, 0, 0, nullptr},
    {&ctl::LabelCenter, kDoName, nullptr, 0, 101, nullptr},
    {&ctl::CheckBox, kDoIgnore, nullptr, IDS_DRV_IGNORE, 101, nullptr},
    {&ctl::Row, 104, nullptr, 0, 0, nullptr},
    {&ctl::Column, 105, nullptr, 0, 104, nullptr},
    {&ctl::GroupRow, 213, nullptr, 0, 105, nullptr},
    {&ctl::Label, 214, nullptr, IDS_DRV_SHORT_NAME, 213, nullptr},
    {&ctl::Spacer, 215, nullptr, 0, 213, nullptr},
    {&ctl::Edit, kDoShortName, nullptr, 0, 213, nullptr},
    {&ctl::GroupColumn, 106, nullptr, IDS_DRV_RESTORE_SPEED, 105, nullptr},
    {&ctl::Row, 107, nullptr, 0, 106, nullptr},
    {&ctl::Column, 108, u"6", 0, 107, nullptr},
    {&ctl::CheckBox, kDoAtStart, nullptr, IDS_DRV_AT_PROGRAM_START, 108, nullptr},
    {&ctl::CheckBox, kDoAtResume, nullptr, IDS_DRV_AT_RESUME, 108, nullptr},
    {&ctl::CheckBox, kDoOnDiskChange, nullptr, IDS_DRV_ON_DISK_CHANGE, 108, nullptr},
    {&ctl::CheckBox, kDoOnTrayClose, nullptr, IDS_DRV_ON_TRAY_CLOSE, 108, nullptr},
    {&ctl::Column, 113, nullptr, 0, 107, nullptr},
    {&ctl::CheckBox, kDoWhenAudio, nullptr, IDS_DRV_WHEN_AUDIO, 113, nullptr},
    {&ctl::CheckBox, kDoOnlyWithDisk, nullptr, IDS_DRV_ONLY_WITH_DISK, 113, nullptr},
    {&ctl::CheckBox, kDoIgnoreSpeed, nullptr, IDS_DRV_IGNORE_SPEED, 113, nullptr},
    {&ctl::CheckBox, kDoWinBack, nullptr, IDS_DRV_WIN_BACK, 113, nullptr},
    {&ctl::Row, 117, nullptr, 0, 106, nullptr},
    {&ctl::CheckBox, kDoByTimer, nullptr, IDS_DRV_BY_TIMER, 117, nullptr},
    {&ctl::Label, kDoTimerEvery, nullptr, IDS_DRV_TIMER_EVERY, 117, nullptr},
    {&ctl::EditRight, kDoTimer, nullptr, 0, 117, nullptr},
    {&ctl::Label, kDoTimerSeconds, nullptr, IDS_DRV_TIMER_SECONDS, 117, nullptr},
    {&ctl::Row, 122, u"6", 0, 117, nullptr},
    // Measured with the longest reason; the dialog shows the drive's own.
    {&ctl::Label, kDoWinBackWhy, nullptr, IDS_DRV_WIN_BACK_NOT_KNOWN, 106, nullptr},
    {&ctl::CheckBox, kDoForceRead, nullptr, IDS_DRV_FORCE_READ, 106, nullptr},
    {&ctl::GroupRow, 124, nullptr, IDS_DRV_HOT_KEYS, 105, nullptr},
    {&ctl::Column, 125, u"7", 0, 124, nullptr},
    {&ctl::Spacer, 126, nullptr, 0, 124, nullptr},
    {&ctl::Column, 127, u"7", 0, 124, nullptr},
    {&ctl::Spacer, 128, nullptr, 0, 124, nullptr},
    {&ctl::Column, 129, u"7", 0, 124, nullptr},
    {&ctl::Spacer, 130, nullptr, 0, 124, nullptr},
    {&ctl::Column, 131, u"7", 0, 124, nullptr},
    {&ctl::Column, 132, u"7", 0, 124, nullptr},
    {&ctl::Label, 133, nullptr, IDS_HK_EJECT, 125, nullptr},
    {&ctl::Label, 134, nullptr, IDS_HK_CLOSE, 125, nullptr},
    {&ctl::Label, 135, nullptr, IDS_HK_MAX_SPEED, 125, nullptr},
    {&ctl::Label, 136, nullptr, IDS_HK_FASTER, 125, nullptr},
    {&ctl::Label, 137, nullptr, IDS_HK_RESTORE, 125, nullptr},
    {&ctl::Label, 138, nullptr, IDS_HK_SLOWER, 125, nullptr},
    {&ctl::Label, 139, nullptr, IDS_HK_MIN_SPEED, 125, nullptr},
    {&ctl::HotKey, 140, nullptr, 0, 127, nullptr}, {&ctl::CheckBox, 147, nullptr, 0, 131, nullptr},
    {&ctl::HotKey, 141, nullptr, 0, 127, nullptr}, {&ctl::CheckBox, 148, nullptr, 0, 131, nullptr},
    {&ctl::HotKey, 142, nullptr, 0, 127, nullptr}, {&ctl::CheckBox, 149, nullptr, 0, 131, nullptr},
    {&ctl::HotKey, 143, nullptr, 0, 127, nullptr}, {&ctl::CheckBox, 150, nullptr, 0, 131, nullptr},
    {&ctl::HotKey, 144, nullptr, 0, 127, nullptr}, {&ctl::CheckBox, 151, nullptr, 0, 131, nullptr},
    {&ctl::HotKey, 145, nullptr, 0, 127, nullptr}, {&ctl::CheckBox, 152, nullptr, 0, 131, nullptr},
    {&ctl::HotKey, 146, nullptr, 0, 127, nullptr}, {&ctl::CheckBox, 153, nullptr, 0, 131, nullptr},
    {&ctl::Label, 154, u"+", 0, 129, nullptr},
    {&ctl::Label, 155, u"+", 0, 129, nullptr},
    {&ctl::Label, 156, u"+", 0, 129, nullptr},
    {&ctl::Label, 157, u"+", 0, 129, nullptr},
    {&ctl::Label, 158, u"+", 0, 129, nullptr},
    {&ctl::Label, 159, u"+", 0, 129, nullptr},
    {&ctl::Label, 160, u"+", 0, 129, nullptr},
    {&ctl::SmallIcon, 161, u"IconWinLogo", 0, 132, nullptr},
    {&ctl::SmallIcon, 162, u"IconWinLogo", 0, 132, nullptr},
    {&ctl::SmallIcon, 163, u"IconWinLogo", 0, 132, nullptr},
    {&ctl::SmallIcon, 164, u"IconWinLogo", 0, 132, nullptr},
    {&ctl::SmallIcon, 165, u"IconWinLogo", 0, 132, nullptr},
    {&ctl::SmallIcon, 166, u"IconWinLogo", 0, 132, nullptr},
    {&ctl::SmallIcon, 167, u"IconWinLogo", 0, 132, nullptr},
    {&ctl::Column, 168, nullptr, 0, 104, nullptr},
    {&ctl::GroupRow, 169, nullptr, IDS_DRV_MEDIUM_TYPE, 168, nullptr},
    {&ctl::RadioFirst, 170, u"CD", 0, 169, nullptr},
    {&ctl::Radio, 171, u"DVD", 0, 169, nullptr},
    {&ctl::Radio, 172, u"Blu-ray", 0, 169, nullptr},
    {&ctl::Row, 183, nullptr, 0, 168, nullptr},
    {&ctl::Column, 184, nullptr, 0, 183, nullptr},
    {&ctl::GroupColumn, 173, nullptr, IDS_DRV_SPEED_METHOD, 184, nullptr},
    {&ctl::RadioFirst, 174, nullptr, IDS_DRV_AUTO_DETECT, 173, nullptr},
    {&ctl::Radio, 177, u"SET SPEED", 0, 173, nullptr},
    {&ctl::Radio, 180, u"SET STREAMING", 0, 173, nullptr},
    // The DVD and Blu-ray sets sit on the CD set: their parent is the CD item.
    {&ctl::RadioFirst, 175, nullptr, IDS_DRV_AUTO_DETECT, 174, nullptr},
    {&ctl::Radio, 178, u"SET SPEED", 0, 177, nullptr},
    {&ctl::Radio, 181, u"SET STREAMING", 0, 180, nullptr},
    {&ctl::RadioFirst, 176, nullptr, IDS_DRV_AUTO_DETECT, 174, nullptr},
    {&ctl::Radio, 179, u"SET SPEED", 0, 177, nullptr},
    {&ctl::Radio, 182, u"SET STREAMING", 0, 180, nullptr},
    {&ctl::GroupColumn, 202, nullptr, IDS_DRV_DETECT_SPEEDS, 201, nullptr},
    {&ctl::Button, kDoFast, nullptr, IDS_DRV_FAST, 202, nullptr},
    {&ctl::Button, kDoFull, nullptr, IDS_DRV_FULL, 202, nullptr},
    {&ctl::Button, kDoMeasure, nullptr, IDS_DRV_MEASURE, 202, nullptr},
    {&ctl::GroupColumn, 185, nullptr, IDS_DRV_SPEED_LIST, 184, nullptr},
    {&ctl::ListView, 186, nullptr, IDS_DRV_LIST_COLUMNS, 185, nullptr},
    {&ctl::ListView, 187, nullptr, IDS_DRV_LIST_COLUMNS, 186, nullptr},
    {&ctl::ListView, 188, nullptr, IDS_DRV_LIST_COLUMNS, 186, nullptr},
    {&ctl::Row, 189, nullptr, 0, 185, nullptr},
    {&ctl::Column, 190, nullptr, 0, 189, nullptr},
    {&ctl::Column, 191, nullptr, 0, 189, nullptr},
    {&ctl::Spacer, 192, nullptr, 0, 189, nullptr},
    {&ctl::Column, 193, u"7", 0, 189, nullptr},
    {&ctl::EditRight, kDoAddSpeedX, nullptr, 0, 190, nullptr},
    {&ctl::EditRight, kDoAddCommandX, nullptr, 0, 191, nullptr},
    {&ctl::EditRight, kDoAddSpeedKb, nullptr, 0, 190, nullptr},
    {&ctl::EditRight, kDoAddCommandKb, nullptr, 0, 191, nullptr},
    {&ctl::Label, 198, nullptr, IDS_DRV_UNIT_X, 193, nullptr},
    {&ctl::Label, 199, nullptr, IDS_DRV_UNIT_KBS, 193, nullptr},
    {&ctl::Spacer, 200, nullptr, 0, 183, nullptr},
    {&ctl::Column, 201, u"7", 0, 183, nullptr},
    {&ctl::GroupColumn, 206, nullptr, IDS_DRV_SPEED, 201, nullptr},
    {&ctl::Button, kDoAdd, nullptr, IDS_DRV_ADD, 206, nullptr},
    {&ctl::Button, kDoDelete, nullptr, IDS_DRV_DELETE, 206, nullptr},
    {&ctl::Button, kDoDeleteAll, nullptr, IDS_DRV_DELETE_ALL, 206, nullptr},
    {&ctl::GroupColumn, 210, nullptr, IDS_DRV_SERVICE, 168, nullptr},
    {&ctl::CheckBox, kDoShortMenu, nullptr, IDS_DRV_SHORT_MENU, 210, nullptr},
    {&ctl::CheckBox, kDoLockTray, nullptr, IDS_DRV_LOCK_TRAY, 210, nullptr},
    {&ctl::GroupRow, 217, nullptr, 0, 0, nullptr},
    {&ctl::DefaultButton, 1, nullptr, IDS_OK, 217, nullptr},
    {&ctl::Button, 2, nullptr, IDS_CANCEL, 217, nullptr},
}};

const std::array<DialogItem, kProgressRows> kProgressTable = {{
    {&ctl::GroupColumn, 101, nullptr, 0, 0, nullptr},
    {&ctl::LabelCenter, kProgressName, nullptr, 0, 101, nullptr},
    {&ctl::Progress, kProgressBar, nullptr, 0, 101, nullptr},
    {&ctl::Row, 106, u"6", 0, 101, nullptr},
    {&ctl::Label, 103, u"0", 0, 106, nullptr},
    {&ctl::Row, 107, u"6", 0, 106, nullptr},
    {&ctl::Label, 104, u"100%", 0, 106, nullptr},
    {&ctl::GroupRow, 108, nullptr, 0, 0, nullptr},
    {&ctl::DefaultButton, kProgressCancel, nullptr, IDS_CANCEL, 108, nullptr},
}};
// clang-format on

namespace {

constexpr unsigned kMediums = 3;
constexpr uint16_t kEventBoxes[][2] = {{kDoAtStart, kEventStart},
                                       {kDoOnDiskChange, kEventDiskChange},
                                       {kDoAtResume, kEventResume},
                                       {kDoOnTrayClose, kEventTrayClose}};
constexpr uint32_t kWinKeyBit = 0x1000;
constexpr uint32_t kPressedMaxLevel = kMediumPressed;
constexpr unsigned kMbOkCancelInfo = 0x41;
constexpr int kResultOk = 1;
constexpr int kResultCancel = 2;

constexpr MediumFamily kFamilies[kMediums] = {MediumFamily::CD, MediumFamily::DVD,
                                              MediumFamily::BD};
constexpr uint32_t kDefaultFactors[kMediums] = {kFactorCD, kFactorDVD, kFactorBD};

uint16_t Id(unsigned base, unsigned medium) { return static_cast<uint16_t>(base + medium); }

unsigned IndexOf(MediumFamily family) {
    switch (family) {
        case MediumFamily::DVD: return 1;
        case MediumFamily::BD: return 2;
        default: return 0;
    }
}

// (a x v x 10 / b + 5) / 10 in 64 bits, saturated to what a number field holds.
uint32_t Scale(uint64_t a, uint64_t v, uint64_t b) {
    if (b == 0) return 0;
    const uint64_t r = (a * v * 10 / b + 5) / 10;
    return static_cast<uint32_t>(std::min<uint64_t>(r, UINT32_MAX));
}

}  // namespace

uint32_t SpeedInX(uint32_t kbs, uint32_t factor) { return Scale(1, kbs, factor) % 1000; }

// Neither line ends in a line feed: each shares its line with the next message.
void LogProgress(uint32_t min, uint32_t max, uint32_t pos, uint32_t speed, uint32_t command) {
    if (min || max || pos) {
        // In 64 bits, and 0 outside the range: in 32 bits (pos - min) x 100
        // wraps once pos is 42,949,673 past min, and pos below min wraps the
        // difference itself. The scans stay far below that (at most 64x a
        // family's factor), so their lines read as 32 bits would give them.
        const uint64_t percent =
            max > min && pos >= min ? uint64_t{pos - min} * 100 / (max - min) : 0;
        LogPrintf("        BarUpdate: min=%u, max=%u, pos=%u (%u%%)", min, max, pos,
                  static_cast<unsigned>(percent));
    }
    if (speed || command) LogPrintf("    Got speed=%u, command=%u", speed, command);
}

DriveOptionsModel::DriveOptionsModel(DriveOptionsContext& context, DialogView& view,
                                     DriveOptionsUi& ui)
    : context_(context), view_(view), ui_(ui) {}

CdromDrive* DriveOptionsModel::Drive() const {
    return DriveListGeneration() == context_.generation ? context_.drive : nullptr;
}

// A list the user edited counts as detected with a pressed disc, so that no
// automatic detection replaces it.
void DriveOptionsModel::MarkListEdited() {
    if (CdromDrive* d = Drive()) d->ListOf(kFamilies[medium_]).MaxLevel = kPressedMaxLevel;
}

// A list whose factor was never set up still divides by its family's.
uint32_t DriveOptionsModel::FactorOf(unsigned medium) const {
    return factors_[medium] ? factors_[medium] : kDefaultFactors[medium];
}

void DriveOptionsModel::Load(unsigned medium, const SpeedList& list) {
    factors_[medium] = list.Factor;
    lists_[medium].assign(list.Entries, list.Entries + EntryCount(list));
}

void DriveOptionsModel::InsertRow(unsigned medium, unsigned at) {
    const SpeedEntry& e = lists_[medium][at];
    const uint32_t f = FactorOf(medium);
    ui_.InsertRow(Id(kDoFirstList, medium), at, DecimalText(SpeedInX(e.Speed, f)),
                  DecimalText(SpeedInX(e.Command, f)));
}

void DriveOptionsModel::Fill(unsigned medium) {
    ui_.ClearRows(Id(kDoFirstList, medium));
    for (unsigned i = 0; i < lists_[medium].size(); ++i) InsertRow(medium, i);
}

void DriveOptionsModel::ReadBack(unsigned medium, SpeedList& list) const {
    const std::vector<SpeedEntry>& entries = lists_[medium];
    list.Count = static_cast<uint32_t>(std::min<size_t>(entries.size(), kMaxSpeedEntries));
    std::copy_n(entries.begin(), list.Count, list.Entries);
    if (view_.Checked(Id(kDoMethodAuto, medium)))
        list.MethodPrefered = kMethodAuto;
    else if (view_.Checked(Id(kDoMethodStreaming, medium)))
        list.MethodPrefered = kMethodSetStreaming;
    else if (view_.Checked(Id(kDoMethodSetSpeed, medium)))
        list.MethodPrefered = kMethodSetCdSpeed;
}

void DriveOptionsModel::CheckMedium(MediumFamily family) {
    const unsigned chosen = IndexOf(family);
    for (unsigned m = 0; m < kMediums; ++m) view_.SetChecked(Id(kDoMediumCD, m), m == chosen);
    SwitchMedium();
}

void DriveOptionsModel::Open() {
    CdromDrive* d = Drive();
    if (!d) return ui_.End(kResultCancel);
    std::u16string name;
    for (char c : std::string_view(d->Name, strnlen(d->Name, sizeof(d->Name))))
        name.push_back(static_cast<char16_t>(AnsiToCodePoint(static_cast<unsigned char>(c))));
    view_.SetText(kDoName, name);
    view_.Enable(Id(kDoMediumCD, 1), d->IsDVD != 0);
    view_.Enable(Id(kDoMediumCD, 2), d->IsBD != 0);

    view_.SetChecked(kDoIgnore, d->Ignore != 0);
    for (const auto& [box, bit] : kEventBoxes) view_.SetChecked(box, (d->EventMask & bit) != 0);
    view_.SetChecked(kDoIgnoreSpeed, d->IgnoreSpeed != 0);
    view_.SetChecked(kDoOnlyWithDisk, d->OnlyWithDisk != 0);
    view_.SetChecked(kDoWhenAudio, d->WhenAudio != 0);
    view_.SetChecked(kDoForceRead, d->ForceRead != 0);
    view_.SetChecked(kDoShortMenu, d->ShortMenu != 0);
    view_.SetChecked(kDoLockTray, d->AutoLock != 0);
    view_.SetChecked(kDoWinBack, d->WinBack != 0);
    // Winning a speed back needs a report that shows another program's change.
    const WinBackBlock block = WinBackBlockOfDrive(*d);
    view_.Enable(kDoWinBack, block == WinBackBlock::None);
    view_.SetText(kDoWinBackWhy,
                  block == WinBackBlock::None          ? std::u16string()
                  : block == WinBackBlock::Refuses     ? ResString(IDS_DRV_WIN_BACK_REFUSES)
                  : block == WinBackBlock::ReportFixed ? ResString(IDS_DRV_WIN_BACK_FIXED)
                                                       : ResString(IDS_DRV_WIN_BACK_NOT_KNOWN));

    view_.SetChecked(kDoByTimer, d->Timer != 0);
    if (d->Timer)
        view_.SetNumber(kDoTimer, d->Timer);
    else
        view_.SetText(kDoTimer, u"");
    const bool timerEnable = GlobalSettings.TimerEnable != 0;
    view_.Enable(kDoByTimer, timerEnable);
    for (uint16_t id : {kDoTimerEvery, kDoTimer, kDoTimerSeconds})
        view_.Enable(id, timerEnable && d->Timer != 0);

    view_.SetText(kDoShortName, std::u16string_view(d->ShortName));

    for (unsigned m = 0; m < kMediums; ++m) {
        const SpeedList& list = d->ListOf(kFamilies[m]);
        Load(m, list);
        Fill(m);
        // A stored method the program does not know checks none, and stays.
        view_.SetChecked(Id(kDoMethodAuto, m), list.MethodPrefered == kMethodAuto);
        view_.SetChecked(Id(kDoMethodSetSpeed, m), list.MethodPrefered == kMethodSetCdSpeed);
        view_.SetChecked(Id(kDoMethodStreaming, m), list.MethodPrefered == kMethodSetStreaming);
    }

    for (unsigned k = 0; k < kHotKeySlots; ++k) {
        ui_.SetHotKey(Id(kDoFirstHotKey, k), d->HotKeys[k] & ~kWinKeyBit);
        view_.SetChecked(Id(kDoFirstWinKey, k), (d->HotKeys[k] & kWinKeyBit) != 0);
    }
    CheckMedium(d->CurrentFamily);
}

void DriveOptionsModel::SwitchMedium() {
    medium_ = view_.Checked(Id(kDoMediumCD, 2)) ? 2 : view_.Checked(Id(kDoMediumCD, 1)) ? 1 : 0;
    for (unsigned m = 0; m < kMediums; ++m)
        for (unsigned base : {kDoFirstList, kDoMethodAuto, kDoMethodStreaming, kDoMethodSetSpeed})
            view_.Show(Id(base, m), m == medium_);
    for (uint16_t id : {kDoAddSpeedX, kDoAddCommandX, kDoAddSpeedKb, kDoAddCommandKb})
        view_.SetText(id, u"");
}

void DriveOptionsModel::SelectEntry() {
    const int row = ui_.SelectedRow(Id(kDoFirstList, medium_));
    const std::vector<SpeedEntry>& entries = lists_[medium_];
    if (row < 0 || static_cast<size_t>(row) >= entries.size()) return;
    const SpeedEntry& e = entries[static_cast<size_t>(row)];
    const uint32_t f = FactorOf(medium_);
    view_.SetNumber(kDoAddSpeedX, Scale(1, e.Speed, f));
    view_.SetNumber(kDoAddCommandX, Scale(1, e.Command, f));
    view_.SetNumber(kDoAddSpeedKb, e.Speed);
    view_.SetNumber(kDoAddCommandKb, e.Command);
}

void DriveOptionsModel::EditChanged(uint16_t edit) {
    const uint32_t f = FactorOf(medium_);
    const uint32_t v = view_.Number(edit);
    switch (edit) {
        case kDoAddSpeedX:
        case kDoAddCommandX:
            view_.SetNumber(static_cast<uint16_t>(edit + 2),
                            Scale(f, std::min(v, kMaxTypedFactor), 1));
            break;
        case kDoAddSpeedKb:
        case kDoAddCommandKb:
            view_.SetNumber(static_cast<uint16_t>(edit - 2), Scale(1, v, f));
            break;
        default: break;
    }
}

void DriveOptionsModel::Add() {
    const uint32_t s = view_.Number(kDoAddSpeedKb);
    const uint32_t c = view_.Number(kDoAddCommandKb);
    if (s == 0 || c == 0) return;
    std::vector<SpeedEntry>& entries = lists_[medium_];
    if (entries.size() >= kMaxSpeedEntries) return;
    const uint32_t f = FactorOf(medium_);
    const uint16_t list = Id(kDoFirstList, medium_);
    size_t at = 0;
    for (; at < entries.size(); ++at) {
        const uint32_t t = entries[at].Speed;
        if (t / f == s / f) {  // the same whole-x step: the new pair replaces it
            entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(at));
            ui_.DeleteRow(list, static_cast<unsigned>(at));
            break;
        }
        if (t < s) break;
    }
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(at), SpeedEntry{s, c});
    InsertRow(medium_, static_cast<unsigned>(at));
    ui_.SelectRow(list, static_cast<unsigned>(at));
    MarkListEdited();
}

void DriveOptionsModel::Delete() {
    const uint16_t list = Id(kDoFirstList, medium_);
    const int row = ui_.SelectedRow(list);
    std::vector<SpeedEntry>& entries = lists_[medium_];
    if (row >= 0 && static_cast<size_t>(row) < entries.size()) {
        entries.erase(entries.begin() + row);
        ui_.DeleteRow(list, static_cast<unsigned>(row));
    }
    MarkListEdited();
}

void DriveOptionsModel::DeleteAll() {
    lists_[medium_].clear();
    ui_.ClearRows(Id(kDoFirstList, medium_));
    MarkListEdited();
}

void DriveOptionsModel::ByTimer() {
    const bool on = view_.Checked(kDoByTimer);
    for (uint16_t id : {kDoTimerEvery, kDoTimer, kDoTimerSeconds}) view_.Enable(id, on);
}

void DriveOptionsModel::LockTray() {
    if (!view_.Checked(kDoLockTray)) return view_.SetChecked(kDoLockTray, true);
    const bool noPassword = !context_.passwordData || !context_.passwordData[0];
    if (noPassword || ui_.AskPassword()) view_.SetChecked(kDoLockTray, false);
}

void DriveOptionsModel::Detect(uint16_t button) {
    switch (button) {
        case kDoFast: return RunDetection(IDS_SCAN_FAST, ScanCDROMSpeedFast);
        case kDoFull: return RunDetection(IDS_SCAN_FULL, ScanCDROMSpeedFull);
        case kDoMeasure: return Measure();
        default: return;
    }
}

// Asks again only after an explicit OK: a box that could not be shown answers
// otherwise, and must not keep the drive busy with checks forever.
void DriveOptionsModel::Measure() {
    for (;;) {
        CdromDrive* d = Drive();
        if (!d) return ui_.End(kResultCancel);
        (void)CheckDriveMode(d);
        if (d->MediumPresent && !IsMediumTypeAudio(d->Caps.mediumType))
            return RunDetection(IDS_SCAN_MEASURE, ScanCDROMSpeedRead);
        if (ui_.MessageBox(IDS_INSERT_DATA_DISK, kMbOkCancelInfo) != kResultOk) return;
    }
}

void DriveOptionsModel::RunDetection(unsigned titleStringId, DetectFn scan) {
    CdromDrive* d = Drive();
    if (!d) return ui_.End(kResultCancel);
    // Hand edits are kept: the scan replaces only the list of the medium in the drive.
    for (unsigned m = 0; m < kMediums; ++m) ReadBack(m, d->ListOf(kFamilies[m]));
    const ScanEnd end = ui_.RunScan(titleStringId, scan, d);
    // The list was rebuilt meanwhile: the record is gone, and so is this dialog.
    if (!(d = Drive())) return ui_.End(kResultCancel);

    CheckMedium(d->CurrentFamily);
    Load(medium_, d->CurrentList());
    Fill(medium_);
    if (end == ScanEnd::Quit) return;  // the program is ending: no questions
    // A Measure whose rates were no list kept the old one: say why.
    if (d->LastMeasure == MeasureJudgement::Flat) return (void)ui_.MessageBox(IDS_MEASURE_FLAT, 0);
    if (d->LastMeasure == MeasureJudgement::Noise)
        return (void)ui_.MessageBox(IDS_MEASURE_NOISE, 0);
    // A Measure cut short by a disc taken out or a drive gone timed too little.
    if (d->LastMeasure == MeasureJudgement::Unmeasured ||
        d->LastMeasure == MeasureJudgement::MediumGone ||
        d->LastMeasure == MeasureJudgement::DriveGone)
        return (void)ui_.MessageBox(IDS_MEASURE_UNMEASURED, 0);
    if (EntryCount(d->CurrentList()) > 1 || d->MediumPresent) {
        // The list is what the drive reports; whether choosing from it helps
        // is what the user must hear.
        const uint32_t verdict = VerdictKind(d->VerdictOf(d->CurrentFamily));
        if (verdict == kVerdictRefuses) (void)ui_.MessageBox(IDS_DETECT_REFUSES, 0);
        if (verdict == kVerdictIgnores) (void)ui_.MessageBox(IDS_DETECT_IGNORES, 0);
        return;
    }
    (void)ui_.MessageBox(IDS_DETECTION_FAILED, 0);
}

void DriveOptionsModel::Ok() {
    CdromDrive* d = Drive();
    if (!d) return ui_.End(kResultCancel);
    d->Ignore = view_.Checked(kDoIgnore) ? 1 : 0;
    d->EventMask = 0;
    for (const auto& [box, bit] : kEventBoxes)
        if (view_.Checked(box)) d->EventMask |= bit;
    d->IgnoreSpeed = view_.Checked(kDoIgnoreSpeed) ? 1 : 0;
    d->OnlyWithDisk = view_.Checked(kDoOnlyWithDisk) ? 1 : 0;
    d->WhenAudio = view_.Checked(kDoWhenAudio) ? 1 : 0;
    d->Timer = view_.Checked(kDoByTimer) ? std::min(view_.Number(kDoTimer), kMaxTimerSeconds) : 0;
    d->ForceRead = view_.Checked(kDoForceRead) ? 1 : 0;
    d->ShortMenu = view_.Checked(kDoShortMenu) ? 1 : 0;
    d->AutoLock = view_.Checked(kDoLockTray) ? 1 : 0;
    d->WinBack = view_.Checked(kDoWinBack) ? 1 : 0;

    std::u16string name = view_.Text(kDoShortName);
    const size_t keep = Utf16PrefixLength(name.data(), name.size(), kShortNameChars);
    std::fill(std::begin(d->ShortName), std::end(d->ShortName), u'\0');
    std::copy_n(name.begin(), keep, d->ShortName);

    for (unsigned m = 0; m < kMediums; ++m) ReadBack(m, d->ListOf(kFamilies[m]));
    for (unsigned k = 0; k < kHotKeySlots; ++k) {
        d->HotKeys[k] = ui_.HotKey(Id(kDoFirstHotKey, k));
        if (view_.Checked(Id(kDoFirstWinKey, k))) d->HotKeys[k] |= kWinKeyBit;
    }
    ui_.End(kResultOk);
}

}  // namespace tarvik
