#include "ui/dialog/dialog_table.h"

namespace tarvik {

std::u16string DialogCaption(std::u16string_view title, std::u16string_view stringText) {
    std::u16string caption(title);
    if (!caption.empty() && !stringText.empty()) caption += u" - ";
    caption += stringText;
    return caption;
}

std::u16string ItemInitialText(const DialogItem& item, StringLookup lookup) {
    if (item.text) return item.text;
    if (item.stringId == 0 || lookup == nullptr) return {};
    return lookup(item.stringId);
}

}  // namespace tarvik
