// Class codes as the library reports them (1 to 7, code order of the
// threshold record); 0 stands for a negative file or for "no detection".
#pragma once

#include <array>
#include <string_view>

namespace zv::eval {

constexpr int kClassCount = 7;

// Index 0 is "None"; 1..7 the class names in code order.
constexpr const char* kClassNames[kClassCount + 1] = {
    "None", "GlassBreak", "SmokeAlarm", "GunShot", "Aggression", "BabyCry", "Siren", "DogBark"};

// Thresholds of classes 1..7, in code order.
using Thresholds = std::array<float, kClassCount>;

// 1..7 for a class name, 0 for "negative", -1 for anything else.
inline int ClassCodeOf(std::string_view label) {
    if (label == "negative") return 0;
    for (int code = 1; code <= kClassCount; ++code)
        if (label == kClassNames[code]) return code;
    return -1;
}

}  // namespace zv::eval
