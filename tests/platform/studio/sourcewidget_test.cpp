// The source widget draws the newest picture of its bound third source, fitted, on black.
#include <studio/sourcewidget.h>
#include <studio/thirdsource.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QThread>

#include <gtest/gtest.h>

#include <vector>

namespace {

// One opaque picture of a single colour (Y, U, V) and the given size, pushed under `id`.
void push(const char* id, int width, int height, uint8_t y, uint8_t u, uint8_t v)
{
    std::vector<uint8_t> luma(width * height, y);
    const int chromaWidth = (width + 1) / 2;
    std::vector<uint8_t> cb(chromaWidth * ((height + 1) / 2), u), cr(cb.size(), v);
    ASSERT_TRUE(
        ThirdSource::SourceAsncFrame(id, luma.data(), cb.data(), cr.data(), width, chromaWidth, chromaWidth, width, height));
}

bool isBlack(QRgb pixel) { return qRed(pixel) < 8 && qGreen(pixel) < 8 && qBlue(pixel) < 8; }

TEST(SourceWidget, DrawsTheBoundSourceFittedOnBlack)
{
    const char* id = "sourcewidget-test-fed";
    ASSERT_TRUE(ThirdSource::RegisterThirdSource(id));
    push(id, 64, 32, 235, 128, 128); // white, twice as wide as high

    SourceWidget widget;
    widget.resize(100, 100);
    EXPECT_TRUE(isBlack(widget.grab().toImage().pixel(50, 50)));

    widget.InitializeSource(id);
    EXPECT_TRUE(widget.isSourceInitialized());
    EXPECT_EQ(widget.initializeCount(), 1);
    QImage image = widget.grab().toImage();
    EXPECT_GT(qGray(image.pixel(50, 50)), 240);
    // Fitted by width: bands of black above and below.
    EXPECT_TRUE(isBlack(image.pixel(50, 5)));
    EXPECT_TRUE(isBlack(image.pixel(50, 94)));

    // A newer picture replaces the one shown.
    push(id, 64, 32, 16, 128, 128);
    QDeadlineTimer deadline(3000);
    while (!isBlack(widget.grab().toImage().pixel(50, 50)) && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::msleep(5);
    }
    EXPECT_TRUE(isBlack(widget.grab().toImage().pixel(50, 50)));

    push(id, 64, 32, 235, 128, 128);
    widget.InitializeSource(id);
    widget.FinalizeSource();
    EXPECT_FALSE(widget.isSourceInitialized());
    EXPECT_TRUE(isBlack(widget.grab().toImage().pixel(50, 50)));
    ThirdSource::UnregisterThirdSource(id);
}

TEST(SourceWidget, UnknownIdStaysBlack)
{
    SourceWidget widget;
    widget.resize(40, 40);
    widget.InitializeSource("sourcewidget-test-nobody");
    EXPECT_TRUE(widget.isSourceInitialized());
    EXPECT_EQ(widget.sourceId(), QStringLiteral("sourcewidget-test-nobody"));
    EXPECT_TRUE(isBlack(widget.grab().toImage().pixel(20, 20)));
    widget.InitializeSource(nullptr);
    EXPECT_TRUE(widget.sourceId().isEmpty());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
