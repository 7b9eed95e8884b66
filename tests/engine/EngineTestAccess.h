// The engine's test seam: places the frame counter where a test needs it
// (near its wrap-around) without 2^32 SDK calls.
#pragma once

#include <cstdint>

#include "Engine.h"

namespace ZVAudioAnalytics {

class ZVEngineTestAccess {
public:
    static void SetFrameCounter(ZVEngine& engine, std::uint32_t next) { engine.frameCounter = next; }
};

}  // namespace ZVAudioAnalytics
