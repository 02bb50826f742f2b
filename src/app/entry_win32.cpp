#include <windows.h>

#include <cstdlib>

#include "app/startup_win32.h"
#include "platform/late_bound_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // First: the ASPI manager and every later library are loaded by name.
    (void)tarvik::NarrowDllSearch();
    return tarvik::TarvikMain(instance, commandLine);
}

// The library's own handler for an uncaught exception prints the exception's
// demangled type to stderr, which a GUI program does not have; its demangler
// alone is 40 KB of the exe. Ours only ends the program, as that one does.
namespace __gnu_cxx {
// NOLINTNEXTLINE(bugprone-reserved-identifier): the library's name, replaced on purpose
[[noreturn]] void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
