// The selector overlay and its tool bar, driven through real widgets over a fake desktop picture.
#include "fake_desktop.h"
#include "ui/Dialog/rectselectmenu.h"
#include "ui/Dialog/selector.h"
#include "win/qssmanager.h"

#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

template <typename T> T* child(QObject* parent, const char* name)
{
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

void sendMouse(QWidget* widget, QEvent::Type type, const QPointF& pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, widget->mapToGlobal(pos.toPoint()), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void drag(QWidget* widget, const QPointF& from, const QPointF& to)
{
    sendMouse(widget, QEvent::MouseMove, from, Qt::NoButton); // the hover picks the direction
    sendMouse(widget, QEvent::MouseButtonPress, from, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseMove, to, Qt::LeftButton);
    sendMouse(widget, QEvent::MouseButtonRelease, to, Qt::NoButton);
}

class SelectorTest : public testing::Test {
protected:
    // `area` in physical desktop pixels; at ratio 1 the overlay's origin is the desktop's x of -1920.
    void startAt(const QRect& area)
    {
        selector.start(QRectF(area));
        selector.showSelector();
    }

    FakeDesktop desktop;
    Selector selector;
};

TEST_F(SelectorTest, OverlayCoversTheDesktopPicture)
{
    startAt(QRect(FakeDesktop::kX + 100, 100, 400, 300));
    ASSERT_EQ(selector.ratio(), 1.0);
    EXPECT_EQ(selector.overlaySize(), QSize(1600, 900));
    EXPECT_EQ(selector.geometry(), QRect(FakeDesktop::kX, 0, 1600, 900));
    EXPECT_EQ(selector.selection(), QRectF(100, 100, 400, 300));
    EXPECT_TRUE(selector.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(selector.windowFlags().testFlag(Qt::FramelessWindowHint));
}

TEST_F(SelectorTest, HoverSetsTheCursor)
{
    startAt(QRect(FakeDesktop::kX + 100, 100, 400, 300)); // overlay (100, 100)-(500, 400)
    const struct {
        QPointF point;
        Qt::CursorShape cursor;
    } cases[] = {
        { { 97, 250 }, Qt::SizeHorCursor },
        { { 94, 250 }, Qt::ArrowCursor },
        { { 100, 100 }, Qt::SizeFDiagCursor },
        { { 500, 100 }, Qt::SizeBDiagCursor },
        { { 500, 400 }, Qt::SizeFDiagCursor },
        { { 100, 400 }, Qt::SizeBDiagCursor },
        { { 300, 250 }, Qt::OpenHandCursor },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.point.x() << "," << c.point.y());
        sendMouse(&selector, QEvent::MouseMove, c.point, Qt::NoButton);
        EXPECT_EQ(selector.cursor().shape(), c.cursor);
    }
}

TEST_F(SelectorTest, DraggingKeepsTheSelectionInside)
{
    startAt(QRect(FakeDesktop::kX + 1200, 600, 300, 200)); // overlay (1200, 600)-(1500, 800)
    drag(&selector, QPointF(1500, 800), QPointF(1900, 1200));
    const QRectF pastTheEdge = selector.selection();
    EXPECT_TRUE(QRectF(0, 0, 1600, 900).contains(pastTheEdge));
    EXPECT_GE(pastTheEdge.width(), 100);
    EXPECT_GE(pastTheEdge.height(), 80);
    EXPECT_EQ(pastTheEdge.bottomRight(), QPointF(1600, 900));

    // Drawn down to 50 x 50 wholly inside, it keeps that size: the minimum is only for what leaves.
    startAt(QRect(FakeDesktop::kX + 100, 100, 200, 200));
    drag(&selector, QPointF(100, 100), QPointF(250, 250));
    EXPECT_EQ(selector.selection(), QRectF(250, 250, 50, 50));

    // Moving by the inside.
    drag(&selector, QPointF(275, 275), QPointF(285, 265));
    EXPECT_EQ(selector.selection(), QRectF(260, 240, 50, 50));

    // Dragging a corner of a small one beyond the edge grows it to the minimum.
    startAt(QRect(FakeDesktop::kX + 1540, 840, 50, 50));
    drag(&selector, QPointF(1590, 890), QPointF(1610, 910));
    EXPECT_EQ(selector.selection(), QRectF(1500, 820, 100, 80));
}

TEST_F(SelectorTest, SizeFromTheToolBarMovesBackInsideWithoutMinimum)
{
    startAt(QRect(FakeDesktop::kX + 1500, 800, 50, 50));
    selector.slot_size(300, 200);
    EXPECT_EQ(selector.selection(), QRectF(1300, 700, 300, 200));
    selector.slot_size(20, 10);
    EXPECT_EQ(selector.selection(), QRectF(1300, 700, 20, 10));

    auto* width = child<QSpinBox>(selector.menu(), "spinBox_width");
    auto* height = child<QSpinBox>(selector.menu(), "spinBox_height");
    EXPECT_EQ(width->value(), 20);
    EXPECT_EQ(height->value(), 10);

    // An empty selection shows nothing undimmed, least of all the whole picture at its corner.
    selector.slot_size(0, 0);
    const QImage painted = selector.grab().toImage();
    const QImage shot = ScreenGrabber::grabVirtualDesktop().toImage();
    EXPECT_NE(painted.pixel(1400, 800), shot.pixel(100, 100));
    EXPECT_NE(painted.pixel(1400, 800), shot.pixel(1400, 800));
}

TEST_F(SelectorTest, MenuRidesAlongTheSelection)
{
    RectSelectMenu* menu = selector.menu();
    const int h = menu->height();
    startAt(QRect(FakeDesktop::kX + 100, 100, 600, 300));
    EXPECT_EQ(menu->pos(), QPoint(700 - menu->width() - 4, 404));
    startAt(QRect(FakeDesktop::kX + 100, 100, 600, 790));
    EXPECT_EQ(menu->pos(), QPoint(700 - menu->width() - 4, 890 - h - 4));
    EXPECT_EQ(child<QSpinBox>(menu, "spinBox_width")->value(), 600);
    EXPECT_EQ(child<QSpinBox>(menu, "spinBox_height")->value(), 790);
}

TEST_F(SelectorTest, OkReportsPhysicalDesktopPixels)
{
    startAt(QRect(FakeDesktop::kX, 20, 640, 480));
    QSignalSpy ok(&selector, &Selector::sg_ok);
    QSignalSpy save(&selector, &Selector::sg_save);
    selector.slot_ok();
    ASSERT_EQ(ok.count(), 1);
    EXPECT_EQ(ok.at(0).at(0).toRect(), QRect(-1920, 20, 640, 480));
    EXPECT_FALSE(selector.isVisible());
    EXPECT_EQ(save.count(), 0);
}

TEST_F(SelectorTest, EachWayOutEmitsOnce)
{
    const struct {
        const char* name;
        std::function<void(Selector&)> act;
        bool ok;
    } cases[] = {
        { "Esc", [](Selector& s) { QTest::keyClick(&s, Qt::Key_Escape); }, false },
        { "Cancel", [](Selector& s) { child<QToolButton>(s.menu(), "toolButton_cancel")->click(); }, false },
        { "double click",
            [](Selector& s) {
                sendMouse(&s, QEvent::MouseButtonDblClick, QPointF(300, 300), Qt::LeftButton);
            },
            true },
        { "OK", [](Selector& s) { child<QToolButton>(s.menu(), "toolButton_ok")->click(); }, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Selector fresh;
        fresh.start(QRectF(FakeDesktop::kX + 100, 100, 400, 300));
        fresh.showSelector();
        QSignalSpy ok(&fresh, &Selector::sg_ok);
        QSignalSpy cancel(&fresh, &Selector::sg_cancel);
        c.act(fresh);
        EXPECT_EQ(ok.count(), c.ok ? 1 : 0);
        EXPECT_EQ(cancel.count(), c.ok ? 0 : 1);
        EXPECT_FALSE(fresh.isVisible());
    }
    // Other keys do nothing.
    startAt(QRect(FakeDesktop::kX + 100, 100, 400, 300));
    QSignalSpy cancel(&selector, &Selector::sg_cancel);
    QTest::keyClick(&selector, Qt::Key_Return);
    EXPECT_EQ(cancel.count(), 0);
    EXPECT_TRUE(selector.isVisible());
}

TEST(RectSelectMenu, PresetsFitTheDesktopAndEmitSizes)
{
    FakeDesktop desktop;
    RectSelectMenu menu;
    auto* combo = child<QComboBox>(&menu, "comboBox_size");
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    EXPECT_EQ(texts, (QStringList { QStringLiteral("自定义"), "720x480", "960x640", "1280x720" }));

    QSignalSpy size(&menu, &RectSelectMenu::sig_size);
    combo->setCurrentIndex(2);
    ASSERT_EQ(size.count(), 1);
    EXPECT_EQ(size.at(0), (QList<QVariant> { 960, 640 }));
    combo->setCurrentIndex(0);
    EXPECT_EQ(size.count(), 1); // "自定义" leaves the size to the user

    auto* width = child<QSpinBox>(&menu, "spinBox_width");
    EXPECT_TRUE(width->keyboardTracking());
    EXPECT_TRUE(child<QSpinBox>(&menu, "spinBox_height")->keyboardTracking());
    menu.setSelectionSize(QSize(300, 200));
    EXPECT_EQ(size.count(), 1);
    width->setValue(333);
    emit width->editingFinished();
    ASSERT_EQ(size.count(), 2);
    EXPECT_EQ(size.at(1), (QList<QVariant> { 333, 200 }));
}

TEST(RectSelectMenu, FormAndScaledStyleSheet)
{
    FakeDesktop desktop;
    for (const char* path : { ":/images/ok.png", ":/images/cancel.png" })
        EXPECT_FALSE(QPixmap(QString::fromLatin1(path)).isNull()) << path;

    for (const qreal scale : { 1.0, 1.5 }) {
        SCOPED_TRACE(scale);
        QssManager::setDpiScaleOverride(scale);
        RectSelectMenu menu;
        EXPECT_EQ(menu.size(), QSize(qRound(433 * scale), qRound(40 * scale)));
        EXPECT_TRUE(menu.testAttribute(Qt::WA_StyledBackground));
        EXPECT_EQ(menu.cursor().shape(), Qt::ArrowCursor);
        const QString sheet = menu.styleSheet();
        EXPECT_TRUE(sheet.contains(
            scale == 1.0 ? QStringLiteral("min-width:433px;") : QStringLiteral("min-width:649.5px;")));
        EXPECT_TRUE(sheet.contains(QStringLiteral("border-image:url(:/images/ok.png)")));
        EXPECT_TRUE(sheet.contains(QStringLiteral("background:#009FFF")));
        EXPECT_EQ(child<QSpinBox>(&menu, "spinBox_width")->maximum(), 4096);
        EXPECT_EQ(child<QSpinBox>(&menu, "spinBox_height")->maximum(), 2160);
        auto* ok = child<QToolButton>(&menu, "toolButton_ok");
        EXPECT_EQ(ok->text(), QStringLiteral("确定"));
        EXPECT_EQ(ok->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        EXPECT_EQ(child<QToolButton>(&menu, "toolButton_cancel")->text(), QStringLiteral("取消"));
        EXPECT_EQ(child<QLabel>(ok, "OK_ICON_LABEL")->parentWidget(), ok);
    }
    QssManager::setDpiScaleOverride(0.0);
}

} // namespace
