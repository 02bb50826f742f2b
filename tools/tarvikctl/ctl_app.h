#pragma once
// The program's host for tarvikctl: no window, no tray, no dialogs. The drive
// commands run through the same App as the tray program; what would need a
// user (a password, a dialog) is refused, and the polls a tray close starts
// run at once on the simulated drives' clock.
#include <set>

#include "app/app.h"

namespace tarvik::ctl {

class CtlHost final : public NoWindowHost {
public:
    bool passwordAsked = false;

    bool StartTimer(unsigned id, uint32_t) override { return timers_.insert(id), true; }
    void StopTimer(unsigned id) override { timers_.erase(id); }
    int ConfirmPassword(const char*) override {
        passwordAsked = true;  // a script cannot answer
        return 0;
    }

    // Runs the after-close polls the last command started, each half a second
    // later on the process clock, until they end (15 seconds at the most).
    void RunPolls(App& app);

private:
    std::set<unsigned> timers_;
};

}  // namespace tarvik::ctl
