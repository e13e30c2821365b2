#pragma once

// framekit: the small C library under the program's media code. Memory that framekit hands out (converted
// pictures) is released with fk_free. Every function may be called from any thread.

#include <stdarg.h>
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- memory: malloc, realloc and free; null when the allocation fails (a request of 0 bytes still gives
// a unique pointer). fk_free accepts null.
void* fk_malloc(size_t size);
void* fk_realloc(void* ptr, size_t size);
void fk_free(void* ptr);

// ---- logging
enum {
    FK_LOG_ERROR = 10,
    FK_LOG_WARNING = 20,
    FK_LOG_INFO = 30,
    FK_LOG_DEBUG = 40,
};

// Receives every record: the level, the printf format and its arguments (valid for the call only).
// Called on the logging thread, never under a framekit lock, so a handler may log itself.
typedef void (*fk_log_handler_t)(int level, const char* format, va_list args, void* param);

// One sink for the whole process; null restores the default, which writes "<level name>: <text>" lines to
// the standard error stream.
void fk_log_set_handler(fk_log_handler_t handler, void* param);
void fk_log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void fk_logva(int level, const char* format, va_list args);

// ---- text
// Converts UTF-8 to wide text (UTF-32 on Linux) whatever the locale. `len` 0 means up to the first NUL.
// With dst null, returns the number of wide characters the text needs (without the terminator). With dst,
// writes the text and a terminating 0 and returns the number written without the terminator; when the
// input is not valid UTF-8 (overlong forms, surrogates, values above U+10FFFF, cut sequences) or dst_size
// has no room for text and terminator, writes an empty text (when dst_size allows) and returns 0.
size_t fk_os_utf8_to_wcs(const char* str, size_t len, wchar_t* dst, size_t dst_size);

// ---- pictures
enum fk_video_format {
    FK_VIDEO_FORMAT_NONE = 0,
    FK_VIDEO_FORMAT_I420 = 1,
    FK_VIDEO_FORMAT_NV12 = 2,
    FK_VIDEO_FORMAT_YVYU = 3,
    FK_VIDEO_FORMAT_YUY2 = 4,
    FK_VIDEO_FORMAT_UYVY = 5,
    FK_VIDEO_FORMAT_RGBA = 6,
    FK_VIDEO_FORMAT_BGRA = 7,
    FK_VIDEO_FORMAT_BGRX = 8,
    FK_VIDEO_FORMAT_Y800 = 9,
    FK_VIDEO_FORMAT_I444 = 10,
    FK_VIDEO_FORMAT_BGR3 = 11,
    FK_VIDEO_FORMAT_I422 = 12,
    FK_VIDEO_FORMAT_I40A = 13,
    FK_VIDEO_FORMAT_I42A = 14,
    FK_VIDEO_FORMAT_YUVA = 15,
    FK_VIDEO_FORMAT_I010 = 17,
    FK_VIDEO_FORMAT_P010 = 18,
    FK_VIDEO_FORMAT_I210 = 19,
    FK_VIDEO_FORMAT_I412 = 20,
    FK_VIDEO_FORMAT_YA2L = 21,
};

// Range of the luma and chroma values of a YUV picture. The default is limited (studio) range, which is
// what cameras deliver unless they say otherwise.
enum fk_video_range {
    FK_VIDEO_RANGE_DEFAULT = 0,
    FK_VIDEO_RANGE_PARTIAL = 1,
    FK_VIDEO_RANGE_FULL = 2,
};

#define FK_MAX_AV_PLANES 8

// One picture in another's memory (nothing here is owned). 10-bit formats hold little-endian 16-bit
// samples: I010 in the low bits, P010 in the high bits.
struct fk_video_frame {
    uint8_t* data[FK_MAX_AV_PLANES]; // plane starts; null for planes the format lacks
    uint32_t linesize[FK_MAX_AV_PLANES]; // bytes per row of each plane
    uint32_t width;
    uint32_t height;
    bool flip; // stored bottom-up
    int32_t format; // enum fk_video_format
    int32_t range; // enum fk_video_range (YUV formats only)
};

// The picture as a new top-down BGRA buffer of width * height * 4 bytes (rows of 4 * width), released with
// fk_free. YUV formats use the BT.601 matrix. Null, with a warning in the log, for a missing record, an
// unsupported format, a size of 0 or above 16384, a missing plane or a row shorter than the width needs.
// Supported: I420, NV12, YVYU, YUY2, UYVY, RGBA, BGRA, BGRX, Y800, I422, I010, P010.
uint8_t* fk_video_frame_convert_to_bgra(const struct fk_video_frame* frame);

#ifdef __cplusplus
}
#endif
