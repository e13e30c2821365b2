// The registry-mode key store: any store file reads without fault; a name and value written to it read
// back whole. Input: the store file's bytes; its first line also serves as the name written, the rest
// as the value.
#include "fuzz_check.h"

#include "config/registry_store.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string& scratchFolder()
{
    static const std::string folder = [] {
        char name[] = "/tmp/tavicast-fuzz-keys-XXXXXX";
        const std::string made = mkdtemp(name) ? name : "/tmp";
        setenv("XDG_CONFIG_HOME", made.c_str(), 1);
        mkdir((made + "/Software").c_str(), 0700);
        mkdir((made + "/Software/Fuzz").c_str(), 0700);
        return made;
    }();
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::ofstream(scratchFolder() + "/Software/Fuzz/Store.keys", std::ios::binary | std::ios::trunc) << bytes;
    const std::string subKey = "Software\\Fuzz\\Store";
    std::string value;
    bg::registry_store::read(subKey, "a", value, 64);
    bg::registry_store::read(subKey, bytes.substr(0, bytes.find('=')), value, 1 << 20);

    const size_t lineEnd = bytes.find('\n');
    const std::string name = bytes.substr(0, lineEnd);
    const std::string written = lineEnd == std::string::npos ? std::string() : bytes.substr(lineEnd + 1);
    if (bg::registry_store::write(subKey, name, written)) {
        std::string back;
        FUZZ_CHECK(bg::registry_store::read(subKey, name, back, written.size() + 1));
        FUZZ_CHECK(back == written);
    }
    return 0;
}
