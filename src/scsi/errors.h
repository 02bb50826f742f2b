#pragma once
// The SCSI error report: the last finally failed command, explained in words
// in the diagnostic log.
#include <cstdint>
#include <string>

#include "scsi/request.h"

namespace tarvik {

// Writes the error block for the current ScsiLastError to the log. caption may
// be null (no caption line); an empty caption gives an empty line.
void LogScsiError(const char* caption);

// The texts of the four status tables; codes outside a table give
// "UNKNOWN ERROR CODE".
const char* AspiStatusText(int32_t code);
const char* AdapterStatusText(int32_t code);
const char* TargetStatusText(int32_t code);
const char* SenseKeyText(int32_t key);
// The drive's reason in words for its additional sense code and qualifier;
// null when the table does not know it.
const char* SenseReasonText(int32_t asc, int32_t ascq);
// A refused command as a user reads it: the reason in words, then the codes,
// e.g. "the drive does not know this command (05/20/00, Illegal Request)".
std::string RefusalText(const ScsiLastError& e);

}  // namespace tarvik
