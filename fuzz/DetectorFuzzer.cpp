// Fuzzes the audio detector as a host drives it, over the scripted stand-in
// SDK and fake host objects.
//
// Input: a few set-up choices (logger level, whether the logger or the
// host's event factory may throw), then a sequence of host actions: audio
// samples of arbitrary formats and sizes, time stamps that step forward,
// step back, sit near the 64-bit limit or are arbitrary, null samples,
// samples without a PCM face, without bytes or without a buffer name;
// settings calls of all four kinds with known, arbitrary or null keys and
// arbitrary values; type-name queries; stand-in SDK failures switched on and
// off (Init without an engine, SetParams and Release statuses, Process
// answers and failures per frame); host event refusals; destroying the
// detector and making a new one.
//
// Checks after every action: the sample was destroyed exactly once and not
// read after that; Receive answers 0 or 4, a settings call 0 or 5 (0 exactly
// for a known key of its kind), a type-name query null or one of the
// detector's faces; at most one SDK engine is alive; every host event is
// momentary, carries the sample's time stamp, is of a class enabled at the
// time and is raised once per sample; no exception leaves the detector
// unless the logger or the event factory threw. At the end (detector
// destroyed): no SDK engine is left, and every host event was committed or
// cancelled exactly once and not touched after that.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "AudioAnalytics.h"
#include "AudioSampleFake.h"
#include "FuzzInput.h"
#include "HostEventFakes.h"
#include "StandinSdk.h"

namespace {

using TestSupport::AudioFormat;
using TestSupport::AudioSampleFake;
using ZVAudioAnalytics::AudioDetector;

const char* const kClassNames[] = {"GlassBreak", "SmokeAlarm", "GunShot", "Aggression",
                                   "BabyCry",    "Siren",      "DogBark"};

// A host logger that admits lines from a chosen level and, when told,
// throws instead of taking a line.
class FuzzLogger : public ORQ8::ILogger {
public:
    void* GetContract(const char* key) override { return DoGetContract(key); }
    void* DoGetContract(const char*) override { return nullptr; }
    std::uint32_t GetLogLevel() override { return level; }
    std::int32_t Log(std::uint32_t, const char* message) override { return Take(message); }
    std::int32_t Log(std::uint32_t, const char*, int, const char*, const char* message) override
    {
        return Take(message);
    }

    std::uint32_t level = 0;
    bool throws = false;

private:
    std::int32_t Take(const char* message)
    {
        FUZZ_CHECK(message != nullptr);
        if (throws)
            throw std::runtime_error("log sink failed");
        return 0;
    }
};

struct DetectorDestroyer {
    void operator()(AudioDetector* detector) const { detector->Destroy(); }
};

constexpr std::uint32_t kRates[] = {8000, 16000, 32000, 48000, 44100, 11025, 0, 96000};

class Run {
public:
    explicit Run(Fuzz::Input& in) : in(in)
    {
        StandinSdk::Reset();
        StandinSdk::SetRecordCalls(false);
        logger.level = in.Below(5);
        loggerMayThrow = in.Below(4) == 0;
        hostMayThrow = in.Below(4) == 0;
        useLogger = in.Below(8) != 0;
        for (StandinSdk::ProcessAnswer& a : answers)
            a = StandinSdk::ProcessAnswer{};
        StandinSdk::SetProcessScript([this](int, std::uint32_t frameIndex, const std::uint8_t*, std::uint32_t) {
            return answers[frameIndex % answers.size()];
        });
        hostFactory.Prepare([this](TestSupport::FakeHostEvent& event) { PrepareEvent(event); });
        NewDetector();
    }

    ~Run()
    {
        detector.reset();
        FUZZ_CHECK(StandinSdk::LiveEngines() == 0);
        for (const TestSupport::FakeHostEvent* e : hostFactory.Events()) {
            FUZZ_CHECK(e->commits + e->cancels == 1);
            FUZZ_CHECK(e->callsAfterEnd == 0);
        }
        StandinSdk::Reset();
    }

    void Step()
    {
        switch (in.Below(16)) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
            Receive();
            break;
        case 6:
        case 7:
            Setting();
            break;
        case 8:
            Query();
            break;
        case 9:
            StandinSdk::SetInitMakesEngine(in.Below(4) != 0);
            break;
        case 10:
            StandinSdk::SetParamsStatus(in.Bool() ? 0 : static_cast<std::int32_t>(in.U32()));
            break;
        case 11:
            StandinSdk::SetReleaseStatus(in.Bool() ? 0 : static_cast<std::int32_t>(in.U32()));
            break;
        case 12:
            ScriptAnswers();
            break;
        case 13:
            Faults();
            break;
        case 14:
            if (in.Below(4) == 0)
                NewDetector();
            break;
        default:
            hostFactory.ReturnNullForNext(in.Below(4));
            break;
        }
        FUZZ_CHECK(StandinSdk::LiveEngines() <= 1);
    }

private:
    void NewDetector()
    {
        detector.reset();
        FUZZ_CHECK(StandinSdk::LiveEngines() == 0);
        detector.reset(new AudioDetector(useLogger ? &logger : nullptr, &hostFactory, "/opt/host/plugins"));
        enabled.clear();
    }

    ORQ8::Analytics::IDetector* Face() { return detector.get(); }

    std::uint64_t NextTimestamp()
    {
        switch (in.Below(8)) {
        case 0:
            return clock = in.U64();
        case 1:
            return clock = std::numeric_limits<std::uint64_t>::max() - in.U16();
        case 2:
            return clock -= in.U32() % 100000;  // back; wraps below zero
        case 3:
            return clock = in.U16();
        case 4:
            return clock += 30000;
        default:
            return clock += in.U16() % 2000;
        }
    }

    AudioFormat NextFormat()
    {
        const std::uint32_t choice = in.Below(8);
        if (choice < 4)
            return format;  // the stream goes on
        if (choice < 7) {
            format.sampleRate = kRates[in.Below(8)];
            format.numChannels = in.Below(4) == 0 ? in.Below(3) : 1;
            format.bitsPerSample = in.Below(4) == 0 ? in.Below(48) : 8 * (1 + in.Below(4));
        } else {
            format.sampleRate = in.U32();
            format.numChannels = in.U32();
            format.bitsPerSample = in.U32();
        }
        return format;
    }

    void Receive()
    {
        const std::uint64_t timestamp = NextTimestamp();
        const AudioFormat f = NextFormat();
        std::size_t size;
        switch (in.Below(4)) {
        case 0:
            size = in.U16();
            break;
        case 1:
            size = in.Below(64);
            break;
        default:
            size = (f.sampleRate / 25) * (f.bitsPerSample / 8) * (1 + in.Below(4)) / (1 + in.Below(3));
            size = size > 65536 ? 65536 : size;
            break;
        }
        std::vector<std::uint8_t> bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<std::uint8_t>((position + i) * 2654435761u >> 13);
        position += size;
        const std::uint32_t shape = in.Below(32);
        AudioSampleFake* sample = nullptr;
        if (shape != 0) {
            samples.push_back(std::make_unique<AudioSampleFake>(timestamp, std::move(bytes), f, "audio"));
            sample = samples.back().get();
            sample->nullName = shape == 1;
            sample->answersPcm = shape != 2;
        }

        auto* receiver = ORQ8::QueryContract<ORQ8::Analytics::IMediaReceiver>(Face());
        FUZZ_CHECK(receiver != nullptr);
        const std::size_t eventsBefore = hostFactory.EventCount();
        const std::set<std::string> enabledNow = enabled;
        try {
            const std::int32_t status = receiver->Receive(sample);
            FUZZ_CHECK(status == 0 || status == 4);
        } catch (const std::exception&) {
            FUZZ_CHECK(logger.throws || hostThrows);
        }
        if (sample != nullptr) {
            FUZZ_CHECK(sample->destroyCount == 1);
            FUZZ_CHECK(sample->readsAfterDestroy == 0);
        }
        std::set<std::string> raised;
        for (std::size_t i = eventsBefore; i < hostFactory.EventCount(); ++i) {
            const TestSupport::FakeHostEvent& e = hostFactory.Event(i);
            FUZZ_CHECK(e.kind == ORQ8::Analytics::EventMomentary);
            FUZZ_CHECK(e.timestamp == timestamp);
            FUZZ_CHECK(e.sender == Face());
            FUZZ_CHECK(enabledNow.count(e.name) == 1);
            FUZZ_CHECK(raised.insert(e.name).second);
        }
    }

    std::string Key(bool& known, bool threshold)
    {
        known = false;
        const std::uint32_t choice = in.Below(8);
        if (choice < 5) {
            known = true;
            return std::string(threshold ? "confThreshold" : "enable") + kClassNames[in.Below(7)];
        }
        if (choice == 5)
            return std::string(threshold ? "enable" : "confThreshold") + kClassNames[in.Below(7)];
        return in.Text(40);
    }

    void Setting()
    {
        auto* settings = ORQ8::QueryContract<ORQ8::ISyncAdjuster>(Face());
        FUZZ_CHECK(settings != nullptr);
        const std::uint32_t kind = in.Below(4);
        bool known = false;
        const std::string key = Key(known, kind == 2);
        const bool nullKey = in.Below(16) == 0;
        const char* name = nullKey ? nullptr : key.c_str();
        known = known && !nullKey;
        const bool on = in.Below(4) != 0;
        std::int32_t status = -1;
        try {
            switch (kind) {
            case 0:
                status = settings->SetValue(name, on);
                break;
            case 1:
                status = settings->SetValue(name, static_cast<int>(in.U32()));
                known = false;
                break;
            case 2: {
                double value;
                if (in.Bool()) {
                    value = in.Byte() / 255.0;
                } else {
                    const std::uint64_t bits = in.U64();
                    std::memcpy(&value, &bits, sizeof value);
                }
                status = settings->SetValue(name, value);
                break;
            }
            default: {
                const std::string text = in.Text(16);
                status = settings->SetValue(name, in.Below(8) == 0 ? nullptr : text.c_str());
                known = false;
                break;
            }
            }
        } catch (const std::exception&) {
            // Only the line logged for a known setting can throw, and the
            // setting has taken effect before it.
            FUZZ_CHECK(logger.throws && known);
            status = 0;
        }
        FUZZ_CHECK(status == (known ? 0 : 5));
        if (status == 0 && kind == 0) {
            const std::string className = key.substr(6);  // after "enable"
            if (on)
                enabled.insert(className);
            else
                enabled.erase(className);
        }
    }

    void Query()
    {
        static const char* const kKeys[] = {
            "N4ORQ89IContractE", "N4ORQ812IDestroyableE", "N4ORQ89Analytics9IDetectorE",
            "N4ORQ89Analytics14IMediaReceiverE", "N4ORQ813ISyncAdjusterE", "N4ORQ83MFF15IAudioBufferPcmE"};
        const std::uint32_t choice = in.Below(8);
        std::string key = choice < 6 ? kKeys[choice] : in.Text(32);
        void* face = Face()->GetContract(choice == 7 && in.Bool() ? nullptr : key.c_str());
        void* const faces[] = {nullptr, static_cast<ORQ8::Analytics::IDetector*>(detector.get()),
                               static_cast<ORQ8::Analytics::IMediaReceiver*>(detector.get()),
                               static_cast<ORQ8::ISyncAdjuster*>(detector.get())};
        FUZZ_CHECK(std::find(std::begin(faces), std::end(faces), face) != std::end(faces));
    }

    void ScriptAnswers()
    {
        for (StandinSdk::ProcessAnswer& a : answers) {
            switch (in.Below(8)) {
            case 0:
                a = {static_cast<std::int32_t>(in.U32()), 0, 0, 0};  // a failed frame
                break;
            case 1:
            case 2:
                a = {0, 1, 2, static_cast<std::int32_t>(1 + in.Below(7))};  // a detection
                break;
            case 3:
                a = {0, static_cast<std::int32_t>(in.U32()), static_cast<std::int32_t>(in.U32()),
                     static_cast<std::int32_t>(in.U32())};
                break;
            default:
                a = {0, 0, 0, 0};
                break;
            }
        }
    }

    void Faults()
    {
        logger.throws = loggerMayThrow && in.Bool();
        hostThrows = hostMayThrow && in.Bool();
    }

    void PrepareEvent(TestSupport::FakeHostEvent& event)
    {
        switch (eventShape++ % 5) {
        case 1:
            event.FailKey("DetectorsGroup");
            break;
        case 3:
            event.noArgsAdjuster = true;
            break;
        default:
            break;
        }
        if (hostThrows) {
            event.throwOnCommit = (eventShape % 2) == 0;
            if (eventShape % 7 == 0)
                throw std::runtime_error("host refused the event");
        }
    }

    Fuzz::Input& in;
    // Samples and the host's objects outlive the detector.
    std::deque<std::unique_ptr<AudioSampleFake>> samples;
    FuzzLogger logger;
    TestSupport::FakeHostEventFactory hostFactory;
    std::unique_ptr<AudioDetector, DetectorDestroyer> detector;
    std::vector<StandinSdk::ProcessAnswer> answers = std::vector<StandinSdk::ProcessAnswer>(8);
    std::set<std::string> enabled;
    AudioFormat format{16000, 1, 16};
    std::uint64_t clock = 1700000000000ULL;
    std::size_t position = 0;
    unsigned eventShape = 0;
    bool useLogger = true;
    bool loggerMayThrow = false;
    bool hostMayThrow = false;
    bool hostThrows = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input in(data, size);
    Run run(in);
    for (int steps = 0; steps < 128 && !in.Empty(); ++steps)
        run.Step();
    return 0;
}
