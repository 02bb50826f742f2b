#pragma once
// The wait before a disc event's speed is restored: see disc_wait.cpp.
#include <cstdint>

#include "writer.h"

namespace tarvik::ctl {

// How long a disc event waits at most for a drive to spin its disc up.
constexpr uint32_t kDiscWaitMs = 30000;

// Waits, on the process clock, until each drive of the list that a disc event
// for `letterMask` concerns is ready or has no disc, kDiscWaitMs at the most.
// A drive still spinning up after that is named on `err`; the event goes on.
void WaitForDiscs(uint32_t letterMask, Writer& err);

}  // namespace tarvik::ctl
