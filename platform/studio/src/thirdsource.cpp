#include <studio/thirdsource.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>

namespace {

constexpr int kMaxSide = 16384;

struct Slot {
    std::mutex mutex;
    std::shared_ptr<ThirdSourcePicture> latest;
    uint64_t frames = 0;
};

struct Registry {
    std::shared_mutex mutex;
    std::unordered_map<std::string, std::shared_ptr<Slot>> slots;
    std::atomic<uint64_t> dropped { 0 };
    std::atomic<uint64_t> refused { 0 };
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

std::shared_ptr<Slot> findSlot(const char* id)
{
    if (!id)
        return nullptr;
    Registry& r = registry();
    std::shared_lock<std::shared_mutex> lock(r.mutex);
    auto it = r.slots.find(id);
    return it == r.slots.end() ? nullptr : it->second;
}

bool readable(const uint8_t* y, const uint8_t* u, const uint8_t* v, int strideY, int strideU, int strideV,
    int width, int height)
{
    if (!y || !u || !v || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
        return false;
    const int chromaWidth = (width + 1) / 2;
    return strideY >= width && strideU >= chromaWidth && strideV >= chromaWidth;
}

void copyPlane(std::vector<uint8_t>& to, const uint8_t* from, int stride, int rowBytes, int rows)
{
    to.resize(size_t(rowBytes) * rows);
    for (int r = 0; r < rows; ++r)
        std::memcpy(to.data() + size_t(r) * rowBytes, from + size_t(r) * stride, size_t(rowBytes));
}

} // namespace

bool ThirdSource::RegisterThirdSource(const char* id)
{
    if (!id || !*id)
        return false;
    Registry& r = registry();
    std::unique_lock<std::shared_mutex> lock(r.mutex);
    return r.slots.emplace(id, std::make_shared<Slot>()).second;
}

bool ThirdSource::UnregisterThirdSource(const char* id)
{
    if (!id)
        return false;
    Registry& r = registry();
    std::unique_lock<std::shared_mutex> lock(r.mutex);
    return r.slots.erase(id) > 0;
}

bool ThirdSource::SourceAsncFrame(const char* id, const uint8_t* y, const uint8_t* u, const uint8_t* v,
    int strideY, int strideU, int strideV, int width, int height)
{
    std::shared_ptr<Slot> slot = findSlot(id);
    if (!slot) {
        ++registry().dropped;
        return false;
    }
    if (!readable(y, u, v, strideY, strideU, strideV, width, height)) {
        ++registry().refused;
        return false;
    }

    // A new picture each time: readers may still hold the one before. The copy runs outside the slot's
    // lock, so pushers of one id never wait for each other's copies.
    auto picture = std::make_shared<ThirdSourcePicture>();
    const int chromaWidth = (width + 1) / 2;
    const int chromaRows = (height + 1) / 2;
    picture->width = width;
    picture->height = height;
    copyPlane(picture->y, y, strideY, width, height);
    copyPlane(picture->u, u, strideU, chromaWidth, chromaRows);
    copyPlane(picture->v, v, strideV, chromaWidth, chromaRows);

    std::lock_guard<std::mutex> lock(slot->mutex);
    picture->sequence = ++slot->frames;
    slot->latest = std::move(picture);
    return true;
}

bool ThirdSource::isRegistered(const char* id) { return findSlot(id) != nullptr; }

std::shared_ptr<const ThirdSourcePicture> ThirdSource::latestPicture(const char* id)
{
    std::shared_ptr<Slot> slot = findSlot(id);
    if (!slot)
        return nullptr;
    std::lock_guard<std::mutex> lock(slot->mutex);
    return slot->latest;
}

uint64_t ThirdSource::frameCount(const char* id)
{
    std::shared_ptr<Slot> slot = findSlot(id);
    if (!slot)
        return 0;
    std::lock_guard<std::mutex> lock(slot->mutex);
    return slot->frames;
}

uint64_t ThirdSource::droppedFrameCount() { return registry().dropped.load(); }

uint64_t ThirdSource::refusedFrameCount() { return registry().refused.load(); }
