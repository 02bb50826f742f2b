#include "ctl_app.h"

#include "platform/clock.h"

namespace tarvik::ctl {

void CtlHost::RunPolls(App& app) {
    for (unsigned round = 0; round <= 30; ++round) {
        std::set<unsigned> polls;
        for (unsigned id : timers_)
            if (id >= kTimerFirstPoll && id < kTimerFirstPoll + kMaxDrives) polls.insert(id);
        if (polls.empty()) return;
        GetClock().Sleep(kTimerPeriodMs);
        for (unsigned id : polls)
            app.Command(DriveCommand{0, id - kTimerFirstPoll, DRIVE_CMD_CLOSE_POLL}.Encode(), 0);
    }
}

}  // namespace tarvik::ctl
