// The decision of one handle: which class, if any, is reported on a frame,
// given the classifier's confidences, the caller's thresholds and the data
// file's re-trigger interval.
//
// A class is detected while its confidence reaches its threshold (c >= t). It
// is reported on the frame where it first does, and then again at most once
// per re-trigger interval while it stays detected: a class becomes eligible
// again only when a whole interval has passed since its last report, so a
// drop and re-rise inside the interval is not reported again.
//
// When several eligible classes are detected on one frame, the one most
// confident relative to its threshold wins it: the margin (c - t) / (1 - t),
// the share of the room above the threshold that the confidence has taken,
// in [0, 1]. It compares classes held to different thresholds fairly (a class
// at 0.95 over 0.9 is as sure as one at 0.75 over 0.5). A threshold of 1 is
// reached only by a confidence of 1, whose margin is taken as 1; a threshold
// of 0 is reached by every confidence, so such a class is reported once per
// interval whatever it hears. Ties go to the lower class code.
//
// One sound raises one class: a class detected, less surely, on the frame
// another class is reported on is outranked, taken as the same sound read as
// a less likely class. It is not reported until its confidence has fallen
// below its threshold (it re-arms), or until it is the most confident of all
// detected classes. Classes exactly as sure take turns (two thresholds of 0).
// A class of the same kind as a surer detected class (the bursts: glass,
// shot, bark; the voices: shout, cry) is held back the same way, even while
// that class is inside its own interval: a shout that also reads a little
// like a cry is a shout. A class of another kind that rises while one is
// being reported is a sound of its own and is reported as usual (a shot
// during a siren).
//
// Threads: owned by one handle, used only by calls on that handle.
#pragma once

#include <cstdint>

#include "zv_audio_analytics.h"

namespace zvsdk {

class Decision {
public:
    // `retriggerFrames`: frames from one report of a class to the first frame
    // on which it may be reported again (at least 1).
    explicit Decision(std::uint32_t retriggerFrames) noexcept;

    // Takes seven thresholds in class-code order. Returns false, and keeps
    // the thresholds it had, when one is not a finite number in [0, 1].
    bool SetThresholds(const float thresholds[ZV_AUDIO_CLASS_COUNT]) noexcept;
    bool HasThresholds() const noexcept { return hasThresholds_; }

    // Decides one frame from the confidences in class-code order (each in
    // [0, 1]) and returns the reported class code 1 to 7, or 0.
    int Decide(const float confidence[ZV_AUDIO_CLASS_COUNT]) noexcept;

private:
    std::uint32_t retriggerFrames_;
    bool hasThresholds_ = false;
    float thresholds_[ZV_AUDIO_CLASS_COUNT] = {};
    // Frames since each class's last report, saturating; "never" is the
    // saturated value, which is always eligible.
    std::uint32_t sinceReport_[ZV_AUDIO_CLASS_COUNT];
    // Detected alongside a reported class and not yet re-armed.
    bool outranked_[ZV_AUDIO_CLASS_COUNT];
};

}  // namespace zvsdk
