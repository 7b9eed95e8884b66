// The data file of the library: <data folder>/model.json, read once per
// zvAudio_Init. Its top level is
//
//   { "version": 1,                       the format version; another is refused
//     "decision": { "retriggerMs": 1000 }, how often a class that stays
//                                          detected is reported again
//     "detectors": { ... } }               the classifier's parameters, handed on
//                                          unread
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace zvsdk {

// The only data-file version this library reads (a macro too, for the
// version text).
#define ZV_SDK_MODEL_VERSION 1
constexpr int kModelVersion = ZV_SDK_MODEL_VERSION;

// The longest re-trigger interval accepted: one hour.
constexpr std::uint32_t kMaxRetriggerMs = 3600u * 1000u;

struct Model {
    std::uint32_t retriggerMs = 1000;
    nlohmann::json detectors;  // an object
};

// A data folder or file that cannot be used: missing, unreadable, not JSON,
// of another version, or a value out of range.
class ModelError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses the text of a data file. Throws ModelError.
Model ParseModel(const std::string& text);

// Reads and parses <dataPath>/model.json. Throws ModelError. Called by
// zvAudio_Init on the caller's thread; touches no shared state.
Model LoadModel(const char* dataPath);

}  // namespace zvsdk
