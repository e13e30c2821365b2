// The local service's request verifier: any body (plain or in an envelope) is read, deciphered and checked
// without fault; what the service enciphers deciphers back.
#include "fuzz_check.h"

#include <devservice/jsonfields.h>
#include <devservice/requestverifier.h>

#include <cstdint>
#include <optional>
#include <string>

namespace jsonfields = devservice::jsonfields;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    const std::string key = "norvo.zq_&^%*_84";
    Json::Value members;
    if (jsonfields::parse(body, members)) {
        devservice::verifySignature(members);
        devservice::signatureText(members);
        if (const std::optional<std::string> cipher = jsonfields::stringOf(members, "params")) {
            const std::optional<std::string> plain = devservice::aesDecrypt(*cipher, key);
            Json::Value inner;
            if (plain && jsonfields::parse(*plain, inner))
                devservice::verifySignature(inner);
        }
    }
    devservice::aesDecrypt(body, key);
    const std::string cipher = devservice::aesEncrypt(body, key);
    const std::optional<std::string> back = devservice::aesDecrypt(cipher, key);
    FUZZ_CHECK(back && *back == body);
    return 0;
}
