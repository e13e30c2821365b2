// The studio's publisher: appsrc of I420 pictures and an audio source, encoded once, sent over webrtcbin and
// handed out encoded.
#include <zovwebrtc/publisher.h>
#include <zovwebrtc/zovwebrtc.h>

#include "gstcommon.h"
#include "rawvideo.h"

#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/sdp/sdp.h>
#include <gst/video/video.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace zovwebrtc {

namespace {

    using namespace gstcommon;

    class GstPublisher : public StreamPublisher {
    public:
        GstPublisher(const PublisherSettings& settings, PublisherCallbacks callbacks)
            : m_settings(settings)
            , m_callbacks(std::move(callbacks))
        {
        }

        ~GstPublisher() override
        {
            if (!m_pipeline)
                return;
            g_signal_handlers_disconnect_by_data(m_webrtc, this);
            for (GObject* session : m_sessions) {
                g_signal_handlers_disconnect_by_data(session, this);
                g_object_unref(session);
            }
            if (m_rtpbin)
                gst_object_unref(m_rtpbin);
            gst_element_set_state(m_pipeline, GST_STATE_NULL);
            gst_object_unref(m_video);
            gst_object_unref(m_webrtc);
            gst_object_unref(m_pipeline);
        }

        bool build(std::string& error)
        {
            const std::string caps = rawvideo::rawCaps("I420", m_settings.width, m_settings.height, m_settings.fps);
            GstCaps* parsed = gst_caps_from_string(caps.c_str());
            const bool known = parsed && gst_video_info_from_caps(&m_info, parsed);
            if (parsed)
                gst_caps_unref(parsed);
            if (!known) {
                error = "the picture format is unknown";
                return false;
            }
            std::string description = "webrtcbin name=webrtc bundle-policy=max-bundle "
                + rawvideo::sourceDescription("video", caps) + " ! " + vp8EncoderDescription(m_settings)
                + " ! tee name=videotee allow-not-linked=true"
                  " videotee. ! queue leaky=downstream ! rtpvp8pay pt=96 picture-id-mode=15-bit ! webrtc."
                  " videotee. ! queue leaky=downstream ! appsink name=videoout sync=false emit-signals=false";
            if (!m_settings.audioSource.empty())
                description += " " + m_settings.audioSource
                    + " ! audioconvert ! audioresample ! audio/x-raw,rate=48000,channels=2 ! opusenc"
                      " ! tee name=audiotee allow-not-linked=true"
                      " audiotee. ! queue leaky=downstream ! rtpopuspay pt=111 ! webrtc."
                      " audiotee. ! queue leaky=downstream ! appsink name=audioout sync=false";
            GError* failure = nullptr;
            m_pipeline = gst_parse_launch(description.c_str(), &failure);
            if (!m_pipeline || failure) {
                error = failure ? failure->message : "the pipeline cannot be built";
                if (failure)
                    g_error_free(failure);
                if (m_pipeline)
                    gst_object_unref(m_pipeline);
                m_pipeline = nullptr;
                return false;
            }
            m_webrtc = gst_bin_get_by_name(GST_BIN(m_pipeline), "webrtc");
            m_video = gst_bin_get_by_name(GST_BIN(m_pipeline), "video");
            configureIce(m_webrtc);

            // The offer needs its m-lines before caps reach webrtcbin: codec preferences in pad order.
            GArray* transceivers = nullptr;
            g_signal_emit_by_name(m_webrtc, "get-transceivers", &transceivers);
            for (guint i = 0; transceivers && i < transceivers->len; ++i) {
                GstWebRTCRTPTransceiver* transceiver = g_array_index(transceivers, GstWebRTCRTPTransceiver*, i);
                GstCaps* codec = codecCaps(i == 0);
                g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY,
                    "codec-preferences", codec, nullptr);
                gst_caps_unref(codec);
            }
            if (transceivers)
                g_array_unref(transceivers);

            for (const char* name : { "videoout", "audioout" }) {
                GstElement* sink = gst_bin_get_by_name(GST_BIN(m_pipeline), name);
                if (!sink)
                    continue;
                GstAppSinkCallbacks callbacks {};
                callbacks.new_sample = std::strcmp(name, "videoout") == 0 ? onVideo : onAudio;
                gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
                gst_object_unref(sink);
            }
            g_signal_connect(m_webrtc, "notify::ice-gathering-state", G_CALLBACK(onGathering), this);
            g_signal_connect(m_webrtc, "notify::connection-state", G_CALLBACK(onConnection), this);
            // The receiver's RTCP reports show the far end is alive: a receiver that goes away without a
            // word (no ICE consent checks here) is noticed when they stop.
            m_rtpbin = gst_bin_get_by_name(GST_BIN(m_webrtc), "rtpbin");
            if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
                error = "the pipeline does not start";
                return false;
            }
            return true;
        }

        bool pushI420(const uint8_t* y, const uint8_t* u, const uint8_t* v, int strideY, int strideU, int strideV,
            int width, int height) override
        {
            if (!y || !u || !v || width != m_settings.width || height != m_settings.height || strideY < width
                || strideU < (width + 1) / 2 || strideV < (width + 1) / 2)
                return false;
            checkReports();
            const uint8_t* planes[3] = { y, u, v };
            const int strides[3] = { strideY, strideU, strideV };
            GstBuffer* buffer = rawvideo::copyPicture(m_info, planes, strides);
            if (!buffer)
                return false;
            return gst_app_src_push_buffer(GST_APP_SRC(m_video), buffer) == GST_FLOW_OK;
        }

        void createOffer() override
        {
            report(kStateConnecting);
            GstPromise* promise = gst_promise_new_with_change_func(
                [](GstPromise* promise, gpointer data) {
                    auto* self = static_cast<GstPublisher*>(data);
                    const GstStructure* reply = gst_promise_get_reply(promise);
                    GstWebRTCSessionDescription* offer = nullptr;
                    if (reply)
                        gst_structure_get(reply, "offer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &offer, nullptr);
                    if (!offer)
                        return;
                    GstPromise* set = gst_promise_new();
                    g_signal_emit_by_name(self->m_webrtc, "set-local-description", offer, set);
                    gst_promise_unref(set);
                    gst_webrtc_session_description_free(offer);
                },
                this, nullptr);
            g_signal_emit_by_name(m_webrtc, "create-offer", nullptr, promise);
            gst_promise_unref(promise);
        }

        std::string localDescription() const override
        {
            std::lock_guard lock(m_mutex);
            return m_local;
        }

        bool setAnswer(const std::string& sdp) override
        {
            GstSDPMessage* message = nullptr;
            gst_sdp_message_new(&message);
            if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(sdp.data()), guint(sdp.size()), message)
                    != GST_SDP_OK
                || gst_sdp_message_medias_len(message) == 0) {
                gst_sdp_message_free(message);
                return false;
            }
            GstWebRTCSessionDescription* answer = gst_webrtc_session_description_new(GST_WEBRTC_SDP_TYPE_ANSWER, message);
            GstPromise* promise = gst_promise_new();
            g_signal_emit_by_name(m_webrtc, "set-remote-description", answer, promise);
            gst_promise_wait(promise);
            const GstStructure* reply = gst_promise_get_reply(promise);
            const bool failed = reply && gst_structure_has_field(reply, "error");
            gst_promise_unref(promise);
            gst_webrtc_session_description_free(answer);
            return !failed;
        }

        bool setAudioMuted(const std::string& volumeName, bool muted) override
        {
            GstElement* volume = gst_bin_get_by_name(GST_BIN(m_pipeline), volumeName.c_str());
            if (!volume)
                return false;
            const bool isVolume = g_object_class_find_property(G_OBJECT_GET_CLASS(volume), "mute") != nullptr;
            if (isVolume)
                g_object_set(volume, "mute", gboolean(muted), nullptr);
            gst_object_unref(volume);
            return isVolume;
        }

        void requestKeyFrame() override
        {
            GstElement* encoder = gst_bin_get_by_name(GST_BIN(m_pipeline), "videoencoder");
            if (!encoder)
                return;
            GstPad* source = gst_element_get_static_pad(encoder, "src");
            gst_pad_send_event(source, gst_video_event_new_upstream_force_key_unit(GST_CLOCK_TIME_NONE, TRUE, 0));
            gst_object_unref(source);
            gst_object_unref(encoder);
        }

        size_t queuedPictures() const override
        {
            guint64 level = 0;
            g_object_get(m_video, "current-level-buffers", &level, nullptr);
            return size_t(level);
        }

    private:
        // Once connected, the sessions exist: their incoming RTCP is watched.
        void watchReports()
        {
            if (!m_rtpbin || m_watching)
                return;
            for (guint id = 0; id < 2; ++id) {
                GObject* session = nullptr;
                g_signal_emit_by_name(m_rtpbin, "get-internal-session", id, &session);
                if (!session)
                    continue;
                g_signal_connect(session, "on-receiving-rtcp", G_CALLBACK(onRemoteReport), this);
                m_sessions.push_back(session);
                m_watching = true;
            }
        }

        static void onRemoteReport(GObject*, GstBuffer*, gpointer data)
        {
            static_cast<GstPublisher*>(data)->m_lastReportUs = g_get_monotonic_time();
        }

        // From the connection on: every WebRTC receiver sends reports, the first within seconds.
        void checkReports()
        {
            const gint64 last = m_lastReportUs.load();
            if (last && g_get_monotonic_time() - last > kReportSilenceUs)
                report(kStateLost);
        }

        void report(int state)
        {
            std::lock_guard lock(m_stateMutex);
            if (m_state == state || m_state == kStateLost)
                return;
            m_state = state;
            if (m_callbacks.stateChanged)
                m_callbacks.stateChanged(state);
        }

        static void onGathering(GstElement* webrtc, GParamSpec*, gpointer data)
        {
            auto* self = static_cast<GstPublisher*>(data);
            GstWebRTCICEGatheringState state = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
            g_object_get(webrtc, "ice-gathering-state", &state, nullptr);
            if (state != GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE)
                return;
            GstWebRTCSessionDescription* local = nullptr;
            g_object_get(webrtc, "local-description", &local, nullptr);
            if (!local)
                return;
            gchar* text = gst_sdp_message_as_text(local->sdp);
            {
                std::lock_guard lock(self->m_mutex);
                self->m_local = text;
            }
            g_free(text);
            gst_webrtc_session_description_free(local);
            if (self->m_callbacks.offerReady)
                self->m_callbacks.offerReady();
        }

        static void onConnection(GstElement* webrtc, GParamSpec*, gpointer data)
        {
            GstWebRTCPeerConnectionState state = GST_WEBRTC_PEER_CONNECTION_STATE_NEW;
            g_object_get(webrtc, "connection-state", &state, nullptr);
            auto* self = static_cast<GstPublisher*>(data);
            if (state == GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTED) {
                self->m_lastReportUs = g_get_monotonic_time();
                self->watchReports();
                self->report(kStateConnected);
            }
            else if (state == GST_WEBRTC_PEER_CONNECTION_STATE_FAILED || state == GST_WEBRTC_PEER_CONNECTION_STATE_CLOSED)
                self->report(kStateLost);
        }

        static GstFlowReturn deliver(GstAppSink* sink, gpointer data, bool video)
        {
            auto* self = static_cast<GstPublisher*>(data);
            GstSample* sample = gst_app_sink_pull_sample(sink);
            if (!sample)
                return GST_FLOW_OK;
            GstBuffer* buffer = gst_sample_get_buffer(sample);
            GstMapInfo map;
            if (self->m_callbacks.encoded && buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
                const GstClockTime pts = GST_BUFFER_PTS(buffer);
                self->m_callbacks.encoded(video, map.data, map.size, GST_CLOCK_TIME_IS_VALID(pts) ? int64_t(pts / 1000) : 0,
                    !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT));
                gst_buffer_unmap(buffer, &map);
            }
            gst_sample_unref(sample);
            return GST_FLOW_OK;
        }
        static GstFlowReturn onVideo(GstAppSink* sink, gpointer data) { return deliver(sink, data, true); }
        static GstFlowReturn onAudio(GstAppSink* sink, gpointer data) { return deliver(sink, data, false); }

        const PublisherSettings m_settings;
        const PublisherCallbacks m_callbacks;
        GstElement* m_pipeline = nullptr;
        GstElement* m_webrtc = nullptr;
        GstElement* m_video = nullptr;
        GstElement* m_rtpbin = nullptr;
        GstVideoInfo m_info {}; // the layout the encoder reads pictures in
        std::vector<GObject*> m_sessions; // RTP sessions whose incoming RTCP is watched
        bool m_watching = false;
        std::atomic<gint64> m_lastReportUs { 0 };
        static constexpr gint64 kReportSilenceUs = 20 * G_USEC_PER_SEC; // reports come every 5 s or so
        mutable std::mutex m_mutex;
        std::string m_local;
        std::mutex m_stateMutex;
        int m_state = -1;
    };

} // namespace

std::string vp8EncoderDescription(const PublisherSettings& settings)
{
    return "vp8enc name=videoencoder deadline=1 cpu-used=8 error-resilient=1 target-bitrate="
        + std::to_string(settings.bitrateKbps * 1000)
        + " end-usage=" + (settings.rateControl == PublisherSettings::RateControl::Constant ? "cbr" : "vbr")
        + " keyframe-max-dist=" + std::to_string(settings.keyFrameInterval);
}

std::unique_ptr<StreamPublisher> StreamPublisher::create(
    const PublisherSettings& settings, PublisherCallbacks callbacks, std::string* error)
{
    auto fail = [&](const std::string& reason) -> std::unique_ptr<StreamPublisher> {
        if (error)
            *error = reason;
        return nullptr;
    };
    if (settings.width < 16 || settings.height < 16 || settings.width > 7680 || settings.height > 4320
        || settings.width % 2 || settings.height % 2)
        return fail("the picture size is out of range");
    if (settings.fps < 1 || settings.fps > 120 || settings.bitrateKbps < 16 || settings.bitrateKbps > 100000
        || settings.keyFrameInterval < 1)
        return fail("the encoder settings are out of range");
    if (!gst_init_check(nullptr, nullptr, nullptr) || !hasElement("webrtcbin") || !hasElement("vp8enc"))
        return fail("GStreamer's WebRTC elements are missing");
    auto publisher = std::make_unique<GstPublisher>(settings, std::move(callbacks));
    std::string reason;
    if (!publisher->build(reason))
        return fail(reason);
    return publisher;
}

} // namespace zovwebrtc
