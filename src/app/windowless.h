#pragma once
// A host without a window whose timers are only a set: tarvikctl, the fault
// matrix and the soak run the App on a clock of their own and fire what is
// set themselves.
#include <set>

#include "app/app.h"

namespace tarvik {

class TimerSetHost : public NoWindowHost {
public:
    bool StartTimer(unsigned id, uint32_t) override { return timers.insert(id), true; }
    void StopTimer(unsigned id) override { timers.erase(id); }

    // Runs the after-close polls that are set, each half a second later on the
    // process clock, until none is left or `rounds` have run.
    void RunPolls(App& app, unsigned rounds);

    std::set<unsigned> timers;
};

}  // namespace tarvik
