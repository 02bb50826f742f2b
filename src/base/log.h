#pragma once
// Diagnostic log: off unless the program was started with "/log". Every
// subsystem writes through LogPrintf, which costs one test while the log is off.
#include <cstdio>

#include "base/local_time.h"

namespace tarvik {

namespace detail {
extern std::FILE* g_logStream;
void LogWrite(const char* format, ...) __attribute__((format(printf, 1, 2)));
}  // namespace detail

// Creates the lowest free "<base>NN<extension>" in the current directory
// (exclusive creation, never overwriting a file). Null selects "tarvik" / ".log".
// Returns 1 when a file was opened, 0 when logging stays off.
int LogOpen(const char* base, const char* extension);

// Where the time stamps come from; the Clock seam installs itself here.
// Returns the source it replaces, for a test to put back.
using LogTimeSource = LocalTime (*)();
LogTimeSource SetLogTimeSource(LogTimeSource now);

// The name of the open log file, or null.
const char* LogPath();

inline bool LogEnabled() { return detail::g_logStream != nullptr; }

// Writes "HH:MM:SS.mmm " and the formatted message, then flushes.
#define LogPrintf(...)                                                       \
    do {                                                                     \
        if (::tarvik::LogEnabled()) ::tarvik::detail::LogWrite(__VA_ARGS__); \
    } while (0)

// Closes the log (tests only; the program leaves it open until exit).
void LogClose();

}  // namespace tarvik
