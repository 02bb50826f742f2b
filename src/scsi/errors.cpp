#include "scsi/errors.h"

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
