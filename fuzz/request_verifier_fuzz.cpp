// The local service's request verifier: any body (plain or in an envelope) is read, deciphered and checked
// without fault; what the service enciphers deciphers back.
#include "fuzz_check.h"

#include <devservice/requestverifier.h>

#include <json/reader.h>

#include <cstdint>
#include <exception>
#include <string>

namespace {

bool parse(const std::string& text, Json::Value& out)
{
    try {
        return Json::Reader().parse(text, out, false);
    } catch (const std::exception&) {
        return false; // deeper than the reader goes: the service refuses such a body
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    const std::string key = "norvo.zq_&^%*_84";
    Json::Value members;
    if (parse(body, members)) {
        devservice::verifySignature(members);
        if (members.isObject())
            devservice::signatureText(members);
        if (members.isObject() && members["params"].isString()) {
            const std::optional<std::string> plain = devservice::aesDecrypt(members["params"].asString(), key);
            Json::Value inner;
            if (plain && parse(*plain, inner))
                devservice::verifySignature(inner);
        }
    }
    devservice::aesDecrypt(body, key);
    const std::string cipher = devservice::aesEncrypt(body, key);
    const std::optional<std::string> back = devservice::aesDecrypt(cipher, key);
    FUZZ_CHECK(back && *back == body);
    return 0;
}
