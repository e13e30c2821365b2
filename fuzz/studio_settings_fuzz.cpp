// The studio's "Basic.ini" as any bytes: it loads without fault, and every value it takes is in its range.
#include "fuzz_check.h"

#include "studiosettings.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string settingsPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char folder[] = "/tmp/tavicast-fuzz-studio-XXXXXX";
    if (!mkdtemp(folder))
        std::abort();
    settingsPath = std::string(folder) + "/Basic.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FILE* file = std::fopen(settingsPath.c_str(), "wb");
    FUZZ_CHECK(file);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, file) == size);
    std::fclose(file);

    StudioSettings settings;
    if (settings.load(QString::fromStdString(settingsPath))) {
        FUZZ_CHECK(settings.fps >= 1 && settings.fps <= 120);
        FUZZ_CHECK(settings.bitrateKbps >= 50 && settings.bitrateKbps <= 100000);
        FUZZ_CHECK(settings.keyFrameSec >= 1 && settings.keyFrameSec <= 60);
        FUZZ_CHECK(settings.rateControl >= 0 && settings.rateControl <= 2);
        FUZZ_CHECK(settings.encoder >= 0 && settings.encoder <= 1);
        FUZZ_CHECK(settings.outputSize.width() >= 2 && settings.outputSize.width() <= 8192);
        FUZZ_CHECK(settings.outputSize.height() >= 2 && settings.outputSize.height() <= 8192);
    }
    return 0;
}
