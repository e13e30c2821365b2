// The control bar (both roles) and a mirror window showing a source, on a real X server, captured from the
// screen and kept as artefacts of the build (SCREENSHOT_DIR).
#include "controlbar_support.h"

#include "global/meetingkeys.h"
#include "ui/part/meetingmainctrlform.h"
#include "ui/part/mirrorwidget.h"

#include <studio/thirdsource.h>

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <vector>

namespace {

QImage capture(QWidget& window, const char* name)
{
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(200);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(window.winId());
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/") + QString::fromLatin1(name)));
    return shot.toImage();
}

// Share of pixels that are not (nearly) black.
double litShare(const QImage& image)
{
    int lit = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            lit += qGray(image.pixel(x, y)) > 24 ? 1 : 0;
    }
    return image.isNull() ? 0.0 : double(lit) / (image.width() * image.height());
}

TEST(ControlBarScreenshot, HostAndViewerBars)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    for (bool host : { true, false }) {
        setData(kDataMeetingIsHost, bg::Value(host));
        MeetingMainCtrlForm bar;
        bar.move(20, 20);
        bar.resize(776, 80);
        deliverNow(createMeeting(3));
        deliverNow(new V3StreamReadyEvent());
        bar.setLiveTime(QStringLiteral("00:12:34"));
        const QImage shot = capture(bar, host ? "controlbar_host.png" : "controlbar_viewer.png");
        EXPECT_EQ(shot.size(), bar.size() * bar.devicePixelRatioF());
        // The bar is mostly its dark background; the buttons must show on it.
        int bright = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x)
                bright += qGray(shot.pixel(x, y)) > 100 ? 1 : 0;
        }
        EXPECT_GT(bright, 300);
    }
}

TEST(ControlBarScreenshot, MirrorShowsItsSourceWithTheCloseButton)
{
    const char* id = "7d1c2f3e-mirror-shot";
    ASSERT_TRUE(ThirdSource::RegisterThirdSource(id));
    const int width = 320;
    const int height = 180;
    std::vector<uint8_t> luma(width * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            luma[y * width + x] = uint8_t(60 + (x * 160) / width);
    }
    std::vector<uint8_t> cb(width * height / 4, 90);
    std::vector<uint8_t> cr(width * height / 4, 170);
    ASSERT_TRUE(ThirdSource::SourceAsncFrame(
        id, luma.data(), cb.data(), cr.data(), width, width / 2, width / 2, width, height));

    MirrorWidget mirror;
    mirror.setWindowTitle(QStringLiteral("Tavicast"));
    mirror.setMinimumSize(mirrorMinimumSize(width, height));
    mirror.finalizeSource();
    mirror.initializeSource(id);
    mirror.setGeometry(60, 60, width, height);
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(&mirror, &enter);
    const QImage shot = capture(mirror, "mirrorwidget.png");
    EXPECT_GT(litShare(shot), 0.9);
    EXPECT_FALSE(mirror.findChild<QPushButton*>("pushButton_mirror_close")->isHidden());
    ThirdSource::UnregisterThirdSource(id);
}

} // namespace
