#include <devservice/mediaforwarder.h>

#define GST_USE_UNSTABLE_API
#include <gst/gst.h>
#include <gst/rtp/rtp.h>
#include <gst/sdp/sdp.h>
#include <gst/webrtc/webrtc.h>
#include <openssl/crypto.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <set>
#include <sstream>

namespace devservice {

namespace {

    // The forwarder's DTLS runs OpenSSL on GStreamer's streaming threads, which go back to GLib's thread pool;
    // one ending while the process exits would have its OpenSSL state freed twice by OpenSSL's exit handler.
    // Set before main, ahead of any other use of OpenSSL, so the handler is never registered.
    [[maybe_unused]] const bool g_openSslWithoutExitHandler
        = OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) == 1;

    gint64 now() { return g_get_monotonic_time(); }

    gint64 toMicroseconds(std::chrono::milliseconds ms) { return gint64(ms.count()) * 1000; }

    // The one codec of each kind the forwarder carries, without payload numbers: the answer takes the
    // offer's.
    GstCaps* codecCaps(const std::string& kind)
    {
        if (kind == "video")
            return gst_caps_from_string("application/x-rtp,media=video,encoding-name=VP8,clock-rate=90000");
        if (kind == "audio")
            return gst_caps_from_string(
                "application/x-rtp,media=audio,encoding-name=OPUS,clock-rate=48000,encoding-params=(string)2");
        return nullptr;
    }

    // Holders for signal handler data: the closure owns a reference, released when the handler goes.
    template <typename T> gpointer holder(const std::shared_ptr<T>& object)
    {
        return new std::shared_ptr<T>(object);
    }
    template <typename T> void releaseHolder(gpointer data, GClosure*)
    {
        delete static_cast<std::shared_ptr<T>*>(data);
    }
    template <typename T> T& held(gpointer data) { return **static_cast<std::shared_ptr<T>*>(data); }

    GstSDPMessage* parseSdp(const std::string& text)
    {
        GstSDPMessage* message = nullptr;
        if (gst_sdp_message_new(&message) != GST_SDP_OK)
            return nullptr;
        if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(text.data()), guint(text.size()), message)
                != GST_SDP_OK
            || gst_sdp_message_medias_len(message) == 0) {
            gst_sdp_message_free(message);
            return nullptr;
        }
        return message;
    }

    std::string mediaKind(const GstSDPMessage* message, guint index)
    {
        const char* kind = gst_sdp_media_get_media(gst_sdp_message_get_media(message, index));
        return kind ? kind : "";
    }

    // The codec of each kind the forwarder carries; null for any other kind.
    const char* carriedCodec(const std::string& kind)
    {
        if (kind == "video")
            return "VP8";
        if (kind == "audio")
            return "OPUS";
        return nullptr;
    }

    // The payload number an attribute value ("96 VP8/90000", "96 nack pli", "97 apt=96") starts with; -1
    // when it starts otherwise. `rest` points past the blank that follows.
    int leadingPayload(const char* value, const char** rest)
    {
        if (!value || !g_ascii_isdigit(*value))
            return -1;
        int payload = 0;
        for (; g_ascii_isdigit(*value); ++value) {
            payload = payload * 10 + (*value - '0');
            if (payload > 127)
                return -1;
        }
        while (*value == ' ')
            ++value;
        *rest = value;
        return payload;
    }

    // Whether a feedback kind ("nack", "nack pli", "ccm fir", "transport-cc", "goog-remb") is one the
    // forwarder honours: it serves retransmissions and passes picture-loss and full-picture requests upstream.
    // Congestion feedback needs header extensions and estimators it does not run.
    bool honouredFeedback(const char* kind)
    {
        return std::strcmp(kind, "nack") == 0 || std::strcmp(kind, "nack pli") == 0
            || std::strcmp(kind, "ccm fir") == 0;
    }

    // Keeps in each m-line of `offer` only what the forwarder carries: the formats of its codec of that kind,
    // their retransmission formats, and of the feedback what it honours. An m-line without that codec is
    // left as it is (answered inactive). The number of m-lines that carry their kind's codec.
    int keepCarried(GstSDPMessage* offer)
    {
        int carrying = 0;
        for (guint index = 0; index < gst_sdp_message_medias_len(offer); ++index) {
            GstSDPMedia* media = const_cast<GstSDPMedia*>(gst_sdp_message_get_media(offer, index));
            const char* codec = carriedCodec(mediaKind(offer, index));
            if (!codec)
                continue;
            std::set<int> kept;
            std::map<int, int> retransmissionOf; // rtx payload → its codec's payload
            std::set<int> retransmissions;
            for (guint a = 0; a < gst_sdp_media_attributes_len(media); ++a) {
                const GstSDPAttribute* attribute = gst_sdp_media_get_attribute(media, a);
                const char* rest = nullptr;
                const int payload = leadingPayload(attribute->value, &rest);
                if (payload < 0)
                    continue;
                if (std::strcmp(attribute->key, "rtpmap") == 0) {
                    const size_t length = std::strcspn(rest, "/");
                    if (length == std::strlen(codec) && g_ascii_strncasecmp(rest, codec, length) == 0)
                        kept.insert(payload);
                    else if (length == 3 && g_ascii_strncasecmp(rest, "rtx", 3) == 0)
                        retransmissions.insert(payload);
                } else if (std::strcmp(attribute->key, "fmtp") == 0 && g_str_has_prefix(rest, "apt=")) {
                    retransmissionOf[payload] = std::atoi(rest + 4);
                }
            }
            if (kept.empty())
                continue;
            ++carrying;
            for (int payload : retransmissions) {
                const auto of = retransmissionOf.find(payload);
                if (of != retransmissionOf.end() && kept.count(of->second))
                    kept.insert(payload);
            }
            for (guint f = gst_sdp_media_formats_len(media); f-- > 0;) {
                const char* format = gst_sdp_media_get_format(media, f);
                const char* rest = nullptr;
                if (!kept.count(leadingPayload(format, &rest)))
                    gst_sdp_media_remove_format(media, f);
            }
            for (guint a = gst_sdp_media_attributes_len(media); a-- > 0;) {
                const GstSDPAttribute* attribute = gst_sdp_media_get_attribute(media, a);
                const bool perFormat = std::strcmp(attribute->key, "rtpmap") == 0
                    || std::strcmp(attribute->key, "fmtp") == 0 || std::strcmp(attribute->key, "rtcp-fb") == 0;
                if (!perFormat)
                    continue;
                const char* rest = nullptr;
                const int payload = leadingPayload(attribute->value, &rest);
                if (payload < 0 && attribute->value && attribute->value[0] == '*') // feedback for every format
                    for (rest = attribute->value + 1; *rest == ' ';)
                        ++rest;
                const bool drop = (payload >= 0 && !kept.count(payload))
                    || (std::strcmp(attribute->key, "rtcp-fb") == 0 && !honouredFeedback(rest ? rest : ""));
                if (drop)
                    gst_sdp_media_remove_attribute(media, a);
            }
        }
        return carrying;
    }

    // Host candidates only: no UPnP discovery, no TCP, no STUN or TURN; on the given addresses when there are
    // any (libnice leaves loopback out otherwise).
    void configureIce(GstElement* webrtc, const std::vector<std::string>& addresses)
    {
        GObject* ice = nullptr;
        g_object_get(webrtc, "ice-agent", &ice, nullptr);
        if (!ice)
            return;
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(ice), "ice-tcp"))
            g_object_set(ice, "ice-tcp", FALSE, nullptr);
        if (g_object_class_find_property(G_OBJECT_GET_CLASS(ice), "agent")) {
            GObject* agent = nullptr;
            g_object_get(ice, "agent", &agent, nullptr);
            if (agent) {
                g_object_set(agent, "upnp", FALSE, "ice-tcp", FALSE, nullptr);
                g_object_unref(agent);
            }
        }
        for (const std::string& address : addresses) {
            gboolean added = FALSE;
            g_signal_emit_by_name(ice, "add-local-ip-address", address.c_str(), &added);
        }
        g_object_unref(ice);
    }

    GstElement* makeWebrtc(const char* name, const std::vector<std::string>& addresses)
    {
        GstElement* webrtc = gst_element_factory_make("webrtcbin", name);
        if (!webrtc)
            return nullptr;
        g_object_set(webrtc, "bundle-policy", GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE, "latency", 0u, nullptr);
        configureIce(webrtc, addresses);
        return webrtc;
    }

    struct Gathering {
        std::mutex mutex;
        std::condition_variable changed;
        bool complete = false;
    };

    bool gatheringComplete(GstElement* webrtc)
    {
        GstWebRTCICEGatheringState state = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
        g_object_get(webrtc, "ice-gathering-state", &state, nullptr);
        return state == GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE;
    }

    void onGatheringState(GstElement* webrtc, GParamSpec*, gpointer data)
    {
        if (!gatheringComplete(webrtc))
            return;
        Gathering& gathering = held<Gathering>(data);
        std::lock_guard<std::mutex> lock(gathering.mutex);
        gathering.complete = true;
        gathering.changed.notify_all();
    }

    struct PromiseWait {
        std::mutex mutex;
        std::condition_variable changed;
        bool settled = false;
    };

    // Runs one promise-taking action of webrtcbin and waits for its reply, at most `timeout` (then the
    // promise is interrupted). False with a reason on an error.
    bool runPromise(GstElement* webrtc, const char* action, GstWebRTCSessionDescription* description,
        GstWebRTCSessionDescription** answer, std::chrono::milliseconds timeout, std::string& error)
    {
        auto wait = std::make_shared<PromiseWait>();
        GstPromise* promise = gst_promise_new_with_change_func(
            [](GstPromise*, gpointer data) {
                PromiseWait& wait = held<PromiseWait>(data);
                std::lock_guard<std::mutex> lock(wait.mutex);
                wait.settled = true;
                wait.changed.notify_all();
            },
            holder(wait), [](gpointer data) { delete static_cast<std::shared_ptr<PromiseWait>*>(data); });
        if (description)
            g_signal_emit_by_name(webrtc, action, description, promise);
        else
            g_signal_emit_by_name(webrtc, action, nullptr, promise);
        bool settled = false;
        {
            std::unique_lock<std::mutex> lock(wait->mutex);
            settled = wait->changed.wait_for(lock, timeout, [&] { return wait->settled; });
        }
        if (!settled)
            gst_promise_interrupt(promise);
        const GstPromiseResult result = gst_promise_wait(promise);
        const GstStructure* reply = gst_promise_get_reply(promise);
        bool ok = result == GST_PROMISE_RESULT_REPLIED;
        if (ok && reply && gst_structure_has_field(reply, "error")) {
            GError* failure = nullptr;
            gst_structure_get(reply, "error", G_TYPE_ERROR, &failure, nullptr);
            error = std::string(action) + ": " + (failure ? failure->message : "failed");
            if (failure)
                g_error_free(failure);
            ok = false;
        } else if (!ok) {
            error = std::string(action) + (settled ? ": no reply" : ": no reply in time");
        }
        if (ok && answer) {
            *answer = nullptr;
            if (reply)
                gst_structure_get(reply, "answer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, answer, nullptr);
            if (!*answer) {
                error = std::string(action) + ": no answer";
                ok = false;
            }
        }
        gst_promise_unref(promise);
        return ok;
    }

    // Applies `offer` (taken), answers it, and waits for gathering to complete. The answer comes back as
    // text and parsed (the caller frees `parsed`).
    bool answerOffer(GstElement* webrtc, GstSDPMessage* offer, std::chrono::milliseconds timeout,
        std::chrono::milliseconds promiseTimeout, std::string& answerText, GstSDPMessage** parsed, std::string& error)
    {
        auto gathering = std::make_shared<Gathering>();
        const gulong handler = g_signal_connect_data(webrtc, "notify::ice-gathering-state",
            G_CALLBACK(onGatheringState), holder(gathering), releaseHolder<Gathering>, GConnectFlags(0));

        GstWebRTCSessionDescription* remote = gst_webrtc_session_description_new(GST_WEBRTC_SDP_TYPE_OFFER, offer);
        GstWebRTCSessionDescription* answer = nullptr;
        bool ok = runPromise(webrtc, "set-remote-description", remote, nullptr, promiseTimeout, error)
            && runPromise(webrtc, "create-answer", nullptr, &answer, promiseTimeout, error)
            && runPromise(webrtc, "set-local-description", answer, nullptr, promiseTimeout, error);
        gst_webrtc_session_description_free(remote);
        if (answer)
            gst_webrtc_session_description_free(answer);

        if (ok) {
            std::unique_lock<std::mutex> lock(gathering->mutex);
            gathering->changed.wait_for(
                lock, timeout, [&] { return gathering->complete || gatheringComplete(webrtc); });
        }
        g_signal_handler_disconnect(webrtc, handler);
        if (!ok)
            return false;

        GstWebRTCSessionDescription* local = nullptr;
        g_object_get(webrtc, "local-description", &local, nullptr);
        if (!local || !local->sdp) {
            error = "no local description";
            if (local)
                gst_webrtc_session_description_free(local);
            return false;
        }
        gchar* text = gst_sdp_message_as_text(local->sdp);
        answerText = text;
        g_free(text);
        gst_sdp_message_copy(local->sdp, parsed);
        gst_webrtc_session_description_free(local);
        if (answerText.find("a=candidate:") == std::string::npos) {
            error = "no ICE candidate was gathered";
            gst_sdp_message_free(*parsed);
            *parsed = nullptr;
            return false;
        }
        return true;
    }

    // The payload type `media` of an answer gave the codec of `kind`; -1 when it has none.
    int negotiatedPayload(const GstSDPMessage* answer, guint index, const std::string& kind)
    {
        if (index >= gst_sdp_message_medias_len(answer))
            return -1;
        const GstSDPMedia* media = gst_sdp_message_get_media(answer, index);
        if (gst_sdp_media_get_port(media) == 0)
            return -1;
        const char* wanted = kind == "video" ? "VP8" : "OPUS";
        for (guint i = 0; i < gst_sdp_media_formats_len(media); ++i) {
            const int pt = std::atoi(gst_sdp_media_get_format(media, i));
            GstCaps* caps = gst_sdp_media_get_caps_from_media(media, pt);
            if (!caps)
                continue;
            const char* name = gst_structure_get_string(gst_caps_get_structure(caps, 0), "encoding-name");
            const bool match = name && g_ascii_strcasecmp(name, wanted) == 0;
            gst_caps_unref(caps);
            if (match)
                return pt;
        }
        return -1;
    }

    GstWebRTCPeerConnectionState connectionState(GstElement* webrtc)
    {
        GstWebRTCPeerConnectionState state = GST_WEBRTC_PEER_CONNECTION_STATE_NEW;
        g_object_get(webrtc, "connection-state", &state, nullptr);
        return state;
    }

    bool isOver(GstWebRTCPeerConnectionState state)
    {
        return state == GST_WEBRTC_PEER_CONNECTION_STATE_FAILED
            || state == GST_WEBRTC_PEER_CONNECTION_STATE_CLOSED;
    }

} // namespace

long long MediaForwarderOptions::numberFromEnvironment(const char* variable, long long fallback)
{
    const char* value = std::getenv(variable);
    if (!value || !*value)
        return fallback;
    long long number = 0;
    for (const char* c = value; *c; ++c) {
        if (!g_ascii_isdigit(*c) || number > 1000000000)
            return fallback;
        number = number * 10 + (*c - '0');
    }
    return number;
}

std::vector<std::string> MediaForwarderOptions::iceAddressesFromEnvironment()
{
    std::vector<std::string> addresses;
    const char* value = std::getenv("TAVICAST_ICE_ADDRESSES");
    if (!value)
        return addresses;
    std::stringstream list(value);
    std::string address;
    while (std::getline(list, address, ',')) {
        const auto first = address.find_first_not_of(" \t");
        const auto last = address.find_last_not_of(" \t");
        if (first != std::string::npos)
            addresses.push_back(address.substr(first, last - first + 1));
    }
    return addresses;
}

// One branch of a player: a leaky queue from a publisher tee into one of the player's sink pads, with the
// payload type rewritten to the player's.
struct Branch {
    GstElement* tee = nullptr;
    GstPad* teePad = nullptr;
    GstElement* queue = nullptr;
    GstCaps* caps = nullptr; // what the player's sink pad is told
    guint payload = 0;
};

struct MediaForwarder::Player {
    std::string name;
    GstElement* webrtc = nullptr;
    GstElement* rtpbin = nullptr; // the webrtcbin's, whose sessions report what the player sends
    std::vector<Branch> branches;
    std::atomic<bool> gone { false };
    std::atomic<bool> connected { false };
    gint64 answered = now();
    std::atomic<gint64> lastHeard { 0 }; // the player's last RTCP report, or its connection
    bool keyFrameAsked = false; // on the forwarder's thread
    double loss = 0; // the share of RTP packets to it that is dropped (tests only)
    GRand* random = nullptr; // for that loss; on the sending thread
    bool lossWatched = false;

    ~Player()
    {
        if (random)
            g_rand_free(random);
    }
};

struct MediaForwarder::Stream {
    long long id = 0;
    GstElement* pipeline = nullptr;
    GstElement* webrtc = nullptr;
    std::vector<std::string> kinds; // of the offer's m-lines, in order
    std::map<guint, GstElement*> tees; // by m-line
    gint64 created = now();
    std::atomic<gint64> lastMedia { 0 };
    std::atomic<bool> gone { false };
    GstElement* rtpbin = nullptr; // the publisher's webrtcbin's

    std::mutex graphMutex; // guards players and changes to the pipeline's graph
    std::vector<std::shared_ptr<Player>> players;
    unsigned nextPlayer = 0;

    std::mutex erroredMutex; // names of players whose elements posted errors; never held across a state change
    std::set<std::string> errored;

    GstElement* teeFor(const std::string& kind)
    {
        for (guint i = 0; i < kinds.size(); ++i) {
            if (kinds[i] == kind && tees.count(i))
                return tees[i];
        }
        return nullptr;
    }
};

namespace {

    using Stream = MediaForwarder::Stream;
    using Player = MediaForwarder::Player;

    GstPadProbeReturn onPublishedMedia(GstPad*, GstPadProbeInfo*, gpointer data)
    {
        held<Stream>(data).lastMedia = now();
        return GST_PAD_PROBE_OK;
    }

    // A publisher's received stream: into the tee of its m-line.
    void onPublisherPad(GstElement*, GstPad* pad, gpointer data)
    {
        if (GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
            return;
        auto stream = *static_cast<std::shared_ptr<Stream>*>(data);
        GstCaps* caps = gst_pad_get_current_caps(pad);
        const char* media = caps ? gst_structure_get_string(gst_caps_get_structure(caps, 0), "media") : nullptr;
        const std::string kind = media ? media : "";
        if (caps)
            gst_caps_unref(caps);
        // The first tee of the stream's kind that has no publisher yet; anything else is dropped.
        std::lock_guard<std::mutex> lock(stream->graphMutex);
        GstElement* sink = nullptr;
        for (auto& [mline, tee] : stream->tees) {
            GstPad* teeSink = gst_element_get_static_pad(tee, "sink");
            const bool free = !gst_pad_is_linked(teeSink);
            gst_object_unref(teeSink);
            if (free && stream->kinds[mline] == kind) {
                sink = tee;
                break;
            }
        }
        if (!sink) {
            g_message("forwarder: stream %lld: drops a second %s stream", stream->id, kind.c_str());
            sink = gst_element_factory_make("fakesink", nullptr);
            g_object_set(sink, "async", FALSE, "sync", FALSE, nullptr);
            gst_bin_add(GST_BIN(stream->pipeline), sink);
            gst_element_sync_state_with_parent(sink);
        }
        GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
        if (gst_pad_link(pad, sinkPad) != GST_PAD_LINK_OK)
            g_warning("forwarder: stream %lld: cannot forward its %s stream", stream->id, kind.c_str());
        gst_object_unref(sinkPad);
        gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST),
            onPublishedMedia, holder(stream), [](gpointer held) { delete static_cast<std::shared_ptr<Stream>*>(held); });
    }

    void onPublisherState(GstElement* webrtc, GParamSpec*, gpointer data)
    {
        if (isOver(connectionState(webrtc)))
            held<Stream>(data).gone = true;
    }

    void setPayload(GstBuffer* buffer, guint payload)
    {
        GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
        if (gst_rtp_buffer_map(buffer, GST_MAP_WRITE, &rtp)) {
            gst_rtp_buffer_set_payload_type(&rtp, guint8(payload));
            gst_rtp_buffer_unmap(&rtp);
        }
    }

    // The player's payload type on every packet, and its caps in place of the publisher's.
    GstPadProbeReturn rewritePayload(GstPad*, GstPadProbeInfo* info, gpointer data)
    {
        const Branch& branch = *static_cast<const Branch*>(data);
        if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
            GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
            setPayload(buffer, branch.payload);
            GST_PAD_PROBE_INFO_DATA(info) = buffer;
        } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
            GstBufferList* list = gst_buffer_list_make_writable(GST_PAD_PROBE_INFO_BUFFER_LIST(info));
            gst_buffer_list_foreach(
                list,
                [](GstBuffer** buffer, guint, gpointer payload) {
                    *buffer = gst_buffer_make_writable(*buffer);
                    setPayload(*buffer, GPOINTER_TO_UINT(payload));
                    return gboolean(TRUE);
                },
                GUINT_TO_POINTER(branch.payload));
            GST_PAD_PROBE_INFO_DATA(info) = list;
        } else if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
            GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
            if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
                gst_event_unref(event);
                GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_caps(branch.caps);
            }
        }
        return GST_PAD_PROBE_OK;
    }

    GstEvent* keyFrameRequest()
    {
        return gst_event_new_custom(GST_EVENT_CUSTOM_UPSTREAM,
            gst_structure_new("GstForceKeyUnit", "all-headers", G_TYPE_BOOLEAN, TRUE, nullptr));
    }

    // A player that connects asks its publisher for a key frame, so that its picture starts at once.
    void onPlayerState(GstElement* webrtc, GParamSpec*, gpointer data)
    {
        Player& player = held<Player>(data);
        const GstWebRTCPeerConnectionState state = connectionState(webrtc);
        if (isOver(state))
            player.gone = true;
        if (state == GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTED) {
            player.lastHeard = now();
            player.connected = true;
        }
    }

    // A report from the player (on its session's thread): it is still there.
    void onPlayerReport(GstElement*, guint, guint, gpointer data) { held<Player>(data).lastHeard = now(); }

    // A player that says goodbye (RTCP BYE) has left.
    void onPlayerBye(GstElement*, guint, guint, gpointer data)
    {
        Player& player = held<Player>(data);
        if (!player.gone.exchange(true))
            g_message("forwarder: %s said goodbye", player.name.c_str());
    }

    void onPublisherBye(GstElement*, guint, guint, gpointer data)
    {
        Stream& stream = held<Stream>(data);
        if (!stream.gone.exchange(true))
            g_message("forwarder: stream %lld: its publisher said goodbye", stream.id);
    }

    void disconnectReports(GstElement* rtpbin)
    {
        for (gpointer handler : { gpointer(onPlayerReport), gpointer(onPlayerBye), gpointer(onPublisherBye) })
            g_signal_handlers_disconnect_matched(rtpbin, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, handler, nullptr);
    }

    // Whether an outgoing datagram is RTP (not RTCP, STUN or DTLS): version 2, a payload type outside
    // RTCP's 72..76 (200..204 with the marker bit).
    bool isRtp(const guint8* data, gsize size)
    {
        return size >= 12 && (data[0] >> 6) == 2 && ((data[1] & 0x7F) < 72 || (data[1] & 0x7F) > 76);
    }

    // Drops the player's share of outgoing RTP after it left webrtcbin's retransmission history, as a lossy
    // network would.
    GstPadProbeReturn dropSomeRtp(GstPad*, GstPadProbeInfo* info, gpointer data)
    {
        Player& player = held<Player>(data);
        if (!(info->type & GST_PAD_PROBE_TYPE_BUFFER))
            return GST_PAD_PROBE_OK;
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        GstMapInfo map;
        bool drop = false;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            drop = isRtp(map.data, map.size) && g_rand_double(player.random) < player.loss;
            gst_buffer_unmap(buffer, &map);
        }
        return drop ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
    }

    // The loss setting on the player's way out: its ICE sink, once webrtcbin has made it.
    void watchLoss(const std::shared_ptr<Player>& player)
    {
        if (player->loss <= 0 || player->lossWatched || !player->webrtc)
            return;
        GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(player->webrtc));
        GValue item = G_VALUE_INIT;
        while (gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
            GstElement* element = GST_ELEMENT(g_value_get_object(&item));
            GstElementFactory* factory = gst_element_get_factory(element);
            if (factory && std::strcmp(GST_OBJECT_NAME(factory), "nicesink") == 0) {
                GstPad* sink = gst_element_get_static_pad(element, "sink");
                gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_BUFFER, dropSomeRtp, holder(player),
                    [](gpointer held) { delete static_cast<std::shared_ptr<Player>*>(held); });
                gst_object_unref(sink);
                player->lossWatched = true;
            }
            g_value_reset(&item);
        }
        g_value_unset(&item);
        gst_iterator_free(elements);
    }

    // Asked on the forwarder's thread once a player is connected: upstream through the tee to the publisher's
    // webrtcbin, which sends its peer a picture-loss indication.
    bool requestKeyFrames(Player& player)
    {
        bool asked = false;
        for (const Branch& branch : player.branches) {
            if (!branch.queue)
                continue;
            GstPad* queueSink = gst_element_get_static_pad(branch.queue, "sink");
            gst_pad_push_event(queueSink, keyFrameRequest());
            gst_object_unref(queueSink);
            asked = true;
        }
        return asked;
    }

    void removeBranch(GstElement* pipeline, Branch& branch)
    {
        if (branch.teePad) {
            GstPad* queueSink = gst_element_get_static_pad(branch.queue, "sink");
            gst_pad_unlink(branch.teePad, queueSink);
            gst_object_unref(queueSink);
            gst_element_release_request_pad(branch.tee, branch.teePad);
            gst_object_unref(branch.teePad);
            branch.teePad = nullptr;
        }
        if (branch.queue) {
            gst_element_set_state(branch.queue, GST_STATE_NULL);
            gst_bin_remove(GST_BIN(pipeline), branch.queue);
            branch.queue = nullptr;
        }
    }

    void freeBranch(Branch& branch)
    {
        if (branch.caps)
            gst_caps_unref(branch.caps);
        branch.caps = nullptr;
    }

    // With the stream's graph mutex held.
    void removePlayer(Stream& stream, Player& player)
    {
        if (player.rtpbin) {
            disconnectReports(player.rtpbin);
            gst_object_unref(player.rtpbin);
            player.rtpbin = nullptr;
        }
        for (Branch& branch : player.branches)
            removeBranch(stream.pipeline, branch);
        if (player.webrtc) {
            g_signal_handlers_disconnect_matched(
                player.webrtc, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, gpointer(onPlayerState), nullptr);
            gst_element_set_state(player.webrtc, GST_STATE_NULL);
            gst_bin_remove(GST_BIN(stream.pipeline), player.webrtc);
            player.webrtc = nullptr;
        }
        for (Branch& branch : player.branches)
            freeBranch(branch);
        player.branches.clear();
    }

    GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data)
    {
        if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR)
            return GST_BUS_PASS;
        Stream& stream = *static_cast<Stream*>(data);
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        g_message("forwarder: stream %lld: %s: %s", stream.id, GST_OBJECT_NAME(GST_MESSAGE_SRC(message)),
            error ? error->message : "error");
        if (error)
            g_error_free(error);
        // The webrtcbin the failing element belongs to tells whose connection broke.
        for (GstObject* object = GST_MESSAGE_SRC(message); object; object = GST_OBJECT_PARENT(object)) {
            const char* name = GST_OBJECT_NAME(object);
            if (g_str_has_prefix(name, "player-")) {
                std::lock_guard<std::mutex> lock(stream.erroredMutex);
                stream.errored.insert(name);
                return GST_BUS_DROP;
            }
            if (std::strcmp(name, "publisher") == 0)
                break;
        }
        stream.gone = true;
        return GST_BUS_DROP;
    }

    void destroyStream(Stream& stream)
    {
        if (!stream.pipeline)
            return;
        {
            std::lock_guard<std::mutex> lock(stream.graphMutex);
            for (auto& player : stream.players) {
                if (player->webrtc)
                    g_signal_handlers_disconnect_matched(
                        player->webrtc, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, gpointer(onPlayerState), nullptr);
                if (player->rtpbin) {
                    disconnectReports(player->rtpbin);
                    gst_object_unref(player->rtpbin);
                    player->rtpbin = nullptr;
                }
            }
        }
        if (stream.rtpbin) {
            disconnectReports(stream.rtpbin);
            gst_object_unref(stream.rtpbin);
            stream.rtpbin = nullptr;
        }
        g_signal_handlers_disconnect_matched(
            stream.webrtc, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, gpointer(onPublisherPad), nullptr);
        g_signal_handlers_disconnect_matched(
            stream.webrtc, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, gpointer(onPublisherState), nullptr);
        gst_element_set_state(stream.pipeline, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(stream.pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        std::lock_guard<std::mutex> lock(stream.graphMutex);
        for (auto& player : stream.players) {
            for (Branch& branch : player->branches) {
                if (branch.teePad)
                    gst_object_unref(branch.teePad);
                branch.teePad = nullptr;
                freeBranch(branch);
            }
            player->branches.clear();
            player->webrtc = nullptr;
        }
        stream.players.clear();
        gst_object_unref(stream.pipeline);
        stream.pipeline = nullptr;
        stream.webrtc = nullptr;
    }

} // namespace

MediaForwarder::MediaForwarder(Options options)
    : m_options(std::move(options))
{
}

MediaForwarder::~MediaForwarder()
{
    if (m_started) {
        g_main_loop_quit(m_loop);
        m_thread.join();
        g_main_loop_unref(m_loop);
        g_main_context_unref(m_context);
    }
    std::map<long long, std::shared_ptr<Stream>> streams;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        streams.swap(m_streams);
    }
    for (auto& [id, stream] : streams)
        destroyStream(*stream);
}

bool MediaForwarder::ensureStarted(std::string& error)
{
    std::lock_guard<std::mutex> lock(m_startMutex);
    if (m_started)
        return true;
    GError* failure = nullptr;
    if (!gst_init_check(nullptr, nullptr, &failure)) {
        error = std::string("GStreamer does not start: ") + (failure ? failure->message : "unknown error");
        if (failure)
            g_error_free(failure);
        return false;
    }
    for (const char* element : { "webrtcbin", "tee", "queue" }) {
        GstElementFactory* factory = gst_element_factory_find(element);
        if (!factory) {
            error = std::string("the GStreamer element ") + element + " is missing";
            return false;
        }
        gst_object_unref(factory);
    }
    m_context = g_main_context_new();
    m_loop = g_main_loop_new(m_context, FALSE);
    GSource* timer = g_timeout_source_new(250);
    g_source_set_callback(
        timer,
        [](gpointer self) {
            static_cast<MediaForwarder*>(self)->sweep();
            return gboolean(G_SOURCE_CONTINUE);
        },
        this, nullptr);
    g_source_attach(timer, m_context);
    g_source_unref(timer);
    std::promise<void> running;
    m_thread = std::thread([this, &running] {
        g_main_context_push_thread_default(m_context);
        GSource* idle = g_idle_source_new();
        g_source_set_callback(
            idle,
            [](gpointer promise) {
                static_cast<std::promise<void>*>(promise)->set_value();
                return gboolean(G_SOURCE_REMOVE);
            },
            &running, nullptr);
        g_source_attach(idle, m_context);
        g_source_unref(idle);
        g_main_loop_run(m_loop);
        g_main_context_pop_thread_default(m_context);
    });
    running.get_future().wait();
    m_started = true;
    return true;
}

ForwarderAnswer MediaForwarder::publish(const std::string& offerSdp)
{
    ForwarderAnswer result;
    if (!ensureStarted(result.error))
        return result;
    GstSDPMessage* offer = parseSdp(offerSdp);
    if (!offer) {
        result.error = "the offer is not an SDP offer with media";
        return result;
    }
    if (keepCarried(offer) == 0) {
        gst_sdp_message_free(offer);
        result.refusal = ForwarderAnswer::Refusal::NoCarriedCodec;
        result.error = "the offer carries neither VP8 video nor Opus audio, the only codecs forwarded";
        return result;
    }

    auto stream = std::make_shared<Stream>();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_streams.size() + m_publishing >= m_options.maxStreams) {
            gst_sdp_message_free(offer);
            result.refusal = ForwarderAnswer::Refusal::Full;
            result.error = "the service forwards " + std::to_string(m_options.maxStreams) + " streams at most";
            return result;
        }
        ++m_publishing;
        stream->id = m_nextId++;
    }
    struct Publishing {
        MediaForwarder& forwarder;
        ~Publishing()
        {
            std::lock_guard<std::mutex> lock(forwarder.m_mutex);
            --forwarder.m_publishing;
        }
    } publishing { *this };
    const std::string name = "stream-" + std::to_string(stream->id);
    stream->pipeline = gst_pipeline_new(name.c_str());
    stream->webrtc = makeWebrtc("publisher", m_options.iceAddresses);
    if (!stream->webrtc) {
        gst_sdp_message_free(offer);
        gst_object_unref(stream->pipeline);
        result.error = "webrtcbin cannot be made";
        return result;
    }
    gst_bin_add(GST_BIN(stream->pipeline), stream->webrtc);
    GstBus* bus = gst_element_get_bus(stream->pipeline);
    gst_bus_set_sync_handler(bus, onBusMessage, stream.get(), nullptr);
    gst_object_unref(bus);

    // webrtcbin binds transceivers to the offer's m-lines in the order they were made.
    for (guint i = 0; i < gst_sdp_message_medias_len(offer); ++i) {
        const std::string kind = mediaKind(offer, i);
        stream->kinds.push_back(kind);
        GstCaps* caps = codecCaps(kind);
        GstWebRTCRTPTransceiver* transceiver = nullptr;
        g_signal_emit_by_name(stream->webrtc, "add-transceiver",
            caps ? GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_RECVONLY : GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_INACTIVE,
            caps, &transceiver);
        // No NACK towards the publisher: with nothing held back here (no jitter-buffer latency), a packet
        // sent again would come too late to pass on; the players ask for what they miss, from here.
        if (transceiver)
            gst_object_unref(transceiver);
        if (caps) {
            gst_caps_unref(caps);
            GstElement* tee = gst_element_factory_make("tee", nullptr);
            g_object_set(tee, "allow-not-linked", TRUE, nullptr);
            gst_bin_add(GST_BIN(stream->pipeline), tee);
            stream->tees[i] = tee;
        }
    }
    g_signal_connect_data(stream->webrtc, "pad-added", G_CALLBACK(onPublisherPad), holder(stream),
        releaseHolder<Stream>, GConnectFlags(0));
    g_signal_connect_data(stream->webrtc, "notify::connection-state", G_CALLBACK(onPublisherState), holder(stream),
        releaseHolder<Stream>, GConnectFlags(0));
    stream->rtpbin = gst_bin_get_by_name(GST_BIN(stream->webrtc), "rtpbin");
    if (stream->rtpbin)
        g_signal_connect_data(stream->rtpbin, "on-bye-ssrc", G_CALLBACK(onPublisherBye), holder(stream),
            releaseHolder<Stream>, GConnectFlags(0));
    gst_element_set_state(stream->pipeline, GST_STATE_PLAYING);

    GstSDPMessage* answer = nullptr;
    if (!answerOffer(stream->webrtc, offer, m_options.gatheringTimeout, m_options.promiseTimeout, result.sdp,
            &answer, result.error)) {
        destroyStream(*stream);
        result.sdp.clear();
        return result;
    }
    gst_sdp_message_free(answer);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_streams[stream->id] = stream;
    }
    result.ok = true;
    result.id = stream->id;
    return result;
}

ForwarderAnswer MediaForwarder::play(long long streamId, const std::string& offerSdp)
{
    ForwarderAnswer result;
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_streams.find(streamId);
        if (found != m_streams.end() && !found->second->gone)
            stream = found->second;
    }
    if (!stream) {
        result.error = "no stream " + std::to_string(streamId) + " is published";
        return result;
    }
    GstSDPMessage* offer = parseSdp(offerSdp);
    if (!offer) {
        result.error = "the offer is not an SDP offer with media";
        return result;
    }
    if (keepCarried(offer) == 0) {
        gst_sdp_message_free(offer);
        result.refusal = ForwarderAnswer::Refusal::NoCarriedCodec;
        result.error = "the offer carries neither VP8 video nor Opus audio, the only codecs forwarded";
        return result;
    }

    auto player = std::make_shared<Player>();
    std::unique_lock<std::mutex> graph(stream->graphMutex);
    if (!stream->pipeline) {
        gst_sdp_message_free(offer);
        result.error = "stream " + std::to_string(streamId) + " has ended";
        return result;
    }
    size_t playing = 0;
    for (const auto& other : stream->players)
        playing += other->gone ? 0 : 1;
    if (playing >= m_options.maxPlayersPerStream) {
        gst_sdp_message_free(offer);
        result.refusal = ForwarderAnswer::Refusal::Full;
        result.error = "stream " + std::to_string(streamId) + " has " + std::to_string(m_options.maxPlayersPerStream)
            + " players, as many as it may have";
        return result;
    }
    if (stream->nextPlayer == 0 && m_options.firstPlayerLoss > 0) {
        player->loss = m_options.firstPlayerLoss;
        player->random = g_rand_new_with_seed(guint32(streamId));
    }
    player->name = "player-" + std::to_string(stream->nextPlayer++);
    player->webrtc = makeWebrtc(player->name.c_str(), m_options.iceAddresses);
    gst_bin_add(GST_BIN(stream->pipeline), player->webrtc);
    std::vector<std::string> kinds;
    for (guint i = 0; i < gst_sdp_message_medias_len(offer); ++i) {
        const std::string kind = mediaKind(offer, i);
        kinds.push_back(kind);
        GstCaps* caps = codecCaps(kind);
        GstElement* tee = caps ? stream->teeFor(kind) : nullptr;
        Branch branch;
        if (tee) {
            const std::string padName = "sink_" + std::to_string(i);
            GstPad* sinkPad = gst_element_request_pad_simple(player->webrtc, padName.c_str());
            GstWebRTCRTPTransceiver* transceiver = nullptr;
            if (sinkPad)
                g_object_get(sinkPad, "transceiver", &transceiver, nullptr);
            if (transceiver) {
                g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY,
                    "codec-preferences", caps, nullptr);
                // What the player misses is sent again from webrtcbin's history.
                if (kind == "video")
                    g_object_set(transceiver, "do-nack", TRUE, nullptr);
                gst_object_unref(transceiver);
                branch.tee = tee;
            }
            if (sinkPad)
                gst_object_unref(sinkPad);
        } else {
            GstWebRTCRTPTransceiver* transceiver = nullptr;
            g_signal_emit_by_name(player->webrtc, "add-transceiver", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_INACTIVE,
                caps, &transceiver);
            if (transceiver)
                gst_object_unref(transceiver);
        }
        if (caps)
            gst_caps_unref(caps);
        player->branches.push_back(branch);
    }
    g_signal_connect_data(player->webrtc, "notify::connection-state", G_CALLBACK(onPlayerState), holder(player),
        releaseHolder<Player>, GConnectFlags(0));
    player->rtpbin = gst_bin_get_by_name(GST_BIN(player->webrtc), "rtpbin");
    if (player->rtpbin) {
        g_signal_connect_data(player->rtpbin, "on-ssrc-active", G_CALLBACK(onPlayerReport), holder(player),
            releaseHolder<Player>, GConnectFlags(0));
        g_signal_connect_data(player->rtpbin, "on-bye-ssrc", G_CALLBACK(onPlayerBye), holder(player),
            releaseHolder<Player>, GConnectFlags(0));
    }
    gst_element_sync_state_with_parent(player->webrtc);
    stream->players.push_back(player);
    GstElement* webrtc = GST_ELEMENT(gst_object_ref(player->webrtc));
    graph.unlock();

    GstSDPMessage* answer = nullptr;
    const bool answered
        = answerOffer(webrtc, offer, m_options.gatheringTimeout, m_options.promiseTimeout, result.sdp, &answer,
            result.error);

    graph.lock();
    if (!stream->pipeline || !player->webrtc) {
        result.ok = false;
        result.error = "stream " + std::to_string(streamId) + " has ended";
    } else if (!answered) {
        player->gone = true;
    } else {
        for (guint i = 0; i < player->branches.size(); ++i) {
            Branch& branch = player->branches[i];
            const int payload = branch.tee ? negotiatedPayload(answer, i, kinds[i]) : -1;
            if (payload < 0)
                continue;
            branch.payload = guint(payload);
            branch.caps = codecCaps(kinds[i]);
            gst_caps_set_simple(branch.caps, "payload", G_TYPE_INT, payload, nullptr);
            branch.queue = gst_element_factory_make("queue", nullptr);
            g_object_set(branch.queue, "leaky", 2 /* downstream: the oldest go */, "max-size-buffers", 300u,
                "max-size-bytes", 0u, "max-size-time", guint64(0), nullptr);
            gst_bin_add(GST_BIN(stream->pipeline), branch.queue);
            GstPad* queueSrc = gst_element_get_static_pad(branch.queue, "src");
            gst_pad_add_probe(queueSrc,
                GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST
                    | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                rewritePayload, &branch, nullptr);
            const std::string padName = "sink_" + std::to_string(i);
            GstPad* sinkPad = gst_element_get_static_pad(player->webrtc, padName.c_str());
            gst_pad_link(queueSrc, sinkPad);
            gst_object_unref(sinkPad);
            gst_object_unref(queueSrc);
            gst_element_sync_state_with_parent(branch.queue);
            branch.teePad = gst_element_request_pad_simple(branch.tee, "src_%u");
            GstPad* queueSink = gst_element_get_static_pad(branch.queue, "sink");
            gst_pad_link(branch.teePad, queueSink);
            gst_object_unref(queueSink);
        }
        result.ok = true;
        result.id = streamId;
        player->answered = now();
        if (connectionState(webrtc) == GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTED) {
            player->lastHeard = now();
            player->connected = true;
        }
    }
    graph.unlock();
    gst_object_unref(webrtc);
    if (answer)
        gst_sdp_message_free(answer);
    if (!result.ok)
        result.sdp.clear();
    return result;
}

bool MediaForwarder::holds(long long streamId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_streams.find(streamId);
    return found != m_streams.end() && !found->second->gone;
}

std::vector<long long> MediaForwarder::streams() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<long long> ids;
    for (const auto& [id, stream] : m_streams) {
        if (!stream->gone)
            ids.push_back(id);
    }
    return ids;
}

size_t MediaForwarder::playerCount(long long streamId) const
{
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_streams.find(streamId);
        if (found == m_streams.end())
            return 0;
        stream = found->second;
    }
    std::lock_guard<std::mutex> lock(stream->graphMutex);
    size_t count = 0;
    for (const auto& player : stream->players)
        count += player->gone ? 0 : 1;
    return count;
}

void MediaForwarder::setMainStream(const std::string& meetingKey, long long streamId)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mainStreams[meetingKey] = streamId;
}

long long MediaForwarder::mainStream(const std::string& meetingKey) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_mainStreams.find(meetingKey);
    if (found == m_mainStreams.end() || !m_streams.count(found->second))
        return 0;
    return found->second;
}

void MediaForwarder::close(long long streamId) { removeStream(streamId); }

std::vector<std::string> MediaForwarder::elementFactories(long long streamId) const
{
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_streams.find(streamId);
        if (found == m_streams.end())
            return {};
        stream = found->second;
    }
    std::vector<std::string> names;
    std::lock_guard<std::mutex> lock(stream->graphMutex);
    if (!stream->pipeline)
        return names;
    GstIterator* elements = gst_bin_iterate_recurse(GST_BIN(stream->pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(elements, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        if (factory)
            names.push_back(GST_OBJECT_NAME(factory));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(elements);
    return names;
}

void MediaForwarder::removeStream(long long id)
{
    std::shared_ptr<Stream> stream;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_streams.find(id);
        if (found == m_streams.end())
            return;
        stream = found->second;
        m_streams.erase(found);
        for (auto main = m_mainStreams.begin(); main != m_mainStreams.end();) {
            if (main->second == id)
                main = m_mainStreams.erase(main);
            else
                ++main;
        }
    }
    destroyStream(*stream);
}

void MediaForwarder::sweep()
{
    std::vector<std::shared_ptr<Stream>> streams;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& [id, stream] : m_streams)
            streams.push_back(stream);
    }
    const gint64 time = now();
    for (auto& stream : streams) {
        const gint64 last = stream->lastMedia;
        const bool silent = last ? time - last > toMicroseconds(m_options.silenceTimeout)
                                 : time - stream->created > toMicroseconds(m_options.firstMediaTimeout);
        if (stream->gone || silent) {
            g_message("forwarder: stream %lld ends (%s)", stream->id, stream->gone ? "closed" : "silent");
            removeStream(stream->id);
            continue;
        }
        std::set<std::string> errored;
        {
            std::lock_guard<std::mutex> lock(stream->erroredMutex);
            errored.swap(stream->errored);
        }
        std::lock_guard<std::mutex> lock(stream->graphMutex);
        for (auto player = stream->players.begin(); player != stream->players.end();) {
            Player& one = **player;
            const gint64 heard = one.lastHeard;
            const bool silent = one.connected ? time - heard > toMicroseconds(m_options.playerSilenceTimeout)
                                              : time - one.answered > toMicroseconds(m_options.firstMediaTimeout);
            if (one.gone || silent || errored.count(one.name)) {
                g_message("forwarder: stream %lld: %s leaves (%s)", stream->id, one.name.c_str(),
                    one.gone ? "closed" : silent ? "silent" : "failed");
                removePlayer(*stream, one);
                player = stream->players.erase(player);
            } else {
                if (one.connected && !one.keyFrameAsked)
                    one.keyFrameAsked = requestKeyFrames(one);
                if (one.connected)
                    watchLoss(*player);
                ++player;
            }
        }
    }
}

} // namespace devservice
