#include "ui/dialogs/drive_info.h"

#include <cstring>
#include <optional>
#include <string_view>

#include "base/text.h"
#include "base/units.h"
#include "drive/speed_control.h"
#include "drive/speed_obey.h"
#include "scsi/transport.h"
#include "ui/text/strings.h"

namespace tarvik {
namespace {

// Appends up to a bound; once a piece does not fit, the text is full and
// Take() cuts it back to its last whole line, so a long text never ends in
// the middle of a number or a name.
class InfoText {
public:
    explicit InfoText(size_t limit) : limit_(limit) {}

    void Add(std::u16string_view s) {
        if (full_) return;
        if (s.size() > limit_ - text_.size()) {
            full_ = true;
            return;
        }
        text_.append(s);
    }
    void Add(unsigned stringId) { Add(ResString(stringId)); }
    void Ascii(std::string_view s) {
        std::u16string wide(s.begin(), s.end());
        Add(wide);
    }
    void Ansi(std::string_view s) {
        std::u16string wide;
        for (unsigned char c : s) wide.push_back(static_cast<char16_t>(AnsiToCodePoint(c)));
        Add(wide);
    }
    void Number(uint32_t n) { Ascii(std::to_string(n)); }
    void CrLf() { Add(u"\r\n"); }
    bool full() const { return full_; }

    std::u16string Take() {
        if (full_) {
            const size_t end = text_.rfind(u"\r\n");
            text_.resize(end == std::u16string::npos ? 0 : end + 2);
        }
        return std::move(text_);
    }

private:
    std::u16string text_;
    size_t limit_;
    bool full_ = false;
};

void AddSupport(InfoText& t, unsigned labelId, uint32_t flag) {
    t.Add(labelId);
    t.Add(flag ? IDS_INFO_SUPPORTED : IDS_INFO_NOT_SUPPORTED);
    t.CrLf();
}

void AddMethod(InfoText& t, unsigned nameId, bool chosen) {
    if (chosen) t.Add(u">");
    t.Add(nameId);
    if (chosen) t.Add(u"<");
}

void AddListSummary(InfoText& t, const SpeedList& list) {
    AddSupport(t, IDS_INFO_SPEED_DETECTION, list.CanGetSpeed);

    t.Add(IDS_INFO_SPEED_CONTROL);
    const uint32_t method = ChooseSpeedMethod(list, kMethodAuto);
    if (list.CanSetSpeed) AddMethod(t, IDS_INFO_SET_SPEED, method == kMethodSetCdSpeed);
    if (list.CanSetSpeed && list.CanSetStreaming) t.Add(u", ");
    if (list.CanSetStreaming) AddMethod(t, IDS_INFO_SET_STREAMING, method == kMethodSetStreaming);
    if (!list.CanSetSpeed && !list.CanSetStreaming) t.Add(IDS_INFO_NOT_SUPPORTED);
    t.CrLf();

    const uint32_t count = EntryCount(list);
    if (count == 0) return;
    t.Add(IDS_INFO_SPEED_LIST);
    for (uint32_t i = count; i-- > 0;) {
        // A list without a factor (a damaged record) shows 0x, not a crash.
        t.Number(SpeedMultiple(list.Entries[i].Speed, list.Factor) % 1000);
        t.Add(i > 0 ? u"x," : u"x");
    }
    switch (list.MaxLevel) {
        case 0:
        case 1: t.Add(u" (?)"); break;
        case kMediumRewritable: t.Add(u" (RW)"); break;
        case kMediumRecordable: t.Add(u" (R)"); break;
        default: break;
    }
    t.CrLf();
}

// Whether the drive does what the speed commands say, per family it reads:
// the one line a user with "the speed has no effect" needs.
void AddObedience(InfoText& t, const CdromDrive& d) {
    struct Family {
        MediumFamily family;
        bool reads;
        unsigned name;
    };
    const Family families[] = {{MediumFamily::CD, true, IDS_TIP_CD},
                               {MediumFamily::DVD, d.IsDVD != 0, IDS_TIP_DVD},
                               {MediumFamily::BD, d.IsBD != 0, IDS_TIP_BLU_RAY}};
    bool allRefuse = true, any = false;
    for (const Family& f : families) {
        if (!f.reads) continue;
        const uint32_t v = VerdictKind(d.VerdictOf(f.family));
        if (v == kVerdictUnknown) continue;
        any = true;
        allRefuse = allRefuse && v == kVerdictRefuses;
    }
    t.Add(IDS_INFO_SPEED_EFFECT);
    if (!any) {
        t.Add(IDS_INFO_OBEY_UNKNOWN);
    } else if (allRefuse) {
        t.Add(IDS_INFO_REFUSES);
    } else {
        bool first = true;
        for (const Family& f : families) {
            if (!f.reads) continue;
            const uint32_t v = VerdictKind(d.VerdictOf(f.family));
            if (v == kVerdictUnknown) continue;
            if (!first) t.Add(u", ");
            first = false;
            t.Add(v == kVerdictObeys     ? IDS_INFO_OBEYS
                  : v == kVerdictIgnores ? IDS_INFO_IGNORES
                                         : IDS_INFO_REFUSES_FOR);
            t.Add(f.name);
        }
    }
    t.CrLf();
}

void AddDrive(InfoText& t, const CdromDrive& d) {
    t.CrLf();
    t.Add(u"[");
    t.Ansi(std::string_view(d.Name, ::strnlen(d.Name, sizeof d.Name)));
    t.Add(u"] (");
    const uint32_t letter = d.Address.letter;
    if (letter >= 'A' && letter <= 'Z') {
        t.Add(std::u16string(1, static_cast<char16_t>(letter)));
    } else {
        t.Number(d.Address.adapter % 100);
        t.Add(u", ");
        t.Number(d.Address.target % 100);
        t.Add(u", ");
        t.Number(d.Address.lun % 100);
    }
    t.Add(u")");
    t.CrLf();

    switch (BrokenDriveFault(d.Address)) {
        case DriveFault::TimedOut:
            t.Add(IDS_INFO_BROKEN_TIMEOUT);
            t.CrLf();
            break;
        case DriveFault::Gone:
            t.Add(IDS_INFO_BROKEN_GONE);
            t.CrLf();
            break;
        case DriveFault::None: break;
    }
    AddSupport(t, IDS_INFO_MEDIUM_SENSE, d.CanSenseMedium);
    AddObedience(t, d);
    t.Add(IDS_INFO_HEAD_CD);
    t.CrLf();
    AddListSummary(t, d.SpeedListCD);
    if (d.IsDVD) {
        t.Add(IDS_INFO_HEAD_DVD);
        t.CrLf();
        AddListSummary(t, d.SpeedListDVD);
    }
    if (d.IsBD) {
        t.Add(IDS_INFO_HEAD_BD);
        t.CrLf();
        AddListSummary(t, d.SpeedListBD);
    }
}

// The state of SPTI and ASPI, and the ASPI library's version strings.
void AddWindowsMethods(InfoText& t, const DriveInfoSources& sources) {
    t.Add(u"SPTI: ");
    t.Add(SptiStatusStringId(sources.sptiStatus));
    t.CrLf();
    t.Add(u"ASPI: ");
    t.Add(AspiStatusStringId(sources.aspiStatus));
    t.CrLf();
    t.CrLf();

    if (sources.aspiStatus != kAspiNotInstalled) {
        static const AspiVersionInfo kNotLoaded;
        const AspiVersionInfo& version = sources.aspiVersion ? *sources.aspiVersion : kNotLoaded;
        for (const char* key : kAspiVersionKeys) {
            t.Add(u"ASPI ");
            t.Ascii(key);
            t.Add(u": ");
            const std::optional<std::u16string> value = version.ASPIGetVersionInfo(key);
            if (value) t.Add(*value);
            t.CrLf();
        }
        t.CrLf();
    }
}

}  // namespace

DriveInfoSources CurrentDriveInfoSources(const AspiVersionInfo* aspiVersion) {
    DriveInfoSources s;
    s.sptiStatus = GetSptiStatus();
    s.aspiStatus = GetAspiStatus();
    s.transportMode = GetTransportMode();
    s.aspiVersion = aspiVersion;
    return s;
}

std::u16string DriveInfoText(const DriveInfoSources& sources, std::span<const CdromDrive> drives,
                             size_t limit) {
    InfoText t(limit);
    if (!sources.otherMethod) AddWindowsMethods(t, sources);
    t.Add(IDS_OPT_ACCESS_METHOD);
    t.Add(u": ");
    if (sources.otherMethod)
        t.Add(sources.otherMethod);
    else if (sources.transportMode == kTransportAspi)
        t.Add(IDS_OPT_METHOD_ASPI);
    else if (sources.transportMode == kTransportSpti)
        t.Add(IDS_OPT_METHOD_SPTI);
    else
        t.Add(IDS_STATUS_UNKNOWN);
    t.CrLf();

    if (drives.empty()) {
        t.CrLf();
        t.Add(IDS_SPTI_NO_DRIVES);
        t.CrLf();
    }
    for (const CdromDrive& d : drives) {
        if (t.full()) break;
        AddDrive(t, d);
    }
    return t.Take();
}

}  // namespace tarvik
