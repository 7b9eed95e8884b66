// Speech for the generator: real text-to-speech output from espeak-ng (run
// as a subprocess) when the program is installed, else the formant
// synthesiser of zv_soundsynth. espeak-ng is deterministic for a given
// version, so the data sets stay reproducible on one machine.
#pragma once

#include "SoundSynth.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace zv::soundgen {

using synth::Buffer;
using synth::Rng;

class SpeechSource {
public:
    enum class Style { Normal, Raised, Child, Shout };

    // Probes for espeak-ng once when `allowEspeak`; otherwise never runs it.
    // `seed` seeds the pools of utterances.
    SpeechSource(bool allowEspeak, std::uint64_t seed, double rate);
    bool usesEspeak() const { return espeak_; }

    // Sentences with pauses filling `durationS` exactly (zero-padded).
    // Utterances come from a pool per (pool, style), each rendered once on
    // first use: running espeak-ng for every clip would dominate the run
    // time. Different pools (e.g. "tune" and "holdout") share no utterance.
    // Callable from several threads at once; the result depends only on
    // the arguments and rng, never on which thread rendered a pool entry.
    Buffer speak(Rng& rng, double durationS, Style style, const std::string& pool) const;
    // Several talkers at once.
    Buffer babble(Rng& rng, double durationS, const std::string& pool) const;

private:
    struct Pool {
        std::vector<Buffer> items;
        std::unique_ptr<std::once_flag[]> once;
    };
    Buffer utterance(Rng& rng, Style style) const;
    const Buffer& pooled(const std::string& pool, Style style, int index) const;

    bool espeak_ = false;
    std::uint64_t seed_;
    double rate_;
    mutable std::mutex mutex_;   // guards pools_ (the map, not the entries)
    mutable std::map<std::string, std::unique_ptr<Pool>> pools_;
};

} // namespace zv::soundgen
