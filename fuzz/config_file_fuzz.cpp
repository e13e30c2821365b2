// The configuration file: any file loads without fault; what loads is saved, and the saved file loads to
// the same entries (nothing is lost or changed by a save).
#include "fuzz_check.h"

#include <bridge/config.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>

namespace {

using Entries = std::map<std::string, std::string>;

Entries entriesOf(bg::Config& config)
{
    Entries entries;
    config.travel(
        [](const char* key, const char* value, void* context) {
            (*static_cast<Entries*>(context))[key] = value;
            return true;
        },
        &entries);
    return entries;
}

std::string scratchPath()
{
    static const std::string path = [] {
        char folder[] = "/tmp/tavicast-fuzz-config-XXXXXX";
        return std::string(mkdtemp(folder) ? folder : "/tmp") + "/Fuzz.conf";
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string path = scratchPath();
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), long(size));
    Entries loaded;
    {
        bg::Config config(path.c_str());
        loaded = entriesOf(config);
        // A change marks the store for saving; the entry (under a key the file does not hold) is taken out
        // again before the save.
        std::string marker = "fuzz-marker";
        while (loaded.count(marker))
            marker += '+';
        config.set(marker.c_str(), "1");
        config.remove(marker.c_str());
        config.save();
    }
    bg::Config reloaded(path.c_str());
    FUZZ_CHECK(entriesOf(reloaded) == loaded);
    return 0;
}
