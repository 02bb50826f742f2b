#pragma once
// A library's version resource, read without the system: the lookups
// VerQueryValue makes in the block GetFileVersionInfo returns, and the ASPI
// library's strings for the drive information text. The Windows side only
// reads the file's block; everything that walks it is here and tested. The
// copy kept at each load of the ASPI library is scsi/aspi_version.h's.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// One value of a version block: its bytes, and whether the block marks it as
// text (UTF-16, its NUL and anything after it already cut off).
struct VersionValue {
    std::span<const uint8_t> bytes;
    bool text = false;
};

// Finds path ("\VarFileInfo\Translation", "\StringFileInfo\040904b0\FileVersion",
// "\" for the root) in a VS_VERSIONINFO block of the 32-bit layout: nodes of
// wLength, wValueLength, wType, a UTF-16 key, the value and the children,
// each aligned to 4 bytes from the block's start. Keys compare without
// regard to ASCII case. Every length is checked against the node that holds
// it, so a damaged block gives nullopt or a shorter value, never a read past
// its end.
std::optional<VersionValue> QueryVersionValue(std::span<const uint8_t> block,
                                              std::string_view path);

// The ASPI library's version block as the drive information text uses it.
class AspiVersionInfo {
public:
    // Keeps the block and the key of its first translation, "%04x%04x" of
    // language and code page; without a translation of at least one whole
    // entry, logs and uses 0409 / 04b0 (US English, Unicode).
    void StoreVersionInfo(std::vector<uint8_t> block);

    bool loaded() const { return loaded_; }
    const std::string& key() const { return key_; }

    // The string value name of the stored translation, or nullopt (logged)
    // when no block is stored or it has no such value.
    std::optional<std::u16string> ASPIGetVersionInfo(std::string_view name) const;

private:
    std::vector<uint8_t> block_;
    std::string key_;
    bool loaded_ = false;
};

}  // namespace tarvik
