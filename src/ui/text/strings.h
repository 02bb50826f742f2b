#pragma once
// The program's string table as data, for code that needs its texts without
// the resource loader: portable models (tray tip, menus, dialog texts) and
// their tests on Linux, and the check that the Windows resource holds the same.
// The Windows program itself reads its texts from the STRINGTABLE resource,
// which is built from the same list (resources/strings.inc).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "scsi/transport.h"
#include "string_ids.h"

namespace tarvik {

struct ResStringEntry {
    unsigned id;
    const char* name;          // the constant's name, e.g. "IDS_OK"
    std::u16string_view text;  // UTF-16, as the resource holds it
    std::string_view utf8;     // the same text in UTF-8
};

// Every entry, ascending by id.
std::span<const ResStringEntry> ResStringTable();

// The entry of string `id`, or null when the id is free.
const ResStringEntry* FindResStringEntry(unsigned id);

// Text of string `id`; empty for a free id (like the resource loader, which
// also gives an empty text for a missing string).
std::u16string_view ResString(unsigned id);
std::string_view ResStringUtf8(unsigned id);

// The text of a transport state (drive information): one string per code in
// the codes' order, "Unknown error!" for any other code.
constexpr unsigned AspiStatusStringId(uint32_t code) {
    return code <= kAspiOk ? IDS_ASPI_NOT_INITIALIZED + code : IDS_STATUS_UNKNOWN;
}
constexpr unsigned SptiStatusStringId(uint32_t code) {
    return code <= kSptiOk ? IDS_SPTI_NOT_INITIALIZED + code : IDS_STATUS_UNKNOWN;
}
static_assert(AspiStatusStringId(kAspiOk) == IDS_ASPI_OK);
static_assert(SptiStatusStringId(kSptiOk) == IDS_SPTI_OK);
static_assert(SptiStatusStringId(kSptiNoDrives) == IDS_SPTI_NO_DRIVES);

// The resource stores strings in blocks of 16: block b (resource name b + 1)
// holds ids 16 * b .. 16 * b + 15.
constexpr unsigned ResStringBlockName(unsigned id) { return (id >> 4) + 1; }

// The RT_STRING resource data of block `block` (0-based: ids 16 * block ...):
// for each of the 16 ids a 16-bit count and that many UTF-16 units, a free id
// being a count of 0. Empty when no id of the block is used, because then the
// resource compiler writes no block at all.
std::vector<uint16_t> BuildResStringBlock(unsigned block);

}  // namespace tarvik
