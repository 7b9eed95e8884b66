// A scriptable stand-in for the vendor SDK, built as the real shared library
// name (libzv_audio_analytics.so) so code under test links and loads it as it
// would the vendor's. It records every call with copies of the records it
// was given, and answers as the test scripts it. It is shared by all threads
// of a test process and guarded by one mutex.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ZVAudioSdk.h"

namespace StandinSdk {

enum class CallKind { Init, GetVersionInfo, SetParams, Process, Release };

struct Call {
    explicit Call(CallKind k = CallKind::Init) : kind(k) {}
    CallKind kind;
    void* handle = nullptr;            // the engine the call was for (Init: the one returned)
    // Init
    std::uint32_t sampleRate = 0;
    std::uint32_t numChannels = 0;
    std::int32_t frameLengthMs = 0;
    std::string sdkDataPath;
    // SetParams
    ThresholdRecord thresholds{};
    // Process
    std::uint32_t frameIndex = 0;
    std::vector<std::uint8_t> frame;   // copy of the frame bytes (when recording frames)
    std::uint32_t frameSize = 0;
};

// What one Process call answers. The output fields are written only when
// status is 0.
struct ProcessAnswer {
    std::int32_t status = 0;
    std::int32_t resultFlag = 0;
    std::int32_t resultKind = 0;
    std::int32_t classCode = 0;
};

// Answers Process for (engine ordinal, frame index, frame bytes). The engine
// ordinal counts engines made by Init since Reset(), from 0.
using ProcessScript = std::function<ProcessAnswer(int engineOrdinal, std::uint32_t frameIndex,
                                                  const std::uint8_t* data, std::uint32_t size)>;

// Forgets all calls and scripts: Init makes engines, every status is 0,
// Process detects nothing, frames are recorded.
void Reset();

void SetInitMakesEngine(bool makes);
void SetParamsStatus(std::int32_t status);
void SetReleaseStatus(std::int32_t status);
void SetProcessScript(ProcessScript script);
// Answer every Process call with `answer`.
void SetProcessAnswer(const ProcessAnswer& answer);
// Whether Process calls are recorded (off for allocation-free measurements).
void SetRecordCalls(bool record);
void SetVersionText(const std::string& text);

std::vector<Call> Calls();
std::vector<Call> CallsOf(CallKind kind);
std::size_t CountOf(CallKind kind);
// Engines made and not yet released.
int LiveEngines();

// The scripting functions above as one table, for a test that reaches a
// stand-in it did not link: the copy that a dlopen'ed plug-in loaded from its
// own folder. Look up kControlsSymbol with dlsym on that copy and call
// through the table; the functions act on that copy's state.
struct Controls {
    void (*reset)();
    void (*setInitMakesEngine)(bool);
    void (*setParamsStatus)(std::int32_t);
    void (*setProcessScript)(ProcessScript);
    void (*setProcessAnswer)(const ProcessAnswer&);
    void (*setRecordCalls)(bool);
    std::vector<Call> (*calls)();
    std::vector<Call> (*callsOf)(CallKind);
    std::size_t (*countOf)(CallKind);
    int (*liveEngines)();
};
constexpr const char* kControlsSymbol = "zvStandin_Controls";
using ControlsAccessor = const Controls* (*)();

}  // namespace StandinSdk

extern "C" const StandinSdk::Controls* zvStandin_Controls();
