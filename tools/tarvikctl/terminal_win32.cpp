// The console on Windows: whether output goes to one, and a password read
// from it with the echo off.
#include <windows.h>

#include <io.h>

#include <cstdio>
#include <string>

#include "ctl.h"

namespace tarvik::ctl {

namespace {

HANDLE HandleOf(std::FILE* stream) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

}  // namespace

// A console answers GetConsoleMode; a file, a pipe or NUL does not.
bool IsTerminal(std::FILE* stream) {
    DWORD mode = 0;
    return ::GetConsoleMode(HandleOf(stream), &mode) != 0;
}

bool ReadSecret(const char* prompt, Writer& err, std::string& secret) {
    const HANDLE in = HandleOf(stdin);
    DWORD mode = 0;
    if (!::GetConsoleMode(in, &mode)) return ReadInputLine(secret);
    err << prompt;
    const bool off = ::SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
    const bool read = off && ReadInputLine(secret);
    (void)::SetConsoleMode(in, mode);
    err << "\n";
    return read;
}

}  // namespace tarvik::ctl
