// What a threshold means, through the five calls: at 0.5 a detection over a
// mix of generated positives and their look-alikes is right at least 19
// times in 20, and at the default 0.99 clear examples of every class are
// still reported, as their own class only.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "DetectorTestSupport.h"

namespace {

namespace synth = zv::synth;

using DetectorTest::kRate;

int ClassCode(const std::string& label)
{
    const std::vector<std::string>& names = synth::classNames();
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == label) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;  // a negative
}

TEST(Calibration, AtHalfADetectionIsRightNineteenTimesInTwenty)
{
    const synth::BackgroundKind backgrounds[] = {synth::BackgroundKind::Traffic, synth::BackgroundKind::Pink,
                                                 synth::BackgroundKind::Babble, synth::BackgroundKind::Rain};
    synth::Rng rng(81);
    int right = 0;
    int wrong = 0;
    std::string mistakes;
    std::vector<int> rightPerClass(synth::classNames().size() + 1, 0);
    size_t clipIndex = 0;
    for (const synth::SoundKind& kind : synth::catalogue()) {
        const int expected = ClassCode(kind.label);
        // Two clips of every positive kind, one of every look-alike.
        for (int copy = 0; copy < (expected != 0 ? 2 : 1); ++copy, ++clipIndex) {
            const std::vector<float> sound = kind.make(rng, kRate, 5.0);
            const std::vector<float> clip = DetectorTest::OverBackground(
                rng, sound, backgrounds[clipIndex % std::size(backgrounds)], 10.0, 9.0);
            for (int code : DetectorTest::Reported(clip, "calibration", 0.5f)) {
                if (code == expected) {
                    ++right;
                    ++rightPerClass[static_cast<size_t>(code)];
                } else {
                    ++wrong;
                    mistakes += std::string(" ") + kind.subLabel + "->" + std::to_string(code);
                }
            }
        }
    }
    ASSERT_GT(right + wrong, 0);
    EXPECT_GE(right * 20, (right + wrong) * 19) << right << " right, " << wrong << " wrong:" << mistakes;
    for (size_t code = 1; code < rightPerClass.size(); ++code) {
        EXPECT_GT(rightPerClass[code], 0) << synth::classNames()[code - 1] << " never detected";
    }
}

TEST(Calibration, AtTheDefaultThresholdClearExamplesOfEveryClassAreReportedAsThemselves)
{
    // Three clear examples of every class, taking its variants in turn; the
    // detectors are not perfect, so two of three must be heard, and none may
    // be reported as anything else.
    synth::Rng rng(82);
    for (const std::string& label : synth::classNames()) {
        const int expected = ClassCode(label);
        std::vector<const synth::SoundKind*> kinds;
        for (const synth::SoundKind& kind : synth::catalogue()) {
            if (kind.label == label) {
                kinds.push_back(&kind);
            }
        }
        ASSERT_FALSE(kinds.empty()) << label;
        int heard = 0;
        for (size_t n = 0; n < 3; ++n) {
            const synth::SoundKind& kind = *kinds[n % kinds.size()];
            const std::vector<float> sound = kind.make(rng, kRate, 5.0);
            const std::vector<int> codes = DetectorTest::Reported(
                DetectorTest::OverBackground(rng, sound, synth::BackgroundKind::Quiet, 20.0, 9.0), "calibration",
                0.99f);
            heard += DetectorTest::Contains(codes, expected) ? 1 : 0;
            for (int code : codes) {
                EXPECT_EQ(code, expected) << kind.subLabel << " also reported as " << code;
            }
        }
        EXPECT_GE(heard, 2) << label;
    }
}

}  // namespace
