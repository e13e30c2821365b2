// The studio's desktop sources on a real X server (Xvfb): a test-pattern window on the screen is found in
// the composed canvas, for the whole screen and for an area of it; without a display the desktop is black.
#include <studio/zovmwidget.h>

#include <framekit/framekit.h>

#include "support/scoped_env.h"
#include "support/testpattern_reader.h"
#include "support/testpattern_window.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

template <typename Predicate> bool waitUntil(Predicate done, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return true;
}

std::optional<uint32_t> patternIn(const QImage& image)
{
    if (image.isNull())
        return std::nullopt;
    const QImage bgrx = image.convertToFormat(QImage::Format_RGB32);
    return testpattern_reader::readBgrx(bgrx.constBits(), int(bgrx.bytesPerLine()), bgrx.width(), bgrx.height());
}

class StudioDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        qputenv("XDG_CONFIG_HOME", folder.path().toUtf8());
        studio.Initialize(folder.filePath("Basic.ini"));
    }

    void showPattern(const QRect& geometry, uint32_t number)
    {
        pattern.setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        pattern.setNumber(number);
        pattern.setGeometry(geometry);
        pattern.show();
        ASSERT_TRUE(waitUntil([&] { return pattern.isVisible() && pattern.geometry() == geometry; }));
    }

    QTemporaryDir folder;
    TestPatternWindow pattern;
    ZovMWidget studio;
};

TEST_F(StudioDesktop, WholeScreenIsFoundInTheCanvas)
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    showPattern(QRect(QPoint(0, 0), screen), 4321);
    studio.ResetVideoSize(screen.width() / 2, screen.height() / 2);
    studio.ResetOutputs();
    void* desktop = studio.AddDesktopCapture();
    ASSERT_NE(desktop, nullptr);
    studio.InitializePreview();
    EXPECT_TRUE(waitUntil([&] { return patternIn(studio.canvasImage()) == 4321u; }))
        << "the canvas never showed the pattern";

    // Live: the next picture on the screen reaches the canvas.
    pattern.setNumber(4322);
    EXPECT_TRUE(waitUntil([&] { return patternIn(studio.canvasImage()) == 4322u; }));

    // The preview on screen, for a look.
    studio.resize(640, 400);
    studio.setWindowTitle("Studio preview");
    studio.move(screen.width() - 660, 20);
    studio.show();
    studio.raise();
    ASSERT_TRUE(waitUntil([&] { return studio.isVisible(); }));
    QCoreApplication::processEvents();
    QThread::msleep(500);
    QCoreApplication::processEvents();
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(studio.winId());
    EXPECT_TRUE(shot.save(QStringLiteral(SCREENSHOT_DIR "/studio_preview.png")));
}

TEST_F(StudioDesktop, AreaOfTheScreenIsCutAndFitted)
{
    const QSize screen = QGuiApplication::primaryScreen()->size();
    // The rest of the screen: a pattern of another number, which must not show.
    TestPatternWindow background;
    background.setWindowFlags(Qt::FramelessWindowHint);
    background.setNumber(77);
    background.setGeometry(QRect(QPoint(0, 0), screen));
    background.show();
    const QRect area(300, 200, 480, 270);
    showPattern(area, 1234);
    studio.ResetVideoSize(640, 360);
    studio.ResetOutputs();
    ASSERT_NE(studio.AddPartDesktopCapture(area.x(), area.y(), area.width(), area.height()), nullptr);
    studio.InitializePreview();
    EXPECT_TRUE(waitUntil([&] { return patternIn(studio.canvasImage()) == 1234u; }))
        << "the canvas never showed the area";
    ASSERT_EQ(studio.sources().size(), 1u);
    EXPECT_EQ(studio.sources().front().screenArea, area);
    EXPECT_EQ(studio.sources().front().canvasRect, QRect(0, 0, 640, 360));
}

// Without an X display the desktop is black and the studio says so once.
TEST_F(StudioDesktop, NoDisplayIsBlackWithOneLogLine)
{
    struct Log {
        std::mutex mutex;
        std::vector<std::string> lines;
    } log;
    fk_log_set_handler(
        [](int, const char* format, va_list args, void* param) {
            char text[512];
            vsnprintf(text, sizeof text, format, args);
            auto* log = static_cast<Log*>(param);
            std::lock_guard lock(log->mutex);
            if (std::strstr(text, "desktop"))
                log->lines.push_back(text);
        },
        &log);
    {
        ScopedEnv noDisplay("DISPLAY", std::nullopt);
        studio.ResetVideoSize(320, 180);
        studio.ResetOutputs();
        studio.AddDesktopCapture();
        studio.InitializePreview();
        ASSERT_TRUE(waitUntil([&] { return studio.composedFrameCount() >= 10; }));
        const QImage canvas = studio.canvasImage();
        ASSERT_FALSE(canvas.isNull());
        EXPECT_LT(qGray(canvas.pixel(160, 90)), 8);
        studio.FinalizePreview();
    }
    QThread::msleep(200); // the log is written on its own thread
    fk_log_set_handler(nullptr, nullptr);
    std::lock_guard lock(log.mutex);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines.front().find("no X display"), std::string::npos);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
