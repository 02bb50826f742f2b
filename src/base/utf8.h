#pragma once
// UTF-16 text (the program's own strings) as UTF-8 for a terminal or JSON.
#include <string>
#include <string_view>

namespace tarvik {

// A lone surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

}  // namespace tarvik
