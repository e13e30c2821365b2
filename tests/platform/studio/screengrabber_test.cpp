// An installed screen grabber takes the X11 screen's place in the studio's desktop sources.
#include <studio/screengrabber.h>
#include <studio/zovmwidget.h>

#include "support/colourbars.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace {

TEST(StudioScreenGrabber, DesktopSourceShowsTheInstalledPicture)
{
    int argc = 1;
    char name[] = "screengrabber_test";
    char* argv[] = { name, nullptr };
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    std::atomic<int> grabs { 0 };
    studio::setScreenGrabber([&grabs](DesktopPicture& picture) {
        const QImage image = colourbars::draw(640, 360, uint32_t(grabs++));
        picture.width = image.width();
        picture.height = image.height();
        picture.stride = image.bytesPerLine();
        picture.bgra.resize(size_t(picture.stride) * size_t(picture.height));
        std::memcpy(picture.bgra.data(), image.constBits(), picture.bgra.size());
        return true;
    });
    {
        ZovMWidget studio;
        ASSERT_TRUE(studio.Initialize(dir.filePath(QStringLiteral("Basic.ini"))));
        studio.ResetVideoSize(640, 360);
        studio.InitializePreview();
        ASSERT_NE(studio.AddDesktopCapture(), nullptr);
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && (grabs < 3 || !colourbars::showsBars(studio.canvasImage())))
            QTest::qWait(20);
        EXPECT_GE(grabs.load(), 3);
        EXPECT_TRUE(colourbars::showsBars(studio.canvasImage()));
        studio.FinalizePreview();
    }
    studio::setScreenGrabber({});
}

} // namespace
