// The decision's arbitration between classes held to different thresholds,
// with confidences chosen by the test (the calls cannot choose them).
#include <array>
#include <vector>

#include <gtest/gtest.h>

#include "Decision.h"

namespace {

using zvsdk::Decision;

std::array<float, ZV_AUDIO_CLASS_COUNT> Thresholds(float value) { return {value, value, value, value, value, value, value}; }

TEST(Decision, MostConfidentRelativeToItsThresholdWins)
{
    Decision decision(25);
    auto thresholds = Thresholds(0.9f);
    thresholds[1] = 0.9f;  // class 2
    thresholds[5] = 0.5f;  // class 6
    ASSERT_TRUE(decision.SetThresholds(thresholds.data()));
    // Class 2 is more confident (0.95) but only half-way above 0.9; class 6
    // at 0.8 is 60 % of the way from 0.5 to 1.
    float confidence[ZV_AUDIO_CLASS_COUNT] = {0, 0.95f, 0, 0, 0, 0.8f, 0};
    EXPECT_EQ(decision.Decide(confidence), 6);
    // Class 2 was detected too and is reported next, while class 6 waits.
    EXPECT_EQ(decision.Decide(confidence), 2);
    EXPECT_EQ(decision.Decide(confidence), 0);
}

TEST(Decision, ThresholdOneIsReachedOnlyByCertaintyAndThenWins)
{
    Decision decision(25);
    auto thresholds = Thresholds(0.5f);
    thresholds[0] = 1.0f;
    ASSERT_TRUE(decision.SetThresholds(thresholds.data()));
    float almost[ZV_AUDIO_CLASS_COUNT] = {0.999f, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(decision.Decide(almost), 0);
    float certain[ZV_AUDIO_CLASS_COUNT] = {1.0f, 0, 0.99f, 0, 0, 0, 0};
    EXPECT_EQ(decision.Decide(certain), 1);
}

TEST(Decision, ReRiseWithinTheIntervalIsNotReportedAgain)
{
    Decision decision(5);
    ASSERT_TRUE(decision.SetThresholds(Thresholds(0.5f).data()));
    float on[ZV_AUDIO_CLASS_COUNT] = {0, 0, 0, 0.9f, 0, 0, 0};
    float off[ZV_AUDIO_CLASS_COUNT] = {};
    std::vector<int> codes;
    for (float* frame : {on, off, on, off, on, on, off, off, off, off, off, off, on}) {
        codes.push_back(decision.Decide(frame));
    }
    EXPECT_EQ(codes, (std::vector<int>{4, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 4}));
}

}  // namespace
