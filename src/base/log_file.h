#pragma once
// Exclusive creation of the log file, the one OS call of the log.
#include <cstdio>

namespace tarvik {

// Creates `path` for writing only when no file of that name exists. Null on
// failure; *nameTaken tells that the name exists (so the next number may do).
std::FILE* CreateNewFile(const char* path, bool* nameTaken);

}  // namespace tarvik
