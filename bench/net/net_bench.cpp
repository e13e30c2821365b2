// Requests over HTTPS to the local service on 127.0.0.1, in process:
// - the request worker's round trip (a task queued, its result signal received) beside a raw libcurl POST of
//   the same request on a kept connection, and beside one on a new connection each time; between them, the
//   program's HTTP client alone and the request class alone (no thread hop), to show where the time goes;
// - the service's throughput for 1 and 8 clients, each on a kept connection.
#include "net/netmanager.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"
#include "net/srvgetappconfig.h"

#include <devservice/service.h>
#include <korvex/zovnet.h>

#include "support/service_component.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

// The service, the framework's crypt service and the stores the worker's requests read, made once.
struct Setup {
    Setup()
    {
        service.addRoute("/bench", benchRoute());
        std::string error;
        if (!service.start(&error)) {
            std::fprintf(stderr, "bench_net: %s\n", error.c_str());
            std::exit(1);
        }
        setenv("TAVICAST_CA_FILE", service.caFile().c_str(), 1);
        base = service.baseUrl();
        requeststore::setStores(
            requeststore::Stores { [](const char*, const bg::Value& fallback) { return fallback; },
                [](const char*, const bg::Value&) {},
                [this](const char* key, const bg::Value& fallback) {
                    return std::string(key) == netkeys::kAppHost ? bg::Value((base + "/goapi").c_str())
                                                                 : fallback;
                } });
    }

    static devservice::Route benchRoute()
    {
        devservice::Route route;
        route.signedBody = false;
        return route;
    }

    ServiceComponent component;
    devservice::Service service;
    std::string base;
};

Setup& setup()
{
    static Setup* instance = new Setup; // kept to the end: the worker may still hold requests at exit
    return *instance;
}

// The request the worker sends for SRVGetAppConfig, as the service recorded it.
const devservice::RecordedRequest& workerRequest()
{
    static const devservice::RecordedRequest request = [] {
        setup().service.clearRequests();
        NetManager manager;
        manager.start();
        manager.addTask(NetManager::SRVGetAppConfig, bg::ValueMap());
        manager.waitIdle(20000);
        manager.stop();
        const std::vector<devservice::RecordedRequest> all = setup().service.requests();
        return all.empty() ? devservice::RecordedRequest() : all.back();
    }();
    return request;
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// One POST of the worker's request with libcurl alone, on `handle`.
bool rawPost(CURL* handle, curl_slist* headers, const std::string& url, const std::string& body)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(handle, CURLOPT_CAINFO, setup().service.caFile().c_str());
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
    // As the program's client does: no signal handlers changed around each transfer.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    long status = 0;
    return curl_easy_perform(handle) == CURLE_OK
        && curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
}

curl_slist* headersOf(const devservice::RecordedRequest& request)
{
    curl_slist* list = curl_slist_append(nullptr, "Expect:");
    for (const auto& [name, value] : request.headers) {
        if (name == "content-type" || name == "authorization")
            list = curl_slist_append(list, (name + ": " + value).c_str());
    }
    return list;
}

void RawCurlKeptConnection(benchmark::State& state)
{
    const devservice::RecordedRequest& request = workerRequest();
    const std::string url = setup().base + request.path;
    curl_slist* headers = headersOf(request);
    CURL* handle = curl_easy_init();
    for (auto _ : state) {
        if (!rawPost(handle, headers, url, request.body))
            state.SkipWithError("request failed");
    }
    curl_easy_cleanup(handle);
    curl_slist_free_all(headers);
}
BENCHMARK(RawCurlKeptConnection)->UseRealTime()->Unit(benchmark::kMicrosecond);

void RawCurlNewConnection(benchmark::State& state)
{
    const devservice::RecordedRequest& request = workerRequest();
    const std::string url = setup().base + request.path;
    curl_slist* headers = headersOf(request);
    for (auto _ : state) {
        CURL* handle = curl_easy_init();
        if (!rawPost(handle, headers, url, request.body))
            state.SkipWithError("request failed");
        curl_easy_cleanup(handle);
    }
    curl_slist_free_all(headers);
}
BENCHMARK(RawCurlNewConnection)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The same request through the program's HTTP client, on this thread.
void ClientPost(benchmark::State& state)
{
    const devservice::RecordedRequest& request = workerRequest();
    for (auto _ : state) {
        Zov_Client::ZovNet client(setup().base);
        for (const auto& [name, value] : request.headers) {
            if (name == "content-type" || name == "authorization")
                client.appendHeader(name, value);
        }
        client.setTimeout(10);
        if (client.post(request.path, request.body).status != 200)
            state.SkipWithError("request failed");
    }
}
BENCHMARK(ClientPost)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The worker's request class on this thread: signed, wrapped, sent, its reply read and unwrapped.
void RequestOnThisThread(benchmark::State& state)
{
    workerRequest();
    std::string data;
    for (auto _ : state) {
        SRVGetAppConfig request;
        if (!request.exec(data))
            state.SkipWithError("request failed");
    }
}
BENCHMARK(RequestOnThisThread)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A task queued and its result signal received, the request signed, wrapped, sent and its reply read.
void WorkerRoundTrip(benchmark::State& state)
{
    workerRequest();
    NetManager manager;
    std::mutex mutex;
    std::condition_variable done;
    int results = 0;
    bool failed = false;
    QObject::connect(
        &manager, &NetManager::SRVGetAppConfigResult, &manager,
        [&](bool result) {
            std::lock_guard<std::mutex> lock(mutex);
            ++results;
            failed = failed || !result;
            done.notify_all();
        },
        Qt::DirectConnection);
    manager.start();
    for (auto _ : state) {
        std::unique_lock<std::mutex> lock(mutex);
        const int expected = results + 1;
        lock.unlock();
        manager.addTask(NetManager::SRVGetAppConfig, bg::ValueMap());
        lock.lock();
        done.wait(lock, [&] { return results >= expected; });
    }
    manager.stop();
    if (failed)
        state.SkipWithError("a request failed");
}
BENCHMARK(WorkerRoundTrip)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Each thread is one client with its own kept connection (when the service keeps it).
void ServiceThroughput(benchmark::State& state)
{
    const std::string url = setup().base + "/bench";
    const std::string body = "{\"n\": 1}";
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    CURL* handle = curl_easy_init();
    for (auto _ : state) {
        if (!rawPost(handle, headers, url, body))
            state.SkipWithError("request failed");
    }
    state.SetItemsProcessed(state.iterations());
    curl_easy_cleanup(handle);
    curl_slist_free_all(headers);
}
BENCHMARK(ServiceThroughput)->Threads(1)->Threads(8)->UseRealTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString&) {}); // the worker's traces
    curl_global_init(CURL_GLOBAL_DEFAULT);
    setup();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
