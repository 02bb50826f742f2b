#pragma once
// The program's host for tarvikctl: no window, no tray, no dialogs. The drive
// commands run through the same App as the tray program; what would need a
// user (a password, a dialog) is refused, and the polls a tray close starts
// run at once on the simulated drives' clock.
#include <set>

#include "app/app.h"

namespace tarvik::ctl {

class CtlHost final : public AppHost {
public:
    bool passwordAsked = false;

    void InitTransport(uint32_t) override {}  // the simulated drives stay
    bool StartTimer(unsigned id, uint32_t) override { return timers_.insert(id), true; }
    void StopTimer(unsigned id) override { timers_.erase(id); }
    bool RegisterHotKey(int, unsigned, unsigned) override { return true; }
    void UnregisterHotKey(int) override {}
    void PostCommand(uint16_t, uint32_t) override {}
    bool TrayAdd() override { return true; }
    void TrayDelete() override {}
    void TrayUpdate() override {}
    void ShowRightMenu() override {}
    void ShowSpeedMenu() override {}
    int MessageBox(unsigned, unsigned) override { return 2; }  // Cancel: a script cannot answer
    int ConfirmPassword(const char*) override {
        passwordAsked = true;
        return 0;
    }
    bool RunOptionsDialog() override { return false; }
    bool RunDriveOptionsDialog(CdromDrive*) override { return false; }
    void ShowDriveInfo(uint32_t) override {}
    void ShowAbout() override {}
    int ShowDiskReminder(unsigned) override { return 0; }
    int ShowTrayReminder(unsigned, bool) override { return 0; }
    bool SetBlockReason(const std::u16string&) override { return false; }
    void ClearBlockReason() override {}
    void DestroyMainWindow() override {}

    // Runs the after-close polls the last command started, each half a second
    // later on the process clock, until they end (15 seconds at the most).
    void RunPolls(App& app);

private:
    std::set<unsigned> timers_;
};

}  // namespace tarvik::ctl
