#include "Speech.h"

#include "SynthKit.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace zv::soundgen {

using namespace synth::kit;

namespace {

const std::vector<std::string> kWords = {
    "the", "a", "we", "you", "they", "it", "is", "was", "will", "can", "not", "have", "had", "going", "to", "from",
    "with", "about", "tomorrow", "yesterday", "morning", "evening", "station", "train", "office", "meeting",
    "weather", "really", "quite", "nice", "late", "early", "coffee", "garden", "window", "kitchen", "table",
    "number", "seven", "twelve", "people", "always", "never", "maybe", "think", "know", "said", "told",
    "bring", "take", "leave", "came", "back", "home", "later", "market", "street", "river", "bridge",
    "children", "school", "lunch", "dinner", "weekend", "holiday", "summer", "winter", "ticket", "money",
    "question", "answer", "problem", "computer", "telephone", "letter", "report", "friday", "monday"};
const std::vector<std::string> kShouts = {
    "get out", "stop it", "leave me alone", "hey", "go away", "stop", "get back", "no", "help", "shut up",
    "what are you doing", "move", "I said stop", "give it back", "get off me", "do not touch me"};
const std::vector<std::string> kVoices = {
    "en", "en-us", "en-gb-x-rp", "en+f2", "en+f3", "en+f4", "en+m2", "en+m4", "en-us+f5", "en-us+m3",
    "de", "fr", "es", "it", "nl", "pl"};
const std::vector<std::string> kHighVoices = {"en+f2", "en+f3", "en+f4", "en-us+f5", "de+f2", "fr+f3"};

std::string run(const std::string& cmd) {
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
    return out;
}

// espeak-ng writes a canonical RIFF header whose sizes are placeholders when
// it writes to a pipe: read the rate from "fmt " and take every byte after
// "data" as 16-bit little-endian samples.
Buffer parseWav(const std::string& w, double& rate) {
    rate = 22050;
    if (w.size() < 44 || w.compare(0, 4, "RIFF") != 0) return {};
    std::size_t pos = 12;
    while (pos + 8 <= w.size()) {
        const std::string id = w.substr(pos, 4);
        std::uint32_t size = 0;
        std::memcpy(&size, w.data() + pos + 4, 4);
        if (id == "fmt " && pos + 16 <= w.size()) {
            std::uint32_t r = 0;
            std::memcpy(&r, w.data() + pos + 12, 4);
            rate = r;
        }
        if (id == "data") {
            Buffer b;
            for (std::size_t i = pos + 8; i + 1 < w.size(); i += 2) {
                const auto v = static_cast<std::int16_t>(static_cast<unsigned char>(w[i]) | (static_cast<unsigned char>(w[i + 1]) << 8));
                b.push_back(static_cast<float>(v / 32768.0));
            }
            return b;
        }
        pos += 8 + size + (size & 1);
    }
    return {};
}

std::string sentence(Rng& rng) {
    std::string s;
    const int words = rng.integer(4, 12);
    for (int i = 0; i < words; ++i) s += (i ? " " : "") + rng.pick(kWords);
    return s;
}

} // namespace

constexpr int kPoolSize = 120;

SpeechSource::SpeechSource(bool allowEspeak, std::uint64_t seed, double rate) : seed_(seed), rate_(rate) {
    if (allowEspeak) espeak_ = run("espeak-ng --version 2>/dev/null").find("eSpeak") != std::string::npos;
}

const Buffer& SpeechSource::pooled(const std::string& pool, Style style, int index) const {
    const std::string key = pool + "/" + std::to_string(static_cast<int>(style));
    Pool* p = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto& slot = pools_[key];
        if (!slot) {
            slot = std::make_unique<Pool>();
            slot->items.resize(kPoolSize);
            slot->once = std::make_unique<std::once_flag[]>(kPoolSize);
        }
        p = slot.get();
    }
    const auto i = static_cast<std::size_t>(index);
    std::call_once(p->once[i], [&]() {
        Rng r(synth::hashSeed(seed_, key, i));
        p->items[i] = utterance(r, style);
    });
    return p->items[i];
}

Buffer SpeechSource::utterance(Rng& rng, Style style) const {
    const double rate = rate_;
    // Words from our own list only (letters and spaces): safe inside single quotes.
    const bool shouting = style == Style::Shout;
    const std::string text = shouting ? rng.pick(kShouts) : sentence(rng);
    const bool high = style == Style::Child || (shouting && rng.chance(0.5));
    const std::string voice = high ? rng.pick(kHighVoices) : rng.pick(kVoices);
    int speed = rng.integer(130, 190), pitch = rng.integer(30, 70), amp = 100;
    double shift = 1.0;   // playback-rate pitch shift (formants move too)
    switch (style) {
    case Style::Normal: break;
    case Style::Raised: pitch = rng.integer(55, 85); amp = 150; break;
    case Style::Child: pitch = rng.integer(75, 99); shift = rng.uniform(1.15, 1.35); break;
    case Style::Shout: pitch = rng.integer(80, 99); speed = rng.integer(150, 210); amp = 200; shift = rng.uniform(1.05, 1.3); break;
    }
    const std::string cmd = "espeak-ng --stdout -v " + voice + " -s " + std::to_string(speed) + " -p " +
                            std::to_string(pitch) + " -a " + std::to_string(amp) + " '" + text + "' 2>/dev/null";
    double from = 22050;
    Buffer b = parseWav(run(cmd), from);
    return synth::trimSilence(synth::resample(b, from * shift, rate), rate, -50);
}

Buffer SpeechSource::speak(Rng& rng, double durationS, Style style, const std::string& pool) const {
    const double rate = rate_;
    const std::size_t n = samples(durationS, rate);
    if (!espeak_) {
        const auto talker = style == Style::Child ? synth::Talker::Child : static_cast<synth::Talker>(rng.integer(0, 1));
        if (style == Style::Shout) {
            Buffer s = synth::shout(rng, rate, durationS, false);
            s.resize(n, 0.0f);
            return s;
        }
        return synth::formantSpeech(rng, rate, talker, durationS, style == Style::Raised ? 0.6 : 0.0);
    }
    Buffer out(n, 0.0f);
    std::size_t at = samples(rng.uniform(0.0, 0.3), rate);
    while (at < n) {
        Buffer u = pooled(pool, style, rng.integer(0, kPoolSize - 1));
        if (u.empty()) break;
        normalisePeak(u, rng.uniform(0.6, 0.9));
        mixInto(out, u, at);
        at += u.size() + samples(rng.uniform(0.25, 0.9), rate);
    }
    if (style == Style::Shout) {
        // Effort: energy pushed into 1..4 kHz, a rough voice, clipping.
        auto presence = Biquad::peaking(rate, rng.uniform(1800, 3000), 0.7, rng.uniform(8, 14));
        presence.process(out);
        const double rough = rng.uniform(40, 80), depth = rng.uniform(0.2, 0.5);
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = static_cast<float>(out[i] * (1 - depth * 0.5 * (1 + std::sin(2 * kPi * rough * double(i) / rate))));
        normalisePeak(out, 1.0);
        softClip(out, rng.uniform(3.0, 8.0));
        normalisePeak(out, 0.9);
    }
    return out;
}

Buffer SpeechSource::babble(Rng& rng, double durationS, const std::string& pool) const {
    const double rate = rate_;
    if (!espeak_) return synth::babble(rng, rate, durationS);
    Buffer out(samples(durationS, rate), 0.0f);
    const int talkers = rng.integer(4, 7);
    for (int t = 0; t < talkers; ++t) {
        Buffer s = speak(rng, durationS, rng.chance(0.2) ? Style::Raised : Style::Normal, pool);
        mixInto(out, s, 0, rng.uniform(0.4, 1.0));
    }
    normalisePeak(out, 0.9);
    return out;
}

} // namespace zv::soundgen
