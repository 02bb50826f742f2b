#include "app/windowless.h"

#include <vector>

#include "platform/clock.h"

namespace tarvik {

void TimerSetHost::RunPolls(App& app, unsigned rounds) {
    for (unsigned round = 0; round < rounds; ++round) {
        std::vector<unsigned> polls;
        for (unsigned id : timers)
            if (id >= kTimerFirstPoll && id < kTimerFirstPoll + kMaxDrives) polls.push_back(id);
        if (polls.empty()) return;
        GetClock().Sleep(kTimerPeriodMs);
        for (unsigned id : polls)
            app.Command(DriveCommand{0, id - kTimerFirstPoll, DRIVE_CMD_CLOSE_POLL}.Encode(), 0);
    }
}

}  // namespace tarvik
