#include "AudioAnalytics.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <utility>

#include "DetectorEvent.h"
#include "LogLine.h"

namespace ZVAudioAnalytics {
namespace {

// Where this unit's log lines say they come from.
constexpr const char* kLogFile = "Detectors/ZelvaniAudioAnalytics/src/AudioAnalytics";
constexpr ORQ8::LogSite kUnsupportedChannelsSite{kLogFile, 69, "CheckCorrectAudioStreamParams"};
constexpr ORQ8::LogSite kUnsupportedRateSite{kLogFile, 81, "CheckCorrectAudioStreamParams"};
constexpr ORQ8::LogSite kUnsupportedBitsSite{kLogFile, 93, "CheckCorrectAudioStreamParams"};
constexpr ORQ8::LogSite kTryInitSite{kLogFile, 168, "Receive"};
constexpr ORQ8::LogSite kInitEngineFailedSite{kLogFile, 211, "InitEngine"};
constexpr ORQ8::LogSite kProcessFrameFailedSite{kLogFile, 267, "ProcessFrame"};
constexpr ORQ8::LogSite kEventRaisedSite{kLogFile, 292, "ReportEvents"};

constexpr const char* kDetectorsGroup = "AudioDetector";

constexpr std::uint32_t kSupportedChannelCounts[] = {1};
constexpr std::uint32_t kSupportedSampleRates[] = {8000, 16000, 32000, 48000};
// PCM has no wider samples; anything above is a corrupt format that would
// size the carry buffer in gigabytes.
constexpr std::uint32_t kMaxBitsPerSample = 32;

template <std::size_t N>
bool IsOneOf(const std::uint32_t (&supported)[N], std::uint32_t value)
{
    return std::find(std::begin(supported), std::end(supported), value) != std::end(supported);
}

bool KeyIs(const char* name, const char* key) { return std::strcmp(name, key) == 0; }

// The class code of a sound-class name (1 to 7), 0 for any other name.
// Compares in place: nothing is allocated.
std::size_t ClassCode(const std::string& name) noexcept
{
    for (std::int32_t code = 1; code <= ZV_AUDIO_CLASS_COUNT; ++code)
        if (name == SoundClassName(code))
            return static_cast<std::size_t>(code);
    return 0;
}

}  // namespace

AudioDetector::AudioDetector(ORQ8::ILogger* logger_, ORQ8::Analytics::IHostEventFactory* eventFactory_,
                             std::string pluginFolder_)
    : logger(logger_),
      eventFactory(static_cast<ORQ8::Analytics::IDetector*>(this), eventFactory_, logger_, kDetectorsGroup),
      pluginFolder(std::move(pluginFolder_))
{
    // 0.99 for every class until the host says otherwise.
    std::fill(std::begin(thresholds.thresholds), std::end(thresholds.thresholds), 0.99f);
}

// Members go in reverse order: the enabled set, the carry buffer, the engine
// (releasing the SDK engine), the plug-in folder, the event factory.
AudioDetector::~AudioDetector() = default;

void* AudioDetector::GetContract(const char* name) { return DoGetContract(name); }

void* AudioDetector::DoGetContract(const char* name)
{
    // A null key names no interface.
    if (name == nullptr)
        return nullptr;
    if (KeyIs(name, ORQ8::ContractKey<ORQ8::IContract>()) || KeyIs(name, ORQ8::ContractKey<ORQ8::IDestroyable>()) ||
        KeyIs(name, ORQ8::ContractKey<ORQ8::Analytics::IDetector>()))
        return static_cast<ORQ8::Analytics::IDetector*>(this);
    if (KeyIs(name, ORQ8::ContractKey<ORQ8::Analytics::IMediaReceiver>()))
        return static_cast<ORQ8::Analytics::IMediaReceiver*>(this);
    if (KeyIs(name, ORQ8::ContractKey<ORQ8::ISyncAdjuster>()))
        return static_cast<ORQ8::ISyncAdjuster*>(this);
    return nullptr;
}

void AudioDetector::Destroy() { delete this; }

std::int32_t AudioDetector::Receive(ORQ8::MFF::IMultimediaBuffer* sample)
{
    // The sample is ours from here: the holder destroys it on every way out,
    // exceptions included, after the lock below has been released.
    const ORQ8::MFF::BufferHolder<> holder(sample);
    // A null sample, or one without a PCM face, cannot be read: refused.
    ORQ8::MFF::IAudioBufferPcm* audio = ORQ8::QueryContract<ORQ8::MFF::IAudioBufferPcm>(sample);
    if (audio == nullptr)
        return kStatusNotSupported;

    timestamp = audio->GetTimestamp();
    const std::uint32_t newSampleRate = audio->GetSampleRate();
    const std::uint32_t newNumChannels = audio->GetNumChannels();
    const std::uint32_t newBitsPerSample = audio->GetBitsPerSample();
    {
        const std::lock_guard<std::mutex> lock(mutex);
        std::int32_t status = kStatusOk;
        if (!PrepareEngine(*audio, newSampleRate, newNumChannels, newBitsPerSample, status))
            return status;
    }
    return ProcessSample(*audio);
}

bool AudioDetector::PrepareEngine(ORQ8::MFF::IAudioBufferPcm& audio, std::uint32_t newSampleRate,
                                  std::uint32_t newNumChannels, std::uint32_t newBitsPerSample,
                                  std::int32_t& status)
{
    if (newSampleRate != sampleRate || newNumChannels != numChannels || newBitsPerSample != bitsPerSample) {
        sampleRate = newSampleRate;
        numChannels = newNumChannels;
        bitsPerSample = newBitsPerSample;
        reinitRequired = true;
    } else if (engine && !reinitRequired) {
        return true;
    }

    // A sample older than the last creation attempt means the clock stepped
    // back (or that attempt carried a corrupt stamp from the future): the
    // hold-off starts again from this sample, which is dropped like any
    // other inside it. Without this, every sample of the present would stay
    // inside a hold-off that ends in the future.
    if (timestamp < lastInitAttempt) {
        lastInitAttempt = timestamp;
        status = kStatusOk;
        return false;
    }
    // Hold-off, before any check: a new engine at most once per 30000 ms of
    // sample time. The sample is dropped unanalysed but accepted. Compared
    // as a difference (the sample is not older than the attempt, see above),
    // so an attempt stamped near the end of the 64-bit clock does not wrap
    // the sum into an immediate retry.
    if (timestamp - lastInitAttempt < kEngineInitHoldOffMs) {
        status = kStatusOk;
        return false;
    }

    // A refused format starts no hold-off and leaves reinitRequired set, so
    // every later sample of it is checked and refused again.
    std::uint32_t frameSize = 0;
    status = CheckCorrectAudioStreamParams(frameSize);
    if (status != kStatusOk)
        return false;

    lastInitAttempt = timestamp;
    // Partial audio never passes from one engine to the next.
    assembler.SetFrameSize(frameSize);

    ORQ8::LogComposed(logger, ORQ8::LogInfo, kTryInitSite, [&] {
        // A buffer without a name is shown with an empty one.
        const char* bufferName = audio.GetBufferName();
        return fmt::format(
            "Try init engine: sampleRate: {}, numChannels: {}, bitsPerSample: {}, inputBufferSize: {}, "
            "bufferName '{}', outputBufferSize: {}",
            sampleRate, numChannels, bitsPerSample, audio.GetDataSize(), bufferName != nullptr ? bufferName : "",
            frameSize);
    });

    // One SDK engine per detector at a time: the old one goes first.
    engine.reset();
    status = InitEngine();
    if (status != kStatusOk)
        return false;  // reinitRequired stays: the next try comes after the hold-off
    reinitRequired = false;
    return true;
}

std::int32_t AudioDetector::CheckCorrectAudioStreamParams(std::uint32_t& frameSize)
{
    if (!IsOneOf(kSupportedChannelCounts, numChannels)) {
        ORQ8::LogFmt(logger, ORQ8::LogError, kUnsupportedChannelsSite, "Unsupported number of channels: {}",
                     numChannels);
        return kStatusNotSupported;
    }
    if (!IsOneOf(kSupportedSampleRates, sampleRate)) {
        ORQ8::LogFmt(logger, ORQ8::LogError, kUnsupportedRateSite, "Unsupported sample rate: {}", sampleRate);
        return kStatusNotSupported;
    }
    // 40 ms of bytes; whole bytes per sample first, the division by 1000
    // last. Worked out in 64 bits so that no intermediate product wraps: with
    // the channel and rate checks passed it stays below 2^50.
    const std::uint64_t bytes = std::uint64_t{sampleRate} * numChannels * (bitsPerSample / 8) *
                                static_cast<std::uint64_t>(kFrameLengthMs) / 1000;
    // Fewer than 8 bits per sample give no frame at all, more than 32 are no
    // PCM format, and a frame beyond 32 bits cannot be handed to the SDK: all
    // are unsupported.
    if (bytes == 0 || bitsPerSample > kMaxBitsPerSample || bytes > std::numeric_limits<std::uint32_t>::max()) {
        ORQ8::LogFmt(logger, ORQ8::LogError, kUnsupportedBitsSite, "Unsupported bits per sample: {}",
                     bitsPerSample);
        return kStatusNotSupported;
    }
    frameSize = static_cast<std::uint32_t>(bytes);
    return kStatusOk;
}

std::int32_t AudioDetector::InitEngine()
{
    try {
        EngineSettings settings;
        settings.sampleRate = sampleRate;
        settings.numChannels = numChannels;
        settings.frameLengthMs = kFrameLengthMs;
        settings.sdkDataPath = fmt::format("{}/{}/{}", pluginFolder, "ZVAudioSdk", "share");
        // The engine copies the thresholds into the SDK now; later changes
        // need a new engine.
        engine = ZVEngine::Create(logger, settings, &thresholds);
        return kStatusOk;
    } catch (const std::runtime_error& error) {
        engine.reset();
        ORQ8::LogComposed(logger, ORQ8::LogError, kInitEngineFailedSite, [&] { return std::string(error.what()); });
        return kStatusNotSupported;
    }
}

std::int32_t AudioDetector::ProcessSample(ORQ8::MFF::IAudioBufferPcm& audio)
{
    // Stays empty, and so allocates nothing, unless a class is detected.
    DetectedEvents detectedEvents;
    assembler.SetInput(audio.GetData(), audio.GetDataSize());
    while (assembler.Next()) {
        const std::int32_t status = ProcessFrame(detectedEvents, assembler.Frame(), assembler.FrameSize());
        if (status != kStatusOk) {
            // The sample's detections are dropped with the engine; the
            // assembler must not keep pointing into a sample about to go.
            assembler.SetInput(nullptr, 0);
            return status;
        }
    }
    ReportEvents(timestamp, detectedEvents);
    return kStatusOk;
}

std::int32_t AudioDetector::ProcessFrame(DetectedEvents& detectedEvents, const std::uint8_t* data,
                                         std::uint32_t size)
{
    // Runs without the mutex: only Receive replaces the engine, and Receive
    // is this very call.
    try {
        EngineResult result = engine->Process(data, size);
        if (result.detected)
            detectedEvents.insert(std::move(result.eventName));
        return kStatusOk;
    } catch (const std::runtime_error& error) {
        // The failed engine goes after the error line, also when that line
        // throws (a failing logger, no memory to compose it): the next sample
        // then goes through the hold-off and a new creation instead of back
        // to this engine. Releasing an engine never throws.
        struct EngineDropper {
            std::unique_ptr<ZVEngine>& engine;
            ~EngineDropper() { engine.reset(); }
        } dropEngine{engine};
        ORQ8::LogComposed(logger, ORQ8::LogError, kProcessFrameFailedSite, [&] { return std::string(error.what()); });
        return kStatusNotSupported;
    }
}

void AudioDetector::ReportEvents(std::uint64_t eventTimestamp, const DetectedEvents& detectedEvents)
{
    // Nothing detected means nothing to raise: the common case skips the
    // lock, which it would only take to read nothing.
    if (detectedEvents.empty())
        return;
    // The enabled classes are read once, under the lock, into a fixed-size
    // snapshot; the events are raised without it. So an enable or disable
    // lands before or after this sample's events, never among them, settings
    // calls never wait for the host, and a host that calls back into the
    // detector while it handles an event (on this thread) does not deadlock.
    EnabledClasses enabled{};
    {
        const std::lock_guard<std::mutex> lock(mutex);
        for (const std::string& name : enabledEvents) {
            const std::size_t code = ClassCode(name);
            if (code != 0)
                enabled[code] = true;
        }
    }
    // A host factory, host event or logger that throws for one class must
    // not cost the sample the events of the others: each is raised, and the
    // first exception goes on to the host afterwards.
    std::exception_ptr firstFailure;
    for (const std::string& name : detectedEvents) {
        // "None" and any other name outside the class table has code 0,
        // which is never enabled.
        if (!enabled[ClassCode(name)])
            continue;
        try {
            ORQ8::Framework::CDetectorEvent event = eventFactory.RaiseMomentaryEvent(name.c_str(), eventTimestamp);
            // A refused event is the factory's and the host's business; go on.
            (void)event.Commit();
            ORQ8::LogFmt(logger, ORQ8::LogTrace, kEventRaisedSite, "Detector raised momentary event, type: '{}'",
                         name);
        } catch (...) {
            if (!firstFailure)
                firstFailure = std::current_exception();
        }
    }
    if (firstFailure)
        std::rethrow_exception(firstFailure);
}

}  // namespace ZVAudioAnalytics
