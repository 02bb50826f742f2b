#pragma once
// One run of the program for a tarvikctl command: the settings loaded from
// --registry, the program's App, the drive list built as start-up builds it
// (examining a model seen for the first time), and the settings saved back.
#include <memory>
#include <string>

#include "app/app.h"
#include "ctl.h"
#include "ctl_app.h"
#include "drive/drive.h"
#include "drive/drive_list.h"
#include "registry_file.h"
#include "settings/store.h"
#include "ui/tray/commands.h"

namespace tarvik::ctl {

struct Run {
    CtlContext& ctx;
    CtlHost host;
    std::unique_ptr<App> app;
    bool ok = false;

    // build = false: the command starts the drives itself (the start event).
    explicit Run(CtlContext& c, bool build = true) : ctx(c) {
        std::string error;
        if (!LoadSettingsStore(ctx, &error)) {
            ctx.err << "tarvikctl: " << error << "\n";
            return;
        }
        LoadGlobalSettings();
        app = std::make_unique<App>(host);
        if (build) BuildDriveList();
        ok = true;
    }
    void Command(uint32_t drive, unsigned action, unsigned k = 0) {
        app->Command(DriveCommand{k, drive, action}.Encode(), 0);
    }
    // Writes the settings back; false (with a message) when that failed.
    bool Finish() {
        FreeDriveList();
        std::string error;
        if (SaveSettingsStore(ctx, &error)) return true;
        ctx.err << "tarvikctl: " << error << "\n";
        return false;
    }
};

}  // namespace tarvik::ctl
