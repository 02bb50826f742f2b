#pragma once
// .reg text files as the Windows registry tools write them: the header
// "Windows Registry Editor Version 5.00" (or "REGEDIT4"), keys in brackets,
// "name"="string", dword:, hex: and hex(N): values. Reading accepts UTF-16LE
// with a BOM (what reg.exe writes), UTF-8 and ANSI; writing produces UTF-16LE
// with a BOM and CRLF. Inside the program names and strings are ANSI
// (Windows-1252), as the registry's "A" functions hand them out.
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace tarvik {

// Applies .reg text to `registry` the way an import does: keys are created,
// values set, "[-key]" removes a tree and "name"=- a value. Returns false on
// text that is not a registry file or has a malformed line; *error (may be
// null) then says which line. Lines before the failing one stay applied.
[[nodiscard]] bool ImportRegText(Registry& registry, const std::string& fileBytes,
                                 std::string* error);

// Whether a key of this name can be written to a file and read back. Key
// lines are not quoted: a control character (a line break from a drive's
// INQUIRY above all) would end or change the line. Value names are quoted and
// escaped, so every one the registry holds can be written.
bool RegKeyNameWritable(std::string_view name);

// The export of root\path with all its subkeys, as ANSI text with CRLF line
// ends (the content; see EncodeRegFile for the bytes). False when the key
// cannot be opened. A key whose name cannot be read back is left out with
// what is below it, logged, and its full name added to *refused (may be null),
// so that one bad name never costs the rest of the file.
[[nodiscard]] bool ExportRegText(Registry& registry, RegHandle root, const std::string& path,
                                 std::string* text, std::vector<std::string>* refused = nullptr);

// The export of everything stored under the four roots (a whole registry),
// in the same text form, with the same refusals.
std::string ExportAllRegText(Registry& registry, std::vector<std::string>* refused = nullptr);

// ANSI .reg text to the bytes of a file: UTF-16LE with a BOM.
std::string EncodeRegFile(const std::string& text);

// Reads or writes a whole file; false when the file cannot be read or written.
[[nodiscard]] bool ReadWholeFile(const std::string& fileName, std::string* bytes);
[[nodiscard]] bool WriteWholeFile(const std::string& fileName, const std::string& bytes);
// Writes `bytes` to a new temporary file beside fileName, then puts that file
// in fileName's place. Only a complete file takes the name: on any failure the
// old file stays as it was and the temporary is gone. On Linux the temporary
// is created exclusively under a name nobody can foresee (no link planted in
// the folder is followed, which matters when root writes) and the file is
// mode 0600: the settings hold the eject password's hash. Two processes
// replacing one file at once never share a temporary.
[[nodiscard]] bool ReplaceWholeFile(const std::string& fileName, const std::string& bytes);

// Export straight to a file (UTF-16LE), as "reg export" does.
[[nodiscard]] bool ExportRegFile(Registry& registry, RegHandle root, const std::string& path,
                                 const std::string& fileName);

// Compares two key trees: the same subkeys (names without regard to case) and
// the same values (name, type, bytes) at every level. On a difference returns
// false and describes the first one found in *difference (may be null).
[[nodiscard]] bool CompareRegTrees(Registry& a, RegHandle aKey, Registry& b, RegHandle bKey,
                                   std::string* difference);

}  // namespace tarvik
