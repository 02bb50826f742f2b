#include "app/log.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"

#ifdef _WIN32
#include <io.h>
#define TARVIK_OPEN ::_open
#define TARVIK_CLOSE ::_close
#define TARVIK_FDOPEN ::_fdopen
constexpr int kCreateFlags = _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT;
constexpr int kCreateMode = _S_IREAD | _S_IWRITE;
#else
#include <unistd.h>
#define TARVIK_OPEN ::open
#define TARVIK_CLOSE ::close
#define TARVIK_FDOPEN ::fdopen
constexpr int kCreateFlags = O_WRONLY | O_CREAT | O_EXCL;
constexpr int kCreateMode = S_IRUSR | S_IWUSR;
#endif

namespace tarvik {

namespace detail {
std::FILE* g_logStream = nullptr;
}

namespace {
std::string g_logPath;
constexpr unsigned kLastLogNumber = 2147483646u;
}  // namespace

int LogOpen(const char* base, const char* extension) {
    LogClose();
    if (!base) base = "tarvik";
    if (!extension) extension = ".log";

    // Room for up to ten digits and the terminator, as the numbering allows.
    std::string path(std::strlen(base) + std::strlen(extension) + 11, '\0');
    for (unsigned n = 0;; ++n) {
        const int len = std::snprintf(path.data(), path.size(), "%s%02u%s", base, n, extension);
        const int fd = TARVIK_OPEN(path.c_str(), kCreateFlags, kCreateMode);
        if (fd >= 0) {
            std::FILE* stream = TARVIK_FDOPEN(fd, "w");
            if (!stream) {
                TARVIK_CLOSE(fd);
                return 0;
            }
            path.resize(static_cast<size_t>(len));
            g_logPath = path;
            detail::g_logStream = stream;
            return 1;
        }
        // Only a taken name moves on to the next number; an unwritable
        // directory would fail for every number.
        if (errno != EEXIST || n == kLastLogNumber) return 0;
    }
}

const char* LogPath() { return detail::g_logStream ? g_logPath.c_str() : nullptr; }

void LogClose() {
    if (detail::g_logStream) std::fclose(detail::g_logStream);
    detail::g_logStream = nullptr;
    g_logPath.clear();
}

void detail::LogWrite(const char* format, ...) {
    std::FILE* stream = g_logStream;
    if (!stream) return;
    const LocalTime t = GetClock().Now();
    std::fprintf(stream, "%02u:%02u:%02u.%03u ", t.hour, t.minute, t.second, t.millisecond);
    va_list args;
    va_start(args, format);
    std::vfprintf(stream, format, args);
    va_end(args);
    std::fflush(stream);
}

}  // namespace tarvik
