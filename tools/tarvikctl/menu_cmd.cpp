// tarvikctl menu left|right: the tray menu a click would show for the
// simulated drives and the stored settings, printed as an indented list (or
// JSON), so the menus can be seen without Windows. The click runs through the
// program's own App, as the tray icon's would.
#include <cstdio>
#include <string>
#include <vector>

#include "app/app.h"
#include "base/utf8.h"
#include "ctl.h"
#include "ctl_json.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "registry_file.h"
#include "settings/store.h"
#include "ui/tray/menu_model.h"

namespace tarvik::ctl {

namespace {

std::string Hex4(uint16_t id) {
    char b[8];
    std::snprintf(b, sizeof b, "0x%04X", id);
    return b;
}

void PrintRows(Writer& o, const MenuRows& rows, int depth) {
    const std::string indent(static_cast<size_t>(depth) * 4, ' ');
    for (const MenuRow& r : rows) {
        o << indent;
        if (r.kind == MenuRowKind::Separator) {
            o << "----\n";
            continue;
        }
        if (r.kind == MenuRowKind::Bitmap)
            o << "<" << (MenuBitmapName(r.bitmap) ? MenuBitmapName(r.bitmap) : "no bitmap") << ">";
        else
            o << Utf8FromUtf16(r.text);
        if (r.kind == MenuRowKind::Submenu) o << " >";
        if (r.id) o << "  " << Hex4(r.id);
        if (r.checked) {
            o << "  [checked";
            if (r.checkMark != MenuBitmap::None) o << ": " << MenuBitmapName(r.checkMark);
            o << "]";
        }
        if (r.grayed)
            o << "  [grey]";
        else if (r.disabled)
            o << "  [disabled]";
        if (r.data) o << "  [data " << r.data << "]";
        o << "\n";
        if (r.kind == MenuRowKind::Submenu) PrintRows(o, r.children, depth + 1);
    }
}

const char* KindName(MenuRowKind kind) {
    switch (kind) {
        case MenuRowKind::Separator: return "separator";
        case MenuRowKind::Submenu: return "submenu";
        case MenuRowKind::Bitmap: return "bitmap";
        default: return "item";
    }
}

Json BitmapJson(MenuBitmap bitmap) {
    const char* name = MenuBitmapName(bitmap);
    return name ? Json(name) : Json(nullptr);
}

Json RowsJson(const MenuRows& rows) {
    Json items = Json::array();
    for (const MenuRow& r : rows) {
        Json item = {{"kind", KindName(r.kind)}};
        if (r.kind != MenuRowKind::Separator) {
            item["id"] = r.id;
            item["text"] = Utf8FromUtf16(r.text);
            item["checked"] = r.checked;
            item["grayed"] = r.grayed;
            item["disabled"] = r.disabled;
            item["checkMark"] = BitmapJson(r.checkMark);
            item["data"] = r.data;
        }
        if (r.kind == MenuRowKind::Bitmap) item["bitmap"] = BitmapJson(r.bitmap);
        if (r.kind == MenuRowKind::Submenu) item["children"] = RowsJson(r.children);
        items.push_back(std::move(item));
    }
    return items;
}

// The program's host for one click: no window; the menu it would show is kept
// as rows.
class MenuHost final : public NoWindowHost {
public:
    MenuRows rows;
    bool driveInfo = false;  // the click opened the drive information instead

    void ShowRightMenu() override {
        RightMenuInputs inputs;
        inputs.helpFileExists = HelpFileExists();
        rows = BuildRightMenu(CdromList, inputs);
    }
    void ShowSpeedMenu() override {
        rows = BuildSpeedMenu(CdromList, SpeedMenuOptionsFrom(GlobalSettings));
    }
    void ShowDriveInfo(uint32_t) override { driveInfo = true; }
};

}  // namespace

int RunMenu(CtlContext& ctx, const CtlCommand& command, const CtlArgs& args) {
    if (args.size() != 1) return UsageError(ctx, "menu needs left or right", command.usage);
    const bool left = args[0] == "left";
    if (!left && args[0] != "right")
        return UsageError(ctx, "unknown menu \"" + args[0] + "\"", command.usage);

    std::string error;
    if (!LoadSettingsStore(ctx, &error)) {
        ctx.err << "tarvikctl: " << error << "\n";
        return kExitFailed;
    }
    LoadGlobalSettings();
    MenuHost host;
    {
        App app(host);
        BuildDriveList();
        app.Command(left ? CMD_LEFT_CLICK : CMD_RMENU, 0);
        FreeDriveList();
    }

    if (ctx.json) {
        Json out = {{"menu", args[0]}, {"items", RowsJson(host.rows)}};
        if (left) out["noDrives"] = host.driveInfo;
        ctx.out << JsonText(out, 2) << "\n";
    } else if (host.driveInfo) {
        ctx.out << "(no drives: a left click opens the drive information instead)\n";
    } else {
        PrintRows(ctx.out, host.rows, 0);
    }

    // A drive model seen for the first time was examined and stored.
    if (!SaveSettingsStore(ctx, &error)) {
        ctx.err << "tarvikctl: " << error << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace tarvik::ctl
