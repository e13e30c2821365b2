// The recording-area item: its checks of the confirmed rectangle, its reports and its frame.
#include "fake_desktop.h"
#include "ui/Dialog/areaitem.h"
#include "ui/Dialog/selector.h"
#include "ui/Dialog/selectwidget.h"

#include <QDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimerEvent>

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingListener : public AreaListener {
public:
    void onAreaSelected(const QRect& rect) override { rects.push_back(rect); }
    std::vector<QRect> rects;
};

class AreaItemTest : public testing::Test {
protected:
    AreaItemTest()
    {
        AreaItem::setModalRunner([this](QDialog& dialog) {
            auto* box = qobject_cast<QMessageBox*>(&dialog);
            if (box) {
                messages << box->text();
                titles << box->windowTitle();
                buttons << box->buttons().size();
                if (!box->buttons().isEmpty())
                    buttonTexts << box->buttons().first()->text();
            }
            return 0;
        });
        item.setListener(&listener);
    }
    ~AreaItemTest() override { AreaItem::setModalRunner({}); }

    // Runs one choice that the user confirms with `area` (physical desktop pixels).
    void choose(const QRect& area)
    {
        item.setStartArea(area);
        item.slot_delay_shot();
        ASSERT_NE(item.selector(), nullptr);
        item.selector()->slot_ok();
    }

    FakeDesktop desktop;
    RecordingListener listener;
    AreaItem item;
    QStringList messages;
    QStringList titles;
    QStringList buttonTexts;
    QList<int> buttons;
};

TEST_F(AreaItemTest, AcceptedAreaHasEvenSizes)
{
    QSignalSpy finish(&item, &AreaItem::finish);
    choose(QRect(-1800, 100, 101, 65));
    ASSERT_EQ(finish.count(), 1);
    const QRect accepted(-1800, 100, 100, 64);
    EXPECT_EQ(finish.at(0).at(0).toRect(), accepted);
    EXPECT_EQ(listener.rects, std::vector<QRect> { accepted });
    EXPECT_TRUE(messages.isEmpty());
    ASSERT_NE(item.frame(), nullptr);
    EXPECT_TRUE(item.frame()->isVisible());
}

TEST_F(AreaItemTest, TooSmallAreaIsRefusedWithAMessage)
{
    QSignalSpy finish(&item, &AreaItem::finish);
    choose(QRect(-1800, 100, 64, 63));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0],
        QStringLiteral("录制区域宽或高不能小于 64 个像素\n当前选区为: [64x62]\n请重新选择录制区域!"));
    EXPECT_EQ(titles[0], QStringLiteral("提示"));
    EXPECT_EQ(buttons[0], 1);
    EXPECT_EQ(buttonTexts[0], QStringLiteral("确定"));
    ASSERT_EQ(finish.count(), 1);
    EXPECT_TRUE(finish.at(0).at(0).toRect().isNull());
    ASSERT_EQ(listener.rects.size(), 1u);
    EXPECT_TRUE(listener.rects[0].isNull());
    EXPECT_EQ(item.frame(), nullptr);

    // An earlier frame stays when a later choice is refused.
    choose(QRect(-1800, 100, 200, 100));
    QPointer<SelectWidget> frame = item.frame();
    choose(QRect(-1800, 100, 30, 300));
    EXPECT_FALSE(frame.isNull());
    EXPECT_EQ(item.frame(), frame.data());
}

TEST_F(AreaItemTest, EscReportsTheNullRectangleOnceEachWay)
{
    QSignalSpy finish(&item, &AreaItem::finish);
    item.slot_delay_shot();
    QPointer<Selector> first = item.selector();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    QTest::keyClick(first, Qt::Key_Escape);
    ASSERT_EQ(finish.count(), 1);
    EXPECT_TRUE(finish.at(0).at(0).toRect().isNull());
    ASSERT_EQ(listener.rects.size(), 1u);
    EXPECT_TRUE(listener.rects[0].isNull());
    EXPECT_FALSE(first->isVisible());

    // The next choice replaces the overlay; the old one no longer reports.
    item.slot_delay_shot();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(finish.count(), 1);
}

TEST_F(AreaItemTest, SecondAreaReplacesTheFirstFrame)
{
    choose(QRect(-1800, 100, 200, 100));
    QPointer<SelectWidget> first = item.frame();
    ASSERT_TRUE(first);
    choose(QRect(-1700, 200, 300, 200));
    EXPECT_TRUE(first.isNull());
    ASSERT_NE(item.frame(), nullptr);
    EXPECT_EQ(listener.rects.size(), 2u);
}

TEST_F(AreaItemTest, FrameSurroundsTheAreaAndLetsInputThrough)
{
    const qreal q = qApp->devicePixelRatio();
    for (const int interval : { 0, 500 }) {
        SCOPED_TRACE(interval);
        item.setFrameInterval(interval);
        choose(QRect(-1800, 100, 400, 300));
        SelectWidget* frame = item.frame();
        ASSERT_NE(frame, nullptr);
        const QRectF area(-1800 / q, 100 / q, 400 / q, 300 / q);
        EXPECT_EQ(frame->geometry(), area.adjusted(-5, -5, 5, 5).toRect());
        EXPECT_EQ(frame->refreshTimerId() != 0, interval > 0);
        const Qt::WindowFlags flags = frame->windowFlags();
        EXPECT_TRUE(flags.testFlag(Qt::WindowTransparentForInput));
        EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
        EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(frame->testAttribute(Qt::WA_TranslucentBackground));
        // No compositing manager here: the window is cut down to its ring and corner bars.
        const QRegion mask = frame->mask();
        EXPECT_TRUE(mask.contains(QPoint(1, 1)));
        EXPECT_TRUE(mask.contains(QPoint(frame->width() - 2, frame->height() - 2)));
        EXPECT_FALSE(mask.contains(QPoint(frame->width() / 2, frame->height() / 2)));
    }
}

TEST(SelectWidget, CornerBarsAreFlushWithTheCorners)
{
    const auto bars = SelectWidget::cornerBars(QSize(200, 100));
    const QRectF expected[]
        = { QRectF(0, 0, 32, 4), QRectF(0, 0, 4, 32), QRectF(168, 0, 32, 4), QRectF(196, 0, 4, 32),
              QRectF(168, 96, 32, 4), QRectF(196, 68, 4, 32), QRectF(0, 96, 32, 4), QRectF(0, 68, 4, 32) };
    for (size_t i = 0; i < bars.size(); ++i)
        EXPECT_EQ(bars[i], expected[i]) << i;
}

class TimerCounter : public QObject {
public:
    TimerCounter(int id, int& ticks)
        : m_id(id)
        , m_ticks(ticks)
    {
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Timer && static_cast<QTimerEvent*>(event)->timerId() == m_id)
            ++m_ticks;
        return false;
    }

private:
    int m_id;
    int& m_ticks;
};

TEST(SelectWidget, RefreshTimerIsReplacedAndKilled)
{
    SelectWidget frame;
    frame.setRect(QRectF(0, 0, 200, 100), 500);
    const int first = frame.refreshTimerId();
    EXPECT_NE(first, 0);
    frame.setRect(QRectF(0, 0, 200, 100), 0);
    EXPECT_EQ(frame.refreshTimerId(), 0);
    frame.setRect(QRectF(0, 0, 200, 100), 20);
    EXPECT_NE(frame.refreshTimerId(), 0);
    frame.show();

    // The refresh raises the frame and leaves it shown.
    int ticks = 0;
    TimerCounter counter(frame.refreshTimerId(), ticks);
    frame.installEventFilter(&counter);
    QSignalSpy never(&frame, &SelectWidget::sg_rect);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 5000));
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(never.count(), 0);
}

} // namespace
