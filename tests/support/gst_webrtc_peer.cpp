#include "support/gst_webrtc_peer.h"

#define GST_USE_UNSTABLE_API
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/webrtc/webrtc.h>

#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

namespace testsupport {

namespace {

    std::vector<std::string> iceAddresses()
    {
        std::vector<std::string> addresses;
        const char* value = std::getenv("TAVICAST_ICE_ADDRESSES");
        std::stringstream list(value ? value : "");
        std::string address;
        while (std::getline(list, address, ','))
            if (!address.empty())
                addresses.push_back(address);
        return addresses;
    }

    void configureIce(GstElement* webrtc)
    {
        GObject* ice = nullptr;
        g_object_get(webrtc, "ice-agent", &ice, nullptr);
        if (!ice)
            return;
        g_object_set(ice, "ice-tcp", FALSE, nullptr);
        GObject* agent = nullptr;
        g_object_get(ice, "agent", &agent, nullptr);
        if (agent) {
            g_object_set(agent, "upnp", FALSE, "ice-tcp", FALSE, nullptr);
            g_object_unref(agent);
        }
        for (const std::string& address : iceAddresses()) {
            gboolean added = FALSE;
            g_signal_emit_by_name(ice, "add-local-ip-address", address.c_str(), &added);
        }
        g_object_unref(ice);
    }

    // The payload types differ from the publisher's, so that the forwarder has to rewrite them.
    GstCaps* codecCaps(bool video, GstWebrtcPeer::Role role)
    {
        const bool publisher = role == GstWebrtcPeer::Role::Publisher;
        return video ? gst_caps_from_string(publisher
                           ? "application/x-rtp,media=video,encoding-name=VP8,clock-rate=90000,payload=97"
                           : "application/x-rtp,media=video,encoding-name=VP8,clock-rate=90000,payload=102")
                     : gst_caps_from_string(publisher ? "application/x-rtp,media=audio,encoding-name=OPUS,"
                                                        "clock-rate=48000,encoding-params=(string)2,payload=111"
                                                      : "application/x-rtp,media=audio,encoding-name=OPUS,"
                                                        "clock-rate=48000,encoding-params=(string)2,payload=109");
    }

    bool waitPromise(GstPromise* promise)
    {
        return gst_promise_wait(promise) == GST_PROMISE_RESULT_REPLIED;
    }

    GstPadProbeReturn countBuffers(GstPad*, GstPadProbeInfo*, gpointer counter)
    {
        ++*static_cast<std::atomic<int>*>(counter);
        return GST_PAD_PROBE_OK;
    }

} // namespace

GstWebrtcPeer::GstWebrtcPeer(Role role, Options options)
    : m_role(role)
    , m_options(options)
{
    gst_init(nullptr, nullptr);
    std::string description = "webrtcbin name=webrtc bundle-policy=max-bundle";
    if (role == Role::Publisher) {
        if (options.video)
            description += " videotestsrc is-live=true pattern=smpte ! video/x-raw,width=320,height=240,framerate=30/1"
                           " ! vp8enc deadline=1 keyframe-max-dist="
                + std::to_string(options.keyFrameDistance) + " ! rtpvp8pay pt=97 ! webrtc.";
        if (options.audio)
            description += " audiotestsrc is-live=true wave=sine ! audioconvert ! audioresample ! opusenc"
                           " ! rtpopuspay pt=111 ! webrtc.";
    }
    if (role == Role::Publisher) {
        GError* error = nullptr;
        m_pipeline = gst_parse_launch(description.c_str(), &error);
        if (error) {
            g_printerr("test peer: %s\n", error->message);
            g_error_free(error);
        }
        m_webrtc = gst_bin_get_by_name(GST_BIN(m_pipeline), "webrtc");
    } else {
        m_pipeline = gst_pipeline_new(nullptr);
        m_webrtc = gst_element_factory_make("webrtcbin", nullptr);
        g_object_set(m_webrtc, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, "latency", 0u, nullptr);
        gst_bin_add(GST_BIN(m_pipeline), GST_ELEMENT(gst_object_ref(m_webrtc)));
    }
    configureIce(m_webrtc);

    if (role == Role::Player) {
        for (bool video : { true, false }) {
            if (video ? !options.video : !options.audio)
                continue;
            GstCaps* caps = codecCaps(video, role);
            GstWebRTCRTPTransceiver* transceiver = nullptr;
            g_signal_emit_by_name(
                m_webrtc, "add-transceiver", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_RECVONLY, caps, &transceiver);
            gst_object_unref(transceiver);
            gst_caps_unref(caps);
        }
        g_signal_connect(m_webrtc, "pad-added", G_CALLBACK(onPadAdded), this);
    } else {
        // The offer needs m-lines before caps reach the sink pads.
        GArray* transceivers = nullptr;
        g_signal_emit_by_name(m_webrtc, "get-transceivers", &transceivers);
        for (guint i = 0; transceivers && i < transceivers->len; ++i) {
            GstWebRTCRTPTransceiver* transceiver = g_array_index(transceivers, GstWebRTCRTPTransceiver*, i);
            GstCaps* caps = codecCaps(options.video && i == 0, role);
            g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY,
                "codec-preferences", caps, nullptr);
            gst_caps_unref(caps);
        }
        if (transceivers)
            g_array_unref(transceivers);
    }
    gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
}

GstWebrtcPeer::~GstWebrtcPeer()
{
    stop();
    gst_object_unref(m_webrtc);
    gst_object_unref(m_pipeline);
}

void GstWebrtcPeer::stop() { gst_element_set_state(m_pipeline, GST_STATE_NULL); }

void GstWebrtcPeer::onPadAdded(GstElement*, GstPad* pad, void* data)
{
    auto* self = static_cast<GstWebrtcPeer*>(data);
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
        return;
    GstCaps* caps = gst_pad_get_current_caps(pad);
    const char* media = caps ? gst_structure_get_string(gst_caps_get_structure(caps, 0), "media") : nullptr;
    const bool video = media && std::string(media) == "video";
    if (caps)
        gst_caps_unref(caps);
    GstElement* bin = gst_parse_bin_from_description(video
            ? "rtpvp8depay request-keyframe=true wait-for-keyframe=true ! vp8dec name=decoder ! fakesink"
            : "rtpopusdepay ! opusdec name=decoder ! fakesink",
        TRUE, nullptr);
    GstElement* decoder = gst_bin_get_by_name(GST_BIN(bin), "decoder");
    GstPad* decoded = gst_element_get_static_pad(decoder, "src");
    gst_pad_add_probe(decoded, GST_PAD_PROBE_TYPE_BUFFER, countBuffers,
        video ? &self->m_videoFrames : &self->m_audioBuffers, nullptr);
    gst_object_unref(decoded);
    gst_object_unref(decoder);
    gst_bin_add(GST_BIN(self->m_pipeline), bin);
    gst_element_sync_state_with_parent(bin);
    GstPad* sink = gst_element_get_static_pad(bin, "sink");
    gst_pad_link(pad, sink);
    gst_object_unref(sink);
}

std::string GstWebrtcPeer::offer(std::string* error)
{
    auto fail = [&](const char* reason) {
        if (error)
            *error = reason;
        return std::string();
    };
    GstPromise* promise = gst_promise_new();
    g_signal_emit_by_name(m_webrtc, "create-offer", nullptr, promise);
    if (!waitPromise(promise)) {
        gst_promise_unref(promise);
        return fail("create-offer has no reply");
    }
    GstWebRTCSessionDescription* offer = nullptr;
    gst_structure_get(gst_promise_get_reply(promise), "offer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &offer, nullptr);
    gst_promise_unref(promise);
    if (!offer)
        return fail("create-offer made no offer");
    promise = gst_promise_new();
    g_signal_emit_by_name(m_webrtc, "set-local-description", offer, promise);
    waitPromise(promise);
    gst_promise_unref(promise);
    gst_webrtc_session_description_free(offer);

    for (int i = 0; i < 500; ++i) {
        GstWebRTCICEGatheringState state = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
        g_object_get(m_webrtc, "ice-gathering-state", &state, nullptr);
        if (state == GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    GstWebRTCSessionDescription* local = nullptr;
    g_object_get(m_webrtc, "local-description", &local, nullptr);
    if (!local)
        return fail("no local description");
    gchar* text = gst_sdp_message_as_text(local->sdp);
    std::string sdp = text;
    g_free(text);
    gst_webrtc_session_description_free(local);
    return sdp;
}

bool GstWebrtcPeer::setAnswer(const std::string& sdp, std::string* error)
{
    GstSDPMessage* message = nullptr;
    gst_sdp_message_new(&message);
    if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(sdp.data()), guint(sdp.size()), message)
        != GST_SDP_OK) {
        gst_sdp_message_free(message);
        if (error)
            *error = "the answer does not parse";
        return false;
    }
    GstWebRTCSessionDescription* answer = gst_webrtc_session_description_new(GST_WEBRTC_SDP_TYPE_ANSWER, message);
    GstPromise* promise = gst_promise_new();
    g_signal_emit_by_name(m_webrtc, "set-remote-description", answer, promise);
    const bool ok = waitPromise(promise);
    const GstStructure* reply = gst_promise_get_reply(promise);
    const bool failed = reply && gst_structure_has_field(reply, "error");
    gst_promise_unref(promise);
    gst_webrtc_session_description_free(answer);
    if ((!ok || failed) && error)
        *error = "set-remote-description failed";
    return ok && !failed;
}

bool GstWebrtcPeer::connected() const
{
    GstWebRTCPeerConnectionState state = GST_WEBRTC_PEER_CONNECTION_STATE_NEW;
    g_object_get(m_webrtc, "connection-state", &state, nullptr);
    return state == GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTED;
}

bool GstWebrtcPeer::waitConnected(std::chrono::milliseconds timeout) const
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!connected()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool GstWebrtcPeer::waitVideoFrames(int count, std::chrono::milliseconds timeout) const
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (m_videoFrames < count) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace testsupport
