// The shared test pattern: drawn and read back at several sizes, after scaling and after lossy JPEG coding,
// and as a desktop window.
#include "support/testpattern_reader.h"
#include "support/testpattern_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>

namespace {

std::optional<uint32_t> readImage(const QImage& image)
{
    const QImage pixels = image.convertToFormat(QImage::Format_RGB32);
    return testpattern_reader::readBgrx(
        pixels.constBits(), pixels.bytesPerLine(), pixels.width(), pixels.height());
}

TEST(TestPatternTest, ReadsBackEveryNumberAtEverySize)
{
    const QSize sizes[] = { { 160, 120 }, { 640, 480 }, { 1280, 720 }, { 642, 362 } };
    for (const QSize& size : sizes) {
        for (uint32_t number : { 0u, 1u, 0x8000u, 0xA5A5u, 0xFFFFu }) {
            SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " #" << number);
            EXPECT_EQ(readImage(TestPatternWindow::picture(size.width(), size.height(), number)), number);
        }
    }
}

TEST(TestPatternTest, SurvivesScalingAndLossyCoding)
{
    const QImage picture = TestPatternWindow::picture(1280, 720, 12345);
    EXPECT_EQ(readImage(picture.scaled(320, 240, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)), 12345u);

    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(picture.scaled(640, 360).save(&buffer, "JPG", 20));
    QImage decoded;
    ASSERT_TRUE(decoded.loadFromData(jpeg, "JPG"));
    EXPECT_EQ(readImage(decoded), 12345u);
}

TEST(TestPatternTest, RefusesOtherPictures)
{
    QImage grey(640, 480, QImage::Format_RGB32);
    grey.fill(QColor(128, 128, 128));
    EXPECT_FALSE(readImage(grey).has_value());

    // The right quadrants with a smeared band are not a number.
    QImage smeared = TestPatternWindow::picture(640, 480, 7);
    QPainter painter(&smeared);
    painter.fillRect(0, capture::testpattern::bandTop(480), 640,
        capture::testpattern::bandBottom(480) - capture::testpattern::bandTop(480), QColor(128, 128, 128));
    painter.end();
    EXPECT_FALSE(readImage(smeared).has_value());
}

TEST(TestPatternTest, WindowShowsThePattern)
{
    int argc = 1;
    char name[] = "test_capture_platform";
    char* argv[] = { name, nullptr };
    QApplication app(argc, argv);

    TestPatternWindow window;
    window.setNumber(4242);
    window.resize(640, 480);
    window.show();
    const QImage shot = window.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(640, 480));
    EXPECT_EQ(readImage(shot), 4242u);
    EXPECT_TRUE(shot.save(QDir::current().absoluteFilePath(QStringLiteral("testpattern_window.png"))));
}

} // namespace
