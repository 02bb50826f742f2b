#pragma once
// .reg text files as the Windows registry tools write them: the header
// "Windows Registry Editor Version 5.00" (or "REGEDIT4"), keys in brackets,
// "name"="string", dword:, hex: and hex(N): values. Reading accepts UTF-16LE
// with a BOM (what reg.exe writes), UTF-8 and ANSI; writing produces UTF-16LE
// with a BOM and CRLF. Inside the program names and strings are ANSI
// (Windows-1252), as the registry's "A" functions hand them out.
#include <string>

#include "platform/registry.h"

namespace tarvik {

// Applies .reg text to `registry` the way an import does: keys are created,
// values set, "[-key]" removes a tree and "name"=- a value. Returns false on
// text that is not a registry file or has a malformed line; *error (may be
// null) then says which line. Lines before the failing one stay applied.
[[nodiscard]] bool ImportRegText(Registry& registry, const std::string& fileBytes,
                                 std::string* error);

// The export of root\path with all its subkeys, as ANSI text with CRLF line
// ends (the content; see EncodeRegFile for the bytes). False when the key
// cannot be opened.
[[nodiscard]] bool ExportRegText(Registry& registry, RegHandle root, const std::string& path,
                                 std::string* text);

// The export of everything stored under the four roots (a whole registry),
// in the same text form.
std::string ExportAllRegText(Registry& registry);

// ANSI .reg text to the bytes of a file: UTF-16LE with a BOM.
std::string EncodeRegFile(const std::string& text);

// Reads or writes a whole file; false when the file cannot be read or written.
[[nodiscard]] bool ReadWholeFile(const std::string& fileName, std::string* bytes);
[[nodiscard]] bool WriteWholeFile(const std::string& fileName, const std::string& bytes);
// Writes `bytes` to `temporary`, then puts that file in fileName's place. Only
// a complete file takes the name: on any failure the old file stays as it was
// and the temporary is gone.
[[nodiscard]] bool ReplaceWholeFile(const std::string& fileName, const std::string& bytes,
                                    const std::string& temporary);

// Export straight to a file (UTF-16LE), as "reg export" does.
[[nodiscard]] bool ExportRegFile(Registry& registry, RegHandle root, const std::string& path,
                                 const std::string& fileName);

// Compares two key trees: the same subkeys (names without regard to case) and
// the same values (name, type, bytes) at every level. On a difference returns
// false and describes the first one found in *difference (may be null).
[[nodiscard]] bool CompareRegTrees(Registry& a, RegHandle aKey, Registry& b, RegHandle bKey,
                                   std::string* difference);

}  // namespace tarvik
