// One WebRTC peer as a process of its own, for the process-level forwarder test, made the way the client makes
// one: a connection wrapper on the production engine, its offer handed to the room service with the request
// worker's SDP task and the answer set back. It publishes the synthetic camera and a tone, or plays a stream
// and checks every picture it gets for the intact pattern.
//   webrtc_peer <service base URL> publish <seconds>     prints "id=<stream id>" once connected
//   webrtc_peer <service base URL> play <id> <seconds>   exits 0 when the pattern came intact all along
#include "media/peerconnectionwrapper.h"
#include "net/netmanager.h"
#include "net/requeststore.h"
#include "net/servicepaths.h"

#include "support/testpattern_reader.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QTimer>

#include <json/reader.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr char kMeetingKey[] = "process";
constexpr int kConnectTimeoutMs = 30000;

// Checks the pattern of every picture, converted at half the size: the reader averages areas, and a busy
// machine must keep up with the pictures.
class PatternChecker : public RemoteVideoObserver {
public:
    void onRemoteFrame(const char*, const I420FramePtr& frame) override
    {
        const int w = int(frame->width) / 2;
        const int h = int(frame->height) / 2;
        if (w <= 0 || h <= 0)
            return;
        std::vector<uint8_t> bgrx(size_t(w) * h * 4);
        const int sy = int(frame->strideY());
        const int su = int(frame->strideU());
        const int sv = int(frame->strideV());
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                const int c = frame->dataY()[row * 2 * sy + col * 2] - 16;
                const int d = frame->dataU()[row * su + col] - 128;
                const int e = frame->dataV()[row * sv + col] - 128;
                uint8_t* p = &bgrx[(size_t(row) * w + col) * 4];
                p[0] = uint8_t(std::clamp((298 * c + 516 * d + 128) >> 8, 0, 255));
                p[1] = uint8_t(std::clamp((298 * c - 100 * d - 208 * e + 128) >> 8, 0, 255));
                p[2] = uint8_t(std::clamp((298 * c + 409 * e + 128) >> 8, 0, 255));
            }
        }
        const auto number = testpattern_reader::readBgrx(bgrx.data(), w * 4, w, h, 12);
        std::lock_guard lock(m_mutex);
        if (number)
            m_numbers.push_back(*number);
        else
            ++m_broken;
    }

    size_t readable()
    {
        std::lock_guard lock(m_mutex);
        return m_numbers.size();
    }
    void restart()
    {
        std::lock_guard lock(m_mutex);
        m_numbers.clear();
        m_broken = 0;
    }
    // True when the pictures since the restart were all intact, rising, and at least `least` of them.
    bool intact(size_t least)
    {
        std::lock_guard lock(m_mutex);
        const bool rising = std::is_sorted(m_numbers.begin(), m_numbers.end())
            && std::adjacent_find(m_numbers.begin(), m_numbers.end()) == m_numbers.end();
        if (m_broken == 0 && rising && m_numbers.size() >= least)
            return true;
        std::fprintf(stderr, "webrtc_peer: %zu intact pictures, %d broken, rising: %d\n", m_numbers.size(),
            m_broken, rising ? 1 : 0);
        return false;
    }

private:
    std::mutex m_mutex;
    std::vector<uint32_t> m_numbers;
    int m_broken = 0;
};

void fail(const char* why)
{
    std::fprintf(stderr, "webrtc_peer: %s\n", why);
    QCoreApplication::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: webrtc_peer <base URL> publish <seconds> | play <id> <seconds>\n");
        return 2;
    }
    const std::string base = argv[1];
    const bool publish = std::strcmp(argv[2], "publish") == 0;
    const long long playId = publish ? 0 : std::atoll(argv[3]);
    const int seconds = std::atoi(argv[publish ? 3 : 4]);

    // The client's data store, reduced to what the room service's requests read.
    std::map<std::string, bg::Value> data { { netkeys::kNetMeetingHost, bg::Value(base) } };
    requeststore::setStores(requeststore::Stores {
        [&data](const char* key, const bg::Value& fallback) {
            const auto found = data.find(key);
            return found == data.end() ? fallback : found->second;
        },
        [](const char*, const bg::Value&) {}, [](const char*, const bg::Value& fallback) { return fallback; } });

    NetManager requests;
    requests.start();
    zovwebrtc::peer_connection_factory* factory = zovwebrtc::create_peer_connection_factory();
    auto* wrapper = new PeerConnectionWrapper(QString(), QString(), factory);
    PatternChecker checker;
    long long streamId = 0;

    QObject::connect(wrapper, &PeerConnectionWrapper::IceGatheringCompleted, &app, [&](QString, QString sdp) {
        bg::ValueMap params;
        params["meeting_key"] = bg::Value(kMeetingKey);
        params["stream_id"] = bg::Value(playId);
        params["type"] = bg::Value(1);
        params["sdp"] = bg::Value(sdp.toUtf8().toBase64().toStdString());
        if (!publish)
            params["uuid"] = bg::Value(wrapper->sourceId().toStdString());
        requests.addTask(NetManager::SRVGetRtcSdp, params);
    });
    QObject::connect(&requests, &NetManager::SRVGetRtcSdpResult, &app,
        [&](bool ok, QString reply, int code, QString error, QString uuid, QString) {
            Json::Value result;
            if (!publish && uuid != wrapper->sourceId()) {
                fail("the answer names another connection");
                return;
            }
            if (!ok || !Json::Reader().parse(reply.toStdString(), result) || !result["sdp"].isString()) {
                std::fprintf(stderr, "webrtc_peer: the service refused the offer (%d): %s %s\n", code,
                    error.toUtf8().constData(), reply.toUtf8().constData());
                QCoreApplication::exit(1);
                return;
            }
            streamId = result["id"].asInt64();
            wrapper->SetRemoteSdp(QString::fromUtf8(QByteArray::fromBase64(result["sdp"].asCString())));
        });
    QObject::connect(wrapper, &PeerConnectionWrapper::Disconnected, &app, [] { fail("the connection was lost"); });

    QTimer connectDeadline;
    connectDeadline.setSingleShot(true);
    QObject::connect(&connectDeadline, &QTimer::timeout, &app, [] { fail("not connected in time"); });
    QTimer measuring;
    measuring.setSingleShot(true);
    QObject::connect(&measuring, &QTimer::timeout, &app, [&] {
        if (publish) {
            QCoreApplication::exit(0);
            return;
        }
        // Pictures all along (a busy machine under the sanitizers delivers a few per second), all intact.
        QCoreApplication::exit(checker.intact(size_t(seconds) * 2) ? 0 : 1);
    });
    QTimer firstPicture;
    firstPicture.setInterval(20);
    QObject::connect(&firstPicture, &QTimer::timeout, &app, [&] {
        // The first pictures may still be on their way: counted from the first readable one.
        if (checker.readable() == 0)
            return;
        firstPicture.stop();
        connectDeadline.stop();
        checker.restart();
        measuring.start(seconds * 1000);
    });

    QObject::connect(wrapper, &PeerConnectionWrapper::StreamReady, &app, [&](QString, bool, bool) {
        if (publish) {
            connectDeadline.stop();
            std::printf("id=%lld\n", streamId);
            std::fflush(stdout);
            measuring.start(seconds * 1000);
        } else if (!firstPicture.isActive() && !measuring.isActive()) {
            firstPicture.start();
        }
    });
    if (publish) {
        wrapper->AddAudio(false);
        wrapper->AddCamera();
        wrapper->CreateOffer(false, false);
    } else {
        wrapper->observer = &checker;
        wrapper->CreateOffer(true, true);
    }
    connectDeadline.start(kConnectTimeoutMs);

    const int status = app.exec();
    wrapper->observer = nullptr;
    delete wrapper;
    zovwebrtc::destroy_peer_connection_factory(&factory);
    requests.stop();
    requeststore::setStores(std::nullopt);
    return status;
}
