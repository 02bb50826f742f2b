#include "ui/text/strings.h"

#include <algorithm>
#include <array>

namespace tarvik {
namespace {

// Plain literals are UTF-8 (the sources are UTF-8 and so is the execution
// character set of both compilers); u"" literals are UTF-16.
constexpr ResStringEntry kTable[] = {
#define TARVIK_STRING(id, name, text) {id, #name, u"" text, text},
#include "strings.inc"
#undef TARVIK_STRING
};

constexpr bool StrictlyAscending() {
    for (std::size_t i = 1; i < std::size(kTable); ++i) {
        if (kTable[i - 1].id >= kTable[i].id) return false;
    }
    return true;
}
// Lookups bisect the table, and the resource compiler would reject a duplicate.
static_assert(StrictlyAscending(), "strings.inc: ids must ascend without repeats");
// The resource block format counts units in 16 bits; a string id is 16 bits.
static_assert(std::all_of(std::begin(kTable), std::end(kTable),
                          [](const ResStringEntry& e) { return e.id <= 0xFFFF; }),
              "strings.inc: string ids are 16-bit");

UiLanguage g_language = UiLanguage::English;

struct LanguageName {
    UiLanguage language;
    uint16_t primaryLangId;  // LANG_ENGLISH, LANG_GERMAN, ...
    const char* code;
};
constexpr LanguageName kLanguageNames[] = {
    {UiLanguage::English, 0x09, "en"}, {UiLanguage::German, 0x07, "de"},
    {UiLanguage::French, 0x0C, "fr"},  {UiLanguage::Spanish, 0x0A, "es"},
    {UiLanguage::Russian, 0x19, "ru"},
};

const LanguageName& NameOf(UiLanguage language) {
    for (const LanguageName& n : kLanguageNames)
        if (n.language == language) return n;
    return kLanguageNames[0];
}

}  // namespace

uint16_t PrimaryLangId(UiLanguage language) { return NameOf(language).primaryLangId; }

UiLanguage LanguageOfLangId(uint16_t langId) {
    const uint16_t primary = langId & 0x3FF;  // PRIMARYLANGID
    for (const LanguageName& n : kLanguageNames)
        if (n.primaryLangId == primary) return n.language;
    return UiLanguage::English;
}

const char* UiLanguageCode(UiLanguage language) { return NameOf(language).code; }

std::optional<UiLanguage> ParseUiLanguage(std::string_view setting) {
    if (setting.size() != 2) return std::nullopt;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    const char code[2] = {lower(setting[0]), lower(setting[1])};
    for (const LanguageName& n : kLanguageNames)
        if (std::string_view(n.code) == std::string_view(code, 2)) return n.language;
    return std::nullopt;
}

UiLanguage ChooseUiLanguage(std::string_view setting, uint16_t systemLangId) {
    return ParseUiLanguage(setting).value_or(LanguageOfLangId(systemLangId));
}

void SetUiLanguage(UiLanguage language) { g_language = language; }
UiLanguage CurrentUiLanguage() { return g_language; }

std::span<const ResStringEntry> ResStringTable() { return kTable; }

const ResStringEntry* FindResStringEntry(unsigned id) {
    auto it = std::lower_bound(std::begin(kTable), std::end(kTable), id,
                               [](const ResStringEntry& e, unsigned v) { return e.id < v; });
    return it != std::end(kTable) && it->id == id ? &*it : nullptr;
}

std::u16string_view ResStringIn(UiLanguage language, unsigned id) {
    // An empty translation is a string the table has not caught up with: a
    // resource block holds every id of its 16, present or not.
    if (const auto own = FindTranslation(language, id); own && !own->empty()) return *own;
    const ResStringEntry* e = FindResStringEntry(id);
    return e ? e->text : std::u16string_view{};
}

std::u16string_view ResString(unsigned id) { return ResStringIn(g_language, id); }

std::string_view ResStringUtf8(unsigned id) {
    const ResStringEntry* e = FindResStringEntry(id);
    return e ? e->utf8 : std::string_view{};
}

std::vector<uint16_t> BuildResStringBlock(unsigned block) {
    std::vector<uint16_t> data;
    if (block > 0xFFFF / 16) return data;
    bool used = false;
    for (unsigned index = 0; index < 16; ++index) {
        const ResStringEntry* e = FindResStringEntry(block * 16 + index);
        used = used || e != nullptr;
        const std::u16string_view text = e ? e->text : std::u16string_view{};
        data.push_back(static_cast<uint16_t>(text.size()));
        data.insert(data.end(), text.begin(), text.end());
    }
    if (!used) data.clear();
    return data;
}

}  // namespace tarvik
