// AudioDetector: the plug-in's audio detector.
//
// The host feeds it the PCM audio of one channel through its media-receiver
// face, one sample at a time, and adjusts it through its settings face. For
// each sample it checks the stream format, (re)creates the analytics engine
// when needed (at most once per 30000 ms of sample time), cuts the audio into
// 40 ms frames, runs them through the engine and raises one momentary event
// per detected and enabled sound class.
//
// Ownership: the host owns the detector (created by the module, ended with
// Destroy). The logger and the host's event factory are borrowed and outlive
// it. The detector owns its engine (one at a time), its event factory and its
// frame assembler. An audio sample passes to the detector with Receive, which
// destroys it before returning, on every path.
//
// Threads: all calls come from host threads. Receive is called from one
// media thread at a time; SetValue from any thread at any time. One mutex
// guards the stream parameters, the engine's replacement, the thresholds, the
// enabled set and the re-creation flag. Frame processing runs without it, so
// settings never wait for the SDK. Destroy takes no lock: nothing else may be
// running in the detector then.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "Detector.h"
#include "DetectorEventFactory.h"
#include "Engine.h"
#include "FrameAssembler.h"
#include "HostEvents.h"
#include "HostServices.h"
#include "MultimediaBuffer.h"
#include "ZVAudioSdk.h"

namespace ZVAudioAnalytics {

// Status codes the detector returns to the host.
enum : std::int32_t {
    kStatusOk = 0,
    kStatusNotSupported = 4,   // Receive: unsupported format, engine or frame failure
    kStatusUnknownSetting = 5, // SetValue: a setting the detector does not have
};

// Samples between two engine creation attempts are dropped for this long (ms
// of sample time).
constexpr std::uint64_t kEngineInitHoldOffMs = 30000;
// The length of one analysed frame.
constexpr std::int32_t kFrameLengthMs = 40;

class AudioDetector : public ORQ8::Analytics::IDetector,
                      public ORQ8::Analytics::IMediaReceiver,
                      public ORQ8::ISyncAdjuster {
public:
    // Called by the module's CreateDetector. `logger` (may be null) and
    // `eventFactory` are borrowed and outlive the detector; `pluginFolder` is
    // the folder that holds the plug-in file. Makes no engine and logs
    // nothing.
    AudioDetector(ORQ8::ILogger* logger, ORQ8::Analytics::IHostEventFactory* eventFactory,
                  std::string pluginFolder);
    ~AudioDetector() override;

    AudioDetector(const AudioDetector&) = delete;
    AudioDetector& operator=(const AudioDetector&) = delete;

    // Type-name query, any thread: the detector's main face for the
    // IContract, IDestroyable and IDetector keys, the receiver and settings
    // faces for theirs, null for a null or unknown key.
    void* GetContract(const char* name) override;
    void* DoGetContract(const char* name) override;

    // Called once by the host; deletes the detector (and with the engine the
    // SDK engine). No other call may be running in the detector.
    void Destroy() override;

    // Media thread, never twice at once. Takes over `sample` and destroys it
    // before returning, on every path. Returns 0 when the sample was analysed
    // or dropped while an engine re-creation waits for its hold-off; 4 for an
    // unsupported format, a failed engine creation or a failed frame, and for
    // a null sample or one without PCM face. Exceptions other than the
    // engine's std::runtime_error (for example from the host's event factory)
    // pass through, with the sample destroyed and the mutex released; one
    // thrown while the sample's events are raised leaves only after all of
    // them have been raised.
    std::int32_t Receive(ORQ8::MFF::IMultimediaBuffer* sample) override;

    // Settings (AudioAnalyticsAdjuster.cpp), any thread, any time; each takes
    // the detector's mutex for its whole run and never touches the engine.
    // `name` is borrowed. Return 0 for a known key of the value's type, else 5.
    //
    // "enable<Class>": switches the class's events on or off.
    std::int32_t SetValue(const char* name, bool value) override;
    // The host's integer settings: the detector has none (always 5).
    std::int32_t SetValue(const char* name, int value) override;
    // "confThreshold<Class>": the class's confidence threshold; takes effect
    // through the next engine.
    std::int32_t SetValue(const char* name, double value) override;
    // The host's text settings: the detector has none (always 5).
    std::int32_t SetValue(const char* name, const char* value) override;

private:
    using DetectedEvents = std::set<std::string>;
    // Which classes were enabled when a sample's events were raised, by
    // class code (index 0, "None", is never set).
    using EnabledClasses = std::array<bool, ZV_AUDIO_CLASS_COUNT + 1>;

    // Receive steps 4 to 11, with the mutex held. Returns true when the
    // sample goes on to the frame loop; otherwise `status` is Receive's result.
    bool PrepareEngine(ORQ8::MFF::IAudioBufferPcm& audio, std::uint32_t newSampleRate,
                       std::uint32_t newNumChannels, std::uint32_t newBitsPerSample, std::int32_t& status);
    // The format checks, with the mutex held. On success `frameSize` is the
    // 40 ms frame of the stored format in bytes; otherwise returns 4.
    std::int32_t CheckCorrectAudioStreamParams(std::uint32_t& frameSize);
    // Replaces the (already dropped) engine by a new one, with the mutex
    // held. 0, or 4 after logging the engine's error.
    std::int32_t InitEngine();

    // The frame loop, without the mutex: 0, or 4 when a frame failed.
    std::int32_t ProcessSample(ORQ8::MFF::IAudioBufferPcm& audio);
    // One frame through the engine, without the mutex. 0, or 4 when the
    // engine failed (the engine is then gone).
    std::int32_t ProcessFrame(DetectedEvents& detectedEvents, const std::uint8_t* data, std::uint32_t size);
    // Raises the sample's enabled detections. Takes the mutex only to read
    // the enabled classes; the host's factory and the logger are called
    // without it. Rethrows the first exception of the host or the logger once
    // every enabled class has been raised.
    void ReportEvents(std::uint64_t eventTimestamp, const DetectedEvents& detectedEvents);

    // Settings steps, with the mutex held: true when the key was known.
    bool SetValueThreshold(const std::string& key, float value);
    bool SetValueEnableEvent(const std::string& key, bool enable);

    ORQ8::ILogger* logger;
    ORQ8::Framework::CDetectorEventFactory eventFactory;
    std::string pluginFolder;
    std::mutex mutex;
    std::unique_ptr<ZVEngine> engine;
    FrameAssembler assembler;
    std::uint64_t timestamp = 0;        // of the sample being handled
    // Sample time of the last engine creation attempt, or of a later sample
    // stamped before it (the clock stepped back), from which the hold-off
    // then runs.
    std::uint64_t lastInitAttempt = 0;
    std::uint32_t numChannels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t bitsPerSample = 0;
    bool reinitRequired = false;
    ThresholdRecord thresholds;
    std::set<std::string> enabledEvents;
};

}  // namespace ZVAudioAnalytics
