// The translated tables as data, for the host build: the models and their
// layout tests on Linux see the texts the Windows build reads from its
// STRINGTABLE resources, made from the same files.
#include <algorithm>
#include <iterator>

#include "ui/text/strings.h"

namespace tarvik {
namespace {

struct Translated {
    unsigned id;
    std::u16string_view text;
};

#define TARVIK_STRING(id, name, text) {id, u"" text},
constexpr Translated kGerman[] = {
#include "strings_de.inc"
};
constexpr Translated kFrench[] = {
#include "strings_fr.inc"
};
constexpr Translated kSpanish[] = {
#include "strings_es.inc"
};
constexpr Translated kRussian[] = {
#include "strings_ru.inc"
};
#undef TARVIK_STRING

std::span<const Translated> TableOf(UiLanguage language) {
    switch (language) {
        case UiLanguage::German: return kGerman;
        case UiLanguage::French: return kFrench;
        case UiLanguage::Spanish: return kSpanish;
        case UiLanguage::Russian: return kRussian;
        case UiLanguage::English: break;
    }
    return {};
}

}  // namespace

std::optional<std::u16string_view> FindTranslation(UiLanguage language, unsigned id) {
    const std::span<const Translated> table = TableOf(language);
    // Ascending ids: the build's table check fails otherwise.
    const auto it = std::lower_bound(table.begin(), table.end(), id,
                                     [](const Translated& t, unsigned v) { return t.id < v; });
    if (it == table.end() || it->id != id) return std::nullopt;
    return it->text;
}

}  // namespace tarvik
