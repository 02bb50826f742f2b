// A short sample of the virtual-clock soak (bench/app_soak.h; the benchmark
// runs it for hours): every restore the drives' options call for happens, and
// no registry key is left open between steps.
#include <gtest/gtest.h>

#include "app_soak.h"

namespace tarvik::test {
namespace {

TEST(AppSoak, HalfAnHourOfScriptedUseMissesNoRestore) {
    soak::AppSoak rig(7);
    const soak::Figures f = rig.Run(30 * 60000, 0);
    for (uint64_t n : f.steps) EXPECT_GT(n, 0u);
    EXPECT_GE(f.ticks, 3000u);  // the main timer ran all along
    EXPECT_GT(f.expected, 20u);
    EXPECT_EQ(f.seen, f.expected) << (f.missed.empty() ? "" : f.missed.front());
    EXPECT_EQ(f.keysMax, 0u);
}

}  // namespace
}  // namespace tarvik::test
