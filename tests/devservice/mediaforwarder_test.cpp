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

// A player from which nothing arrived for this long has left (reports come every few seconds).
constexpr std::chrono::milliseconds kPlayerSilence = 10s;

class ForwarderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("TAVICAST_FORWARDER_PLAYER_SILENCE_MS", std::to_string(kPlayerSilence.count()).c_str(), 1);
        Service::Options options;
        options.https = false;
        service = std::make_unique<Service>(options);
        devservice::addStatePage(*service, nullptr);
        std::string error;
        ASSERT_TRUE(service->start(&error)) << error;
    }
    void TearDown() override { unsetenv("TAVICAST_FORWARDER_PLAYER_SILENCE_MS"); }

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
    Json::Value neitherCodec = unsignedOffer; // H.264 and G.711 only
    neitherCodec["sdp"] = base64("v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nt=0 0\r\n"
                                 "m=video 9 UDP/TLS/RTP/SAVPF 102\r\nc=IN IP4 0.0.0.0\r\na=mid:0\r\na=sendonly\r\n"
                                 "a=rtpmap:102 H264/90000\r\n"
                                 "m=audio 9 UDP/TLS/RTP/SAVPF 0\r\nc=IN IP4 0.0.0.0\r\na=mid:1\r\na=sendonly\r\n"
                                 "a=rtpmap:0 PCMU/8000\r\n");

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
        { "neither VP8 nor Opus", neitherCodec, devservice::rtc::kNoCarriedCodec },
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

    // One player going away without a word is dropped once nothing came from it for the bound (its reports
    // stop); the other goes on playing.
    first.stop();
    const auto left = std::chrono::steady_clock::now();
    const int before = second.videoFrames();
    EXPECT_TRUE(second.waitVideoFrames(before + 30, 10s));
    EXPECT_TRUE(waitFor([&] { return pageStreams()[0]["players"].asInt() == 1; }, kPlayerSilence + 5s))
        << pageStreams().toStyledString();
    EXPECT_LT(std::chrono::steady_clock::now() - left, kPlayerSilence + 5s);
    EXPECT_EQ(service->forwarder()->playerCount(id), 1u);
    const int still = second.videoFrames();
    EXPECT_TRUE(second.waitVideoFrames(still + 30, 10s));

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

// The offer's m-line with this media kind, as text, up to the next one.
std::string mediaSection(const std::string& sdp, const std::string& kind)
{
    const size_t start = sdp.find("m=" + kind + " ");
    if (start == std::string::npos)
        return {};
    const size_t end = sdp.find("\r\nm=", start);
    return sdp.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

// Offers with codecs and feedback beside what it carries: the answer keeps VP8 with picture-loss and
// full-picture requests only, so the publisher is asked for no congestion feedback it would wait for in
// vain; the stream still plays.
TEST_F(ForwarderTest, AnswersOnlyTheCodecsAndFeedbackItCarries)
{
    GstWebrtcPeer publisher(GstWebrtcPeer::Role::Publisher, {});
    std::string error;
    std::string sdp = publisher.offer(&error);
    ASSERT_FALSE(sdp.empty()) << error;
    // H.264 first in the video m-line, with the feedback a browser offers.
    const size_t line = sdp.find("m=video ");
    ASSERT_NE(line, std::string::npos);
    const size_t formats = sdp.find(" 97", sdp.find("SAVPF", line));
    ASSERT_NE(formats, std::string::npos) << sdp;
    sdp.insert(formats, " 96");
    const size_t rtpmap = sdp.find("a=rtpmap:97", line);
    ASSERT_NE(rtpmap, std::string::npos) << sdp;
    sdp.insert(rtpmap,
        "a=rtpmap:96 H264/90000\r\na=rtcp-fb:96 nack\r\na=rtcp-fb:97 transport-cc\r\na=rtcp-fb:97 goog-remb\r\n"
        "a=rtcp-fb:97 nack\r\na=rtcp-fb:97 nack pli\r\na=rtcp-fb:97 ccm fir\r\na=rtcp-fb:* transport-cc\r\n");

    const devservice::ForwarderAnswer answer = service->forwarder()->publish(sdp);
    ASSERT_TRUE(answer.ok) << answer.error;
    const std::string video = mediaSection(answer.sdp, "video");
    EXPECT_NE(video.find("VP8/90000"), std::string::npos) << video;
    for (const char* absent : { "H264", "transport-cc", "goog-remb" })
        EXPECT_EQ(answer.sdp.find(absent), std::string::npos) << absent << " in\n" << answer.sdp;
    for (const char* kept : { "nack pli", "ccm fir" })
        EXPECT_NE(video.find(kept), std::string::npos) << kept << " not in\n" << video;
    ASSERT_TRUE(publisher.setAnswer(answer.sdp, &error)) << error;
    ASSERT_TRUE(publisher.waitConnected(10s));
    GstWebrtcPeer player(GstWebrtcPeer::Role::Player, {});
    ASSERT_EQ(offer(player, answer.id)[wire::kReplyCode].asInt(), 0);
    EXPECT_TRUE(player.waitVideoFrames(10, 15s)) << player.videoFrames();
}

// Streams, and players of a stream, past the forwarder's bounds are refused as such; a place that frees up
// is taken again.
TEST(ForwarderBounds, OffersPastTheBoundsAreRefused)
{
    devservice::MediaForwarder::Options options;
    options.maxStreams = 1;
    options.maxPlayersPerStream = 1;
    devservice::MediaForwarder forwarder(options);
    GstWebrtcPeer publisher(GstWebrtcPeer::Role::Publisher, {});
    GstWebrtcPeer another(GstWebrtcPeer::Role::Publisher, {});
    std::string error;
    const devservice::ForwarderAnswer published = forwarder.publish(publisher.offer(&error));
    ASSERT_TRUE(published.ok) << published.error;
    ASSERT_TRUE(publisher.setAnswer(published.sdp, &error)) << error;
    const devservice::ForwarderAnswer refused = forwarder.publish(another.offer(&error));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.refusal, devservice::ForwarderAnswer::Refusal::Full);
    EXPECT_NE(refused.error.find("1 streams at most"), std::string::npos) << refused.error;

    GstWebrtcPeer first(GstWebrtcPeer::Role::Player, {});
    GstWebrtcPeer second(GstWebrtcPeer::Role::Player, {});
    const devservice::ForwarderAnswer played = forwarder.play(published.id, first.offer(&error));
    ASSERT_TRUE(played.ok) << played.error;
    const devservice::ForwarderAnswer full = forwarder.play(published.id, second.offer(&error));
    EXPECT_FALSE(full.ok);
    EXPECT_EQ(full.refusal, devservice::ForwarderAnswer::Refusal::Full);

    forwarder.close(published.id);
    GstWebrtcPeer again(GstWebrtcPeer::Role::Publisher, {});
    EXPECT_TRUE(forwarder.publish(again.offer(&error)).ok);
}

} // namespace
