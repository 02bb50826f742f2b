#pragma once
// The About dialog's texts and its links. A link opens with the shell's
// "open" verb on the link's own text, in a normal, visible window.
#include <cstdint>
#include <string>
#include <string_view>

#include "tarvik_version.h"

namespace tarvik {

inline constexpr char16_t kProgramVersion[] = TARVIK_VERSION_U16;

// "Tarvik version 5.0".
std::u16string AboutVersionText();
// The notice line: its two string-table parts around the years.
std::u16string AboutNoticeText();

// The longest link text a click reads.
constexpr size_t kAboutLinkMaxChars = 255;

// Opens a link: ShellExecute "open" on `text`, cut to kAboutLinkMaxChars,
// shown normally. The shell's result (above 32 on success); 0 without a text.
intptr_t OpenAboutLink(std::string_view text);

}  // namespace tarvik
