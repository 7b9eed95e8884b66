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
    // Class 2 was the same sound read as a less likely class: not reported
    // while it stays detected and less sure than class 6.
    EXPECT_EQ(decision.Decide(confidence), 0);
    EXPECT_EQ(decision.Decide(confidence), 0);
    // Once it is the surest of all it is reported, class 6's interval
    // notwithstanding.
    float surer[ZV_AUDIO_CLASS_COUNT] = {0, 0.99f, 0, 0, 0, 0.8f, 0};
    EXPECT_EQ(decision.Decide(surer), 2);
}

TEST(Decision, AnOutrankedClassReArmsAndARiseOfItsOwnIsReported)
{
    Decision decision(25);
    ASSERT_TRUE(decision.SetThresholds(Thresholds(0.5f).data()));
    float both[ZV_AUDIO_CLASS_COUNT] = {0, 0, 0, 0.9f, 0.7f, 0, 0};
    float first[ZV_AUDIO_CLASS_COUNT] = {0, 0, 0, 0.9f, 0, 0, 0};
    float cryAlone[ZV_AUDIO_CLASS_COUNT] = {0, 0, 0, 0, 0.7f, 0, 0};
    EXPECT_EQ(decision.Decide(both), 4);
    EXPECT_EQ(decision.Decide(both), 0);
    // Class 5 (a cry) falls below its threshold and rises again while the
    // surer class 4 (a shout) is still sounding: the same voice, held back.
    EXPECT_EQ(decision.Decide(first), 0);
    EXPECT_EQ(decision.Decide(both), 0);
    // Once the shout is over the cry is a sound of its own.
    EXPECT_EQ(decision.Decide(cryAlone), 5);
    // A shot (class 3) during a siren (class 6) already reported is reported.
    Decision street(25);
    ASSERT_TRUE(street.SetThresholds(Thresholds(0.5f).data()));
    float siren[ZV_AUDIO_CLASS_COUNT] = {0, 0, 0, 0, 0, 1.0f, 0};
    float shot[ZV_AUDIO_CLASS_COUNT] = {0, 0, 0.9f, 0, 0, 1.0f, 0};
    EXPECT_EQ(street.Decide(siren), 6);
    EXPECT_EQ(street.Decide(siren), 0);
    EXPECT_EQ(street.Decide(shot), 3);
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
