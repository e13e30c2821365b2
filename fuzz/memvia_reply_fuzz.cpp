// The membership plug-in's reply reader: any reply text is read into a result without fault or exception,
// and its data read as JSON as the plug-in's requests do.
#include "fuzz_check.h"

#include "base/basenet.h"

#include <bridge/bridge_init.h>

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char folder[] = "/tmp/tavicast-fuzz-memvia-XXXXXX";
    bg::SetConfigLogDir(mkdtemp(folder));
    static char name[] = "fuzz_memvia_reply";
    static char* argv[] = { name, nullptr };
    bg::InitBridge(1, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    const RequestResult outcome = BaseNet::readReply(200, body);
    if (outcome.errcode == 0)
        BaseNet::parseJson(outcome.result);
    else
        FUZZ_CHECK(outcome.result.empty());
    BaseNet::parseJson(body);
    return 0;
}
