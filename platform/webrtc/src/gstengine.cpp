// The production engine: webrtcbin pipelines driven from an engine thread.
#include <zovwebrtc/gstengine.h>

#include "gstcommon.h"
#include "rawvideo.h"

#include <zovwebrtc/publisher.h>

#include <capture/catalog.h>
#include <capture/interfaces.h>

#define GST_USE_UNSTABLE_API
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/sdp/sdp.h>
#include <gst/video/video.h>
#include <gst/webrtc/webrtc.h>

#include <atomic>
#include <cmath>
#include <future>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

namespace zovwebrtc {

namespace {

    using namespace gstcommon;

    std::atomic<long long> g_silenceMs { 5000 };

    // The echo probe of the process: in the first played audio stream, while its connection lives.
    constexpr char kEchoProbe[] = "zovwebrtc-echo-probe";
    std::atomic<int> g_echoProbes { 0 };

    std::string toUtf8(const std::wstring& text)
    {
        std::string out;
        for (wchar_t c : text) {
            const auto code = static_cast<uint32_t>(c);
            if (code < 0x80) {
                out += char(code);
            } else if (code < 0x800) {
                out += char(0xC0 | (code >> 6));
                out += char(0x80 | (code & 0x3F));
            } else if (code < 0x10000) {
                out += char(0xE0 | (code >> 12));
                out += char(0x80 | ((code >> 6) & 0x3F));
                out += char(0x80 | (code & 0x3F));
            } else {
                out += char(0xF0 | (code >> 18));
                out += char(0x80 | ((code >> 12) & 0x3F));
                out += char(0x80 | ((code >> 6) & 0x3F));
                out += char(0x80 | (code & 0x3F));
            }
        }
        return out;
    }

    bool hasDevice(const char* klass)
    {
        GstDeviceMonitor* monitor = gst_device_monitor_new();
        gst_device_monitor_add_filter(monitor, klass, nullptr);
        GList* devices = gst_device_monitor_get_devices(monitor);
        const bool found = devices != nullptr;
        g_list_free_full(devices, [](gpointer device) { gst_object_unref(device); });
        gst_object_unref(monitor);
        return found;
    }

    // ---- the engine thread ----------------------------------------------------------------------------

    // Threads of engines whose last reference went on their own thread: joined by the next engine made, or
    // at exit.
    struct Reaper {
        std::mutex mutex;
        std::vector<std::thread> threads;
        void add(std::thread thread)
        {
            std::lock_guard lock(mutex);
            threads.push_back(std::move(thread));
        }
        void joinAll()
        {
            std::vector<std::thread> done;
            {
                std::lock_guard lock(mutex);
                done.swap(threads);
            }
            for (auto& thread : done)
                thread.join();
        }
        ~Reaper() { joinAll(); }
    };
    Reaper& reaper()
    {
        static Reaper instance;
        return instance;
    }

    class EngineThread {
    public:
        EngineThread()
        {
            reaper().joinAll();
            m_context = g_main_context_new();
            m_loop = g_main_loop_new(m_context, FALSE);
            std::promise<void> running;
            auto started = running.get_future();
            // The thread owns the loop and the context from here on and frees them when its loop ends, so
            // that an engine released on its own thread needs nothing of its object afterwards.
            m_thread = std::thread([context = m_context, loop = m_loop, &running] {
                g_main_context_push_thread_default(context);
                invokeOn(context, [&running] { running.set_value(); });
                g_main_loop_run(loop);
                g_main_context_pop_thread_default(context);
                g_main_loop_unref(loop);
                g_main_context_unref(context);
            });
            started.wait();
        }
        ~EngineThread()
        {
            g_main_loop_quit(m_loop);
            if (std::this_thread::get_id() == m_thread.get_id())
                reaper().add(std::move(m_thread)); // the loop ends once the running task returns
            else
                m_thread.join();
        }

        void post(std::function<void()> task) { invokeOn(m_context, std::move(task)); }
        GMainContext* context() const { return m_context; }
        bool onThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

    private:
        static void invokeOn(GMainContext* context, std::function<void()> task)
        {
            GSource* source = g_idle_source_new();
            g_source_set_priority(source, G_PRIORITY_DEFAULT);
            g_source_set_callback(
                source,
                [](gpointer data) {
                    (*static_cast<std::function<void()>*>(data))();
                    return gboolean(G_SOURCE_REMOVE);
                },
                new std::function<void()>(std::move(task)),
                [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
            g_source_attach(source, context);
            g_source_unref(source);
        }

        GMainContext* m_context = nullptr;
        GMainLoop* m_loop = nullptr;
        std::thread m_thread;
    };

    // ---- the camera: a sink pin of the capture graph feeding an appsrc --------------------------------

    struct CameraFormat {
        GUID subtype {};
        int width = 0;
        int height = 0;
        int fps = 30;
    };

    const char* rawFormat(const GUID& subtype)
    {
        if (subtype == MEDIASUBTYPE_I420)
            return "I420";
        if (subtype == MEDIASUBTYPE_NV12)
            return "NV12";
        if (subtype == MEDIASUBTYPE_YUY2)
            return "YUY2";
        return nullptr;
    }

    class CameraSink final : public IPin, public IMemInputPin {
    public:
        CameraSink(GstElement* appsrc, CameraFormat format)
            : m_appsrc(GST_ELEMENT(gst_object_ref(appsrc)))
            , m_format(format)
        {
            if (const char* raw = rawFormat(format.subtype)) {
                GstCaps* caps = gst_caps_from_string(rawvideo::rawCaps(raw, format.width, format.height, format.fps).c_str());
                m_raw = caps && gst_video_info_from_caps(&m_info, caps);
                if (caps)
                    gst_caps_unref(caps);
            }
        }

        HRESULT QueryInterface(REFIID iid, void** object) override
        {
            if (!object)
                return E_POINTER;
            if (iid == IID_IUnknown || iid == IID_IPin)
                *object = static_cast<IPin*>(this);
            else if (iid == IID_IMemInputPin)
                *object = static_cast<IMemInputPin*>(this);
            else {
                *object = nullptr;
                return E_NOINTERFACE;
            }
            AddRef();
            return S_OK;
        }
        ULONG AddRef() override { return ++m_references; }
        ULONG Release() override
        {
            const ULONG left = --m_references;
            if (left == 0)
                delete this;
            return left;
        }

        // IPin: an input pin that takes the chosen format only.
        HRESULT Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
        HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override
        {
            if (!connector || !type)
                return E_POINTER;
            if (QueryAccept(type) != S_OK)
                return VFW_E_TYPE_NOT_ACCEPTED;
            m_connector = connector;
            return S_OK;
        }
        HRESULT Disconnect() override
        {
            m_connector.reset();
            return S_OK;
        }
        HRESULT ConnectedTo(IPin** pin) override
        {
            if (!pin)
                return E_POINTER;
            *pin = m_connector.get();
            if (!*pin)
                return VFW_E_NOT_CONNECTED;
            (*pin)->AddRef();
            return S_OK;
        }
        HRESULT ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
        HRESULT QueryPinInfo(PIN_INFO* info) override
        {
            if (!info)
                return E_POINTER;
            info->pFilter = nullptr;
            info->dir = PINDIR_INPUT;
            std::wcsncpy(info->achName, L"WebRTC", MAX_PIN_NAME);
            return S_OK;
        }
        HRESULT QueryDirection(PIN_DIRECTION* direction) override
        {
            if (!direction)
                return E_POINTER;
            *direction = PINDIR_INPUT;
            return S_OK;
        }
        HRESULT QueryId(wchar_t**) override { return E_NOTIMPL; }
        HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override
        {
            if (!type || type->majortype != MEDIATYPE_Video || type->subtype != m_format.subtype
                || type->formattype != FORMAT_VideoInfo || type->cbFormat < sizeof(VIDEOINFOHEADER)
                || !type->pbFormat)
                return S_FALSE;
            const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
            return info->bmiHeader.biWidth == m_format.width
                    && std::abs(info->bmiHeader.biHeight) == m_format.height
                ? S_OK
                : S_FALSE;
        }
        HRESULT EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
        HRESULT QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
        HRESULT EndOfStream() override { return S_OK; }
        HRESULT BeginFlush() override { return S_OK; }
        HRESULT EndFlush() override { return S_OK; }
        HRESULT NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

        // IMemInputPin: each picture copied into the pipeline, stamped by the pipeline's clock.
        HRESULT GetAllocator(IMemAllocator**) override { return VFW_E_NO_ALLOCATOR; }
        HRESULT NotifyAllocator(IMemAllocator*, bool) override { return S_OK; }
        HRESULT GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override { return E_NOTIMPL; }
        HRESULT Receive(IMediaSample* sample) override
        {
            uint8_t* data = nullptr;
            if (!sample || FAILED(sample->GetPointer(&data)) || !data)
                return E_POINTER;
            const long length = sample->GetActualDataLength();
            if (length <= 0)
                return S_OK;
            GstBuffer* buffer = nullptr;
            if (rawFormat(m_format.subtype)) {
                // Packed rows in, GStreamer's layout out; a short picture is dropped.
                const uint8_t* planes[3] = {};
                int strides[3] = {};
                if (m_raw && rawvideo::packedPlanes(m_info, data, gsize(length), planes, strides))
                    buffer = rawvideo::copyPicture(m_info, planes, strides);
            } else {
                buffer = gst_buffer_new_memdup(data, gsize(length));
            }
            if (!buffer)
                return S_OK;
            gst_app_src_push_buffer(GST_APP_SRC(m_appsrc), buffer);
            return S_OK;
        }
        HRESULT ReceiveMultiple(IMediaSample** samples, long count, long* processed) override
        {
            long done = 0;
            for (; done < count; ++done)
                Receive(samples[done]);
            if (processed)
                *processed = done;
            return S_OK;
        }
        HRESULT ReceiveCanBlock() override { return S_FALSE; }

    private:
        ~CameraSink() { gst_object_unref(m_appsrc); }

        std::atomic<ULONG> m_references { 1 };
        GstElement* m_appsrc;
        CameraFormat m_format;
        bool m_raw = false;
        GstVideoInfo m_info {}; // the layout of raw pictures
        ComPtr<IPin> m_connector;
    };

    // The running camera: its filter with our sink pin connected to its output.
    struct CameraFeed {
        ComPtr<IBaseFilter> filter;
        ComPtr<IPin> output;
        CameraSink* sink = nullptr; // referenced once

        ~CameraFeed()
        {
            if (filter)
                filter->Stop();
            if (output)
                output->Disconnect();
            if (sink) {
                sink->Disconnect();
                sink->Release();
            }
        }
    };

    // The mode of the camera closest in size to the one asked, raw ones first.
    bool chooseFormat(const std::string& uniqueId, int width, int height, int fps, CameraFormat& chosen,
        capture::DeviceEntry& device)
    {
        bool found = false;
        for (const capture::CameraInfo& camera : capture::listCameras()) {
            if (toUtf8(camera.uniqueId) != uniqueId)
                continue;
            long long best = -1;
            for (const capture::CameraMode& mode : camera.modes) {
                const bool raw = rawFormat(mode.subtype) != nullptr;
                if (!raw && mode.subtype != MEDIASUBTYPE_MJPG)
                    continue;
                long long distance = std::llabs(1LL * mode.width * mode.height - 1LL * width * height)
                    + (raw ? 0 : (1LL << 40)) + (mode.subtype == MEDIASUBTYPE_I420 ? 0 : 1);
                if (best < 0 || distance < best) {
                    best = distance;
                    chosen = { mode.subtype, mode.width, mode.height, fps > 0 ? std::min(fps, mode.fps) : mode.fps };
                    found = true;
                }
            }
        }
        if (!found)
            return false;
        for (capture::DeviceEntry& entry : capture::listDevices(CLSID_VideoInputDeviceCategory)) {
            const std::string id = toUtf8(entry.devicePath.empty() ? entry.friendlyName : entry.devicePath);
            if (id == uniqueId) {
                device = entry;
                return true;
            }
        }
        return false;
    }

    bool startCamera(const capture::DeviceEntry& device, const CameraFormat& format, GstElement* appsrc,
        CameraFeed& feed, std::string& error)
    {
        if (!device.createFilter || FAILED(device.createFilter(feed.filter.put())) || !feed.filter) {
            error = "the camera cannot be opened";
            return false;
        }
        ComPtr<IEnumPins> pins;
        if (FAILED(feed.filter->EnumPins(pins.put()))) {
            error = "the camera has no pins";
            return false;
        }
        IPin* pin = nullptr;
        ULONG fetched = 0;
        while (pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
            PIN_DIRECTION direction = PINDIR_INPUT;
            if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT && !feed.output)
                feed.output = pin;
            pin->Release();
        }
        if (!feed.output) {
            error = "the camera has no output pin";
            return false;
        }
        feed.sink = new CameraSink(appsrc, format);
        AM_MEDIA_TYPE wanted;
        wanted.majortype = MEDIATYPE_Video;
        wanted.subtype = format.subtype;
        if (FAILED(feed.output->Connect(static_cast<IPin*>(feed.sink), &wanted))) {
            error = "the camera does not deliver the chosen mode";
            return false;
        }
        if (FAILED(feed.filter->Run(0))) {
            error = "the camera does not start (in use?)";
            return false;
        }
        return true;
    }

    // ---- the connection --------------------------------------------------------------------------------

    class GstConnection : public Connection, public std::enable_shared_from_this<GstConnection> {
    public:
        GstConnection(std::shared_ptr<EngineThread> thread, const Configuration& configuration,
            const peer_connection_callbacks& callbacks)
            : m_thread(std::move(thread))
            , m_callbacks(callbacks)
            , m_silence(g_silenceMs.load() * 1000)
        {
            m_pipeline = gst_pipeline_new(nullptr);
            m_webrtc = gst_element_factory_make("webrtcbin", nullptr);
            g_object_set(m_webrtc, "bundle-policy",
                configuration.singleTransport ? GST_WEBRTC_BUNDLE_POLICY_MAX_BUNDLE
                                              : GST_WEBRTC_BUNDLE_POLICY_MAX_COMPAT,
                "latency", 0u, nullptr);
            configureIce(m_webrtc);
            gst_bin_add(GST_BIN(m_pipeline), m_webrtc);
        }

        ~GstConnection() override
        {
            if (m_pipeline) {
                gst_element_set_state(m_pipeline, GST_STATE_NULL);
                gst_object_unref(m_pipeline);
            }
            if (m_ownsEchoProbe)
                g_echoProbes.fetch_sub(1);
        }

        bool valid() const { return m_webrtc != nullptr; }

        void start()
        {
            std::weak_ptr<GstConnection> weak = shared_from_this();
            g_signal_connect_data(m_webrtc, "notify::connection-state", G_CALLBACK(onConnectionState),
                new std::weak_ptr<GstConnection>(weak),
                [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<GstConnection>*>(data); },
                GConnectFlags(0));
            g_signal_connect_data(m_webrtc, "notify::ice-gathering-state", G_CALLBACK(onGatheringState),
                new std::weak_ptr<GstConnection>(weak),
                [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<GstConnection>*>(data); },
                GConnectFlags(0));
            g_signal_connect_data(m_webrtc, "pad-added", G_CALLBACK(onPadAdded),
                new std::weak_ptr<GstConnection>(weak),
                [](gpointer data, GClosure*) { delete static_cast<std::weak_ptr<GstConnection>*>(data); },
                GConnectFlags(0));
            gst_element_set_state(m_pipeline, GST_STATE_PLAYING);
            // The silence watch, on the engine thread.
            GSource* timer = g_timeout_source_new(250);
            g_source_set_callback(
                timer,
                [](gpointer data) {
                    auto self = static_cast<std::weak_ptr<GstConnection>*>(data)->lock();
                    if (!self || self->m_closed)
                        return gboolean(G_SOURCE_REMOVE);
                    self->checkSilence();
                    return gboolean(G_SOURCE_CONTINUE);
                },
                new std::weak_ptr<GstConnection>(weak),
                [](gpointer data) { delete static_cast<std::weak_ptr<GstConnection>*>(data); });
            g_source_attach(timer, m_thread->context());
            g_source_unref(timer);
        }

        void addAudioTrack(bool echoCancellation) override
        {
            std::string description;
            const char* source = std::getenv("TAVICAST_AUDIO_SOURCE");
            if (source && *source) {
                description = source;
            } else if (hasElement("autoaudiosrc") && hasDevice("Audio/Source")) {
                description = "autoaudiosrc";
            } else {
                description = "audiotestsrc is-live=true wave=silence";
                log(1, "zovwebrtc: no audio input; sending silence");
            }
            description += " ! audioconvert ! audioresample ! audio/x-raw,rate=48000,channels=2";
            if (echoCancellation && hasElement("webrtcdsp")) {
                // The far end is what the played connections hand the process's echo probe; without one
                // playing, the processor still suppresses noise and controls the gain.
                const bool probe = g_echoProbes.load() > 0;
                description += std::string(" ! audioconvert ! audio/x-raw,format=S16LE ! webrtcdsp probe=")
                    + kEchoProbe + " echo-cancel=" + (probe ? "true" : "false") + " ! audioconvert";
                if (!probe)
                    log(1, "zovwebrtc: no audio is played yet; echo cancellation is off for this track");
            }
            description += " ! opusenc ! rtpopuspay pt=111";
            addSender(description, false);
        }

        void addCameraTrack(const std::string& deviceId, int width, int height, int fps) override
        {
            CameraFormat format;
            capture::DeviceEntry device;
            if (!chooseFormat(deviceId, width, height, fps, format, device)) {
                log(2, ("zovwebrtc: no camera " + deviceId).c_str());
                return;
            }
            const char* raw = rawFormat(format.subtype);
            const std::string caps = raw ? rawvideo::rawCaps(raw, format.width, format.height, format.fps)
                                         : "image/jpeg,width=" + std::to_string(format.width) + ",height="
                    + std::to_string(format.height) + ",framerate=" + std::to_string(format.fps) + "/1";
            PublisherSettings encoder;
            encoder.bitrateKbps = 1000;
            encoder.keyFrameInterval = 300;
            const std::string description = rawvideo::sourceDescription("camera", caps) + (raw ? "" : " ! jpegdec")
                + " ! videoconvert ! video/x-raw,format=I420 ! " + vp8EncoderDescription(encoder)
                + " ! rtpvp8pay pt=96 picture-id-mode=15-bit";
            GstElement* bin = addSender(description, true);
            if (!bin)
                return;
            GstElement* appsrc = gst_bin_get_by_name(GST_BIN(bin), "camera");
            auto feed = std::make_unique<CameraFeed>();
            std::string error;
            if (!startCamera(device, format, appsrc, *feed, error))
                log(2, ("zovwebrtc: " + error).c_str());
            else {
                std::lock_guard lock(m_mutex);
                m_cameras.push_back(std::move(feed));
            }
            gst_object_unref(appsrc);
        }

        void createOffer(bool receiveVideo, bool receiveAudio) override
        {
            for (bool video : { true, false }) {
                if (video ? !receiveVideo : !receiveAudio)
                    continue;
                GstCaps* caps = codecCaps(video);
                GstWebRTCRTPTransceiver* transceiver = nullptr;
                g_signal_emit_by_name(
                    m_webrtc, "add-transceiver", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_RECVONLY, caps, &transceiver);
                if (transceiver)
                    gst_object_unref(transceiver);
                gst_caps_unref(caps);
                m_receiving = true;
            }
            reportState(kStateConnecting);
            auto self = shared_from_this();
            m_thread->post([self] { self->makeOffer(); });
        }

        void forward(int, int) override { }

        void setRemoteDescription(const std::string& type, const std::string& sdp) override
        {
            GstSDPMessage* message = nullptr;
            gst_sdp_message_new(&message);
            if (gst_sdp_message_parse_buffer(reinterpret_cast<const guint8*>(sdp.data()), guint(sdp.size()), message)
                    != GST_SDP_OK
                || (type != "answer" && type != "offer")) {
                gst_sdp_message_free(message);
                log(2, "zovwebrtc: the remote description does not parse");
                return;
            }
            GstWebRTCSessionDescription* description = gst_webrtc_session_description_new(
                type == "answer" ? GST_WEBRTC_SDP_TYPE_ANSWER : GST_WEBRTC_SDP_TYPE_OFFER, message);
            GstPromise* promise = gst_promise_new(); // freeing webrtcbin's reply even when it refuses
            g_signal_emit_by_name(m_webrtc, "set-remote-description", description, promise);
            gst_promise_unref(promise);
            gst_webrtc_session_description_free(description);
        }

        std::string localDescription() override
        {
            std::lock_guard lock(m_mutex);
            return m_localDescription;
        }

        void close(std::function<void()> closed) override
        {
            auto self = shared_from_this();
            m_thread->post([self, closed = std::move(closed)] {
                {
                    std::lock_guard frames(self->m_frameMutex);
                    self->m_closed = true;
                }
                std::vector<std::unique_ptr<CameraFeed>> cameras;
                {
                    std::lock_guard lock(self->m_mutex);
                    cameras.swap(self->m_cameras);
                }
                cameras.clear();
                for (gpointer handler : { gpointer(onConnectionState), gpointer(onGatheringState), gpointer(onPadAdded) })
                    g_signal_handlers_disconnect_matched(
                        self->m_webrtc, G_SIGNAL_MATCH_FUNC, 0, 0, nullptr, handler, nullptr);
                gst_element_set_state(self->m_pipeline, GST_STATE_NULL);
                if (closed)
                    closed();
            });
        }

    private:
        void log(int level, const char* text)
        {
            if (m_callbacks.log)
                m_callbacks.log(level, text);
        }

        GstElement* addSender(const std::string& description, bool video)
        {
            GError* error = nullptr;
            GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
            if (!bin) {
                log(2, (std::string("zovwebrtc: ") + (error ? error->message : "cannot build the sender")).c_str());
                if (error)
                    g_error_free(error);
                return nullptr;
            }
            if (error)
                g_error_free(error);
            gst_bin_add(GST_BIN(m_pipeline), bin);
            GstPad* sink = gst_element_request_pad_simple(m_webrtc, "sink_%u");
            GstWebRTCRTPTransceiver* transceiver = nullptr;
            g_object_get(sink, "transceiver", &transceiver, nullptr);
            if (transceiver) {
                GstCaps* caps = codecCaps(video);
                g_object_set(transceiver, "direction", GST_WEBRTC_RTP_TRANSCEIVER_DIRECTION_SENDONLY,
                    "codec-preferences", caps, nullptr);
                gst_caps_unref(caps);
                gst_object_unref(transceiver);
            }
            GstPad* source = gst_element_get_static_pad(bin, "src");
            gst_pad_link(source, sink);
            gst_object_unref(source);
            gst_object_unref(sink);
            gst_element_sync_state_with_parent(bin);
            return bin;
        }

        // On the engine thread.
        void makeOffer()
        {
            if (m_closed)
                return;
            auto weak = new std::weak_ptr<GstConnection>(shared_from_this());
            GstPromise* promise = gst_promise_new_with_change_func(
                [](GstPromise* promise, gpointer data) {
                    auto self = static_cast<std::weak_ptr<GstConnection>*>(data)->lock();
                    const GstStructure* reply = gst_promise_get_reply(promise);
                    GstWebRTCSessionDescription* offer = nullptr;
                    if (reply)
                        gst_structure_get(reply, "offer", GST_TYPE_WEBRTC_SESSION_DESCRIPTION, &offer, nullptr);
                    if (!self || !offer) {
                        if (self)
                            self->log(2, "zovwebrtc: no offer could be made");
                        if (offer)
                            gst_webrtc_session_description_free(offer);
                        return;
                    }
                    // A promise of our own: webrtcbin's reply to a refused call is only freed with one.
                    GstPromise* set = gst_promise_new();
                    g_signal_emit_by_name(self->m_webrtc, "set-local-description", offer, set);
                    gst_promise_unref(set);
                    gst_webrtc_session_description_free(offer);
                },
                weak, [](gpointer data) { delete static_cast<std::weak_ptr<GstConnection>*>(data); });
            g_signal_emit_by_name(m_webrtc, "create-offer", nullptr, promise);
            gst_promise_unref(promise);
        }

        static void onGatheringState(GstElement* webrtc, GParamSpec*, gpointer data)
        {
            GstWebRTCICEGatheringState state = GST_WEBRTC_ICE_GATHERING_STATE_NEW;
            g_object_get(webrtc, "ice-gathering-state", &state, nullptr);
            auto self = static_cast<std::weak_ptr<GstConnection>*>(data)->lock();
            if (!self || state != GST_WEBRTC_ICE_GATHERING_STATE_COMPLETE)
                return;
            GstWebRTCSessionDescription* local = nullptr;
            g_object_get(webrtc, "local-description", &local, nullptr);
            if (!local)
                return;
            gchar* text = gst_sdp_message_as_text(local->sdp);
            const bool offer = local->type == GST_WEBRTC_SDP_TYPE_OFFER || local->type == GST_WEBRTC_SDP_TYPE_ANSWER;
            {
                std::lock_guard lock(self->m_mutex);
                self->m_localDescription = text;
            }
            g_free(text);
            gst_webrtc_session_description_free(local);
            if (!offer)
                return;
            self->m_thread->post([self] {
                if (!self->m_closed && self->m_callbacks.ice_gathering_complete)
                    self->m_callbacks.ice_gathering_complete(self->m_callbacks.user);
            });
        }

        static void onConnectionState(GstElement* webrtc, GParamSpec*, gpointer data)
        {
            GstWebRTCPeerConnectionState state = GST_WEBRTC_PEER_CONNECTION_STATE_NEW;
            g_object_get(webrtc, "connection-state", &state, nullptr);
            auto self = static_cast<std::weak_ptr<GstConnection>*>(data)->lock();
            if (!self)
                return;
            if (state == GST_WEBRTC_PEER_CONNECTION_STATE_CONNECTED)
                self->reportState(kStateConnected);
            else if (state == GST_WEBRTC_PEER_CONNECTION_STATE_FAILED
                || state == GST_WEBRTC_PEER_CONNECTION_STATE_CLOSED)
                self->reportState(kStateLost);
        }

        // From any thread: reported on the engine thread, each change once; lost is final.
        void reportState(int state)
        {
            auto self = shared_from_this();
            m_thread->post([self, state] {
                if (self->m_closed || self->m_reported == kStateLost || self->m_reported == state)
                    return;
                self->m_reported = state;
                if (self->m_callbacks.state_changed)
                    self->m_callbacks.state_changed(state, self->m_callbacks.user);
            });
        }

        void checkSilence()
        {
            const gint64 last = m_lastMedia;
            if (m_receiving && last && g_get_monotonic_time() - last > m_silence)
                reportState(kStateLost);
        }

        static void onPadAdded(GstElement*, GstPad* pad, gpointer data)
        {
            auto self = static_cast<std::weak_ptr<GstConnection>*>(data)->lock();
            if (!self || GST_PAD_DIRECTION(pad) != GST_PAD_SRC)
                return;
            GstCaps* caps = gst_pad_get_current_caps(pad);
            const char* media = caps ? gst_structure_get_string(gst_caps_get_structure(caps, 0), "media") : nullptr;
            const bool video = media && std::strcmp(media, "video") == 0;
            if (caps)
                gst_caps_unref(caps);
            std::string description;
            if (video) {
                description = "rtpvp8depay request-keyframe=true wait-for-keyframe=true ! vp8dec ! videoconvert"
                              " ! video/x-raw,format=I420 ! appsink name=frames sync=false max-buffers=2 drop=true";
            } else {
                const char* sink = std::getenv("TAVICAST_AUDIO_SINK");
                std::string output = sink && *sink ? sink
                    : hasElement("autoaudiosink") && hasDevice("Audio/Sink") ? "autoaudiosink"
                                                                              : "fakesink sync=false";
                // The first played stream feeds the echo canceller of the process's sent audio.
                std::string probe;
                if (hasElement("webrtcechoprobe") && g_echoProbes.fetch_add(1) == 0) {
                    probe = std::string("webrtcechoprobe name=") + kEchoProbe + " ! ";
                    self->m_ownsEchoProbe = true;
                } else if (hasElement("webrtcechoprobe")) {
                    g_echoProbes.fetch_sub(1);
                }
                description = "rtpopusdepay ! opusdec ! audioconvert ! audioresample ! " + probe + output;
            }
            GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, nullptr);
            if (!bin)
                return;
            if (video) {
                GstElement* appsink = gst_bin_get_by_name(GST_BIN(bin), "frames");
                GstAppSinkCallbacks callbacks {};
                callbacks.new_sample = onFrame;
                gst_app_sink_set_callbacks(GST_APP_SINK(appsink), &callbacks,
                    new std::weak_ptr<GstConnection>(self),
                    [](gpointer data) { delete static_cast<std::weak_ptr<GstConnection>*>(data); });
                gst_object_unref(appsink);
            }
            gst_pad_add_probe(
                pad, GST_PAD_PROBE_TYPE_BUFFER,
                [](GstPad*, GstPadProbeInfo*, gpointer data) {
                    if (auto self = static_cast<std::weak_ptr<GstConnection>*>(data)->lock())
                        self->m_lastMedia = g_get_monotonic_time();
                    return GST_PAD_PROBE_OK;
                },
                new std::weak_ptr<GstConnection>(self),
                [](gpointer data) { delete static_cast<std::weak_ptr<GstConnection>*>(data); });
            gst_bin_add(GST_BIN(self->m_pipeline), bin);
            gst_element_sync_state_with_parent(bin);
            GstPad* sink = gst_element_get_static_pad(bin, "sink");
            gst_pad_link(pad, sink);
            gst_object_unref(sink);
        }

        static GstFlowReturn onFrame(GstAppSink* appsink, gpointer data)
        {
            GstSample* sample = gst_app_sink_pull_sample(appsink);
            if (!sample)
                return GST_FLOW_OK;
            auto self = static_cast<std::weak_ptr<GstConnection>*>(data)->lock();
            GstVideoInfo info;
            GstVideoFrame frame;
            if (self && gst_video_info_from_caps(&info, gst_sample_get_caps(sample))
                && gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
                std::lock_guard lock(self->m_frameMutex);
                const frame_callback callback
                    = self->m_callbacks.frame_copy ? self->m_callbacks.frame_copy : self->m_callbacks.frame;
                if (!self->m_closed && callback) {
                    const GstClockTime pts = GST_BUFFER_PTS(gst_sample_get_buffer(sample));
                    callback(GST_CLOCK_TIME_IS_VALID(pts) ? int64_t(pts / 1000) : g_get_monotonic_time(),
                        static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                        static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 1)),
                        static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 2)), nullptr,
                        GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 1),
                        GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 2), 0, GST_VIDEO_FRAME_WIDTH(&frame),
                        GST_VIDEO_FRAME_HEIGHT(&frame), self->m_callbacks.user);
                }
                gst_video_frame_unmap(&frame);
            }
            gst_sample_unref(sample);
            return GST_FLOW_OK;
        }

        std::shared_ptr<EngineThread> m_thread;
        const peer_connection_callbacks m_callbacks;
        const gint64 m_silence; // µs
        GstElement* m_pipeline = nullptr;
        GstElement* m_webrtc = nullptr;

        std::mutex m_mutex; // guards the local description and the cameras
        std::string m_localDescription;
        std::vector<std::unique_ptr<CameraFeed>> m_cameras;

        std::mutex m_frameMutex; // held while a picture is delivered
        std::atomic<bool> m_closed { false };
        std::atomic<bool> m_receiving { false };
        std::atomic<gint64> m_lastMedia { 0 };
        int m_reported = -1; // on the engine thread
        std::atomic<bool> m_ownsEchoProbe { false };
    };

    class GstEngine : public Engine {
    public:
        GstEngine()
            : m_thread(std::make_shared<EngineThread>())
        {
        }

        std::shared_ptr<Connection> createConnection(
            const Configuration& configuration, const peer_connection_callbacks& callbacks) override
        {
            auto connection = std::make_shared<GstConnection>(m_thread, configuration, callbacks);
            if (!connection->valid())
                return nullptr;
            connection->start();
            return connection;
        }

    private:
        std::shared_ptr<EngineThread> m_thread;
    };

} // namespace

std::shared_ptr<Engine> createGstEngine()
{
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = gst_init_check(nullptr, nullptr, nullptr) && hasElement("webrtcbin"); });
    if (!ready)
        return nullptr;
    return std::make_shared<GstEngine>();
}

void setMediaSilenceTimeout(std::chrono::milliseconds timeout) { g_silenceMs = timeout.count(); }

} // namespace zovwebrtc
