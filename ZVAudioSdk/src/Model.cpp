#include "Model.h"

#include <fstream>
#include <sstream>

#include "zv_audio_analytics.h"

namespace zvsdk {

Model ParseModel(const std::string& text)
{
    // Parse without exceptions: a malformed file is a refusal, not a fault.
    const nlohmann::json root = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded() || !root.is_object()) {
        throw ModelError("data file is not a JSON object");
    }
    const auto version = root.find("version");
    if (version == root.end() || !version->is_number_integer() || version->get<std::int64_t>() != kModelVersion) {
        throw ModelError("data file version is not " + std::to_string(kModelVersion));
    }

    Model model;
    const auto decision = root.find("decision");
    if (decision != root.end()) {
        if (!decision->is_object()) {
            throw ModelError("\"decision\" is not an object");
        }
        const auto retrigger = decision->find("retriggerMs");
        if (retrigger != decision->end()) {
            if (!retrigger->is_number_unsigned() || retrigger->get<std::uint64_t>() > kMaxRetriggerMs) {
                throw ModelError("\"retriggerMs\" is not a whole number of milliseconds up to one hour");
            }
            model.retriggerMs = retrigger->get<std::uint32_t>();
        }
    }

    const auto detectors = root.find("detectors");
    if (detectors == root.end() || !detectors->is_object()) {
        throw ModelError("\"detectors\" is missing or not an object");
    }
    model.detectors = *detectors;
    return model;
}

Model LoadModel(const char* dataPath)
{
    const std::string path = std::string(dataPath) + "/" + ZV_AUDIO_MODEL_FILE;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw ModelError("cannot open " + path);
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad()) {
        throw ModelError("cannot read " + path);
    }
    return ParseModel(text.str());
}

}  // namespace zvsdk
