// tarvikctl info: the drive information text of the program, for the drives
// of the run, printed as UTF-8 with LF line ends.
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/utf8.h"
#include "ctl.h"
#include "ctl_run.h"
#include "drive/drive_list.h"
#include "ui/dialogs/drive_info.h"

namespace tarvik::ctl {

namespace {

constexpr const char* kUsage =
    "info\n"
    "  build the drive list and print the drive information text (UTF-8, LF line ends;\n"
    "  the dialog's text has CR LF); with --sim no ASPI library is loaded, so its\n"
    "  version values are empty";

// UTF-16 to UTF-8; CR LF becomes LF unless kept.
std::string ToUtf8(std::u16string_view text, bool keepCrLf) {
    if (keepCrLf) return Utf8FromUtf16(text);
    std::u16string lf;
    lf.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) lf += text[i];
    return Utf8FromUtf16(lf);
}

int RunInfo(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty()) return UsageError(ctx, "info takes no arguments", kUsage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    const std::u16string text = DriveInfoText(RunInfoSources(ctx), CdromList.drives);
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
