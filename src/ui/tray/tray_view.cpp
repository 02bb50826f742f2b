#include "ui/tray/tray_view.h"
#include "drive/tray.h"

#include "base/units.h"
#include "drive/speed_control.h"
#include "ui/text/strings.h"

namespace tarvik {
namespace {

constexpr char16_t kProgramTip[] = u"Tarvik 5.0";

enum Row { kNormal = 0, kOpen = 1, kDisk = 2, kQuestion = 3, kWait = 4, kError = 5 };

// The medium word for a drive's current list and the class of its disc.
unsigned MediumWord(const CdromDrive& drive) {
    // Per family: pressed, recordable, rewritable, anything else.
    static constexpr unsigned kWords[3][4] = {
        {IDS_TIP_CD_ROM, IDS_TIP_CD_R, IDS_TIP_CD_RW, IDS_TIP_CD},
        {IDS_TIP_DVD_ROM, IDS_TIP_DVD_R, IDS_TIP_DVD_RW, IDS_TIP_DVD},
        {IDS_TIP_BD_ROM, IDS_TIP_BD_R, IDS_TIP_BD_RE, IDS_TIP_BLU_RAY},
    };
    if (drive.CurrentFamily == MediumFamily::None) return IDS_TIP_UNKNOWN;
    const int family = static_cast<int>(drive.CurrentFamily) - static_cast<int>(MediumFamily::CD);
    switch (drive.MediumClass) {
        case kMediumPressed: return kWords[family][0];
        case kMediumRecordable: return kWords[family][1];
        case kMediumRewritable: return kWords[family][2];
        default: return kWords[family][3];
    }
}

unsigned StateWord(const CdromDrive& drive) {
    if (drive.Busy) return IDS_TIP_BUSY;
    if (drive.Caps.mediumType == kMediumTypeDoorOpen) return IDS_TIP_OPEN;
    if (!drive.MediumPresent) return IDS_TIP_NO_DISK;
    if (drive.AudioStatus == kAudioPlaying) return IDS_TIP_AUDIO;
    if (drive.AudioStatus == kAudioPaused) return IDS_TIP_PAUSE;
    return MediumWord(drive);
}

// Speed in "x" units, two digits at most (the tip has room for no more).
unsigned SpeedFactor(const CdromDrive& drive) {
    if (drive.CurrentFamily == MediumFamily::None) return 0;  // lists not set up
    return SpeedMultiple(drive.CurrentSpeed, drive.CurrentList().Factor) % 100;
}

std::u16string_view DisplayShortName(const CdromDrive& drive) {
    const char16_t* name = drive.ShortName[0] ? drive.ShortName : drive.DefaultShortName;
    size_t length = 0;
    while (length < kShortNameChars && name[length]) ++length;
    return {name, length};
}

}  // namespace

TrayView ComputeTrayView(const CdromListType& list, const TrayInputs& in) {
    TrayView view;
    const uint32_t count = list.count();
    int budget = kTrayTipMaxChars;
    unsigned withDisk = 0, open = 0;

    if (count == 0) view.tip = kProgramTip;
    for (uint32_t i = 0; i < count; ++i) {
        const CdromDrive& drive = list.drives[i];
        if (drive.Ignore) continue;
        if (!drive.Busy) {
            withDisk += drive.MediumPresent ? 1 : 0;
            open += IsTrayOpen(&drive) ? 1 : 0;
        }
        if (!view.tip.empty()) {
            if (--budget < 0) continue;
            view.tip += in.shellMajor >= 5 ? u'\n' : u' ';
        }
        const std::u16string_view name = DisplayShortName(drive);
        budget -= static_cast<int>(name.size()) + 6;
        if (budget < 0) continue;
        view.tip += name;
        view.tip += u' ';
        const unsigned x = SpeedFactor(drive);
        if (x >= 10) view.tip += static_cast<char16_t>(u'0' + x / 10);
        view.tip += static_cast<char16_t>(u'0' + x % 10);
        view.tip += u'x';

        const std::u16string_view word = ResString(StateWord(drive));
        budget -= static_cast<int>(word.size()) + 2;
        if (budget < 0) continue;
        view.tip += u'(';
        view.tip += word;
        view.tip += u')';
    }

    // No drives outranks the blink; broken access outranks both.
    if (in.busyCount > 0)
        view.iconRow = kWait;
    else if (in.accessBroken || (count != 0 && in.blink))
        view.iconRow = kError;
    else if (count == 0)
        view.iconRow = kQuestion;
    else if (open && in.iconOpen)
        view.iconRow = kOpen;
    else if (withDisk)
        view.iconRow = in.iconDisk ? kDisk : kNormal;
    else
        view.iconRow = kNormal;
    return view;
}

}  // namespace tarvik
