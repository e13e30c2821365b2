// The reply reader of the request layer: any reply text (and, behind an "encrypt" reply, any deciphered
// data) is read without fault or exception, then read as the request classes read their data.
#include "fuzz_check.h"

#include "net/jsontext.h"
#include "net/netbase.h"

#include <bridge/bridge_init.h>
#include <bridge/crypt.h>
#include <bridge/interface.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr char kKey[] = "norvo.zq_&^%*_84";

// What the request classes read of a reply's data.
void readLikeTheRequests(const std::string& data)
{
    Json::Value reply;
    if (!jsontext::parse(data, reply) || !reply.isObject())
        return;
    if (reply["token"].isString())
        reply["token"].asString();
    const Json::Value& products = reply["products"];
    if (products.isArray()) {
        for (const Json::Value& product : products) {
            if (product.isObject() && product["total_count"].isIntegral())
                product["total_count"].asInt64();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char folder[] = "/tmp/tavicast-fuzz-reply-XXXXXX";
    bg::SetConfigLogDir(mkdtemp(folder));
    static char name[] = "fuzz_reply_reader";
    static char* argv[] = { name, nullptr };
    bg::InitBridge(1, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    {
        NetBase reader;
        std::string result;
        reader.readReply(text, result, kKey);
        if (reader.code == 0)
            readLikeTheRequests(result);
        else
            FUZZ_CHECK(result.empty());
    }
    // The same bytes as the deciphered data of a successful enciphered reply.
    bool ok = false;
    const std::string cipher = CD->crypt->aes_encrypt(text, kKey, &ok);
    if (!ok)
        return 0;
    Json::Value reply(Json::objectValue);
    reply["errcode"] = 0;
    reply["errmsg"] = "";
    reply["encrypt"] = 1;
    reply["result"] = cipher;
    NetBase reader;
    std::string result;
    reader.readReply(reply.toStyledString(), result, kKey);
    FUZZ_CHECK(reader.code == 0 && result == text);
    readLikeTheRequests(result);
    return 0;
}
