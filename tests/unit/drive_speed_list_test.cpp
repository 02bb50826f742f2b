// Speed list invariants and the choice of speed command, without a drive.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "drive/speed_control.h"
#include "drive/speed_detect.h"

namespace tarvik {
namespace {

using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;

Pairs EntriesOf(const SpeedList& list) {
    Pairs out;
    for (uint32_t i = 0; i < list.Count; ++i)
        out.emplace_back(list.Entries[i].Speed, list.Entries[i].Command);
    return out;
}

struct InsertCase {
    const char* name;
    Pairs inserts;
    Pairs expected;
};

class InsertSpeedTest : public ::testing::TestWithParam<InsertCase> {};

TEST_P(InsertSpeedTest, KeepsListSortedAndUnique) {
    SpeedList list;
    list.Factor = kFactorCD;
    for (auto [speed, command] : GetParam().inserts)
        InsertSpeed(&list, speed, command, nullptr, nullptr);
    EXPECT_EQ(EntriesOf(list), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Drive, InsertSpeedTest,
                         ::testing::Values(InsertCase{"descending_appends",
                                                      {{7040, 7040}, {5632, 5632}, {4224, 4224}},
                                                      {{7040, 7040}, {5632, 5632}, {4224, 4224}}},
                                           InsertCase{"ascending_goes_to_front",
                                                      {{1764, 1764}, {3528, 3528}, {7056, 7056}},
                                                      {{7056, 7056}, {3528, 3528}, {1764, 1764}}},
                                           InsertCase{"middle",
                                                      {{7056, 7056}, {1764, 1764}, {4234, 4200}},
                                                      {{7056, 7056}, {4234, 4200}, {1764, 1764}}},
                                           InsertCase{"first_command_for_a_speed_wins",
                                                      {{4234, 4234}, {4234, 4400}, {4234, 4100}},
                                                      {{4234, 4234}}},
                                           InsertCase{"duplicate_of_first_entry",
                                                      {{7056, 7056}, {1764, 1764}, {7056, 9000}},
                                                      {{7056, 7056}, {1764, 1764}}},
                                           InsertCase{"zero_speed_or_command_refused",
                                                      {{0, 1764}, {1764, 0}, {2822, 2822}},
                                                      {{2822, 2822}}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DriveSpeedList, FullListRefusesMoreButStillReportsTheEntry) {
    SpeedList list;
    for (uint32_t i = 0; i < kMaxSpeedEntries; ++i)
        InsertSpeed(&list, 100000 - i, 100000 - i, nullptr, nullptr);
    ASSERT_EQ(list.Count, kMaxSpeedEntries);

    static int reports;
    reports = 0;
    auto progress = [](uint32_t, uint32_t, uint32_t, uint32_t speed, uint32_t, void*) {
        if (speed == 5) ++reports;
        return 1;
    };
    InsertSpeed(&list, 5, 5, progress, nullptr);
    EXPECT_EQ(list.Count, kMaxSpeedEntries);
    EXPECT_EQ(list.Entries[kMaxSpeedEntries - 1].Speed, 100000u - (kMaxSpeedEntries - 1));
    EXPECT_EQ(reports, 1);
}

TEST(DriveSpeedList, CorruptCountIsTreatedAsFull) {
    SpeedList list;
    list.Count = 5000;  // e.g. from a damaged record; must not write past the array
    InsertSpeed(&list, 1764, 1764, nullptr, nullptr);
    EXPECT_EQ(list.Count, 5000u);
    EXPECT_EQ(CommandForSpeed(list, 1), 1u);
}

TEST(DriveSpeedList, CommandForSpeedFindsTheEntryOrSendsTheSpeedItself) {
    SpeedList list;
    InsertSpeed(&list, 7056, 7040, nullptr, nullptr);
    InsertSpeed(&list, 1411, 1408, nullptr, nullptr);
    EXPECT_EQ(CommandForSpeed(list, 7056), 7040u);
    EXPECT_EQ(CommandForSpeed(list, 1411), 1408u);
    EXPECT_EQ(CommandForSpeed(list, 2822), 2822u);  // a selection no longer listed
}

struct MethodCase {
    uint32_t prefered, detected, canSetSpeed, canSetStreaming;
    uint32_t hint0, hint1, hint2;
};

TEST(DriveSpeedMethod, ChoiceFollowsPreferenceThenDetectionThenAbility) {
    const MethodCase cases[] = {
        // prefered, detected, SET CD SPEED ok, SET STREAMING ok -> hint 0, 1, 2
        {0, 0, 0, 0, 1, 1, 1},          {0, 0, 1, 0, 1, 1, 1},
        {0, 0, 0, 1, 2, 2, 2},          {0, 0, 1, 1, 1, 1, 2},
        {0, 1, 1, 1, 1, 1, 1},          {0, 2, 1, 1, 2, 2, 2},
        {1, 2, 0, 1, 1, 1, 1},          {2, 1, 1, 0, 2, 2, 2},
        {7, 0, 1, 1, 1, 1, 2},  // damaged stored values count as not set
        {0, 0xFFFFFFFF, 0, 1, 2, 2, 2},
    };
    for (const MethodCase& c : cases) {
        SpeedList list;
        list.MethodPrefered = c.prefered;
        list.MethodDetected = c.detected;
        list.CanSetSpeed = c.canSetSpeed;
        list.CanSetStreaming = c.canSetStreaming;
        SCOPED_TRACE(::testing::Message()
                     << c.prefered << c.detected << c.canSetSpeed << c.canSetStreaming);
        EXPECT_EQ(ChooseSpeedMethod(list, 0), c.hint0);
        EXPECT_EQ(ChooseSpeedMethod(list, 1), c.hint1);
        EXPECT_EQ(ChooseSpeedMethod(list, 2), c.hint2);
    }
}

}  // namespace
}  // namespace tarvik
