#pragma once

// The video scaler the program exports for code that loads its exports: converts and scales one picture
// format into another with libswscale, formats named by framekit's pixel-format codes. The scaler converts
// into buffers of its own and copies plane by plane into the caller's, so callers may use any row length.
// A scaler is used by one thread at a time; failures are reported by the return values and logged through
// framekit.

#include <stdbool.h>
#include <stdint.h>

struct SwsContext;

struct ScaleDescription {
    int32_t format; // framekit pixel-format code
    uint32_t width;
    uint32_t height;
    int32_t range; // 0 default, 1 partial, 2 full
    int32_t colorSpace; // 1 BT.601, 4 and 5 BT.2020, anything else BT.709
};

struct VideoScaler {
    SwsContext* context;
    int sourceHeight;
    int planeHeights[4];
    uint8_t* planes[4]; // one av_image_alloc block, owned
    int rowLengths[4];
    int sourcePlanes; // planes of the input picture
};

#define TAVICAST_EXPORT __attribute__((visibility("default")))

extern "C" {

// 0 on success; -1 when either format is not supported; -2 when out or a description is null or the set-up
// fails. *out is written only on success.
TAVICAST_EXPORT int video_scaler_create(
    VideoScaler** out, const ScaleDescription* dst, const ScaleDescription* src, int type);
// Null is ignored.
TAVICAST_EXPORT void video_scaler_destroy(VideoScaler* scaler);
// Scales one picture into the caller's planes; false (the caller's planes untouched) when it fails.
TAVICAST_EXPORT bool video_scaler_scale(VideoScaler* scaler, uint8_t* output[4],
    const uint32_t outputRowLengths[4], const uint8_t* const input[], const uint32_t inputRowLengths[]);
}
