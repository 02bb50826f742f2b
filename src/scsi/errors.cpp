#include "scsi/errors.h"

#include <cstdio>
#include <iterator>
#include <string>

#include "base/log.h"
#include "platform/system.h"
#include "scsi/request.h"
#include "scsi/transport.h"

namespace tarvik {
namespace {

constexpr const char* kUnknown = "UNKNOWN ERROR CODE";

struct CodeText {
    int32_t code;
    const char* text;
};

// The SRB_Status codes of ASPI for Win32.
constexpr CodeText kAspiStatus[] = {
    {0x00, "SRB being processed"},
    {0x01, "SRB completed without error"},
    {0x02, "SRB aborted"},
    {0x03, "Unable to abort SRB"},
    {0x04, "SRB completed with error"},
    {0x80, "Invalid ASPI command"},
    {0x81, "Invalid host adapter number"},
    {0x82, "SCSI device not installed"},
    {0xE0, "Invalid parameter set in SRB"},
    {0xE1, "Buffer alignment problem"},
    {0xE2, "Device access security violation"},
    {0xE4, "ASPI for windows failed init"},
    {0xE6, "Buffer size too big to handle!"},
};

// Host adapter status 00h..14h; the codes without an entry have no text.
constexpr CodeText kAdapterStatus[] = {
    {0x00, "Host adapter did not detect an error"},
    {0x09, "Timed out while SRB was waiting to beprocessed."},
    {0x0B, "While processing the SRB, the adapter timed out."},
    {0x0D, "While processing SRB, the adapter received a MESSAGE REJECT."},
    {0x0E, "A bus reset was detected."},
    {0x0F, "A parity error was detected."},
    {0x10, "The adapter failed in issuing REQUEST SENSE."},
    {0x11, "Selection Timeout"},
    {0x12, "Data overrun data underrun"},
    {0x13, "Unexpected bus free"},
    {0x14, "Target bus phase sequence failure"},
};

// The SCSI status byte 00h..28h.
constexpr CodeText kTargetStatus[] = {
    {0x00, "Status Good"},          {0x02, "Check Condition"},
    {0x04, "Condition Met"},        {0x08, "Busy"},
    {0x10, "Intermediate"},         {0x14, "Intermediate-condition met"},
    {0x18, "Reservation conflict"}, {0x22, "Command Terminated"},
    {0x28, "Queue full"},
};

constexpr const char* kSenseKeys[16] = {
    "No Sense",       "Recovered Error", "Not Ready",           "Medium Error",
    "Hardware Error", "Illegal Request", "Unit Attention",      "Data Protect",
    "Blank Check",    "Vendor Specific", "Copy Abort",          "UNKNOWN SENSE KEY",
    "Equal (Search)", "Volume Overflow", "Miscompare (Search)", "Reserved",
};

// The reasons an optical drive gives most (additional sense code and
// qualifier, SPC and MMC), in the words a user can act on. A qualifier of -1
// stands for any qualifier of its code.
struct ReasonText {
    int32_t asc;
    int32_t ascq;
    const char* text;
};
constexpr ReasonText kReasons[] = {
    {0x04, 0x01, "the drive is becoming ready"},
    {0x04, -1, "the drive is not ready"},
    {0x11, -1, "a read failed: the disc has an unreadable part"},
    {0x20, 0x00, "the drive does not know this command"},
    {0x21, 0x00, "the address is past the end of the disc"},
    {0x24, 0x00, "the drive does not accept a value in this command"},
    {0x26, 0x00, "the drive does not accept a value this command sent"},
    {0x28, 0x00, "the disc may have changed"},
    {0x29, -1, "the drive was reset"},
    {0x2C, 0x00, "the drive does not take this command now"},
    {0x30, -1, "the drive cannot use this disc"},
    {0x3A, 0x01, "there is no disc, and the tray is closed"},
    {0x3A, 0x02, "there is no disc, and the tray is open"},
    {0x3A, -1, "there is no disc in the drive"},
    {0x3E, -1, "the drive has not yet started up"},
    {0x53, 0x02, "the tray is locked: medium removal is prevented"},
    {0x53, -1, "the tray could not be loaded or ejected"},
    {0x57, 0x00, "the disc's table of contents cannot be read"},
    {0x6F, -1, "the disc is copy protected"},
};

template <size_t N>
const char* Lookup(const CodeText (&table)[N], int32_t code) {
    for (const CodeText& entry : table)
        if (entry.code == code) return entry.text;
    return kUnknown;
}

}  // namespace

const char* AspiStatusText(int32_t code) { return Lookup(kAspiStatus, code); }
const char* AdapterStatusText(int32_t code) { return Lookup(kAdapterStatus, code); }
const char* TargetStatusText(int32_t code) { return Lookup(kTargetStatus, code); }

const char* SenseKeyText(int32_t key) {
    return key >= 0 && key < static_cast<int32_t>(std::size(kSenseKeys)) ? kSenseKeys[key]
                                                                         : kUnknown;
}

const char* SenseReasonText(int32_t asc, int32_t ascq) {
    for (const ReasonText& r : kReasons)
        if (r.asc == asc && (r.ascq == ascq || r.ascq == -1)) return r.text;
    return nullptr;
}

std::string RefusalText(const ScsiLastError& e) {
    char code[16];
    if (e.asc >= 0)
        std::snprintf(code, sizeof code, "%02X/%02X/%02X", static_cast<unsigned>(e.senseKey & 0xFF),
                      static_cast<unsigned>(e.asc & 0xFF), static_cast<unsigned>(e.ascq & 0xFF));
    else
        std::snprintf(code, sizeof code, "sense key %d", e.senseKey);
    const char* reason = e.asc >= 0 ? SenseReasonText(e.asc, e.ascq) : nullptr;
    std::string text = reason ? reason : SenseKeyText(e.senseKey);
    return text + " (" + code + ", " + SenseKeyText(e.senseKey) + ")";
}

void LogScsiError(const char* caption) {
    ScsiLastError e;
    GetLastScsiError(&e);
    if (caption) LogPrintf("%s\n", caption);
    LogPrintf("*** SCSI Error Info ***\n");
    if (e.osError != -1) {
        const std::string text = Sys().SystemMessage(static_cast<uint32_t>(e.osError));
        LogPrintf("SPTI: %s (0x%02X)\n", text.c_str(), static_cast<unsigned>(e.osError));
    }
    if (e.aspiStatus != -1)
        LogPrintf("ASPI: %s (0x%02X)\n", AspiStatusText(e.aspiStatus),
                  static_cast<unsigned>(e.aspiStatus));
    if (e.adapterStatus != -1)
        LogPrintf("HA: %s (0x%02X)\n", AdapterStatusText(e.adapterStatus),
                  static_cast<unsigned>(e.adapterStatus));
    if (e.targetStatus != -1)
        LogPrintf("Dev: %s (0x%02X)\n", TargetStatusText(e.targetStatus),
                  static_cast<unsigned>(e.targetStatus));
    if (e.senseKey != -1)
        LogPrintf("Sense: %s (0x%02X)\n", SenseKeyText(e.senseKey),
                  static_cast<unsigned>(e.senseKey));
    LogPrintf("***********************\n");
}

}  // namespace tarvik
