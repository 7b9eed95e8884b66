// Speech for the generator: real text-to-speech output from espeak-ng (run
// as a subprocess) when the program is installed, else the formant
// synthesiser of zv_soundsynth. espeak-ng is deterministic for a given
// version, so the data sets stay reproducible on one machine.
#pragma once

#include "SoundSynth.h"

namespace zv::soundgen {

using synth::Buffer;
using synth::Rng;

class SpeechSource {
public:
    enum class Style { Normal, Raised, Child, Shout };

    // Probes for espeak-ng once when `allowEspeak`; otherwise never runs it.
    explicit SpeechSource(bool allowEspeak);
    bool usesEspeak() const { return espeak_; }

    // Sentences with pauses filling `durationS` exactly (zero-padded).
    // Callable from several threads at once.
    Buffer speak(Rng& rng, double rate, double durationS, Style style) const;
    // Several talkers at once.
    Buffer babble(Rng& rng, double rate, double durationS) const;

private:
    Buffer utterance(Rng& rng, double rate, Style style) const;
    bool espeak_ = false;
};

} // namespace zv::soundgen
