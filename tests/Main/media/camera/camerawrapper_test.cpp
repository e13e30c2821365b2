// The camera wrapper over the synthetic test-pattern camera: every format reaches the studio source as I420
// with the pattern's colours, the ready signal comes once with the first picture, a slow camera is repeated
// at every tick, deleting early is clean, and every mode the camera list offers opens.
#include "media/camerawrapper.h"

#include "support/scoped_env.h"
#include "support/testpattern_reader.h"

#include <capture/catalog.h>
#include <capture/syntheticcamera.h>
#include <capture/testpattern.h>
#include <studio/thirdsource.h>
#include <zovwebrtc/devices.h>

#include <gtest/gtest.h>

#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;
namespace tp = capture::testpattern;

// Runs the event loop until the condition holds; false after the deadline.
bool spinUntil(const std::function<bool()>& condition, std::chrono::seconds deadline = 30s)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class CameraWrapperTest : public testing::Test {
protected:
    void TearDown() override { capture::setCatalog({}); }

    std::shared_ptr<capture::SyntheticScript> useCamera(
        const std::wstring& name, std::vector<capture::SyntheticCapability> caps)
    {
        auto script = std::make_shared<capture::SyntheticScript>();
        capture::setCatalog([name, caps, script](const GUID& category) {
            std::vector<capture::DeviceEntry> entries;
            if (category == CLSID_VideoInputDeviceCategory)
                entries.push_back(capture::syntheticCameraEntry(name, caps, script));
            return entries;
        });
        return script;
    }
    static QString idOf(const std::wstring& name)
    {
        return QString::fromStdWString(name) + ':'
            + QString::fromStdWString(capture::syntheticCameraPath(name));
    }
};

struct Yuv {
    int y, u, v;
};

Yuv expectedYuv(tp::Rgb colour)
{
    uint8_t bgra[2 * 2 * 4];
    for (int i = 0; i < 4; ++i) {
        bgra[i * 4] = colour.b, bgra[i * 4 + 1] = colour.g, bgra[i * 4 + 2] = colour.r, bgra[i * 4 + 3] = 255;
    }
    uint8_t y[4], u, v;
    libyuv::ARGBToI420(bgra, 8, y, 2, &u, 1, &v, 1, 2, 2);
    return { y[0], u, v };
}

// The mean of a plane over a rectangle.
int meanOf(const std::vector<uint8_t>& plane, int stride, int x0, int y0, int x1, int y1)
{
    long long sum = 0, n = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x, ++n)
            sum += plane[static_cast<size_t>(y) * stride + x];
    }
    return n ? static_cast<int>(sum / n) : -1;
}

void expectPatternColours(const ThirdSourcePicture& picture, int tolerance)
{
    const int w = picture.width, h = picture.height;
    const int rows[2] = { tp::bandTop(h) / 2, (tp::bandBottom(h) + h) / 2 };
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        SCOPED_TRACE("quadrant " + std::to_string(quadrant));
        const int cx = quadrant % 2 ? w * 3 / 4 : w / 4;
        const int cy = rows[quadrant / 2];
        const int span = 16;
        const Yuv wanted = expectedYuv(tp::quadrantColour(quadrant));
        EXPECT_NEAR(meanOf(picture.y, picture.strideY(), cx - span, cy - span, cx + span, cy + span),
            wanted.y, tolerance);
        const int hx = cx / 2, hy = cy / 2, hs = span / 2;
        EXPECT_NEAR(
            meanOf(picture.u, picture.strideUV(), hx - hs, hy - hs, hx + hs, hy + hs), wanted.u, tolerance);
        EXPECT_NEAR(
            meanOf(picture.v, picture.strideUV(), hx - hs, hy - hs, hx + hs, hy + hs), wanted.v, tolerance);
    }
}

std::optional<uint32_t> frameNumberOf(const ThirdSourcePicture& picture)
{
    std::vector<uint8_t> bgra(static_cast<size_t>(picture.width) * picture.height * 4);
    libyuv::I420ToARGB(picture.y.data(), picture.strideY(), picture.u.data(), picture.strideUV(),
        picture.v.data(), picture.strideUV(), bgra.data(), picture.width * 4, picture.width, picture.height);
    return testpattern_reader::readBgrx(bgra.data(), picture.width * 4, picture.width, picture.height);
}

TEST_F(CameraWrapperTest, EveryFormatReachesTheStudioAsI420)
{
    const struct {
        const char* name;
        GUID subtype;
        int tolerance;
    } cases[] = {
        { "YUY2", MEDIASUBTYPE_YUY2, 3 },
        { "NV12", MEDIASUBTYPE_NV12, 3 },
        { "MJPEG", MEDIASUBTYPE_MJPG, 10 },
        { "H.264", MEDIASUBTYPE_H264, 10 },
        { "RGB24", MEDIASUBTYPE_RGB24, 3 },
        { "RGB32", MEDIASUBTYPE_RGB32, 3 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring name = L"Pattern " + std::wstring(c.name, c.name + strlen(c.name));
        useCamera(name, { { c.subtype, 1280, 720, capture::kInterval30Fps, capture::kInterval30Fps } });
        CameraWrapper wrapper;
        QSignalSpy ready(&wrapper, &CameraWrapper::SignalStreamReady);
        ASSERT_TRUE(wrapper.start(idOf(name), 1280, 720, 30));
        const QByteArray id = wrapper.sourceId().toUtf8();
        EXPECT_TRUE(ThirdSource::isRegistered(id.constData()));
        EXPECT_FALSE(QUuid::fromString(wrapper.sourceId()).isNull());
        EXPECT_TRUE(wrapper.sourceId().startsWith('{'));

        ASSERT_TRUE(spinUntil([&] { return ready.count() > 0; }));
        ASSERT_EQ(ready.count(), 1);
        EXPECT_EQ(ready.at(0).at(0).toString(), wrapper.sourceId());
        ASSERT_TRUE(spinUntil([&] { return ThirdSource::frameCount(id.constData()) >= 10; }));
        EXPECT_EQ(ready.count(), 1);

        const auto picture = ThirdSource::latestPicture(id.constData());
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->width, 1280);
        EXPECT_EQ(picture->height, 720);
        expectPatternColours(*picture, c.tolerance);
        EXPECT_TRUE(frameNumberOf(*picture).has_value());
    }
}

TEST_F(CameraWrapperTest, ASlowCameraIsPushedAtEveryTick)
{
    auto script = useCamera(L"Slow", { { MEDIASUBTYPE_YUY2, 640, 480, 666666, 666666 } });
    CameraWrapper wrapper;
    ASSERT_TRUE(wrapper.start(idOf(L"Slow"), 640, 480, 15));
    const QByteArray id = wrapper.sourceId().toUtf8();
    ASSERT_TRUE(spinUntil([&] { return ThirdSource::frameCount(id.constData()) >= 30; }));
    // Pushes outnumber the camera's pictures: the latest one is repeated while nothing new arrives.
    EXPECT_GT(ThirdSource::frameCount(id.constData()), static_cast<uint64_t>(script->delivered.load()) + 5);
}

TEST_F(CameraWrapperTest, DeletingBeforeTheDeviceOpenedIsClean)
{
    useCamera(L"Early", capture::defaultSyntheticCapabilities());
    QByteArray id;
    {
        CameraWrapper wrapper;
        QSignalSpy ready(&wrapper, &CameraWrapper::SignalStreamReady);
        ASSERT_TRUE(wrapper.start(idOf(L"Early"), 1280, 720, 30));
        id = wrapper.sourceId().toUtf8();
        EXPECT_TRUE(ThirdSource::isRegistered(id.constData()));
        EXPECT_EQ(ready.count(), 0);
    }
    EXPECT_FALSE(ThirdSource::isRegistered(id.constData()));
    EXPECT_EQ(ThirdSource::frameCount(id.constData()), 0u);
}

TEST_F(CameraWrapperTest, AnInputThatCannotBeMadeFailsStart)
{
    useCamera(L"Cam", capture::defaultSyntheticCapabilities());
    DShow::setInputCreationFault(3);
    CameraWrapper wrapper;
    const bool started = wrapper.start(idOf(L"Cam"), 640, 480, 30);
    DShow::setInputCreationFault(0);
    EXPECT_FALSE(started);
    EXPECT_TRUE(wrapper.sourceId().isEmpty());
}

TEST_F(CameraWrapperTest, OddSizesKeepTheirLastRowAndColumn)
{
    // A 5 x 3 BGRA picture: white but for a red last column and a blue last row.
    const int cx = 5, cy = 3;
    std::vector<uint8_t> bgra(cx * cy * 4, 255);
    for (int y = 0; y < cy; ++y) {
        for (int x = 0; x < cx; ++x) {
            uint8_t* p = &bgra[(y * cx + x) * 4];
            if (y == cy - 1)
                p[1] = p[2] = 0;
            else if (x == cx - 1)
                p[0] = p[1] = 0;
        }
    }
    // The wrapper pushes under the id start makes; the camera itself stays closed (no such mode).
    useCamera(L"Odd", capture::defaultSyntheticCapabilities());
    CameraWrapper wrapper;
    ASSERT_TRUE(wrapper.start(idOf(L"Odd"), 7, 7, 30));
    const QByteArray own = wrapper.sourceId().toUtf8();
    wrapper.onFrame(bgra.data(), cx * 4, cx, cy);
    const auto picture = ThirdSource::latestPicture(own.constData());
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->width, cx);
    ASSERT_EQ(picture->height, cy);
    ASSERT_EQ(picture->u.size(), 3u * 2u);
    const Yuv red = expectedYuv({ 255, 0, 0 }), blue = expectedYuv({ 0, 0, 255 });
    // The last chroma column holds the red column alone; the last chroma row the blue row alone.
    EXPECT_NEAR(picture->v[2], red.v, 3);
    EXPECT_NEAR(picture->u[3], blue.u, 3);
}

TEST_F(CameraWrapperTest, EveryModeTheWebrtcListingGivesOpens)
{
    capture::setCatalog({});
    ScopedEnv camera(capture::kSyntheticCameraVariable, std::string("Listed Cam"));
    std::string name, uniqueId;
    const unsigned count = zovwebrtc::list_device_num();
    for (unsigned i = 0; i < count && name != "Listed Cam"; ++i) {
        char nameText[256], idText[512];
        ASSERT_TRUE(zovwebrtc::get_device_name(i, nameText, sizeof nameText, idText, sizeof idText));
        name = nameText;
        uniqueId = idText;
    }
    ASSERT_EQ(name, "Listed Cam");
    std::vector<int> widths(zovwebrtc::kMaxDeviceCapabilities), heights(widths.size()), fps(widths.size());
    const int modes
        = zovwebrtc::list_device_capability(uniqueId.c_str(), widths.data(), heights.data(), fps.data());
    ASSERT_GT(modes, 0);

    const QString id = QString::fromStdString(name + ':' + uniqueId);
    for (int i = 0; i < modes; ++i) {
        SCOPED_TRACE(
            std::to_string(widths[i]) + "x" + std::to_string(heights[i]) + "@" + std::to_string(fps[i]));
        CameraWrapper wrapper;
        QSignalSpy ready(&wrapper, &CameraWrapper::SignalStreamReady);
        ASSERT_TRUE(wrapper.start(id, widths[i], heights[i], fps[i]));
        ASSERT_TRUE(spinUntil([&] { return ready.count() > 0; }));
        const auto picture = ThirdSource::latestPicture(wrapper.sourceId().toUtf8().constData());
        ASSERT_TRUE(picture);
        EXPECT_EQ(picture->width, widths[i]);
        EXPECT_EQ(picture->height, heights[i]);
    }
}

} // namespace
