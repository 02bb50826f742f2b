#pragma once
// The program's host for tarvikctl: no window, no tray, no dialogs. The drive
// commands run through the same App as the tray program; what would need a
// user (a password, a dialog) is refused, and the polls a tray close starts
// run at once on the simulated drives' clock.
#include "app/windowless.h"

namespace tarvik::ctl {

class CtlHost final : public TimerSetHost {
public:
    bool passwordAsked = false;

    int ConfirmPassword(const char*) override {
        passwordAsked = true;  // a script cannot answer
        return 0;
    }

    // Runs the after-close polls the last command started, each half a second
    // later on the process clock, until they end (15 seconds at the most).
    void RunPolls(App& app) { TimerSetHost::RunPolls(app, 31); }
};

}  // namespace tarvik::ctl
