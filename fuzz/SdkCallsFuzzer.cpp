// Fuzzes the classification library through its five calls.
//
// Input: a sequence of calls. zvAudio_Init with arbitrary records (any rate,
// channel count and frame length; the shipped data folder, a null or missing
// path, or a copy of the shipped data file with one number replaced);
// zvAudio_SetParams with arbitrary thresholds (NaN, infinities, outside
// [0, 1]); zvAudio_Process with frames of every width of the handle's format
// and of arbitrary sizes, arbitrary bytes, null records and null data;
// zvAudio_Release; every call on a live, released, null or foreign handle.
//
// Checks: each status is exactly the one the public header documents for
// the case (null handle, unknown handle, null record, null data, frame
// size, threshold, no thresholds yet, success); a refused Process leaves the
// output record untouched; a successful one fills it as documented (flag 1,
// kind 2 exactly when a class code 1 to 7 is given, confidences in [0, 1],
// level and noise floor finite, the caller's frame index, reserved bytes
// zero); the version text is the same constant every time; zvAudio_Process
// neither allocates nor frees heap memory on the calling thread (counted
// through the sanitizer's allocation hooks).
#include <sanitizer/allocator_interface.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "FuzzInput.h"
#include "zv_audio_analytics.h"

#ifndef ZV_SDK_SHARE_DIR
#error "ZV_SDK_SHARE_DIR must name the library's data folder"
#endif

namespace {

namespace fs = std::filesystem;

// Heap calls made on this thread while `counting` is set.
thread_local bool counting = false;
thread_local int heapCalls = 0;

void OnMalloc(const volatile void*, std::size_t)
{
    if (counting)
        ++heapCalls;
}
void OnFree(const volatile void*)
{
    if (counting)
        ++heapCalls;
}

// The shipped data file, and the places of its numbers (JSON pointers).
struct ShippedModel {
    nlohmann::json model;
    std::vector<nlohmann::json::json_pointer> numbers;
    fs::path mutatedFolder;

    ShippedModel()
    {
        std::ifstream file(fs::path(ZV_SDK_SHARE_DIR) / ZV_AUDIO_MODEL_FILE);
        model = nlohmann::json::parse(file);
        Collect(model, nlohmann::json::json_pointer());
        mutatedFolder = fs::temp_directory_path() / ("zv_fuzz_sdk_" + std::to_string(getpid()));
        fs::create_directories(mutatedFolder);
    }
    ~ShippedModel()
    {
        std::error_code ignored;
        fs::remove_all(mutatedFolder, ignored);
    }

    void Collect(const nlohmann::json& node, const nlohmann::json::json_pointer& at)
    {
        if (node.is_number()) {
            numbers.push_back(at);
        } else if (node.is_object()) {
            for (auto it = node.begin(); it != node.end(); ++it)
                Collect(it.value(), at / it.key());
        } else if (node.is_array()) {
            for (std::size_t i = 0; i < node.size(); ++i)
                Collect(node[i], at / i);
        }
    }
};

ShippedModel& Shipped()
{
    static ShippedModel shipped;
    return shipped;
}

constexpr std::uint32_t kRates[] = {8000, 16000, 32000, 48000};

struct Engine {
    void* handle = nullptr;
    bool live = false;
    bool hasParams = false;
    std::uint32_t sampleRate = 0;
    std::uint32_t numChannels = 0;
};

class Run {
public:
    explicit Run(Fuzz::Input& in) : in(in) {}
    ~Run()
    {
        for (Engine& e : engines)
            if (e.live)
                FUZZ_CHECK(zvAudio_Release(e.handle) == ZV_AUDIO_OK);
    }

    void Step()
    {
        switch (in.Below(8)) {
        case 0:
            Init();
            break;
        case 1:
            SetParams();
            break;
        case 2:
            Release();
            break;
        case 3: {
            const char* text = zvAudio_GetVersionInfo();
            FUZZ_CHECK(text != nullptr && text == zvAudio_GetVersionInfo());
            break;
        }
        default:
            Process();
            break;
        }
    }

private:
    void Init()
    {
        // Making an engine reads the data file: a few per input keep the
        // runs fast.
        if (engines.size() >= 2)
            return;
        InitRecord init{};
        const bool supported = in.Bool();
        init.sampleRate = supported ? kRates[in.Below(4)] : in.U32();
        init.numChannels = supported ? 1 + in.Below(8) : in.U32() % 12;
        init.frameLengthMs = supported || in.Bool() ? 40 : static_cast<std::int32_t>(in.U32());
        std::string path;
        const std::uint32_t kind = in.Below(8);
        if (kind == 0) {
            init.sdkDataPath = nullptr;
        } else if (kind == 1) {
            path = "/nonexistent/zv-fuzz";
        } else if (kind == 2) {
            path = MutatedModelFolder();
        } else {
            path = ZV_SDK_SHARE_DIR;
        }
        if (kind != 0)
            init.sdkDataPath = path.c_str();
        void* handle = zvAudio_Init(&init);
        const bool formatOk =
            (init.sampleRate == 8000 || init.sampleRate == 16000 || init.sampleRate == 32000 ||
             init.sampleRate == 48000) &&
            init.numChannels >= 1 && init.numChannels <= 8 && init.frameLengthMs == 40;
        if (!formatOk || kind <= 1)
            FUZZ_CHECK(handle == nullptr);
        else if (kind > 2)
            FUZZ_CHECK(handle != nullptr);
        if (handle == nullptr)
            return;
        for (const Engine& e : engines)
            FUZZ_CHECK(!e.live || e.handle != handle);
        Engine e;
        e.handle = handle;
        e.live = true;
        e.sampleRate = init.sampleRate;
        e.numChannels = init.numChannels;
        engines.push_back(e);
    }

    // The shipped data file with one number replaced.
    std::string MutatedModelFolder()
    {
        ShippedModel& shipped = Shipped();
        nlohmann::json model = shipped.model;
        const auto& at = shipped.numbers[in.Below(static_cast<std::uint32_t>(shipped.numbers.size()))];
        static const double kValues[] = {0.0, -1.0, 1.0, 0.5, 1e-30, 1e30, -1e30, 4294967296.0, 100000.0, 2.0};
        const std::uint32_t choice = in.Below(12);
        if (choice < 10) {
            model[at] = kValues[choice];
        } else if (choice == 10) {
            model[at] = static_cast<std::int64_t>(in.U64());
        } else {
            double value;
            const std::uint64_t bits = in.U64();
            std::memcpy(&value, &bits, sizeof value);
            model[at] = std::isfinite(value) ? value : 0.0;
        }
        std::ofstream(shipped.mutatedFolder / ZV_AUDIO_MODEL_FILE) << model.dump();
        return shipped.mutatedFolder.string();
    }

    // A handle to call with: a live or released engine, null, or foreign.
    Engine* Pick(void*& handle)
    {
        const std::uint32_t choice = in.Below(16);
        if (choice == 0) {
            handle = nullptr;
            return nullptr;
        }
        if (choice == 1) {
            handle = &foreign;
            return nullptr;
        }
        if (choice == 2) {
            handle = reinterpret_cast<void*>(static_cast<std::uintptr_t>(in.U64()) | 1);
            return nullptr;
        }
        if (engines.empty()) {
            handle = nullptr;
            return nullptr;
        }
        Engine& e = engines[in.Below(static_cast<std::uint32_t>(engines.size()))];
        handle = e.handle;
        return &e;
    }

    // The status a call on `handle` gets from the handle checks alone, or
    // OK when they pass.
    static std::int32_t HandleStatus(void* handle, const Engine* e)
    {
        if (handle == nullptr)
            return ZV_AUDIO_E_NULL_HANDLE;
        if (e == nullptr || !e->live)
            return ZV_AUDIO_E_UNKNOWN_HANDLE;
        return ZV_AUDIO_OK;
    }

    void SetParams()
    {
        void* handle = nullptr;
        Engine* e = Pick(handle);
        ThresholdRecord thresholds{};
        bool valid = true;
        for (float& t : thresholds.thresholds) {
            const std::uint32_t choice = in.Below(8);
            if (choice < 5) {
                t = static_cast<float>(in.Byte()) / 255.0f;
            } else {
                const std::uint32_t bits = in.U32();
                std::memcpy(&t, &bits, sizeof t);
            }
            valid = valid && std::isfinite(t) && t >= 0.0f && t <= 1.0f;
        }
        const bool nullRecord = in.Below(16) == 0;
        const std::int32_t status = zvAudio_SetParams(handle, nullRecord ? nullptr : &thresholds);
        std::int32_t expected = HandleStatus(handle, e);
        if (expected == ZV_AUDIO_OK)
            expected = nullRecord ? ZV_AUDIO_E_NULL_RECORD : valid ? ZV_AUDIO_OK : ZV_AUDIO_E_THRESHOLD;
        FUZZ_CHECK(status == expected);
        if (status == ZV_AUDIO_OK)
            e->hasParams = true;
    }

    void Release()
    {
        void* handle = nullptr;
        Engine* e = Pick(handle);
        const std::int32_t status = zvAudio_Release(handle);
        FUZZ_CHECK(status == HandleStatus(handle, e));
        if (status == ZV_AUDIO_OK)
            e->live = false;
    }

    void Process()
    {
        void* handle = nullptr;
        Engine* e = Pick(handle);
        // Frame bytes: 40 ms of one width of the handle's format, or any
        // count.
        std::uint32_t size;
        const bool sized = e != nullptr && in.Below(4) != 0;
        if (sized) {
            const std::uint32_t width = 1 + in.Below(4);
            size = e->sampleRate / 25 * e->numChannels * width;
            if (in.Below(8) == 0)
                size += in.Bool() ? 1 : -1;
        } else {
            size = in.Below(4) == 0 ? in.U32() : in.U16() % 8192;
        }
        const bool fromInput = in.Bool();
        // At least one byte held, so that even an empty frame has a data
        // pointer.
        frame.resize(std::max<std::uint32_t>(1, std::min<std::uint32_t>(size, 1u << 20)));
        if (fromInput) {
            std::size_t taken = 0;
            const std::uint8_t* bytes = in.Take(std::min<std::size_t>(size, frame.size()), taken);
            if (taken > 0)
                std::memcpy(frame.data(), bytes, taken);
            for (std::size_t i = taken; i < frame.size(); ++i)
                frame[i] = static_cast<std::uint8_t>(i * 131 + taken);
        } else {
            const std::uint8_t value = in.Byte();
            std::fill(frame.begin(), frame.end(), value);
        }
        // A size beyond the bytes held is only ever refused by its count;
        // the library must not read them.
        const bool nullRecord = in.Below(16) == 0;
        const bool nullOutput = in.Below(16) == 0;
        const bool nullData = in.Below(16) == 0;
        const std::uint32_t frameIndex = in.Below(8) == 0 ? in.U32() : nextIndex++;

        FrameRecord record{};
        record.data = nullData ? nullptr : frame.data();
        record.size = size;
        ZvAudioOutputDiagnostics output;
        std::memset(&output, 0xA5, sizeof output);
        ZvAudioOutputDiagnostics before = output;

        counting = true;
        heapCalls = 0;
        const std::int32_t status =
            zvAudio_Process(handle, frameIndex, nullRecord ? nullptr : &record,
                            nullOutput ? nullptr : reinterpret_cast<OutputRecord*>(&output));
        counting = false;
        FUZZ_CHECK(heapCalls == 0);

        std::int32_t expected = HandleStatus(handle, e);
        if (expected == ZV_AUDIO_OK) {
            if (nullRecord || nullOutput)
                expected = ZV_AUDIO_E_NULL_RECORD;
            else if (nullData)
                expected = ZV_AUDIO_E_NULL_DATA;
            else if (!IsFrameSize(*e, size))
                expected = ZV_AUDIO_E_FRAME_SIZE;
            else if (!e->hasParams)
                expected = ZV_AUDIO_E_NO_PARAMS;
        }
        if (status != expected)
            std::fprintf(stderr, "zvAudio_Process: status %d, expected %d (frame of %u bytes, %s handle)\n", status,
                         expected, size, e == nullptr ? "no" : e->live ? "a live" : "a released");
        FUZZ_CHECK(status == expected);
        if (status != ZV_AUDIO_OK) {
            FUZZ_CHECK(std::memcmp(&output, &before, sizeof output) == 0);
            return;
        }
        FUZZ_CHECK(output.layout == ZV_AUDIO_DIAGNOSTICS_LAYOUT);
        FUZZ_CHECK(output.resultFlag == 1);
        FUZZ_CHECK(output.classCode >= 0 && output.classCode <= ZV_AUDIO_CLASS_COUNT);
        FUZZ_CHECK(output.resultKind == (output.classCode != 0 ? 2 : 1));
        for (float c : output.confidence)
            FUZZ_CHECK(c >= 0.0f && c <= 1.0f);
        FUZZ_CHECK(std::isfinite(output.levelDb) && output.levelDb >= -120.0f);
        FUZZ_CHECK(std::isfinite(output.noiseFloorDb));
        FUZZ_CHECK(output.frameIndex == frameIndex);
        for (std::uint8_t b : output.reserved)
            FUZZ_CHECK(b == 0);
    }

    static bool IsFrameSize(const Engine& e, std::uint32_t size)
    {
        for (std::uint32_t width = 1; width <= 4; ++width)
            if (size == e.sampleRate / 25 * e.numChannels * width)
                return true;
        return false;
    }

    Fuzz::Input& in;
    std::vector<Engine> engines;
    std::vector<std::uint8_t> frame;
    std::uint32_t nextIndex = 0;
    int foreign = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    __sanitizer_install_malloc_and_free_hooks(&OnMalloc, &OnFree);
    (void)Shipped();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Fuzz::Input in(data, size);
    Run run(in);
    for (int steps = 0; steps < 256 && !in.Empty(); ++steps)
        run.Step();
    return 0;
}
