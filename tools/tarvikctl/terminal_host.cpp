// The terminal on Linux: whether output goes to one, and a password read from
// it with the echo off.
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "ctl.h"

namespace tarvik::ctl {

namespace {

// The terminal's settings while the echo is off, so that Ctrl-C at the prompt
// does not leave the user's shell without echo.
struct termios gSaved;
volatile std::sig_atomic_t gEchoOff = 0;

extern "C" void RestoreEchoAndDie(int sig) {
    if (gEchoOff) (void)::tcsetattr(STDIN_FILENO, TCSADRAIN, &gSaved);
    (void)std::signal(sig, SIG_DFL);
    (void)std::raise(sig);
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) == 1; }

bool ReadSecret(const char* prompt, Writer& err, std::string& secret) {
    if (!IsTerminal(stdin)) return ReadInputLine(secret);
    if (::tcgetattr(STDIN_FILENO, &gSaved) != 0) return false;
    struct termios quiet = gSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;  // the Enter still ends the prompt's line
    auto* previousInt = std::signal(SIGINT, RestoreEchoAndDie);
    auto* previousTerm = std::signal(SIGTERM, RestoreEchoAndDie);
    // The echo goes off before the prompt shows, and what is typed ahead is
    // kept: an answer typed as soon as the prompt appears is not lost.
    gEchoOff = 1;
    const bool off = ::tcsetattr(STDIN_FILENO, TCSADRAIN, &quiet) == 0;
    err << prompt;
    const bool read = off && ReadInputLine(secret);
    (void)::tcsetattr(STDIN_FILENO, TCSADRAIN, &gSaved);
    gEchoOff = 0;
    (void)std::signal(SIGINT, previousInt);
    (void)std::signal(SIGTERM, previousTerm);
    if (!read) err << "\n";
    return read;
}

}  // namespace tarvik::ctl
