#include "ui/dialogs/about.h"

#include "platform/system.h"
#include "ui/text/strings.h"

namespace tarvik {
namespace {

constexpr int kSwShowNormal = 1;
constexpr char16_t kNoticeYears[] = u"\u20132026 ";

}  // namespace

std::u16string AboutVersionText() {
    return std::u16string(ResString(IDS_ABOUT_VERSION)) + kProgramVersion;
}

std::u16string AboutNoticeText() {
    return std::u16string(ResString(IDS_ABOUT_NOTICE_START)) + kNoticeYears +
           std::u16string(ResString(IDS_ABOUT_NOTICE_END));
}

intptr_t OpenAboutLink(std::string_view text) {
    text = text.substr(0, kAboutLinkMaxChars);
    if (text.empty()) return 0;
    const std::string file(text);
    // Visible: hidden, the browser or mail program would start where nobody sees it.
    return Sys().ShellExecute("open", file.c_str(), nullptr, nullptr, kSwShowNormal);
}

}  // namespace tarvik
