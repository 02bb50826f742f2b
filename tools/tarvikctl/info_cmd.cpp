// tarvikctl info: the drive information text of the program, for the drives
// of the run, printed as UTF-8 with LF line ends.
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ctl.h"
#include "ctl_run.h"
#include "ui/drive_info.h"

namespace tarvik::ctl {

namespace {

constexpr const char* kUsage =
    "info\n"
    "  build the drive list and print the drive information text (UTF-8, LF line ends;\n"
    "  the dialog's text has CR LF); no ASPI library is loaded here, so its version\n"
    "  values are empty";

// UTF-16 to UTF-8; CR LF becomes LF. A lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text, bool keepCrLf) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (!keepCrLf && c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int RunInfo(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) return UsageError(ctx, "info takes no arguments", kUsage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    const std::u16string text = DriveInfoText(CurrentDriveInfoSources(nullptr), CdromList.drives);
    if (ctx.json)
        ctx.out << nlohmann::ordered_json{{"command", "info"}, {"text", ToUtf8(text, true)}}.dump(2)
                << "\n";
    else
        ctx.out << ToUtf8(text, false);
    return run.Finish() ? kExitOk : kExitFailed;
}

}  // namespace

TARVIK_CTL_COMMAND("info", RunInfo, kUsage);

}  // namespace tarvik::ctl
