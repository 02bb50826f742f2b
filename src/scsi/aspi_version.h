#pragma once
// The ASPI library's version resource as the drive information shows it: a
// copy read at each load of the library, so that showing it logs nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/version_info.h"

namespace tarvik {

// A library file's version resource, as GetFileVersionInfo gives it; empty
// when the file has none or cannot be read.
using VersionBlockReader = std::vector<uint8_t> (*)(const std::string& path);

// From now on each load of the ASPI library (AspiLoad) reads the library's
// version block with `read` and keeps it, in place of the copy before (none
// when it cannot be read). Null: no copies any more.
void KeepAspiVersionOnLoad(VersionBlockReader read);
// The copy kept at the last load; not loaded before the first.
const AspiVersionInfo& LoadedAspiVersion();

}  // namespace tarvik
