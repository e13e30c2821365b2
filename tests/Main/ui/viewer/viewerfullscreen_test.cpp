// The viewer's full-screen window and its tool overlay, driven as real widgets.
#include "ui/part/fullscreentoolform.h"
#include "ui/part/viewerfullscreenshowform.h"

#include "global/meetingtimings.h"
#include "media/openglwidget.h"
#include "media/painterwidget.h"
#include "global/openglpresence.h"
#include "win/qssmanager.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QFrame>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>

namespace {

QStringList g_debugLines;

void recordDebug(QtMsgType, const QMessageLogContext&, const QString& text) { g_debugLines.append(text); }

// A grey picture of the given size.
I420FramePtr greyFrame(uint32_t width, uint32_t height)
{
    I420FramePtr frame = I420Frame::create(width, width / 2, width / 2, width, height);
    std::memset(frame->dataY(), 128, size_t(frame->strideY()) * height);
    std::memset(frame->dataU(), 128, size_t(frame->strideU()) * frame->chromaRows());
    std::memset(frame->dataV(), 128, size_t(frame->strideV()) * frame->chromaRows());
    return frame;
}

void moveMouseOver(QWidget* widget)
{
    const QPoint at(widget->width() / 2, widget->height() / 2);
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

bool waitUntil(const std::function<bool()>& done, int deadlineMs = 5000)
{
    QDeadlineTimer deadline(deadlineMs);
    while (!done() && !deadline.hasExpired())
        QTest::qWait(10);
    return done();
}

class ViewerFullScreenTest : public testing::Test {
protected:
    void SetUp() override
    {
        setOpenGLPresence([] { return false; });
        QssManager::setDpiScaleOverride(1.0);
    }
    void TearDown() override
    {
        QssManager::setDpiScaleOverride(0);
        setOpenGLPresence({});
        meetingTimings() = MeetingTimings();
    }
};

TEST_F(ViewerFullScreenTest, WithoutOpenGLThePainterShowsTheFrames)
{
    g_debugLines.clear();
    QtMessageHandler previous = qInstallMessageHandler(recordDebug);
    ViewerFullScreenShowForm form;
    qInstallMessageHandler(previous);

    EXPECT_TRUE(g_debugLines.contains(QStringLiteral("[使用painter窗口]")));
    EXPECT_FALSE(g_debugLines.contains(QStringLiteral("[使用opengl窗口]")));
    EXPECT_EQ(form.windowFlags() & (Qt::Window | Qt::FramelessWindowHint), Qt::Window | Qt::FramelessWindowHint);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Tavicast"));
    ASSERT_NE(form.painterRenderer(), nullptr);
    EXPECT_EQ(form.openGLRenderer(), nullptr);
    EXPECT_EQ(form.renderer(), form.painterRenderer());
    ASSERT_NE(form.toolOverlay(), nullptr);
    EXPECT_EQ(form.toolOverlay()->parentWidget(), form.renderer());

    I420FramePtr frame = greyFrame(64, 36);
    form.showFrame(frame);
    // The form keeps no reference of its own: the painter converted the picture.
    EXPECT_EQ(frame.use_count(), 1);
    const QImage image = form.painterRenderer()->image();
    ASSERT_EQ(image.size(), QSize(64, 36));
    EXPECT_NEAR(qGray(image.pixel(32, 18)), 130, 8);

    // The overlay covers the renderer, which fills the window.
    form.resize(640, 360);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.renderer()->geometry(), form.rect());
    EXPECT_EQ(form.toolOverlay()->geometry(), form.renderer()->rect());
}

TEST_F(ViewerFullScreenTest, EveryEscapeKeyEventAsksToLeave)
{
    ViewerFullScreenShowForm form;
    auto* child = new QLineEdit(form.toolOverlay());
    QSignalSpy cancelled(&form, &ViewerFullScreenShowForm::cancelFullScreen);
    const struct {
        const char* what;
        QWidget* target;
        Qt::Key key;
        int emitted;
    } cases[] = {
        { "Esc on the form", &form, Qt::Key_Escape, 2 },
        { "Esc on a child with focus", child, Qt::Key_Escape, 2 },
        { "another key", &form, Qt::Key_Space, 0 },
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        cancelled.clear();
        QTest::keyPress(test.target, test.key);
        QTest::keyRelease(test.target, test.key);
        EXPECT_EQ(cancelled.count(), test.emitted);
    }
}

TEST_F(ViewerFullScreenTest, BarShowsOnMovementAndHidesAfterTheDelay)
{
    meetingTimings().fullScreenBarHideMs = 300;
    ViewerFullScreenShowForm form;
    form.resize(640, 360);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    FullScreenToolForm* overlay = form.toolOverlay();
    auto* bar = overlay->findChild<QFrame*>(QStringLiteral("frame_bottom_bg"));
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(overlay->hasMouseTracking());
    EXPECT_FALSE(bar->isVisible());

    moveMouseOver(overlay);
    EXPECT_TRUE(bar->isVisible());
    // Movements closer together than the delay keep it shown.
    for (int i = 0; i < 4; ++i) {
        QTest::qWait(150);
        moveMouseOver(overlay);
        EXPECT_TRUE(bar->isVisible());
    }
    EXPECT_TRUE(waitUntil([bar] { return !bar->isVisible(); }));

    // The button sits at the bottom right, 30 px from both edges, and leaves full screen.
    moveMouseOver(overlay);
    auto* button = overlay->findChild<QPushButton*>(QStringLiteral("pushButton_minimum"));
    ASSERT_NE(button, nullptr);
    QCoreApplication::processEvents();
    const QRect place(button->mapTo(overlay, QPoint(0, 0)), button->size());
    EXPECT_EQ(overlay->width() - place.right() - 1, 30);
    EXPECT_EQ(overlay->height() - place.bottom() - 1, 30);
    QSignalSpy cancelled(&form, &ViewerFullScreenShowForm::cancelFullScreen);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(cancelled.count(), 1);
}

} // namespace
