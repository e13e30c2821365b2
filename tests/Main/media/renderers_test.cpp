// Both renderers draw the same frames on a real X server: one colour matrix, the same rotation, black
// before the first frame, every chroma row, any stride, and frames arriving from another thread.
#include "media/i420frame.h"
#include "media/openglwidget.h"
#include "media/painterwidget.h"
#include "media/rendergeometry.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

namespace {

struct Yuv {
    uint8_t y, u, v;
};

// Red, green, blue and yellow, in limited-range BT.601.
constexpr Yuv kQuadrants[2][2] = {
    { { 81, 90, 240 }, { 145, 54, 34 } }, // top: left, right
    { { 41, 240, 110 }, { 210, 16, 146 } }, // bottom: left, right
};

// What BT.601 limited range makes of a colour, computed here in floating point.
QColor bt601(Yuv c)
{
    const double y = 1.164384 * (c.y - 16), u = c.u - 128.0, v = c.v - 128.0;
    auto clamp = [](double x) { return int(std::lround(std::clamp(x, 0.0, 255.0))); };
    return QColor(clamp(y + 1.596027 * v), clamp(y - 0.391762 * u - 0.812968 * v), clamp(y + 2.017232 * u));
}

bool near(QColor a, QColor b, int tolerance = 3)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

std::string text(QColor c)
{
    return "(" + std::to_string(c.red()) + ", " + std::to_string(c.green()) + ", " + std::to_string(c.blue())
        + ")";
}

void fillRect(I420Frame& f, int x0, int y0, int w, int h, Yuv c)
{
    for (int y = y0; y < y0 + h; ++y)
        std::memset(f.dataY() + y * f.strideY() + x0, c.y, size_t(w));
    for (int y = y0 / 2; y < (y0 + h + 1) / 2; ++y) {
        std::memset(f.dataU() + y * f.strideU() + x0 / 2, c.u, size_t(w + 1) / 2);
        std::memset(f.dataV() + y * f.strideV() + x0 / 2, c.v, size_t(w + 1) / 2);
    }
}

// A width x height picture of four coloured quadrants. The rows carry padding whose glaring value would
// show at the right edge if a renderer drew it, and the strides are no multiples of 4.
I420FramePtr quadrantFrame(int width, int height, int rotation)
{
    const auto strideY = uint32_t(width + 2), strideUV = uint32_t(width / 2 + 3);
    I420FramePtr frame = I420Frame::create(strideY, strideUV, strideUV, uint32_t(width), uint32_t(height));
    std::memset(frame->data, 255, frame->dataA() - frame->data);
    for (int qy = 0; qy < 2; ++qy)
        for (int qx = 0; qx < 2; ++qx)
            fillRect(*frame, qx * width / 2, qy * height / 2, width / 2, height / 2, kQuadrants[qy][qx]);
    frame->rotation = rotation;
    return frame;
}

I420FramePtr plainFrame(int width, int height, Yuv c)
{
    I420FramePtr frame = I420Frame::create(
        uint32_t(width), uint32_t(width / 2), uint32_t(width / 2), uint32_t(width), uint32_t(height));
    fillRect(*frame, 0, 0, width, height, c);
    return frame;
}

// The colour at a point of a picture drawn into `rect`, given as fractions of its size.
QColor at(const QImage& image, QRectF rect, double fx, double fy)
{
    return image.pixelColor(int(rect.x() + rect.width() * fx), int(rect.y() + rect.height() * fy));
}

bool allBlack(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xffffff) != 0)
                return false;
    return true;
}

class RenderersTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
        m_gl.setWindowTitle(QStringLiteral("OpenGLWidget"));
        m_painter.setWindowTitle(QStringLiteral("PainterWidget"));
        show(m_gl, 40);
        show(m_painter, 400);
    }

    void show(QWidget& widget, int x)
    {
        widget.resize(300, 200);
        widget.move(x, 40);
        widget.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    }

    void setFrame(const I420FramePtr& frame)
    {
        m_gl.setFrame(frame);
        m_painter.setFrame(frame);
    }

    QImage grabGl() { return m_gl.grabFramebuffer().convertToFormat(QImage::Format_RGB32); }
    QImage grabPainter() { return m_painter.grab().toImage().convertToFormat(QImage::Format_RGB32); }

    OpenGLWidget m_gl;
    PainterWidget m_painter;
};

} // namespace

TEST_F(RenderersTest, BlackBeforeTheFirstFrame)
{
    const QImage gl = grabGl();
    const QImage painter = grabPainter();
    ASSERT_EQ(gl.size(), QSize(300, 200));
    ASSERT_EQ(painter.size(), QSize(300, 200));
    EXPECT_TRUE(allBlack(gl));
    EXPECT_TRUE(allBlack(painter));

    // An empty frame is no frame either.
    setFrame(nullptr);
    EXPECT_TRUE(allBlack(grabGl()));
    EXPECT_TRUE(allBlack(grabPainter()));
}

TEST_F(RenderersTest, BothTurnClockwiseAndShowTheSameColours)
{
    constexpr int kWidth = 96, kHeight = 64;
    for (int rotation : { 0, 90, 180, 270 }) {
        SCOPED_TRACE(testing::Message() << "rotation " << rotation);
        setFrame(quadrantFrame(kWidth, kHeight, rotation));
        const QImage gl = grabGl();
        const QImage painter = grabPainter();
        gl.save(QStringLiteral(SCREENSHOT_DIR "/openglwidget_%1.png").arg(rotation));
        painter.save(QStringLiteral(SCREENSHOT_DIR "/painterwidget_%1.png").arg(rotation));

        const QSizeF glSize = fittedPictureSize(QSizeF(kWidth, kHeight), rotation, QSizeF(300, 200));
        const QRectF glRect(QPointF((300 - glSize.width()) / 2, (200 - glSize.height()) / 2), glSize);
        const QRectF painterRect
            = painterTargetRect(painterPictureSize(kWidth, kHeight, rotation), QSize(300, 200));
        EXPECT_NEAR(glRect.width(), painterRect.width(), 1.0);
        EXPECT_NEAR(glRect.height(), painterRect.height(), 1.0);

        for (int dy = 0; dy < 2; ++dy) {
            for (int dx = 0; dx < 2; ++dx) {
                // The source quadrant that a clockwise turn brings to the shown quadrant (dx, dy).
                int sx = dx, sy = dy;
                if (rotation == 90)
                    sx = dy, sy = 1 - dx;
                else if (rotation == 180)
                    sx = 1 - dx, sy = 1 - dy;
                else if (rotation == 270)
                    sx = 1 - dy, sy = dx;
                const QColor expected = bt601(kQuadrants[sy][sx]);
                const QColor fromGl = at(gl, glRect, 0.25 + 0.5 * dx, 0.25 + 0.5 * dy);
                const QColor fromPainter = at(painter, painterRect, 0.25 + 0.5 * dx, 0.25 + 0.5 * dy);
                SCOPED_TRACE(testing::Message()
                    << "shown quadrant " << dx << "," << dy << " expected " << text(expected) << " OpenGL "
                    << text(fromGl) << " painter " << text(fromPainter));
                EXPECT_TRUE(near(fromGl, expected));
                EXPECT_TRUE(near(fromPainter, expected));
                EXPECT_TRUE(near(fromGl, fromPainter));
            }
        }
        // Inside the picture's edges the padding never shows.
        for (double f : { 0.03, 0.97 }) {
            EXPECT_TRUE(near(at(gl, glRect, 0.97, f), at(gl, glRect, 0.75, f), 6))
                << f << text(at(gl, glRect, 0.97, f)) << text(at(gl, glRect, 0.75, f));
            EXPECT_TRUE(near(at(gl, glRect, f, 0.97), at(gl, glRect, f, 0.75), 6))
                << f << text(at(gl, glRect, f, 0.97)) << text(at(gl, glRect, f, 0.75));
        }
        // Around the picture: black.
        if (glRect.x() >= 2) {
            EXPECT_EQ(gl.pixel(0, 100) & 0xffffff, 0u);
        }
        if (painterRect.x() >= 2) {
            EXPECT_EQ(painter.pixel(0, 100) & 0xffffff, 0u);
        }
    }
}

TEST_F(RenderersTest, AnOddHeightKeepsItsLastChromaRow)
{
    // 64 x 33: grey, except the last chroma row (it covers the last picture row alone), which is red.
    I420FramePtr frame = plainFrame(64, 33, { 128, 128, 128 });
    std::memset(frame->dataU() + 16 * frame->strideU(), 90, 32);
    std::memset(frame->dataV() + 16 * frame->strideV(), 240, 32);
    for (QWidget* widget : { static_cast<QWidget*>(&m_gl), static_cast<QWidget*>(&m_painter) })
        widget->resize(64, 33);
    setFrame(frame);
    QCoreApplication::processEvents();
    const QImage gl = grabGl();
    const QImage painter = grabPainter();
    ASSERT_EQ(gl.size(), QSize(64, 33));
    const QColor red = bt601({ 128, 90, 240 });
    const QColor grey = bt601({ 128, 128, 128 });
    for (int x : { 2, 32, 61 }) {
        SCOPED_TRACE(x);
        EXPECT_TRUE(near(gl.pixelColor(x, 32), red, 6)) << text(gl.pixelColor(x, 32));
        EXPECT_TRUE(near(painter.pixelColor(x, 32), red, 6)) << text(painter.pixelColor(x, 32));
        EXPECT_TRUE(near(gl.pixelColor(x, 10), grey)) << text(gl.pixelColor(x, 10));
    }
}

TEST_F(RenderersTest, FramesFromAWorkerThreadWhilePainting)
{
    const Yuv red { 81, 90, 240 }, blue { 41, 240, 110 };
    std::atomic<bool> stop { false };
    std::atomic<int> delivered { 0 };
    std::thread worker([&] {
        for (int i = 0; !stop; ++i) {
            // Fresh frames each time, so that references are dropped on this thread too.
            I420FramePtr frame = plainFrame(160, 90, i % 2 ? blue : red);
            m_gl.setFrame(frame);
            m_painter.setFrame(std::move(frame));
            ++delivered;
        }
    });
    const QDeadlineTimer deadline(10000);
    while (delivered == 0 && !deadline.hasExpired())
        std::this_thread::yield();
    ASSERT_GT(delivered, 0);
    int mixed = 0;
    for (int i = 0; i < 40; ++i) {
        for (const QImage& image : { grabGl(), grabPainter() }) {
            // A picture made of two frames would differ between its corners.
            const QColor a = image.pixelColor(20, 30), b = image.pixelColor(280, 170);
            if (!near(a, b) || !(near(a, bt601(red)) || near(a, bt601(blue))))
                ++mixed;
        }
        QCoreApplication::processEvents();
    }
    stop = true;
    worker.join();
    EXPECT_EQ(mixed, 0);
    EXPECT_GT(delivered, 0);
}
