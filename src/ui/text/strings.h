#pragma once
// The program's string table as data, for code that needs its texts without
// the resource loader: portable models (tray tip, menus, dialog texts) and
// their tests on Linux, and the check that the Windows resource holds the same.
// The Windows program itself reads its texts from the STRINGTABLE resource,
// which is built from the same list (resources/strings.inc).
//
// Beside the neutral (English) table there is one per language
// (resources/strings_de.inc, ...). ResString gives the text of the language
// in use, the English one where that table lacks the string.
#include <cstddef>
#include <cstdint>
#include <optional>
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

// Text of string `id` in the language in use, else in English; empty for a
// free id (like the resource loader, which also gives an empty text for a
// missing string).
std::u16string_view ResString(unsigned id);
// The English text in UTF-8, for the command line, which stays English.
std::string_view ResStringUtf8(unsigned id);

// The languages with a table. English is the neutral table.
enum class UiLanguage : uint8_t { English, German, French, Spanish, Russian };
inline constexpr UiLanguage kUiLanguages[] = {UiLanguage::English, UiLanguage::German,
                                              UiLanguage::French, UiLanguage::Spanish,
                                              UiLanguage::Russian};

// Windows' primary language id of each (LANG_GERMAN, ...): its table's
// resource language, with the neutral sublanguage.
uint16_t PrimaryLangId(UiLanguage language);
// The table for a Windows language id, by its primary language only (Swiss
// German is German); English for every language without a table.
UiLanguage LanguageOfLangId(uint16_t langId);
// "en", "de", "fr", "es", "ru": the words the "Language" setting takes.
const char* UiLanguageCode(UiLanguage language);
// The language a setting names (any case); nothing for an empty or unknown
// one, which means: the system's.
std::optional<UiLanguage> ParseUiLanguage(std::string_view setting);
// The setting's language when it names one, else the system's UI language.
UiLanguage ChooseUiLanguage(std::string_view setting, uint16_t systemLangId);

// The language ResString uses; English until the program chooses one at
// start-up.
void SetUiLanguage(UiLanguage language);
UiLanguage CurrentUiLanguage();

// String `id` of `language`'s own table, or nothing when it has none (always
// nothing for English). The host build holds the tables; the Windows build
// reads them from its STRINGTABLE resources.
std::optional<std::u16string_view> FindTranslation(UiLanguage language, unsigned id);
// Text of string `id` in `language`: its own when that is not empty, else the
// English one.
std::u16string_view ResStringIn(UiLanguage language, unsigned id);

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
