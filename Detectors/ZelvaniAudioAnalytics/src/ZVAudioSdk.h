/* The vendor's sound-classification library, libzv_audio_analytics.
 *
 * Calls and records follow the x86-64 System V conventions. Every status is a
 * 32-bit code, 0 meaning success. Calls on one engine handle never overlap;
 * different handles may be used from different threads at once. */
#ifndef ZV_AUDIO_SDK_H
#define ZV_AUDIO_SDK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZV_AUDIO_CLASS_COUNT 7
#define ZV_AUDIO_OUTPUT_RECORD_SIZE 296

/* What an engine is made for. The path is borrowed for the zvAudio_Init call
 * only. */
typedef struct InitRecord {
    uint32_t sampleRate;     /* Hz */
    uint32_t numChannels;
    int32_t frameLengthMs;   /* always 40 */
    uint32_t padding;
    const char* sdkDataPath; /* the SDK's data folder */
} InitRecord;

/* Confidence thresholds of class codes 1 to 7, in code order. */
typedef struct ThresholdRecord {
    float thresholds[ZV_AUDIO_CLASS_COUNT];
} ThresholdRecord;

/* One frame of PCM bytes, interleaved as the host delivered them; borrowed
 * for the zvAudio_Process call only. */
typedef struct FrameRecord {
    const void* data;
    uint32_t size;
    uint32_t padding;
} FrameRecord;

/* Filled by zvAudio_Process on status 0. The caller reserves the whole record
 * and reads only the three fields named here; the rest is the SDK's. */
typedef struct OutputRecord {
    int32_t sdkReserved0;
    int32_t resultFlag;
    int32_t resultKind;
    int32_t classCode;
    uint8_t sdkReserved[ZV_AUDIO_OUTPUT_RECORD_SIZE - 16];
} OutputRecord;

/* Makes an engine; null when none was made. */
void* zvAudio_Init(const InitRecord* init);
/* NUL-terminated version text, never null, owned by the SDK. */
const char* zvAudio_GetVersionInfo(void);
/* Gives the engine its thresholds; called once per handle. */
int32_t zvAudio_SetParams(void* engine, const ThresholdRecord* thresholds);
/* Classifies one frame; `frameIndex` counts 0, 1, 2 ... per handle (32-bit,
 * wrapping). On status 0 `output` is filled. */
int32_t zvAudio_Process(void* engine, uint32_t frameIndex, const FrameRecord* frame, OutputRecord* output);
/* Ends the engine; the handle is never used again, whatever the status. */
int32_t zvAudio_Release(void* engine);

#ifdef __cplusplus
}  /* extern "C" */

static_assert(sizeof(InitRecord) == 24, "InitRecord layout");
static_assert(offsetof(InitRecord, sampleRate) == 0, "InitRecord layout");
static_assert(offsetof(InitRecord, numChannels) == 4, "InitRecord layout");
static_assert(offsetof(InitRecord, frameLengthMs) == 8, "InitRecord layout");
static_assert(offsetof(InitRecord, sdkDataPath) == 16, "InitRecord layout");
static_assert(sizeof(ThresholdRecord) == 28, "ThresholdRecord layout");
static_assert(offsetof(FrameRecord, data) == 0, "FrameRecord layout");
static_assert(offsetof(FrameRecord, size) == 8, "FrameRecord layout");
static_assert(sizeof(FrameRecord) == 16, "FrameRecord layout");
static_assert(offsetof(OutputRecord, resultFlag) == 4, "OutputRecord layout");
static_assert(offsetof(OutputRecord, resultKind) == 8, "OutputRecord layout");
static_assert(offsetof(OutputRecord, classCode) == 12, "OutputRecord layout");
static_assert(sizeof(OutputRecord) == ZV_AUDIO_OUTPUT_RECORD_SIZE, "OutputRecord layout");
#endif

#endif /* ZV_AUDIO_SDK_H */
