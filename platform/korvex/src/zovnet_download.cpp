#include <korvex/zovnet.h>

#include <algorithm>

namespace Zov_Client {

namespace {

    constexpr int kWriteError = 23; // libcurl's CURLE_WRITE_ERROR
    constexpr size_t kChunkBytes = 16 * 1024;

} // namespace

ZovResponse ZovNet::downLoad(const std::string& url, DownCb* record, long long maxBytes, long long timeoutMs)
{
    const long long cap = maxBytes > 0 ? std::min(maxBytes, kMaxBodyBytes) : kMaxBodyBytes;
    ZovNet client { std::string() };
    client.setTimeoutMs(timeoutMs > 0 ? long(timeoutMs) : 0);
    ZovResponse response = client.get(url);
    // Below 100 the status is a transfer failure and the body its description, not a download.
    if (response.status < 100)
        return response;
    if (static_cast<long long>(response.body.size()) > cap)
        return { kWriteError, "the download is larger than " + std::to_string(cap) + " bytes" };
    if (!record || !record->receive)
        return response;
    for (size_t offset = 0; offset < response.body.size(); offset += kChunkBytes) {
        const size_t bytes = std::min(kChunkBytes, response.body.size() - offset);
        if (record->receive(response.body.data() + offset, 1, bytes, record) != bytes)
            return { kWriteError, "the receiver refused the download" };
    }
    return response;
}

} // namespace Zov_Client
