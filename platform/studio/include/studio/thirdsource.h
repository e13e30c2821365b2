#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// One I420 picture as a third source keeps it: tightly packed planes (rows of width bytes for Y, of
// (width + 1) / 2 bytes for U and V, (height + 1) / 2 chroma rows), owned by the picture. Read-only once
// published.
struct ThirdSourcePicture {
    int width = 0;
    int height = 0;
    // 1 for the first picture the id accepted, then counting up.
    uint64_t sequence = 0;
    std::vector<uint8_t> y;
    std::vector<uint8_t> u;
    std::vector<uint8_t> v;

    int strideY() const { return width; }
    int strideUV() const { return (width + 1) / 2; }
};

// Sources whose pictures the program supplies (a camera, a remote participant), each under an id of the
// caller's (a UUID text in UTF-8). Every function may be called from any thread. A pushed picture is
// copied before SourceAsncFrame returns, into the id's single latest-picture slot: the newest picture
// replaces the one before, nothing queues. Pictures for ids that are not registered are dropped and
// counted; pictures that cannot be read safely (null planes, strides shorter than a row, a size of 0 or
// above 16384) are refused and counted apart.
class ThirdSource {
public:
    // False when the id is null, empty or already registered (its slot then stays as it is).
    static bool RegisterThirdSource(const char* id);
    // False when the id is not registered. A push that is running at the same time still completes, into
    // the slot that is going away.
    static bool UnregisterThirdSource(const char* id);
    // Copies one I420 picture into the id's slot; false when it was dropped or refused.
    static bool SourceAsncFrame(const char* id, const uint8_t* y, const uint8_t* u, const uint8_t* v,
        int strideY, int strideU, int strideV, int width, int height);

    // Read side, for the scene and its tests.
    static bool isRegistered(const char* id);
    // The newest picture of the id; empty before the first one or for an unknown id. The caller shares
    // it: later pushes never change a picture that someone still holds.
    static std::shared_ptr<const ThirdSourcePicture> latestPicture(const char* id);
    // Pictures the id has accepted since it was registered; 0 for an unknown id.
    static uint64_t frameCount(const char* id);
    // Process-wide: pictures pushed for ids that were not registered, and pictures refused as unreadable.
    static uint64_t droppedFrameCount();
    static uint64_t refusedFrameCount();
};
