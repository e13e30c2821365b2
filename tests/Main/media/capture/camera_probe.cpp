// A manual check on a machine with a camera (not run by CTest): lists the capture devices, opens one
// through the capture device and prints the size, format and times of its first pictures.
//
//     build-test/bin/capture_camera_probe [device name] [count]
//
// Without a name it takes the first device listed; TAVICAST_SYNTHETIC_CAMERA adds the synthetic one.
#include "media/capture/capturelog.h"
#include "media/capture/dshowdevice.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace {

void printLine(DShow::LogType, const wchar_t* message, void*)
{
    std::fprintf(stderr, "capture: %ls\n", message);
}

std::wstring widen(const char* text)
{
    std::wstring wide;
    for (const char* p = text; *p; ++p)
        wide.push_back(static_cast<unsigned char>(*p));
    return wide;
}

} // namespace

int main(int argc, char** argv)
{
    DShow::SetLogCallback(printLine, nullptr);
    std::vector<DShow::VideoDevice> devices;
    DShow::Device::EnumVideoDevices(devices);
    for (const DShow::VideoDevice& device : devices) {
        std::printf(
            "%ls (%ls): %zu capabilities\n", device.name.c_str(), device.path.c_str(), device.caps.size());
        for (const DShow::VideoInfo& info : device.caps)
            std::printf("  format %d, %dx%d to %dx%d, interval %lld to %lld\n", static_cast<int>(info.format),
                info.minCX, info.minCY, info.maxCX, info.maxCY, static_cast<long long>(info.minInterval),
                static_cast<long long>(info.maxInterval));
    }
    if (devices.empty()) {
        std::fprintf(stderr, "no capture device\n");
        return 1;
    }
    const std::wstring wanted = argc > 1 ? widen(argv[1]) : devices.front().name;
    const int count = argc > 2 ? std::atoi(argv[2]) : 10;

    std::mutex mutex;
    std::condition_variable arrived;
    int seen = 0;
    DShow::VideoConfig config;
    config.name = wanted;
    config.callback = [&](const DShow::VideoConfig& c, unsigned char*, size_t size, long long start,
                          long long stop, long) {
        std::lock_guard lock(mutex);
        if (seen < count)
            std::printf("picture %d: %dx%d format %d, %zu bytes, %lld..%lld\n", seen, c.cx, c.cy_abs,
                static_cast<int>(c.internalFormat), size, start, stop);
        ++seen;
        arrived.notify_all();
    };

    DShow::Device device(DShow::InitGraph::True);
    if (!device.SetVideoConfig(&config) || !device.ConnectFilters()) {
        std::fprintf(stderr, "cannot set up %ls\n", wanted.c_str());
        return 1;
    }
    std::printf("opened %ls: %dx%d, format %d, interval %lld\n", wanted.c_str(), config.cx, config.cy_abs,
        static_cast<int>(config.internalFormat), static_cast<long long>(config.frameInterval));
    const DShow::Result result = device.Start();
    if (result != DShow::Result::Success) {
        std::fprintf(stderr, "cannot start: %s\n", result == DShow::Result::InUse ? "in use" : "error");
        return 1;
    }
    std::unique_lock lock(mutex);
    if (!arrived.wait_for(lock, std::chrono::seconds(10), [&] { return seen >= count; })) {
        std::fprintf(stderr, "only %d pictures in 10 s\n", seen);
        return 1;
    }
    return 0;
}
