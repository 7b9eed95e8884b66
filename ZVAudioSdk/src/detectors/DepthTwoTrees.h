// A sum of depth-two decision trees over a fixed-length input vector, read
// from a class block of the data file: what the fitted detectors (the bursts'
// descriptors, the shout's effort evidence) turn their measures into a
// log-odds with.
//
// Built at Init on the caller's thread, read-only afterwards; LogOdds takes
// no lock and allocates nothing, so it runs on the hot path of Process.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "detectors/Detector.h"

namespace zvsdk {

template <int kInputs, int kMaxTrees>
class DepthTwoTrees {
public:
    // Reads "trees" (arrays of ten numbers: input, threshold of the root;
    // input, threshold, low value, high value of its low side; the same of
    // its high side) and "bias" from the block. Without "trees" the sum is
    // the bias alone. Throws std::runtime_error on a malformed tree, so a
    // damaged data file fails Init instead of scoring with half a model.
    explicit DepthTwoTrees(const nlohmann::json& block) : bias_(Parameter(block, "bias", -10.0f, -100.0f, 100.0f))
    {
        const auto found = block.find("trees");
        if (found == block.end()) {
            return;
        }
        if (!found->is_array() || found->size() > static_cast<std::size_t>(kMaxTrees)) {
            throw std::runtime_error("detector trees: not an array of at most kMaxTrees trees");
        }
        for (const auto& tree : *found) {
            if (!tree.is_array() || tree.size() != 10) {
                throw std::runtime_error("detector trees: a tree is not ten numbers");
            }
            float v[10];
            for (std::size_t i = 0; i < 10; ++i) {
                if (!tree[i].is_number() || !std::isfinite(tree[i].template get<double>())) {
                    throw std::runtime_error("detector trees: not a finite number");
                }
                v[i] = tree[i].template get<float>();
            }
            for (const int i : {0, 2, 6}) {
                if (v[i] < 0.0f || v[i] >= static_cast<float>(kInputs) || v[i] != std::floor(v[i])) {
                    throw std::runtime_error("detector trees: no such input");
                }
            }
            Tree& t = trees_[count_++];
            t.root = static_cast<std::uint8_t>(v[0]);
            t.rootAt = v[1];
            t.side[0] = Side{static_cast<std::uint8_t>(v[2]), v[3], {v[4], v[5]}};
            t.side[1] = Side{static_cast<std::uint8_t>(v[6]), v[7], {v[8], v[9]}};
        }
    }

    float LogOdds(const float (&input)[kInputs]) const noexcept
    {
        float z = bias_;
        for (int i = 0; i < count_; ++i) {
            const Tree& t = trees_[i];
            const Side& side = t.side[input[t.root] <= t.rootAt ? 0 : 1];
            z += side.value[input[side.input] <= side.at ? 0 : 1];
        }
        return z;
    }

private:
    struct Side {
        std::uint8_t input = 0;
        float at = 0.0f;
        float value[2] = {};
    };
    struct Tree {
        std::uint8_t root = 0;
        float rootAt = 0.0f;
        Side side[2];
    };

    const float bias_;
    Tree trees_[kMaxTrees];
    int count_ = 0;
};

}  // namespace zvsdk
