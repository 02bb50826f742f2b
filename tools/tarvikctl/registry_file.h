#pragma once
// --registry FILE: tarvikctl keeps the program's settings in a .reg text file.
// Commands that touch settings load the file into the memory registry (which
// becomes the process-wide registry), run the core's own load/save code on
// it, and save the file again only when they changed something.
#include <cstdint>
#include <string>
#include <vector>

#include "ctl.h"
#include "platform/registry_memory.h"

namespace tarvik::ctl {

// The memory registry of this run; installed by LoadRegistryFile.
MemoryRegistry& CtlRegistry();

// Empties the registry, installs it process-wide and loads path into it. An
// empty path or a file that does not exist yet gives an empty registry. False
// with a message in *error when the file cannot be read or is not a registry file.
[[nodiscard]] bool LoadRegistryFile(const std::string& path, std::string* error);

// Writes every key of the registry to path (UTF-16LE .reg, as the registry
// tools write it), through a temporary file so a failed write leaves the old
// file whole. False with a message in *error. Keys whose names the file
// cannot hold are left out and named in *refused (may be null).
[[nodiscard]] bool SaveRegistryFile(const std::string& path, std::string* error,
                                    std::vector<std::string>* refused = nullptr);

// The settings store of a run: the --registry file (see above), or with
// ctx.realRegistry the user's registry itself, which is read and written in
// place. False with a message in *error.
[[nodiscard]] bool LoadSettingsStore(const CtlContext& ctx, std::string* error);
[[nodiscard]] bool SaveSettingsStore(const CtlContext& ctx, std::string* error);
// With ctx.realRegistry: whether the program's key differs from what the last
// LoadSettingsStore found.
bool RealRegistryChanged();

// ---- files_host.cpp, files_win32.cpp ----
// Makes the folders the path of a file names that are not there yet; what
// cannot be made shows when the file is written.
void MakeFoldersFor(const std::string& file);
// Empty when the settings file `path` may be used; else why not. Root must
// not read or write a file or folder that another user owns (sudo -E keeps
// that user's HOME): the owner could swap in what root then trusts or writes.
std::string SettingsOwnerProblem(const std::string& path);

}  // namespace tarvik::ctl
