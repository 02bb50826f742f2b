#pragma once
#include <windows.h>

namespace tarvik {

// The program's entry: reads the command line, forwards to a running instance
// or runs the application. Always returns 0.
int TarvikMain(HINSTANCE instance, const char* commandLine);

}  // namespace tarvik
