// Test-side helpers for the classification library, used through its five
// calls only: data folders made from the shipped data file, PCM frames of any
// width, and an engine that releases itself.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "zv_audio_analytics.h"

#ifndef ZV_SDK_SHARE_DIR
#error "ZV_SDK_SHARE_DIR must name the library's source data folder"
#endif

namespace SdkTest {

namespace fs = std::filesystem;

// The shipped data file.
inline nlohmann::json ShippedModel()
{
    std::ifstream file(fs::path(ZV_SDK_SHARE_DIR) / ZV_AUDIO_MODEL_FILE);
    return nlohmann::json::parse(file);
}

// A data folder that lives as long as the object, under the test's temp dir.
class DataFolder {
public:
    // `text` is written verbatim as model.json; without text the folder
    // stays empty.
    explicit DataFolder(const std::string& name)
        : path_(fs::temp_directory_path() / ("zv_sdk_test_" + name + "_" + std::to_string(::getpid())))
    {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    DataFolder(const std::string& name, const std::string& text) : DataFolder(name) { Write(text); }
    DataFolder(const std::string& name, const nlohmann::json& model) : DataFolder(name, model.dump(2)) {}
    ~DataFolder()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;

    void Write(const std::string& text) const { std::ofstream(path_ / ZV_AUDIO_MODEL_FILE) << text; }
    const std::string& Path() const { return text_; }

private:
    fs::path path_;
    std::string text_ = path_.string();
};

// The shipped data file with the decision's re-trigger interval replaced.
inline nlohmann::json ModelWithRetrigger(unsigned retriggerMs)
{
    nlohmann::json model = ShippedModel();
    model["decision"]["retriggerMs"] = retriggerMs;
    return model;
}

// The path is borrowed, as zvAudio_Init borrows it: it must outlive the
// record's use (a string literal, or a string the caller keeps).
inline InitRecord MakeInit(uint32_t rate, uint32_t channels, const char* dataPath, int32_t frameMs = 40)
{
    InitRecord init{};
    init.sampleRate = rate;
    init.numChannels = channels;
    init.frameLengthMs = frameMs;
    init.sdkDataPath = dataPath;
    return init;
}
inline InitRecord MakeInit(uint32_t rate, uint32_t channels, const std::string& dataPath, int32_t frameMs = 40)
{
    return MakeInit(rate, channels, dataPath.c_str(), frameMs);
}
InitRecord MakeInit(uint32_t, uint32_t, std::string&&, int32_t = 40) = delete;

inline ThresholdRecord AllThresholds(float value)
{
    ThresholdRecord record{};
    for (float& t : record.thresholds) {
        t = value;
    }
    return record;
}

// Encodes mono samples in [-1, 1] as little-endian PCM of `width` bytes,
// each sample repeated on `channels` channels.
inline std::vector<uint8_t> EncodePcm(const std::vector<float>& mono, unsigned width, unsigned channels = 1)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(mono.size() * width * channels);
    for (float x : mono) {
        const double v = std::fmax(-1.0, std::fmin(x, 0.999999));
        for (unsigned c = 0; c < channels; ++c) {
            if (width == 1) {
                bytes.push_back(static_cast<uint8_t>(std::lround(v * 127.0) + 128));
                continue;
            }
            const int bits = static_cast<int>(width) * 8;
            const int64_t q = std::llround(v * std::ldexp(1.0, bits - 1));
            for (unsigned b = 0; b < width; ++b) {
                bytes.push_back(static_cast<uint8_t>((static_cast<uint64_t>(q) >> (8 * b)) & 0xFF));
            }
        }
    }
    return bytes;
}

inline std::vector<float> Tone(uint32_t rate, double seconds, double hz, double amplitude)
{
    std::vector<float> out(static_cast<size_t>(rate * seconds));
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate));
    }
    return out;
}

// An engine made by zvAudio_Init and released when it goes.
class Engine {
public:
    explicit Engine(const InitRecord& init) : handle_(zvAudio_Init(&init)) {}
    ~Engine()
    {
        if (handle_ != nullptr) {
            zvAudio_Release(handle_);
        }
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    void* Handle() const { return handle_; }
    int32_t SetParams(const ThresholdRecord& t) { return zvAudio_SetParams(handle_, &t); }

    // Processes one frame of bytes; fills `out`.
    int32_t Process(const uint8_t* data, uint32_t size, ZvAudioOutputDiagnostics& out)
    {
        FrameRecord frame{};
        frame.data = data;
        frame.size = size;
        return zvAudio_Process(handle_, index_++, &frame, reinterpret_cast<OutputRecord*>(&out));
    }

    // Runs `pcm` frame by frame (bytes per frame given) and returns the class
    // code of every frame (0 for none); a failing frame gives -status.
    std::vector<int> Run(const std::vector<uint8_t>& pcm, size_t frameBytes)
    {
        std::vector<int> codes;
        ZvAudioOutputDiagnostics out{};
        for (size_t at = 0; at + frameBytes <= pcm.size(); at += frameBytes) {
            const int32_t status = Process(pcm.data() + at, static_cast<uint32_t>(frameBytes), out);
            codes.push_back(status != 0 ? -status : (out.resultKind == 2 ? out.classCode : 0));
        }
        return codes;
    }

private:
    void* handle_;
    uint32_t index_ = 0;
};

}  // namespace SdkTest
