// The translated tables of the Windows build: the STRINGTABLE resources of
// tarvik.rc in each language, read as the neutral one is. The exe carries
// them once; a copy as data beside them would double their bytes.
#include "ui/text/strings.h"
#include "ui/text/text_api_win32.h"

namespace tarvik {

std::optional<std::u16string_view> FindTranslation(UiLanguage language, unsigned id) {
    if (language == UiLanguage::English) return std::nullopt;
    const auto text = FindResString(nullptr, id, PrimaryLangId(language));
    if (!text) return std::nullopt;
    return std::u16string_view(reinterpret_cast<const char16_t*>(text->data()), text->size());
}

}  // namespace tarvik
