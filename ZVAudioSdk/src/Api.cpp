// The C boundary of the library: the five calls. Each checks what it is
// given, finds the handle through the registry before touching it, and
// catches everything, so no exception leaves a call: a failure is a status
// from zv_audio_analytics.h, or a null handle from zvAudio_Init.
#include <new>

#include "Handle.h"
#include "Memory.h"
#include "Model.h"
#include "Registry.h"
#include "zv_audio_analytics.h"

#ifndef ZV_SDK_LIBRARY_VERSION
#define ZV_SDK_LIBRARY_VERSION "0.0.0"
#endif
#define ZV_SDK_STRINGIFY2(x) #x
#define ZV_SDK_STRINGIFY(x) ZV_SDK_STRINGIFY2(x)

// The library is built with hidden visibility; these five are its interface.
#define ZV_SDK_EXPORT extern "C" __attribute__((visibility("default")))

using zvsdk::Handle;
using zvsdk::Registry;

namespace {

// The live handle behind `engine`, or null with `status` saying why (a null
// or an unknown handle); the handle is never dereferenced before this.
Handle* FindLive(void* engine, int32_t& status)
{
    if (engine == nullptr) {
        status = ZV_AUDIO_E_NULL_HANDLE;
        return nullptr;
    }
    Handle* handle = Registry::Instance().Find(engine);
    if (handle == nullptr) {
        status = ZV_AUDIO_E_UNKNOWN_HANDLE;
    }
    return handle;
}

}  // namespace

ZV_SDK_EXPORT void* zvAudio_Init(const InitRecord* init)
{
    try {
        if (init == nullptr || init->sdkDataPath == nullptr ||
            !zvsdk::IsSupportedFormat(init->sampleRate, init->numChannels, init->frameLengthMs)) {
            return nullptr;
        }
        const zvsdk::Model model = zvsdk::LoadModel(init->sdkDataPath);
        Handle* handle = zvsdk::ZvNew<Handle>(init->sampleRate, init->numChannels, model);
        try {
            return Registry::Instance().Add(handle);
        } catch (...) {
            zvsdk::ZvDelete(handle);
            throw;
        }
    } catch (...) {
        return nullptr;
    }
}

// The version text takes no handle, so it cannot name the file a particular
// handle read. Every handle runs on a data file of exactly the version this
// library reads (another is refused), so the text names the library and that
// version: constant, and safe to read from any thread at any time.
ZV_SDK_EXPORT const char* zvAudio_GetVersionInfo(void)
{
    return "libzv_audio_analytics " ZV_SDK_LIBRARY_VERSION ", data file " ZV_AUDIO_MODEL_FILE
           " version " ZV_SDK_STRINGIFY(ZV_SDK_MODEL_VERSION);
}

ZV_SDK_EXPORT int32_t zvAudio_SetParams(void* engine, const ThresholdRecord* thresholds)
{
    try {
        int32_t status = ZV_AUDIO_OK;
        Handle* handle = FindLive(engine, status);
        if (handle == nullptr) {
            return status;
        }
        if (thresholds == nullptr) {
            return ZV_AUDIO_E_NULL_RECORD;
        }
        return handle->SetParams(*thresholds);
    } catch (...) {
        return ZV_AUDIO_E_INTERNAL;
    }
}

ZV_SDK_EXPORT int32_t zvAudio_Process(void* engine, uint32_t frameIndex, const FrameRecord* frame,
                                      OutputRecord* output)
{
    try {
        int32_t status = ZV_AUDIO_OK;
        Handle* handle = FindLive(engine, status);
        if (handle == nullptr) {
            return status;
        }
        if (frame == nullptr || output == nullptr) {
            return ZV_AUDIO_E_NULL_RECORD;
        }
        if (frame->data == nullptr) {
            return ZV_AUDIO_E_NULL_DATA;
        }
        return handle->Process(frameIndex, frame->data, frame->size, *output);
    } catch (...) {
        return ZV_AUDIO_E_INTERNAL;
    }
}

ZV_SDK_EXPORT int32_t zvAudio_Release(void* engine)
{
    try {
        if (engine == nullptr) {
            return ZV_AUDIO_E_NULL_HANDLE;
        }
        Handle* handle = Registry::Instance().Remove(engine);
        if (handle == nullptr) {
            return ZV_AUDIO_E_UNKNOWN_HANDLE;
        }
        zvsdk::ZvDelete(handle);
        return ZV_AUDIO_OK;
    } catch (...) {
        return ZV_AUDIO_E_INTERNAL;
    }
}
