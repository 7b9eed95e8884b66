// A classification library whose every zvAudio_Init fails: the five calls
// under the library's file name, for a plug-in folder that loads but can
// never make an engine.
#include "ZVAudioSdk.h"

#define ZV_FAILING_EXPORT extern "C"

ZV_FAILING_EXPORT void* zvAudio_Init(const InitRecord*) { return nullptr; }
ZV_FAILING_EXPORT const char* zvAudio_GetVersionInfo(void) { return "failing library"; }
ZV_FAILING_EXPORT int32_t zvAudio_SetParams(void*, const ThresholdRecord*) { return 1; }
ZV_FAILING_EXPORT int32_t zvAudio_Process(void*, uint32_t, const FrameRecord*, OutputRecord*) { return 1; }
ZV_FAILING_EXPORT int32_t zvAudio_Release(void*) { return 1; }
