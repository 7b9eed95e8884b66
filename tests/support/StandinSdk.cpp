#include "StandinSdk.h"

#include <cstring>
#include <mutex>
#include <set>

#define STANDIN_EXPORT __attribute__((visibility("default")))

namespace StandinSdk {
namespace {

struct Engine {
    int ordinal;
};

struct State {
    std::mutex mutex;
    std::vector<Call> calls;
    bool initMakesEngine = true;
    std::int32_t setParamsStatus = 0;
    std::int32_t releaseStatus = 0;
    ProcessScript script;
    bool recordProcess = true;
    int enginesMade = 0;
    std::set<Engine*> live;
    std::string versionText = "stand-in 1.0";
};

State& state()
{
    static State s;
    return s;
}

}  // namespace

STANDIN_EXPORT void Reset()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.calls.clear();
    s.initMakesEngine = true;
    s.setParamsStatus = 0;
    s.releaseStatus = 0;
    s.script = nullptr;
    s.recordProcess = true;
    s.enginesMade = 0;
    for (Engine* e : s.live)
        delete e;
    s.live.clear();
    s.versionText = "stand-in 1.0";
}

STANDIN_EXPORT void SetInitMakesEngine(bool makes)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().initMakesEngine = makes;
}

STANDIN_EXPORT void SetParamsStatus(std::int32_t status)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().setParamsStatus = status;
}

STANDIN_EXPORT void SetReleaseStatus(std::int32_t status)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().releaseStatus = status;
}

STANDIN_EXPORT void SetProcessScript(ProcessScript script)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().script = std::move(script);
}

STANDIN_EXPORT void SetProcessAnswer(const ProcessAnswer& answer)
{
    SetProcessScript([answer](int, std::uint32_t, const std::uint8_t*, std::uint32_t) { return answer; });
}

STANDIN_EXPORT void SetRecordCalls(bool record)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().recordProcess = record;
}

STANDIN_EXPORT void SetVersionText(const std::string& text)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().versionText = text;
}

STANDIN_EXPORT std::vector<Call> Calls()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().calls;
}

STANDIN_EXPORT std::vector<Call> CallsOf(CallKind kind)
{
    std::vector<Call> out;
    for (Call& c : Calls())
        if (c.kind == kind)
            out.push_back(std::move(c));
    return out;
}

STANDIN_EXPORT std::size_t CountOf(CallKind kind)
{
    // Counted in place: long runs ask after every sample.
    std::lock_guard<std::mutex> lock(state().mutex);
    std::size_t count = 0;
    for (const Call& c : state().calls)
        count += c.kind == kind;
    return count;
}

STANDIN_EXPORT int LiveEngines()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return static_cast<int>(state().live.size());
}

}  // namespace StandinSdk

using namespace StandinSdk;

extern "C" {

STANDIN_EXPORT void* zvAudio_Init(const InitRecord* init)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Call call(CallKind::Init);
    call.sampleRate = init->sampleRate;
    call.numChannels = init->numChannels;
    call.frameLengthMs = init->frameLengthMs;
    call.sdkDataPath = init->sdkDataPath ? init->sdkDataPath : "";
    Engine* engine = nullptr;
    if (s.initMakesEngine) {
        engine = new Engine{s.enginesMade++};
        s.live.insert(engine);
    }
    call.handle = engine;
    s.calls.push_back(std::move(call));
    return engine;
}

STANDIN_EXPORT const char* zvAudio_GetVersionInfo(void)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.calls.emplace_back(CallKind::GetVersionInfo);
    return s.versionText.c_str();
}

STANDIN_EXPORT int32_t zvAudio_SetParams(void* engine, const ThresholdRecord* thresholds)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Call call(CallKind::SetParams);
    call.handle = engine;
    call.thresholds = *thresholds;
    s.calls.push_back(std::move(call));
    return s.setParamsStatus;
}

STANDIN_EXPORT int32_t zvAudio_Process(void* engine, uint32_t frameIndex, const FrameRecord* frame,
                                       OutputRecord* output)
{
    State& s = state();
    ProcessScript script;
    int ordinal = -1;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.live.count(static_cast<Engine*>(engine)))
            ordinal = static_cast<Engine*>(engine)->ordinal;
        if (s.recordProcess) {
            Call call(CallKind::Process);
            call.handle = engine;
            call.frameIndex = frameIndex;
            call.frameSize = frame->size;
            const auto* bytes = static_cast<const std::uint8_t*>(frame->data);
            call.frame.assign(bytes, bytes + frame->size);
            s.calls.push_back(std::move(call));
        }
        if (s.script)
            script = s.script;
    }
    if (ordinal < 0)
        return -2;  // not a live engine: the caller has a bug the test should see
    const ProcessAnswer answer =
        script ? script(ordinal, frameIndex, static_cast<const std::uint8_t*>(frame->data), frame->size)
               : ProcessAnswer{};
    if (answer.status == 0) {
        output->resultFlag = answer.resultFlag;
        output->resultKind = answer.resultKind;
        output->classCode = answer.classCode;
    }
    return answer.status;
}

STANDIN_EXPORT int32_t zvAudio_Release(void* engine)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    Call call(CallKind::Release);
    call.handle = engine;
    s.calls.push_back(std::move(call));
    auto* e = static_cast<Engine*>(engine);
    if (s.live.erase(e))
        delete e;
    return s.releaseStatus;
}

}  // extern "C"

extern "C" STANDIN_EXPORT const StandinSdk::Controls* zvStandin_Controls()
{
    static const Controls controls{&Reset,           &SetInitMakesEngine, &SetParamsStatus, &SetProcessScript,
                                   &SetProcessAnswer, &SetRecordCalls,     &Calls,           &CallsOf,
                                   &CountOf,          &LiveEngines};
    return &controls;
}
