#pragma once
// The SCSI error report: the last finally failed command, explained in words
// in the diagnostic log.
#include <cstdint>

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

}  // namespace tarvik
