// What a chat room's connections cost to open: 200 members of one room connect one after another to the local
// service (in this process, plain WebSocket and over TLS), each until the room has greeted it ("self").
// The figure is the time for all 200; the members' admission calls are made before the clock starts.
#include <devservice/service.h>

#include <korvex/zovnet.h>

#include <jsonread/jsonread.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QUrlQuery>
#include <QWebSocket>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kMembers = 200;

QCoreApplication& application()
{
    static int argc = 1;
    static char name[] = "bench_chat_connect";
    static char* argv[] = { name, nullptr };
    static QCoreApplication app(argc, argv);
    return app;
}

Json::Value resultOf(const Zov_Client::ZovResponse& response)
{
    Json::Value reply;
    if (!jsonread::parse(response.body, reply))
        return Json::Value();
    return jsonread::member(reply, "result");
}

void connectMembers(benchmark::State& state, bool tls)
{
    application();
    devservice::Service::Options options;
    options.https = tls;
    devservice::Service service(options);
    std::string error;
    if (!service.start(&error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    ::setenv("TAVICAST_CA_FILE", service.caFile().c_str(), 1);
    Zov_Client::ZovNet net(service.baseUrl());
    const Json::Value room = resultOf(net.post("/chat/room/create", R"({"password":"p"})"));
    const std::string roomId = room["room_id"].asString();
    QString base = QString::fromStdString(service.baseUrl());
    base.replace(tls ? "https:" : "http:", tls ? "wss:" : "ws:");
    QSslConfiguration trusted = QSslConfiguration::defaultConfiguration();
    trusted.setCaCertificates(QSslCertificate::fromPath(QString::fromStdString(service.caFile())));

    for (auto _ : state) {
        state.PauseTiming();
        std::vector<QUrl> urls;
        for (int i = 0; i < kMembers; ++i) {
            const Json::Value member = resultOf(net.post("/chat/room/join",
                R"({"room_id":")" + roomId + R"(","password":"p"})"));
            QUrl url(base + "/chat");
            QUrlQuery query;
            query.addQueryItem("room", QString::fromStdString(roomId));
            query.addQueryItem("token", QString::fromStdString(member["token"].asString()));
            query.addQueryItem("name", QString::number(i));
            url.setQuery(query);
            urls.push_back(url);
        }
        std::vector<std::unique_ptr<QWebSocket>> sockets;
        state.ResumeTiming();

        for (const QUrl& url : urls) {
            auto socket = std::make_unique<QWebSocket>();
            if (tls)
                socket->setSslConfiguration(trusted);
            bool greeted = false;
            QObject::connect(socket.get(), &QWebSocket::textMessageReceived,
                [&greeted](const QString& frame) { greeted = greeted || frame.contains("\"self\""); });
            socket->open(url);
            QDeadlineTimer deadline(20000);
            while (!greeted && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (!greeted) {
                state.SkipWithError(("a member was not greeted: " + socket->errorString().toStdString()).c_str());
                return;
            }
            sockets.push_back(std::move(socket));
        }

        state.PauseTiming();
        for (auto& socket : sockets)
            socket->close();
        sockets.clear();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["s_per_connect"] = benchmark::Counter(
        double(kMembers) * double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_ConnectMembersWs(benchmark::State& state) { connectMembers(state, false); }
void BM_ConnectMembersWss(benchmark::State& state) { connectMembers(state, true); }

} // namespace

BENCHMARK(BM_ConnectMembersWs)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ConnectMembersWss)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
