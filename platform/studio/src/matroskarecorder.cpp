#include "matroskarecorder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
// After the GStreamer headers: the calls go through the libraries opened when a recording first starts.
#include <zovwebrtc/gstload.h>

#include <algorithm>
#include <cstring>

QString recordingPathIn(const QString& folder)
{
    QString base = folder;
    if (base.isEmpty())
        base = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (base.isEmpty() || !QDir().mkpath(base))
        return QString();
    const QString stem
        = QDir(base).filePath("Tavicast-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss"));
    QString path = stem + ".mkv";
    for (int n = 2; QFile::exists(path) && n < 1000; ++n)
        path = stem + QString("-%1.mkv").arg(n);
    return path;
}

std::unique_ptr<MatroskaRecorder> MatroskaRecorder::open(
    const QString& path, int width, int height, int fps, bool audio, std::string* error)
{
    auto fail = [&](const std::string& why) -> std::unique_ptr<MatroskaRecorder> {
        if (error)
            *error = why;
        return nullptr;
    };
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return fail("GStreamer cannot start");
    // filesink reports an unwritable place only once it runs; find out here, without leaving a file.
    {
        QFile probe(path);
        if (probe.exists() || !probe.open(QIODevice::WriteOnly))
            return fail("the file cannot be written: " + path.toStdString());
        probe.close();
        probe.remove();
    }
    std::unique_ptr<MatroskaRecorder> recorder(new MatroskaRecorder);
    recorder->m_fps = std::max(1, fps);
    recorder->m_pipeline = gst_pipeline_new("recording");
    GstElement* mux = gst_element_factory_make("matroskamux", nullptr);
    GstElement* sink = gst_element_factory_make("filesink", nullptr);
    recorder->m_video = gst_element_factory_make("appsrc", "video");
    if (!mux || !sink || !recorder->m_video) {
        for (GstElement* element : { mux, sink, recorder->m_video })
            if (element)
                gst_object_unref(element);
        recorder->m_video = nullptr;
        gst_object_unref(recorder->m_pipeline);
        recorder->m_pipeline = nullptr;
        return fail("GStreamer's Matroska elements are missing");
    }
    const QByteArray location = QFile::encodeName(path);
    // Unbuffered: what the muxer wrote is in the file, for a reader now or after a crash.
    g_object_set(sink, "location", location.constData(), "sync", FALSE, "buffer-mode", 2, nullptr);
    const QByteArray videoFormat
        = QStringLiteral("video/x-vp8,width=(int)%1,height=(int)%2,framerate=(fraction)%3/1")
              .arg(width)
              .arg(height)
              .arg(fps)
              .toLatin1();
    GstCaps* videoCaps = gst_caps_from_string(videoFormat.constData());
    g_object_set(recorder->m_video, "format", GST_FORMAT_TIME, "caps", videoCaps, "is-live", TRUE, nullptr);
    gst_caps_unref(videoCaps);
    for (GstElement* element : { recorder->m_video, mux, sink })
        gst_bin_add(GST_BIN(recorder->m_pipeline), element);
    bool linked
        = gst_element_link_pads(recorder->m_video, "src", mux, "video_%u") && gst_element_link(mux, sink);
    if (audio) {
        recorder->m_audio = gst_element_factory_make("appsrc", "audio");
        GstCaps* audioCaps = gst_caps_from_string("audio/x-opus,rate=(int)48000,channels=(int)2,"
                                                  "channel-mapping-family=(int)0,stream-count=(int)1,"
                                                  "coupled-count=(int)1");
        g_object_set(
            recorder->m_audio, "format", GST_FORMAT_TIME, "caps", audioCaps, "is-live", TRUE, nullptr);
        gst_caps_unref(audioCaps);
        gst_bin_add(GST_BIN(recorder->m_pipeline), recorder->m_audio);
        linked = linked && gst_element_link_pads(recorder->m_audio, "src", mux, "audio_%u");
    }
    if (!linked
        || gst_element_set_state(recorder->m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        recorder->m_video = recorder->m_audio = nullptr;
        gst_element_set_state(recorder->m_pipeline, GST_STATE_NULL);
        gst_object_unref(recorder->m_pipeline);
        recorder->m_pipeline = nullptr;
        QFile::remove(path);
        return fail("the recording pipeline does not start");
    }
    return recorder;
}

MatroskaRecorder::~MatroskaRecorder() { finish(); }

void MatroskaRecorder::finish()
{
    if (!m_pipeline)
        return;
    {
        std::lock_guard lock(m_mutex);
        for (GstElement* source : { m_video, m_audio })
            if (source)
                gst_app_src_end_of_stream(GST_APP_SRC(source));
    }
    // The muxer writes the segment's length and index at the end of the stream.
    GstBus* bus = gst_element_get_bus(m_pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, 5 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    if (message)
        gst_message_unref(message);
    gst_object_unref(bus);
    gst_element_set_state(m_pipeline, GST_STATE_NULL);
    gst_object_unref(m_pipeline);
    m_pipeline = nullptr;
}

void MatroskaRecorder::rebase()
{
    std::lock_guard lock(m_mutex);
    if (m_haveBase)
        m_offsetUs = std::max(m_lastVideoUs, m_lastAudioUs) + 1000000 / m_fps;
    m_haveBase = false;
    m_videoStarted = false;
}

bool MatroskaRecorder::hasVideo() const
{
    std::lock_guard lock(m_mutex);
    return m_videoStarted;
}

void MatroskaRecorder::write(bool video, const uint8_t* data, size_t size, int64_t timeUs, bool keyFrame)
{
    std::lock_guard lock(m_mutex);
    GstElement* source = video ? m_video : m_audio;
    if (!m_pipeline || !source || !data || size == 0)
        return;
    if (video && !m_videoStarted) {
        if (!keyFrame)
            return;
        m_videoStarted = true;
    }
    if (!m_haveBase) {
        m_baseUs = timeUs;
        m_haveBase = true;
    }
    int64_t& last = video ? m_lastVideoUs : m_lastAudioUs;
    const int64_t at = std::max(m_offsetUs + std::max<int64_t>(0, timeUs - m_baseUs), last + 1);
    last = at;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
    gst_buffer_fill(buffer, 0, data, size);
    GST_BUFFER_PTS(buffer) = GST_BUFFER_DTS(buffer) = GstClockTime(at) * GST_USECOND;
    if (video && !keyFrame)
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
    gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
}
