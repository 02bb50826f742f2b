// tarvikctl info: the drive information text of the program, for the drives
// of the run, printed as UTF-8 with LF line ends.
#include <string>
#include <vector>

#include "base/utf8.h"
#include "ctl.h"
#include "ctl_json.h"
#include "ctl_run.h"
#include "drive/drive_list.h"
#include "ui/dialogs/drive_info.h"

namespace tarvik::ctl {

namespace {

// UTF-16 to UTF-8; CR LF becomes LF unless kept.
std::string ToUtf8(std::u16string_view text, bool keepCrLf) {
    if (keepCrLf) return Utf8FromUtf16(text);
    std::u16string lf;
    lf.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) lf += text[i];
    return Utf8FromUtf16(lf);
}

}  // namespace

int RunInfo(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (!args.empty()) return UsageError(ctx, "info takes no arguments", command.usage);
    Run run(ctx);
    if (!run.ok) return kExitFailed;
    const std::u16string text = DriveInfoText(RunInfoSources(ctx), CdromList.drives);
    if (ctx.json)
        ctx.out << JsonText(Json{{"command", "info"}, {"text", ToUtf8(text, true)}}, 2) << "\n";
    else
        ctx.out << ToUtf8(text, false);
    return run.Finish() ? kExitOk : kExitFailed;
}

}  // namespace tarvik::ctl
