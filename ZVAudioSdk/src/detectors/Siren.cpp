// Siren: a loud harmonic tone whose pitch, between about 500 Hz and 2 kHz,
// either glides (wail, yelp, a mechanical siren winding up or down) or
// alternates between two notes (hi-lo).
//
// Per hop the tone is "sirenlike" when either
//   - the front end's pitch is periodic, in range, has overtones (which a
//     whistle lacks) and stands above the background; or
//   - where noise or talk hides the period (a siren as loud as the babble
//     around it), the sharpest narrow peak is in range and stands well out
//     of its neighbours, and over the last two seconds enough of such peaks
//     came with an overtone: a periodic pitch, or the strongest peak in
//     2 .. 5 kHz on a multiple of the tonal peak and not far below it. A
//     siren's horn drives a harmonic series; a whistle's, a kettle's or a
//     bird's tone is nearly pure.
// The pitch track is the period where there is one, else the peak.
// Over the last second:
//   - glide: most hops sirenlike, and many of them on a smooth monotonic
//     slope (measured over 80 ms for a yelp and over 250 ms for a wail, with
//     the midpoint near the line, so a step between two notes is no glide
//     and a singer's vibrato is too small to be one);
//   - hi-lo: the last four steady notes alternate A-B-A-B by the same
//     interval, a fifth of an octave or more, each 0.2 to 1 s, of about
//     the same length and loudness, with no other note between.
// Constant tones (horns, beeps, the 520 Hz smoke alarm) have neither; a
// telephone's trill changes notes far faster than any hi-lo.
// A glide counts only once the tone has lasted: sirenlike over most of the
// last two seconds, in one run without a pause of more than 0.15 s. A siren
// sweeps on for many seconds; a yelled "no!", a scream or a meow glides
// once, for a second or so, and stops; the next scream or meow comes after
// a breath.
// The confidence follows the evidence up at once and, while the tone goes
// on, comes down slowly: a wail resting at its top is still a siren.
#include <algorithm>
#include <cmath>

#include "Memory.h"
#include "detectors/Detector.h"

namespace zvsdk {
namespace {

class Siren final : public Detector {
public:
    explicit Siren(const nlohmann::json& block)
        : minHz_(Parameter(block, "minHz", 400.0f, 50.0f, 5000.0f)),
          maxHz_(Parameter(block, "maxHz", 2300.0f, 100.0f, 5000.0f)),
          minHarmonicity_(Parameter(block, "minHarmonicity", 0.45f, 0.0f, 1.0f)),
          minOvertonesDb_(Parameter(block, "minOvertonesDb", -25.0f, -60.0f, 60.0f)),
          maxOvertonesDb_(Parameter(block, "maxOvertonesDb", 7.0f, -60.0f, 60.0f)),
          minOverFloorDb_(Parameter(block, "minPeakOverFloorDb", 8.0f, 0.0f, 60.0f)),
          peakMinHz_(Parameter(block, "peakMinHz", 400.0f, 50.0f, 5000.0f)),
          peakMaxHz_(Parameter(block, "peakMaxHz", 2100.0f, 100.0f, 5000.0f)),
          minProminenceDb_(Parameter(block, "minPeakProminenceDb", 12.0f, 0.0f, 60.0f)),
          overtoneTolerance_(Parameter(block, "overtoneTolerance", 0.02f, 0.0f, 0.2f)),
          minOvertoneProminenceDb_(Parameter(block, "minOvertoneProminenceDb", 6.0f, 0.0f, 60.0f)),
          maxOvertoneDropDb_(Parameter(block, "maxOvertoneDropDb", 20.0f, 0.0f, 60.0f)),
          minOvertoneShare_(Parameter(block, "minOvertoneShare", 0.2f, 0.0f, 1.0f)),
          fastGlideOctaves_(Parameter(block, "fastGlideOctaves", 0.1f, 0.0f, 4.0f)),
          slowGlideOctaves_(Parameter(block, "slowGlideOctaves", 0.08f, 0.0f, 4.0f)),
          minVoiced_(Parameter(block, "minVoicedShare", 0.7f, 0.0f, 1.0f)),
          minGlide_(Parameter(block, "minGlideShare", 0.3f, 0.0f, 1.0f)),
          hiLoMinOctaves_(Parameter(block, "hiLoMinOctaves", 0.2f, 0.0f, 4.0f)),
          hiLoMaxOctaves_(Parameter(block, "hiLoMaxOctaves", 0.65f, 0.0f, 4.0f)),
          hiLoMaxLevelStepDb_(Parameter(block, "hiLoMaxLevelStepDb", 8.0f, 0.0f, 60.0f)),
          minLasting_(Parameter(block, "minLastingShare", 0.75f, 0.0f, 1.0f)),
          maxPauseHops_(static_cast<std::uint32_t>(
              std::lround(Parameter(block, "maxPauseS", 0.15f, 0.0f, 2.0f) * kHopsPerSecond))),
          minRunHops_(Parameter(block, "minRunS", 1.6f, 0.0f, 10.0f) * kHopsPerSecond),
          holdPerSecond_(Parameter(block, "holdDecayPerSecond", 0.15f, 0.0f, 10.0f)),
          dropPerSecond_(Parameter(block, "dropDecayPerSecond", 2.5f, 0.0f, 10.0f))
    {
    }

    float Update(const Features& f) noexcept override
    {
        const bool periodic = f.f0Hz >= minHz_ && f.f0Hz <= maxHz_ && f.harmonicity >= minHarmonicity_ &&
                              f.harmonicsDb >= minOvertonesDb_ && f.harmonicsDb <= maxOvertonesDb_ &&
                              f.peakOverFloorDb >= minOverFloorDb_;
        const bool tonal = f.peakHz >= peakMinHz_ && f.peakHz <= peakMaxHz_ &&
                           f.peakProminenceDb >= minProminenceDb_ && f.peakOverFloorDb >= minOverFloorDb_;
        const bool overtone = tonal && (periodic || HasOvertone(f));
        bool& overtoneSlot = overtone_[pos_ % kLasting];
        overtoneCount_ -= overtoneSlot ? 1 : 0;
        overtoneCount_ += overtone ? 1 : 0;
        overtoneSlot = overtone;
        bool& tonalSlot = tonal_[pos_ % kLasting];
        tonalCount_ -= tonalSlot ? 1 : 0;
        tonalCount_ += tonal ? 1 : 0;
        tonalSlot = tonal;
        const bool harmonicTrack =
            tonal && static_cast<float>(overtoneCount_) >= minOvertoneShare_ * static_cast<float>(tonalCount_);
        const bool voiced = harmonicTrack || periodic;
        // The period where the front end finds one (as the front end reads
        // it, the notes and glides of a clear siren); otherwise, where noise
        // hides the period, the tonal peak.
        const float pitch = periodic ? std::log2(f.f0Hz) : harmonicTrack ? std::log2(f.peakHz) : 0.0f;

        // Pitch history, smoothed by a median of three against single-hop
        // octave slips.
        raw_[pos_ % kHistory] = pitch;
        voiced_[pos_ % kHistory] = voiced;
        const float a = raw_[(pos_ + kHistory - 2) % kHistory];
        const float b = raw_[(pos_ + kHistory - 1) % kHistory];
        const float c = pitch;
        const bool allVoiced = voiced && voiced_[(pos_ + kHistory - 1) % kHistory] &&
                               voiced_[(pos_ + kHistory - 2) % kHistory];
        const float smooth = allVoiced ? std::max(std::min(a, b), std::min(std::max(a, b), c)) : pitch;
        smooth_[pos_ % kHistory] = smooth;

        const bool glide = voiced && (Glides(kFastSpan, fastGlideOctaves_) || Glides(kSlowSpan, slowGlideOctaves_));
        glide_[pos_ % kHistory] = glide;
        voicedCount_ += voiced ? 1 : 0;
        glideCount_ += glide ? 1 : 0;
        bool& lastingSlot = lasting_[pos_ % kLasting];
        lastingCount_ -= lastingSlot ? 1 : 0;
        lastingCount_ += voiced ? 1 : 0;
        lastingSlot = voiced;
        if (pos_ >= kWindow) {
            const std::uint32_t old = (pos_ - kWindow) % kHistory;
            voicedCount_ -= voiced_[old] ? 1 : 0;
            glideCount_ -= glide_[old] ? 1 : 0;
        }
        // The current run of sirenlike hops, bridging pauses up to
        // maxPauseS: what masking leaves of a siren, but not a breath.
        if (voiced) {
            if (pauseHops_ > maxPauseHops_) {
                runStart_ = pos_;
            }
            pauseHops_ = 0;
        } else {
            pauseHops_ = std::min(pauseHops_ + 1, kLongPause);  // no wrap over a day-long silence
        }
        TrackNotes(voiced, smooth, f.levelDb);
        ++pos_;

        const float voicedShare = static_cast<float>(voicedCount_) / kWindow;
        const float glideShare = static_cast<float>(glideCount_) / kWindow;
        const float lastingShare = static_cast<float>(lastingCount_) / kLasting;
        const float run = pauseHops_ > maxPauseHops_ ? 0.0f : static_cast<float>(pos_ - runStart_);
        const float lasting =
            Ramp(lastingShare, minLasting_ - 0.15f, minLasting_) * Ramp(run, minRunHops_ - 30.0f, minRunHops_);
        const float glideEvidence = Ramp(voicedShare, minVoiced_ - 0.15f, minVoiced_) *
                                    Ramp(glideShare, minGlide_ - 0.15f, minGlide_) * lasting;
        const float evidence = std::max(glideEvidence, HiLoEvidence() * Ramp(voicedShare, 0.6f, 0.8f));

        // Held while the tone goes on (most of the last 0.3 s), dropped fast
        // once it stops.
        std::uint32_t recent = 0;
        for (std::uint32_t back = 1; back <= kRecent; ++back) {
            recent += voiced_[(pos_ + kHistory - back) % kHistory] ? 1 : 0;
        }
        const float decay = (2 * recent >= kRecent ? holdPerSecond_ : dropPerSecond_) / kHopsPerSecond;
        confidence_ = std::max(evidence, confidence_ - decay);
        confidence_ = std::max(0.0f, confidence_);
        return confidence_;
    }

private:
    static constexpr std::uint32_t kHistory = 128;
    static constexpr std::uint32_t kWindow = 90;    // 0.9 s
    static constexpr std::uint32_t kFastSpan = 8;   // 80 ms
    static constexpr std::uint32_t kSlowSpan = 24;  // 240 ms
    static constexpr std::uint32_t kRecent = 30;    // 300 ms
    static constexpr std::uint32_t kMisfits = 4;    // hops a note may lose to a glide or a slip
    static constexpr std::uint32_t kNoteGap = 10;   // hops a note may be drowned for
    static constexpr std::uint32_t kLasting = 200;  // 2 s
    static constexpr std::uint32_t kLongPause = 1000;

    // The strongest peak in 2 .. 5 kHz sits on an overtone of the tonal peak
    // and is not far below it: a siren's horn drives a harmonic series, a
    // whistle's is a near-pure tone.
    bool HasOvertone(const Features& f) const noexcept
    {
        if (f.highPeakProminenceDb < minOvertoneProminenceDb_ ||
            f.highPeakLevelDb < f.peakLevelDb - maxOvertoneDropDb_ || f.peakHz <= 0.0f) {
            return false;
        }
        const float ratio = f.highPeakHz / f.peakHz;
        const float nearest = std::round(ratio);
        return nearest >= 2.0f && nearest <= 6.0f && std::fabs(ratio / nearest - 1.0f) <= overtoneTolerance_;
    }

    float At(std::uint32_t back) const noexcept { return smooth_[(pos_ + kHistory - back) % kHistory]; }

    // A smooth monotonic change of at least `octaves` over the last `span`
    // hops, all of them sirenlike.
    bool Glides(std::uint32_t span, float octaves) const noexcept
    {
        if (pos_ < span) {
            return false;
        }
        for (std::uint32_t back = 0; back <= span; back += span / 4) {
            if (!voiced_[(pos_ + kHistory - back) % kHistory]) {
                return false;
            }
        }
        const float now = At(0);
        const float then = At(span);
        const float change = now - then;
        if (std::fabs(change) < octaves) {
            return false;
        }
        // Quarter points near the straight line between the ends.
        for (std::uint32_t q = 1; q <= 3; ++q) {
            const float expected = now - change * static_cast<float>(q) / 4.0f;
            if (std::fabs(At(span * q / 4) - expected) > 0.3f * std::fabs(change)) {
                return false;
            }
        }
        return true;
    }

    // Steady notes: runs of sirenlike hops within 0.06 octave of where the
    // note has been over the last few hops (so a Doppler drift does not
    // cut it up). The last three finished notes are kept.
    void TrackNotes(bool voiced, float pitch, float levelDb) noexcept
    {
        const bool fits = voiced && noteHops_ > 0 && std::fabs(pitch - noteNow_) < 0.06f;
        if (fits) {
            noteNow_ += 0.1f * (pitch - noteNow_);
            noteSum_ += pitch;
            noteLevelSum_ += levelDb;
            ++noteHops_;
            noteEnd_ = pos_ + 1;
            misfits_ = 0;
            gap_ = 0;
            return;
        }
        // A hop at another pitch: a glide between notes or a slipped pitch.
        // A hop without a tone: the note drowned for a moment (noise, talk).
        if (noteHops_ > 0 && (voiced ? ++misfits_ <= kMisfits : ++gap_ <= kNoteGap)) {
            return;
        }
        if (noteHops_ > 0) {
            notes_[2] = notes_[1];
            notes_[1] = notes_[0];
            notes_[0] = Note{noteSum_ / noteHops_, noteStart_, noteEnd_, noteLevelSum_ / noteHops_};
        }
        misfits_ = 0;
        gap_ = 0;
        noteSum_ = voiced ? pitch : 0.0f;
        noteLevelSum_ = voiced ? levelDb : 0.0f;
        noteNow_ = noteSum_;
        noteHops_ = voiced ? 1 : 0;
        noteStart_ = pos_;
        noteEnd_ = pos_ + 1;
    }

    // Two notes taking turns, A-B-A-B, the last still sounding (counted
    // once 0.15 s long); the finished ones each 0.2 to 1 s and of about the
    // same length, each starting where the one before ended. Four notes,
    // not three: a tune, or a peak that slips between the harmonics of one
    // tone, steps back and forth now and then, but not in even turns.
    float HiLoEvidence() const noexcept
    {
        const Note current{noteHops_ > 0 ? noteSum_ / noteHops_ : 0.0f, noteStart_, pos_ + 1,
                           noteHops_ > 0 ? noteLevelSum_ / noteHops_ : 0.0f};
        const Note* turns[4] = {&notes_[2], &notes_[1], &notes_[0], &current};
        if (noteHops_ == 0 || current.Hops() < 15) {
            return 0.0f;
        }
        std::uint64_t shortest = 1000;
        std::uint64_t longest = 0;
        for (int i = 0; i < 3; ++i) {
            shortest = std::min(shortest, turns[i]->Hops());
            longest = std::max(longest, turns[i]->Hops());
            if (turns[i + 1]->startHop > turns[i]->endHop + 6) {
                return 0.0f;
            }
        }
        if (shortest < 20 || longest > 100 || longest > 2 * shortest) {
            return 0.0f;
        }
        // The same interval at every turn, alternately up and down. Only the
        // interval: a passing siren's notes both drift with the Doppler shift.
        const float step = turns[1]->pitch - turns[0]->pitch;
        if (std::fabs(step) < hiLoMinOctaves_ || std::fabs(step) > hiLoMaxOctaves_) {
            return 0.0f;
        }
        // And about as loud: one horn sounding both notes, not a beep taking
        // turns with a note of the background in its gaps.
        for (int i = 0; i < 3; ++i) {
            if (std::fabs(turns[i + 1]->levelDb - turns[i]->levelDb) > hiLoMaxLevelStepDb_) {
                return 0.0f;
            }
        }
        for (int i = 1; i < 3; ++i) {
            const float turn = turns[i + 1]->pitch - turns[i]->pitch;
            if (std::fabs(turn + (i % 2 == 1 ? step : -step)) > 0.06f) {
                return 0.0f;
            }
        }
        return 1.0f;
    }

    struct Note {
        float pitch = 0.0f;
        std::uint64_t startHop = 0;
        std::uint64_t endHop = 0;  // one past its last hop
        float levelDb = 0.0f;      // mean hop level
        std::uint64_t Hops() const noexcept { return endHop - startHop; }
    };

    const float minHz_;
    const float maxHz_;
    const float minHarmonicity_;
    const float minOvertonesDb_;
    const float maxOvertonesDb_;
    const float minOverFloorDb_;
    const float peakMinHz_;
    const float peakMaxHz_;
    const float minProminenceDb_;
    const float overtoneTolerance_;
    const float minOvertoneProminenceDb_;
    const float maxOvertoneDropDb_;
    const float minOvertoneShare_;
    const float fastGlideOctaves_;
    const float slowGlideOctaves_;
    const float minVoiced_;
    const float minGlide_;
    const float hiLoMinOctaves_;
    const float hiLoMaxOctaves_;
    const float hiLoMaxLevelStepDb_;
    const float minLasting_;
    const std::uint32_t maxPauseHops_;
    const float minRunHops_;
    const float holdPerSecond_;
    const float dropPerSecond_;

    std::uint64_t pos_ = 0;
    float raw_[kHistory] = {};
    float smooth_[kHistory] = {};
    bool voiced_[kHistory] = {};
    bool glide_[kHistory] = {};
    std::uint32_t voicedCount_ = 0;
    std::uint32_t glideCount_ = 0;
    bool lasting_[kLasting] = {};
    std::uint32_t lastingCount_ = 0;
    std::uint64_t runStart_ = 0;
    std::uint32_t pauseHops_ = kLongPause;
    bool tonal_[kLasting] = {};
    bool overtone_[kLasting] = {};
    std::uint32_t tonalCount_ = 0;
    std::uint32_t overtoneCount_ = 0;

    Note notes_[3];
    float noteSum_ = 0.0f;
    float noteLevelSum_ = 0.0f;
    float noteNow_ = 0.0f;
    std::uint32_t noteHops_ = 0;
    std::uint32_t misfits_ = 0;
    std::uint32_t gap_ = 0;
    std::uint64_t noteStart_ = 0;
    std::uint64_t noteEnd_ = 0;

    float confidence_ = 0.0f;
};

}  // namespace

Detector* MakeSiren(std::uint32_t, const nlohmann::json& block) { return ZvNew<Siren>(block); }

}  // namespace zvsdk
