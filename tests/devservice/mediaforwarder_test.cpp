// The service's WebRTC relay, driven over its SDP routes by GStreamer peers on loopback.
#include <devservice/mediaforwarder.h>
#include <devservice/meetingroutes.h>
#include <devservice/requestverifier.h>
#include <devservice/service.h>
#include <devservice/servicetable.h>
#include <devservice/statepage.h>

#include "support/gst_webrtc_peer.h"

#include <korvex/zovnet.h>

#include <QByteArray>

#include <gst/gst.h>

#include <json/reader.h>
#include <json/writer.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <thread>

using devservice::Service;
using testsupport::GstWebrtcPeer;
using namespace std::chrono_literals;
namespace wire = devservice::wire;

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader().parse(text, value);
    return value;
}

std::string base64(const std::string& text) { return QByteArray::fromStdString(text).toBase64().toStdString(); }

std::string unbase64(const std::string& text)
{
    return QByteArray::fromBase64(QByteArray::fromStdString(text)).toStdString();
}

void sign(Json::Value& body)
{
    body[wire::kSignTime] = 1700000000;
    body[wire::kSignPlatform] = 1;
    body[wire::kSignPlatformType] = 1;
    body[wire::kSignClient] = wire::kSignClientText;
    body[wire::kSignAppVersion] = "1.0.0";
    body[wire::kSignAppName] = "Tavimeet";
    body[wire::kSignature] = devservice::md5Hex(devservice::signatureText(body));
}

template <typename Predicate> bool waitFor(Predicate done, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

class ForwarderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Service::Options options;
        options.https = false;
        service = std::make_unique<Service>(options);
        devservice::addStatePage(*service, nullptr);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
    }

    // The streams the state page shows.
    Json::Value pageStreams()
    {
        const Zov_Client::ZovResponse response
            = Zov_Client::ZovNet(service->baseUrl()).get(std::string(devservice::kStatePagePath) + "?only=streams");
        EXPECT_EQ(response.status, 200) << response.body;
        return parse(response.body)[wire::kReplyData]["streams"];
    }

    Json::Value post(const std::string& path, const Json::Value& body)
    {
        Json::FastWriter writer;
        const Zov_Client::ZovResponse response = Zov_Client::ZovNet(service->baseUrl()).post(path, writer.write(body));
        EXPECT_EQ(response.status, 200) << response.body;
        return parse(response.body);
    }

    // Offers the peer's SDP on `path` with `streamId`; applies the answer. Returns the reply.
    Json::Value offer(GstWebrtcPeer& peer, long long streamId, const std::string& path = kRoomPath)
    {
        std::string error;
        const std::string sdp = peer.offer(&error);
        EXPECT_FALSE(sdp.empty()) << error;
        Json::Value body;
        body["meeting_key"] = "k";
        body["stream_id"] = Json::Int64(streamId);
        body["type"] = 1;
        body["sdp"] = base64(sdp);
        const Json::Value reply = post(path, body);
        if (reply[wire::kReplyCode].asInt() == 0) {
            const std::string answer = unbase64(reply[wire::kReplyData]["sdp"].asString());
            EXPECT_TRUE(peer.setAnswer(answer, &error)) << error;
        }
        return reply;
    }

    long long publish(GstWebrtcPeer& publisher, const std::string& path = kRoomPath)
    {
        const Json::Value reply = offer(publisher, 0, path);
        EXPECT_EQ(reply[wire::kReplyCode].asInt(), 0) << reply.toStyledString();
        return reply[wire::kReplyData]["id"].asInt64();
    }

    static constexpr char kRoomPath[] = "/cmdApi/test/getRtcSdp?meetting_key=k";
    std::unique_ptr<Service> service;
};

// One publisher, players on each SDP path with other payload types than the publisher's, one of them joining
// late with no key frame due for a long while: all decode the pattern and the tone; nothing is decoded or
// encoded in the service; the answers offer loopback only.
TEST_F(ForwarderTest, ForwardsEveryPublishedStreamToEveryPlayer)
{
    GstWebrtcPeer publisher(GstWebrtcPeer::Role::Publisher, {});
    const Json::Value published = offer(publisher, 0);
    ASSERT_EQ(published[wire::kReplyCode].asInt(), 0) << published.toStyledString();
    const long long id = published[wire::kReplyData]["id"].asInt64();
    const std::string answer = unbase64(published[wire::kReplyData]["sdp"].asString());
    EXPECT_NE(answer.find("a=candidate:"), std::string::npos);
    const std::regex candidate("a=candidate:\\S+ \\d+ \\S+ \\d+ (\\S+) ");
    for (auto it = std::sregex_iterator(answer.begin(), answer.end(), candidate); it != std::sregex_iterator(); ++it)
        EXPECT_EQ((*it)[1].str(), "127.0.0.1") << answer;
    EXPECT_NE(answer.find("VP8"), std::string::npos);
    EXPECT_NE(answer.find("OPUS"), std::string::npos);
    ASSERT_TRUE(publisher.waitConnected(10s));

    GstWebrtcPeer first(GstWebrtcPeer::Role::Player, {});
    ASSERT_EQ(offer(first, id)[wire::kReplyCode].asInt(), 0);
    ASSERT_TRUE(first.waitVideoFrames(30, 15s)) << first.videoFrames();

    // Long after the publisher's only unasked key frame.
    std::this_thread::sleep_for(2s);
    GstWebrtcPeer late(GstWebrtcPeer::Role::Player, {});
    ASSERT_EQ(offer(late, id, devservice::paths::kSignallingRtcSdp)[wire::kReplyCode].asInt(), 0);
    EXPECT_TRUE(late.waitVideoFrames(30, 15s)) << late.videoFrames();
    EXPECT_TRUE(waitFor([&] { return first.audioBuffers() > 20 && late.audioBuffers() > 20; }, 10s));
    EXPECT_EQ(service->forwarder()->playerCount(id), 2u);

    // Media codecs only: webrtcbin's own DTLS, FEC and RED elements are no concern here.
    const auto factories = service->forwarder()->elementFactories(id);
    EXPECT_NE(std::find(factories.begin(), factories.end(), "webrtcbin"), factories.end());
    for (const std::string& name : factories) {
        GstElementFactory* factory = gst_element_factory_find(name.c_str());
        ASSERT_NE(factory, nullptr) << name;
        const std::string klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
        gst_object_unref(factory);
        const bool media = klass.find("Video") != std::string::npos || klass.find("Audio") != std::string::npos;
        EXPECT_FALSE(media && (klass.find("Decoder") != std::string::npos || klass.find("Encoder") != std::string::npos))
            << name << ": " << klass;
    }
}

TEST_F(ForwarderTest, RefusesWhatItCannotAnswer)
{
    Json::Value unsignedOffer;
    unsignedOffer["stream_id"] = 0;
    unsignedOffer["sdp"] = base64("v=0\r\n");
    Json::Value badlySigned = unsignedOffer;
    sign(badlySigned);
    badlySigned["stream_id"] = 1;
    Json::Value noSdp;
    noSdp["stream_id"] = 0;
    Json::Value notBase64 = unsignedOffer;
    notBase64["sdp"] = "v=0 not base64 !";
    Json::Value huge = unsignedOffer;
    huge["sdp"] = base64(std::string(64 * 1024 + 1, 'a'));
    Json::Value unknown = unsignedOffer;
    unknown["stream_id"] = 987654321;
    Json::Value noMedia = unsignedOffer; // no m-line to answer

    const struct {
        const char* name;
        Json::Value body;
        int errcode;
    } cases[] = {
        { "badly signed", badlySigned, Service::kRefusedCode },
        { "no sdp", noSdp, devservice::rtc::kBadOffer },
        { "not base64", notBase64, devservice::rtc::kBadOffer },
        { "over 64 KiB", huge, devservice::rtc::kBadOffer },
        { "unknown stream", unknown, devservice::rtc::kNoSuchStream },
        { "no media", noMedia, devservice::rtc::kNoAnswer },
    };
    for (const auto& c : cases) {
        for (const char* path : { kRoomPath, "/test/getRtcSdp?meetting_key=k", devservice::paths::kSignallingRtcSdp }) {
            const Json::Value reply = post(path, c.body);
            EXPECT_EQ(reply[wire::kReplyCode].asInt(), c.errcode) << c.name << " on " << path;
            EXPECT_FALSE(reply[wire::kReplyMessage].asString().empty()) << c.name;
        }
    }
}

// A signed publish is taken like an unsigned one; "main=1" makes it its meeting's main stream (the key
// percent-decoded), which the join lists; the publisher leaving ends the stream, its players and the listing,
// on the state page too.
TEST_F(ForwarderTest, MainStreamIsListedUntilItsPublisherLeaves)
{
    GstWebrtcPeer publisher(GstWebrtcPeer::Role::Publisher, {});
    std::string error;
    Json::Value body;
    body["meeting_key"] = "a b";
    body["stream_id"] = 0;
    body["type"] = 1;
    body["sdp"] = base64(publisher.offer(&error));
    sign(body);
    const Json::Value reply = post("/test/getRtcSdp?meetting_key=a%20b&main=1", body);
    ASSERT_EQ(reply[wire::kReplyCode].asInt(), 0) << reply.toStyledString();
    ASSERT_TRUE(publisher.setAnswer(unbase64(reply[wire::kReplyData]["sdp"].asString()), &error)) << error;
    const long long id = reply[wire::kReplyData]["id"].asInt64();

    // The room service lists the main stream its creator registered while the forwarder holds it.
    Json::Value create;
    create["meetting_key"] = "a b";
    create["password"] = "580917";
    create["title"] = "t";
    create["token"] = "";
    sign(create);
    ASSERT_EQ(post(std::string(devservice::paths::kCommandApiBase) + "/room/createMeetting", create)
                  [wire::kReplyCode].asInt(), 0);
    Json::Value streamer;
    streamer["meetting_key"] = "a b";
    streamer["stream_id"] = Json::Int64(id);
    streamer["title"] = "t";
    streamer["main"] = 1;
    sign(streamer);
    ASSERT_EQ(post(std::string(devservice::paths::kCommandApiBase) + "/room/addMeettingStreamer", streamer)
                  [wire::kReplyCode].asInt(), 0);

    Json::Value join;
    join["meetting_key"] = "a b";
    sign(join);
    Json::Value joined = post(std::string(devservice::paths::kCommandApiBase) + "/room/joinMeetting", join);
    ASSERT_EQ(joined[wire::kReplyCode].asInt(), 0) << joined.toStyledString();
    ASSERT_EQ(joined[wire::kReplyData]["meetting"]["streamers"].size(), 1u);
    EXPECT_EQ(joined[wire::kReplyData]["meetting"]["streamers"][0]["stream_id"].asInt64(), id);
    EXPECT_EQ(joined[wire::kReplyData]["meetting"]["streamers"][0]["main"].asInt(), 1);
    EXPECT_EQ(service->forwarder()->mainStream("a b"), id);

    GstWebrtcPeer first(GstWebrtcPeer::Role::Player, {});
    GstWebrtcPeer second(GstWebrtcPeer::Role::Player, { true, false });
    ASSERT_EQ(offer(first, id)[wire::kReplyCode].asInt(), 0);
    ASSERT_EQ(offer(second, id)[wire::kReplyCode].asInt(), 0);
    ASSERT_TRUE(first.waitVideoFrames(10, 15s));
    ASSERT_TRUE(second.waitVideoFrames(10, 15s));
    // The state page lists the stream with its players.
    const Json::Value streams = pageStreams();
    ASSERT_EQ(streams.size(), 1u) << streams.toStyledString();
    EXPECT_EQ(streams[0]["stream_id"].asInt64(), id);
    EXPECT_EQ(streams[0]["players"].asInt(), 2);

    // One player going away leaves the other playing.
    first.stop();
    const int before = second.videoFrames();
    EXPECT_TRUE(second.waitVideoFrames(before + 30, 10s));

    publisher.stop();
    EXPECT_TRUE(waitFor([&] { return !service->forwarder()->holds(id); }, 10s));
    EXPECT_EQ(service->forwarder()->playerCount(id), 0u);
    EXPECT_TRUE(pageStreams().empty());
    const int last = second.videoFrames();
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(second.videoFrames(), last);
    joined = post(std::string(devservice::paths::kCommandApiBase) + "/room/joinMeetting", join);
    EXPECT_TRUE(joined[wire::kReplyData]["meetting"]["streamers"].empty()) << joined.toStyledString();
    EXPECT_EQ(offer(second, id)[wire::kReplyCode].asInt(), devservice::rtc::kNoSuchStream);
}

} // namespace
