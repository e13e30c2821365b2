// The studio's recording: VP8 and Opus in a Matroska file named by the time, readable while it is written,
// sound muted by volume, an unwritable folder only logged.
#include <studio/zovmwidget.h>

#include <framekit/framekit.h>

#include "support/scoped_env.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

void runFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
}

struct Discovered {
    bool ok = false;
    double seconds = 0;
    std::vector<std::string> caps; // one per stream: the media type
};

Discovered discover(const QString& path)
{
    Discovered result;
    GError* error = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(10 * GST_SECOND, &error);
    if (!discoverer) {
        g_clear_error(&error);
        return result;
    }
    const std::string uri = QUrl::fromLocalFile(path).toString().toStdString();
    GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri.c_str(), &error);
    g_clear_error(&error);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        result.ok = true;
        const GstClockTime duration = gst_discoverer_info_get_duration(info);
        result.seconds = GST_CLOCK_TIME_IS_VALID(duration) ? double(duration) / GST_SECOND : 0;
        GList* streams = gst_discoverer_info_get_stream_list(info);
        for (GList* item = streams; item; item = item->next) {
            GstCaps* caps = gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(item->data));
            if (caps && gst_caps_get_size(caps) > 0)
                result.caps.push_back(gst_structure_get_name(gst_caps_get_structure(caps, 0)));
            if (caps)
                gst_caps_unref(caps);
        }
        gst_discoverer_stream_info_list_free(streams);
    }
    if (info)
        gst_discoverer_info_unref(info);
    g_object_unref(discoverer);
    return result;
}

bool has(const std::vector<std::string>& list, const char* wanted)
{
    return std::find(list.begin(), list.end(), wanted) != list.end();
}

// The root mean square of the recorded sound after its first half second, in 16-bit units.
double soundLevel(const QString& path)
{
    const std::string description = "filesrc location=\"" + path.toStdString()
        + "\" ! matroskademux ! opusdec ! audioconvert ! audio/x-raw,format=S16LE,channels=1"
          " ! appsink name=out sync=false";
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    if (!pipeline)
        return -1;
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    double sum = 0;
    size_t count = 0;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND)) {
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (GST_BUFFER_PTS(buffer) > GST_SECOND / 2 && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            const auto* samples = reinterpret_cast<const int16_t*>(map.data);
            for (size_t i = 0; i < map.size / 2; ++i)
                sum += double(samples[i]) * samples[i];
            count += map.size / 2;
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipeline);
    return count ? std::sqrt(sum / double(count)) : -1;
}

class StudioRecording : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        qputenv("XDG_CONFIG_HOME", folder.filePath("config").toUtf8());
        studio.Initialize(folder.filePath("Basic.ini"));
        studio.ResetVideoSize(320, 180);
        studio.SetFps(30);
        studio.ResetOutputs();
        QImage picture(160, 90, QImage::Format_RGB32);
        picture.fill(Qt::red);
        picture.save(folder.filePath("red.png"));
        ASSERT_NE(studio.AddImageSource(folder.filePath("red.png"), QPoint(80, 45)), nullptr);
        studio.AddDesktopAudio();
        studio.AddMicrophoneSource();
        studio.SetRecordDir(folder.filePath("records"));
    }

    QString record(int ms)
    {
        studio.StartRecording();
        if (!studio.isRecording())
            return QString();
        runFor(ms);
        studio.StopRecording();
        return studio.recordingPath();
    }

    QTemporaryDir folder;
    ScopedEnv tone { "TAVICAST_DESKTOP_AUDIO_SOURCE",
        std::string("audiotestsrc is-live=true wave=sine freq=440 volume=0.5") };
    ScopedEnv microphone { "TAVICAST_AUDIO_SOURCE", std::string("audiotestsrc is-live=true wave=silence") };
    ZovMWidget studio;
};

TEST_F(StudioRecording, ThreeSecondsOfVp8AndOpusInMatroska)
{
    studio.StartRecording();
    // The length is counted from here: the encoder's start (sources opened, pipeline built) is not recorded.
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(studio.isRecording());
    const QString path = studio.recordingPath();
    EXPECT_TRUE(
        QRegularExpression("^Tavicast-\\d{8}-\\d{6}\\.mkv$").match(QFileInfo(path).fileName()).hasMatch())
        << path.toStdString();
    EXPECT_EQ(QFileInfo(path).absolutePath(), QDir(folder.filePath("records")).absolutePath());

    // Readable while it is written, as it would be after a crash.
    runFor(1500);
    const Discovered partial = discover(path);
    EXPECT_TRUE(partial.ok);
    EXPECT_TRUE(has(partial.caps, "video/x-vp8"));

    runFor(int(3000 - clock.elapsed()));
    const double recorded = double(clock.elapsed()) / 1000;
    studio.StopRecording();
    EXPECT_FALSE(studio.isRecording());
    const Discovered whole = discover(path);
    ASSERT_TRUE(whole.ok);
    EXPECT_TRUE(has(whole.caps, "video/x-vp8"));
    EXPECT_TRUE(has(whole.caps, "audio/x-opus"));
    EXPECT_NEAR(whole.seconds, recorded, 0.5);
    EXPECT_NEAR(whole.seconds, 3.0, 0.5);

    // A second recording in the same second gets a name of its own.
    const QString second = record(300);
    EXPECT_FALSE(second.isEmpty());
    EXPECT_NE(second, path);
    EXPECT_TRUE(QFileInfo::exists(path));
}

TEST_F(StudioRecording, MutedToneIsGone)
{
    struct Case {
        bool mute;
        bool loud;
    };
    for (const Case c : { Case { false, true }, Case { true, false } }) {
        SCOPED_TRACE(c.mute ? "muted" : "audible");
        studio.MuteDesktopAudio(c.mute);
        const QString path = record(1500);
        ASSERT_FALSE(path.isEmpty());
        const double level = soundLevel(path);
        ASSERT_GE(level, 0) << "no sound was read back";
        if (c.loud)
            EXPECT_GT(level, 3000);
        else
            EXPECT_LT(level, 50);
    }
}

TEST_F(StudioRecording, UnwritableFolderOnlyLogs)
{
    struct Log {
        std::mutex mutex;
        std::vector<std::string> lines;
    } log;
    fk_log_set_handler(
        [](int level, const char* format, va_list args, void* param) {
            char text[512];
            vsnprintf(text, sizeof text, format, args);
            auto* log = static_cast<Log*>(param);
            std::lock_guard lock(log->mutex);
            if (level == FK_LOG_ERROR)
                log->lines.push_back(text);
        },
        &log);
    QFile file(folder.filePath("a-file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString places[]
        = { folder.filePath("a-file"), folder.filePath("a-file/below"), "/proc/tavicast-records" };
    for (const QString& place : places) {
        SCOPED_TRACE(place.toStdString());
        studio.SetRecordDir(place);
        studio.StartRecording();
        EXPECT_FALSE(studio.isRecording());
        studio.StopRecording();
    }
    QThread::msleep(200); // the log is written on its own thread
    fk_log_set_handler(nullptr, nullptr);
    std::lock_guard lock(log.mutex);
    EXPECT_EQ(log.lines.size(), 3u);
    // The studio still records once the folder is sound.
    studio.SetRecordDir(folder.filePath("records"));
    EXPECT_FALSE(record(200).isEmpty());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    gst_init(&argc, &argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
