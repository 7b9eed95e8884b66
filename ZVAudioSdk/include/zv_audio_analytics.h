/* libzv_audio_analytics: the project's own sound-classification library.
 *
 * It implements the vendor calls and records that the plug-in is built
 * against (ZVAudioSdk.h, beside the plug-in's engine wrapper), byte for byte,
 * and adds what that contract leaves to the library: the meaning of every
 * non-zero status, the data folder and the diagnostic bytes of the output
 * record.
 *
 * Threads: calls on one handle must not overlap (the plug-in's audio path is
 * a handle's only user); different handles may be used from different
 * threads at once and share nothing but the registry of live handles, which
 * is guarded. No call throws: every failure is a status (or a null handle
 * from zvAudio_Init).
 *
 * Memory: all of a handle's memory is taken from libzv_memory at
 * zvAudio_Init and given back at zvAudio_Release; zvAudio_Process allocates
 * nothing. */
#ifndef ZV_AUDIO_ANALYTICS_H
#define ZV_AUDIO_ANALYTICS_H

#include "ZVAudioSdk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Statuses of zvAudio_SetParams, zvAudio_Process and zvAudio_Release.
 * Checks run in the order of the codes: the handle first (null, then not
 * live), then the records, the frame's data and byte count, and last whether
 * thresholds were given; the first failing check answers. A call that fails
 * changes nothing (a refused zvAudio_Process leaves the output record as it
 * was and does not count as a frame). */
enum ZvAudioStatus {
    ZV_AUDIO_OK = 0,
    /* The handle is null. */
    ZV_AUDIO_E_NULL_HANDLE = 1,
    /* The handle is not a live engine of this library: never made by
     * zvAudio_Init, already released, or foreign. It is not dereferenced. */
    ZV_AUDIO_E_UNKNOWN_HANDLE = 2,
    /* A record pointer (thresholds, frame or output) is null. */
    ZV_AUDIO_E_NULL_RECORD = 3,
    /* The frame record's data pointer is null. */
    ZV_AUDIO_E_NULL_DATA = 4,
    /* The frame's byte count is not 40 ms of whole samples of one width
     * (1, 2, 3 or 4 bytes) for the handle's rate and channel count. */
    ZV_AUDIO_E_FRAME_SIZE = 5,
    /* A threshold is not a finite number in [0, 1]; the handle keeps the
     * thresholds it had. */
    ZV_AUDIO_E_THRESHOLD = 6,
    /* zvAudio_Process before any successful zvAudio_SetParams. */
    ZV_AUDIO_E_NO_PARAMS = 7,
    /* An unexpected internal failure, caught at the boundary. */
    ZV_AUDIO_E_INTERNAL = 8
};

/* zvAudio_Init returns null when: the record or its data path is null; the
 * sample rate is not 8000, 16000, 32000 or 48000; the channel count is 0 or
 * above 8; the frame length is not 40 ms; the data folder or its model file
 * (ZV_AUDIO_MODEL_FILE) is missing, malformed or of another version; or
 * memory runs out. */
#define ZV_AUDIO_MODEL_FILE "model.json"

/* The data file, JSON:
 *   { "version": 1,                        refused unless exactly this
 *     "decision": { "retriggerMs": 1000 },  optional; 0 to 3600000 ms
 *     "detectors": { ... } }               the classifier's parameters
 *
 * zvAudio_GetVersionInfo takes no handle, so it cannot name the file one
 * engine read; since every engine runs on a data file of exactly the version
 * this library reads, the text names the library's version and that data
 * file version, e.g. "libzv_audio_analytics 3.13.1, data file model.json
 * version 1". It is a constant string. */

/* The decision, per engine: a class is detected on a frame when its
 * confidence reaches its threshold (c >= t). It is reported on the frame
 * where it first does, then again at most once per re-trigger interval
 * (rounded up to whole 40 ms frames) while it stays detected; a drop and
 * re-rise within the interval is not reported again. Of several classes due
 * on one frame the one with the largest (c - t) / (1 - t) wins (a threshold
 * of 1 counts as margin 1 when reached; ties go to the lower class code).
 * One sound raises one class: a class detected less surely than the winner
 * waits until it drops below its threshold or becomes the surest of all, and
 * a burst (glass, shot, bark) or a voice (shout, cry) is also held back while
 * a surer class of its kind is detected. Classes exactly as sure take turns.
 * A threshold of 0 is reached by every confidence, so that class is reported
 * once per interval. */

/* PCM width follows from the frame's byte count, per sample of one channel:
 * 1 byte unsigned 8-bit, 2 bytes signed 16-bit, 3 bytes signed 24-bit,
 * 4 bytes signed 32-bit; little-endian, channels interleaved, mixed down to
 * mono by averaging. */

/* The output record as this library fills it on status 0. The first four
 * fields are the contract's; the rest are diagnostics for tools (the
 * reference host's report, the evaluation). */
#define ZV_AUDIO_DIAGNOSTICS_LAYOUT 1

typedef struct ZvAudioOutputDiagnostics {
    int32_t layout;       /* offset 0: ZV_AUDIO_DIAGNOSTICS_LAYOUT */
    int32_t resultFlag;   /* offset 4: 1, the frame was analysed */
    int32_t resultKind;   /* offset 8: 2 when classCode was detected on this frame, else 1 */
    int32_t classCode;    /* offset 12: detected class 1 to 7, else 0 */
    /* offset 16: each class's confidence in [0, 1] at the end of this frame,
     * class-code order (index 0 is class 1). */
    float confidence[ZV_AUDIO_CLASS_COUNT];
    float levelDb;        /* offset 44: the frame's mono RMS level, dB full scale (>= -120) */
    float noiseFloorDb;   /* offset 48: the tracked background level, dB full scale */
    uint32_t frameIndex;  /* offset 52: the frame index the caller passed */
    uint8_t reserved[ZV_AUDIO_OUTPUT_RECORD_SIZE - 56]; /* zero */
} ZvAudioOutputDiagnostics;

#ifdef __cplusplus
}  /* extern "C" */
static_assert(sizeof(ZvAudioOutputDiagnostics) == ZV_AUDIO_OUTPUT_RECORD_SIZE, "diagnostics layout");
static_assert(offsetof(ZvAudioOutputDiagnostics, resultFlag) == offsetof(OutputRecord, resultFlag),
              "diagnostics layout");
static_assert(offsetof(ZvAudioOutputDiagnostics, resultKind) == offsetof(OutputRecord, resultKind),
              "diagnostics layout");
static_assert(offsetof(ZvAudioOutputDiagnostics, classCode) == offsetof(OutputRecord, classCode),
              "diagnostics layout");
static_assert(offsetof(ZvAudioOutputDiagnostics, confidence) == 16, "diagnostics layout");
static_assert(offsetof(ZvAudioOutputDiagnostics, levelDb) == 44, "diagnostics layout");
static_assert(offsetof(ZvAudioOutputDiagnostics, frameIndex) == 52, "diagnostics layout");
#endif

#endif /* ZV_AUDIO_ANALYTICS_H */
