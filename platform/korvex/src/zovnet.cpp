#include <korvex/zovnet.h>

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace Zov_Client {

namespace {

    struct CurlDeleter {
        void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
    };
    struct SlistDeleter {
        void operator()(curl_slist* list) const { curl_slist_free_all(list); }
    };

    // The trusted certificates: the system's (OpenSSL's certificate folder, looked up as needed) plus the PEM
    // file named by TAVICAST_CA_FILE. Built once and shared by every transfer, so that a request does not
    // parse the whole system bundle again; rebuilt when the variable or the file changes.
    // What the trust depends on: the file TAVICAST_CA_FILE names and, when it exists, its inode, time and size.
    std::string trustIdentity()
    {
        const char* variable = std::getenv("TAVICAST_CA_FILE");
        const std::string file = variable ? variable : "";
        struct stat info = {};
        if (file.empty() || ::stat(file.c_str(), &info) != 0)
            return file;
        return file + "|" + std::to_string(info.st_ino) + "|" + std::to_string(info.st_mtim.tv_sec) + "."
            + std::to_string(info.st_mtim.tv_nsec) + "|" + std::to_string(info.st_size);
    }

    class TrustStore {
    public:
        // A new reference to the current store, or null when it cannot be built.
        X509_STORE* acquire()
        {
            const char* variable = std::getenv("TAVICAST_CA_FILE");
            const std::string file = variable ? variable : "";
            const std::string identity = trustIdentity();

            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_store || identity != m_identity) {
                // The system's hashed certificate folder: certificates are read as a chain needs them.
                const char* systemDir = std::getenv(X509_get_default_cert_dir_env());
                X509_STORE* store = X509_STORE_new();
                if (!store)
                    return nullptr;
                // A system without the folder still trusts the file of TAVICAST_CA_FILE.
                X509_STORE_load_path(store, systemDir ? systemDir : X509_get_default_cert_dir());
                if (!file.empty() && X509_STORE_load_file(store, file.c_str()) != 1)
                    std::fprintf(stderr, "korvex: cannot load the certificates of TAVICAST_CA_FILE (%s)\n",
                        file.c_str());
                X509_STORE_free(m_store);
                m_store = store;
                m_identity = identity;
            }
            X509_STORE_up_ref(m_store);
            return m_store;
        }

    private:
        std::mutex m_mutex;
        X509_STORE* m_store = nullptr; // kept for the life of the process
        std::string m_identity;
    };

    TrustStore& trustStore()
    {
        static TrustStore* store = new TrustStore; // never destroyed: transfers may run during exit
        return *store;
    }

    // One transfer handle per thread: its connection and TLS-session caches let the next request to the same
    // host reuse the connection instead of connecting and handshaking again. A cached connection or session
    // was verified against the trust of its time, and libcurl cannot see that our store changed, so the
    // handle, with its caches, is replaced when the trust changes: the next connection is verified anew.
    CURL* threadHandle()
    {
        thread_local std::unique_ptr<CURL, CurlDeleter> handle;
        thread_local std::string handleTrust;
        std::string trust = trustIdentity();
        if (!handle || trust != handleTrust) {
            handle.reset(curl_easy_init());
            handleTrust = std::move(trust);
        }
        return handle.get();
    }

    // Clears the transfer's options (and with them its pointers to this call's header list, buffers and
    // sink) but keeps the handle's connections and sessions.
    struct HandleReset {
        CURL* handle;
        ~HandleReset() { curl_easy_reset(handle); }
    };

    CURLcode installTrustStore(CURL*, void* sslContext, void*)
    {
        X509_STORE* store = trustStore().acquire();
        if (!store)
            return CURLE_SSL_CACERT_BADFILE;
        SSL_CTX_set_cert_store(static_cast<SSL_CTX*>(sslContext), store); // takes the reference
        return CURLE_OK;
    }

    // libcurl's progress callback: non-zero ends the transfer.
    int abortRequested(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
    }

} // namespace

void Init(const std::string&)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Where the response body goes: memory (bounded) or an open file.
struct ZovNet::Sink {
    std::string memory;
    FILE* file = nullptr;
    size_t received = 0;
    bool overflow = false;

    static size_t write(char* data, size_t size, size_t count, void* self)
    {
        auto* sink = static_cast<Sink*>(self);
        const size_t bytes = size * count;
        // The same bound for a file: a download must not fill the disk either.
        if (sink->received + bytes > static_cast<size_t>(kMaxBodyBytes)) {
            sink->overflow = true;
            return 0;
        }
        sink->received += bytes;
        if (sink->file)
            return std::fwrite(data, 1, bytes, sink->file);
        sink->memory.append(data, bytes);
        return bytes;
    }
};

ZovNet::ZovNet(std::string baseUrl)
    : m_baseUrl(std::move(baseUrl))
{
    Init();
}

void ZovNet::appendHeader(const std::string& name, const std::string& value)
{
    m_headers.emplace_back(name, value);
}

ZovResponse ZovNet::post(const std::string& path, const std::string& body)
{
    Sink sink;
    return perform(Method::Post, path, &body, sink);
}

ZovResponse ZovNet::get(const std::string& path)
{
    Sink sink;
    return perform(Method::Get, path, nullptr, sink);
}

ZovResponse ZovNet::download(const std::string& path, const std::string& filePath)
{
    std::string temporary = filePath + ".partXXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        return { CURLE_WRITE_ERROR, "cannot create a file beside " + filePath };
    Sink sink;
    sink.file = fdopen(fd, "wb");
    if (!sink.file) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return { CURLE_WRITE_ERROR, "cannot write " + temporary };
    }
    ZovResponse response = perform(Method::Get, path, nullptr, sink);
    const bool written = std::fclose(sink.file) == 0;
    // A server may answer a plain GET with 206 and the whole body; that is a file too.
    const bool received = response.status == 200 || response.status == 206;
    if (received && written && std::rename(temporary.c_str(), filePath.c_str()) == 0) {
        response.body.clear();
        return response;
    }
    ::unlink(temporary.c_str());
    if (received)
        return { CURLE_WRITE_ERROR, "cannot store the download in " + filePath };
    return response;
}

ZovResponse ZovNet::perform(Method method, const std::string& path, const std::string* body, Sink& sink)
{
    CURL* c = threadHandle();
    if (!c)
        return { CURLE_FAILED_INIT, "cannot create a transfer" };
    const HandleReset reset { c };

    std::unique_ptr<curl_slist, SlistDeleter> headers;
    auto addHeader = [&headers](const std::string& line) {
        if (curl_slist* grown = curl_slist_append(headers.get(), line.c_str())) {
            headers.release();
            headers.reset(grown);
        }
    };
    for (const auto& [name, value] : m_headers)
        addHeader(name + ": " + value);
    // The service answers at once; no "100 Continue" round trip for larger bodies.
    addHeader("Expect:");

    char errorText[CURL_ERROR_SIZE] = {};
    const std::string url = m_baseUrl + path;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &Sink::write);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, m_verifyPeer ? 1L : 0L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, m_verifyHost ? 2L : 0L);
    // The trust store comes from installTrustStore, not from a bundle parsed for each transfer.
    curl_easy_setopt(c, CURLOPT_CAINFO, nullptr);
    curl_easy_setopt(c, CURLOPT_CAPATH, nullptr);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, &installTrustStore);
#if LIBCURL_VERSION_NUM >= 0x075700
    // libcurl would otherwise keep the first store it saw in the handle and put it back over ours on later
    // connections, so that a rewritten TAVICAST_CA_FILE would not count for this thread.
    curl_easy_setopt(c, CURLOPT_CA_CACHE_TIMEOUT, 0L);
#endif
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, m_timeoutMs);
    // The handle is the thread's: the abort check is set (or taken away) for every request.
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, m_abort ? 0L : 1L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, m_abort ? &abortRequested : nullptr);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(m_abort));
    if (method == Method::Post) {
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body->data());
    }

    const CURLcode result = curl_easy_perform(c);
    if (result != CURLE_OK) {
        std::string text = sink.overflow ? "the response body is too large"
                                         : (errorText[0] ? errorText : curl_easy_strerror(result));
        return { static_cast<int>(result), text };
    }
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status <= 0)
        return { CURLE_GOT_NOTHING, "no HTTP status in the response" };
    return { static_cast<int>(status), std::move(sink.memory) };
}

} // namespace Zov_Client
