#include "base/log.h"

#include <cstdarg>
#include <cstring>
#include <string>
#include <utility>

#include "base/log_file.h"

namespace tarvik {

namespace detail {
std::FILE* g_logStream = nullptr;
}

namespace {
std::string g_logPath;
LogTimeSource g_now = nullptr;
constexpr unsigned kLastLogNumber = 2147483646u;
// Lines a full disk swallowed since the last one that was written.
unsigned g_linesLost = 0;
}  // namespace

int LogOpen(const char* base, const char* extension) {
    LogClose();
    if (!base) base = "tarvik";
    if (!extension) extension = ".log";

    // Room for up to ten digits and the terminator, as the numbering allows.
    std::string path(std::strlen(base) + std::strlen(extension) + 11, '\0');
    for (unsigned n = 0;; ++n) {
        const int len = std::snprintf(path.data(), path.size(), "%s%02u%s", base, n, extension);
        bool nameTaken = false;
        if (std::FILE* stream = CreateNewFile(path.c_str(), &nameTaken)) {
            path.resize(static_cast<size_t>(len));
            g_logPath = path;
            detail::g_logStream = stream;
            return 1;
        }
        // Only a taken name moves on to the next number; an unwritable
        // directory would fail for every number.
        if (!nameTaken || n == kLastLogNumber) return 0;
    }
}

LogTimeSource SetLogTimeSource(LogTimeSource now) { return std::exchange(g_now, now); }

const char* LogPath() { return detail::g_logStream ? g_logPath.c_str() : nullptr; }

void LogClose() {
    if (detail::g_logStream) std::fclose(detail::g_logStream);
    detail::g_logStream = nullptr;
    g_logPath.clear();
    g_linesLost = 0;
}

void detail::LogWrite(const char* format, ...) {
    std::FILE* stream = g_logStream;
    if (!stream) return;
    const LocalTime t = g_now ? g_now() : LocalTime{};
    // A disk that filled up and has room again: one line says what is missing
    // instead of a complaint per line while it was full.
    if (g_linesLost)
        std::fprintf(stream, "%02u:%02u:%02u.%03u Log: %u lines could not be written\n", t.hour,
                     t.minute, t.second, t.millisecond, g_linesLost);
    std::fprintf(stream, "%02u:%02u:%02u.%03u ", t.hour, t.minute, t.second, t.millisecond);
    va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
    if (std::fflush(stream) != 0 || std::ferror(stream)) {
        std::clearerr(stream);
        ++g_linesLost;
    } else {
        g_linesLost = 0;
    }
}

}  // namespace tarvik
