#include "frame_fixture.h"

#include "ui/nativeeventfilter.h"
#include "ui/shadowproxy.h"
#include "ui/titleheader.h"

#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSignalSpy>
#include <QWindow>

#include <framelessdrive/windowdriver.h>

using namespace frameless;

namespace {

QPoint centreIn(QWidget* widget, QWidget* host) { return widget->mapTo(host, widget->rect().center()); }

} // namespace

TEST_F(FrameTest, HitTestTable)
{
    FramedDialog dialog;
    auto* helper = new ProbeHelper(&dialog);
    EXPECT_EQ(helper->hitTest(10, 10), HTTRANSPARENT) << "no window yet";
    dialog.showAndWait();
    ASSERT_EQ(dialog.windowHandle()->size(), QSize(400, 300));
    helper->setTitleHeight(50);
    ASSERT_EQ(helper->titleHeight(), 50);
    ASSERT_TRUE(helper->isResizable());

    const struct {
        int x, y, code;
    } cases[] = {
        { 6, 100, HTLEFT },
        { 7, 100, HTCLIENT },
        { 394, 100, HTRIGHT },
        { 393, 100, HTCLIENT },
        { 0, 0, HTTOPLEFT },
        { 6, 294, HTBOTTOMLEFT },
        { 394, 6, HTTOPRIGHT },
        { 400, 300, HTBOTTOMRIGHT },
        { 200, 0, HTTOP },
        { 200, 6, HTTOP },
        { 200, 300, HTBOTTOM },
        { 6, 30, HTLEFT },
        { 200, 7, HTCAPTION },
        { 200, 49, HTCAPTION },
        { 200, 50, HTCLIENT },
        { 200, 150, HTCLIENT },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(helper->hitTest(c.x, c.y), c.code);
    }

    // Without resize margins no edge is reported; y = 0 is never caption.
    helper->setLeftResizeMargin(0);
    helper->setTopResizeMargin(0);
    helper->setRightResizeMargin(0);
    helper->setBottomResizeMargin(0);
    EXPECT_EQ(helper->hitTest(0, 100), HTCLIENT);
    EXPECT_EQ(helper->hitTest(400, 300), HTCLIENT);
    EXPECT_EQ(helper->hitTest(200, 0), HTCLIENT);
    EXPECT_EQ(helper->hitTest(200, 1), HTCAPTION);
    helper->setLeftResizeMargin(6);
    helper->setTopResizeMargin(6);

    // Maximised: no edges, the caption stays.
    dialog.showMaximized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isMaximized(); }));
    EXPECT_EQ(helper->hitTest(0, 100), HTCLIENT);
    EXPECT_EQ(helper->hitTest(3, 20), HTCAPTION);
}

TEST_F(FrameTest, SettersSignalOnceForNewValues)
{
    QWidget host;
    auto* helper = new ProbeHelper(&host);
    const struct {
        void (BasicFramelessHelper::*set)(int);
        void (BasicFramelessHelper::*changed)(int);
        int (BasicFramelessHelper::*get)() const;
    } properties[] = {
        { &BasicFramelessHelper::setTitleHeight, &BasicFramelessHelper::titleHeightChanged,
            &BasicFramelessHelper::titleHeight },
        { &BasicFramelessHelper::setLeftResizeMargin, &BasicFramelessHelper::leftResizeMarginChanged,
            &BasicFramelessHelper::leftResizeMargin },
        { &BasicFramelessHelper::setTopResizeMargin, &BasicFramelessHelper::topResizeMarginChanged,
            &BasicFramelessHelper::topResizeMargin },
        { &BasicFramelessHelper::setRightResizeMargin, &BasicFramelessHelper::rightResizeMarginChanged,
            &BasicFramelessHelper::rightResizeMargin },
        { &BasicFramelessHelper::setBottomResizeMargin, &BasicFramelessHelper::bottomResizeMarginChanged,
            &BasicFramelessHelper::bottomResizeMargin },
    };
    for (const auto& property : properties) {
        QSignalSpy spy(helper, property.changed);
        (helper->*property.set)(77);
        (helper->*property.set)(77);
        (helper->*property.set)(-1);
        EXPECT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.value(0).value(0).toInt(), 77);
        EXPECT_EQ((helper->*property.get)(), 77);
    }
}

TEST_F(FrameTest, ButtonsFollowTheHostsHints)
{
    const struct {
        const char* name;
        bool fixedSize;
        Qt::WindowFlags flags;
        bool min, max, resizable;
    } cases[] = {
        { "plain dialog", false, {}, false, false, true },
        { "minimise and maximise hints", false, Qt::WindowMinMaxButtonsHint, true, true, true },
        { "fixed size", true, Qt::WindowMinMaxButtonsHint, true, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FramedDialog dialog(QSize(400, 300), c.flags);
        if (c.fixedSize)
            dialog.setFixedSize(400, 300);
        auto* helper = new ProbeHelper(&dialog);
        EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_EQ(dialog.findChild<QPushButton*>("pushButton_memvia_min") != nullptr, c.min);
        EXPECT_EQ(dialog.findChild<QPushButton*>("pushButton_memvia_max") != nullptr, c.max);
        EXPECT_NE(dialog.findChild<QPushButton*>("pushButton_memvia_close"), nullptr);
        EXPECT_EQ(helper->isResizable(), c.resizable);
        dialog.showAndWait();
        EXPECT_EQ(helper->hitTest(0, 150) == HTLEFT, c.resizable);
        EXPECT_EQ(helper->hitTest(400, 300) == HTBOTTOMRIGHT, c.resizable);
        EXPECT_EQ(dialog.windowHandle()->flags().testFlag(Qt::WindowMaximizeButtonHint), c.max);
        EXPECT_EQ(helper->titleHeight(), 44 + 6);
    }
}

TEST_F(FrameTest, TitleObjectsAreNotCaption)
{
    FramedDialog dialog;
    dialog.setWindowIcon(QIcon(":/title/default/button_close_black.svg"));
    dialog.setWindowTitle("标题");
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowMinMaxButtonsHint);
    auto* helper = new ProbeHelper(&dialog);
    dialog.showAndWait();
    auto* header = dialog.findChild<TitleHeader*>();
    ASSERT_NE(header, nullptr);
    auto* label = dialog.findChild<QLabel*>("label_title");
    ASSERT_TRUE(label && label->isVisible());
    for (QWidget* widget :
        std::initializer_list<QWidget*> { label, dialog.findChild<QPushButton*>("pushButton_memvia_min"),
            dialog.findChild<QPushButton*>("pushButton_memvia_max"),
            dialog.findChild<QPushButton*>("pushButton_memvia_close") }) {
        ASSERT_NE(widget, nullptr);
        const QPoint point = centreIn(widget, &dialog);
        EXPECT_EQ(helper->hitTest(point.x(), point.y()), HTCLIENT) << widget->objectName().toStdString();
    }
    // The icon button sits left of the title.
    const QPoint icon = centreIn(label, &dialog) - QPoint(label->width() / 2 + 10, 0);
    EXPECT_EQ(helper->hitTest(icon.x(), icon.y()), HTCLIENT);
    // The bare header between the title and the buttons drags.
    const QPoint bare(header->mapTo(&dialog, QPoint(header->width() / 2, header->height() / 2)));
    EXPECT_EQ(helper->hitTest(bare.x(), bare.y()), HTCAPTION);
}

TEST_F(FrameTest, HiddenHeaderKeepsItsBandAndHeaderButtons)
{
    FramedDialog dialog;
    auto* own = new QPushButton("?", dialog.child);
    static_cast<QVBoxLayout*>(dialog.child->layout())->insertWidget(0, own, 0, Qt::AlignLeft);
    dialog.setProperty("header_visible", false);
    dialog.setProperty("header_height", 40);
    dialog.setProperty("header_btns", QVariant::fromValue(QList<QObject*> { own }));
    auto* helper = new ProbeHelper(&dialog);
    dialog.showAndWait();
    EXPECT_FALSE(dialog.findChild<TitleHeader*>()->isVisible());
    EXPECT_EQ(helper->titleHeight(), 46);
    const QPoint onButton = centreIn(own, &dialog);
    ASSERT_LT(onButton.y(), 46);
    EXPECT_EQ(helper->hitTest(onButton.x(), onButton.y()), HTCLIENT);
    EXPECT_EQ(helper->hitTest(300, 20), HTCAPTION);
}

TEST_F(FrameTest, MainWindowAndHostWithoutLayout)
{
    QMainWindow window;
    auto* central = new QLabel("central");
    window.setCentralWidget(central);
    FramelessWidgetHelper::frame(&window);
    QWidget* container = window.centralWidget();
    ASSERT_NE(container, central);
    auto* header = container->findChild<TitleHeader*>();
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(central->parentWidget(), container);
    EXPECT_EQ(container->layout()->indexOf(header), 0);
    EXPECT_EQ(container->layout()->indexOf(central), 1);

    QWidget bare;
    bare.resize(200, 100);
    FramelessWidgetHelper::frame(&bare);
    bare.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bare));
    ASSERT_NE(bare.findChild<TitleHeader*>(), nullptr);
    EXPECT_FALSE(bare.findChild<TitleHeader*>()->isVisible());
}

TEST_F(FrameTest, FramingTwiceKeepsOneBar)
{
    FramedDialog dialog;
    FramelessWidgetHelper* first = FramelessWidgetHelper::frame(&dialog);
    EXPECT_EQ(FramelessWidgetHelper::frame(&dialog), first);
    EXPECT_EQ(dialog.findChildren<TitleHeader*>().size(), 1);
}

TEST_F(FrameTest, MaximiseRestoreAndLateTitle)
{
    FramedDialog dialog(QSize(400, 300), Qt::WindowMinMaxButtonsHint);
    auto* helper = new ProbeHelper(&dialog);
    EXPECT_EQ(helper->shadow()->shadowWidth(), 5);
    EXPECT_EQ(dialog.contentsMargins(), QMargins(5, 5, 5, 5));
    EXPECT_TRUE(dialog.testAttribute(Qt::WA_TranslucentBackground));
    auto* label = dialog.findChild<QLabel*>("label_title");
    dialog.showAndWait();
    EXPECT_FALSE(label->isVisible());
    dialog.setWindowTitle("稍后的标题");
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), "稍后的标题");

    auto* maximize = dialog.findChild<QPushButton*>("pushButton_memvia_max");
    QTest::mouseClick(maximize, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isMaximized(); }));
    EXPECT_TRUE(maximize->isChecked());
    EXPECT_EQ(maximize->toolTip(), "Restore");
    EXPECT_EQ(dialog.contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(helper->shadow()->shadowWidth(), 0);

    QTest::mouseClick(maximize, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.isMaximized(); }));
    EXPECT_FALSE(maximize->isChecked());
    EXPECT_EQ(maximize->toolTip(), "Maximize");
    EXPECT_EQ(dialog.contentsMargins(), QMargins(5, 5, 5, 5));
}

TEST_F(FrameTest, NoCompositorNoShadow)
{
    memvia::setCompositorOverride(false);
    FramedDialog dialog;
    auto* helper = new ProbeHelper(&dialog);
    EXPECT_EQ(helper->shadow()->shadowWidth(), 0);
    EXPECT_EQ(dialog.contentsMargins(), QMargins(0, 0, 0, 0));
    EXPECT_FALSE(dialog.testAttribute(Qt::WA_TranslucentBackground));
}

TEST_F(FrameTest, RegistryFollowsWindowsAndHelpers)
{
    const int before = NativeEventFilter::entryCount();
    {
        FramedDialog dialog;
        FramelessWidgetHelper::frame(&dialog);
        dialog.showAndWait();
        EXPECT_EQ(NativeEventFilter::entryCount(), before + 1);
        EXPECT_EQ(NativeEventFilter::helper(dialog.windowHandle()), FramelessWidgetHelper::helperOf(&dialog));

        // A second helper for the same window changes nothing.
        QWidget other;
        auto* second = new ProbeHelper(&other);
        NativeEventFilter::setHelper(dialog.windowHandle(), second);
        EXPECT_EQ(NativeEventFilter::helper(dialog.windowHandle()), FramelessWidgetHelper::helperOf(&dialog));

        // A re-created window is registered again.
        dialog.destroy();
        EXPECT_EQ(NativeEventFilter::entryCount(), before);
        dialog.showAndWait();
        EXPECT_EQ(NativeEventFilter::entryCount(), before + 1);
        EXPECT_EQ(NativeEventFilter::helper(dialog.windowHandle()), FramelessWidgetHelper::helperOf(&dialog));
    }
    EXPECT_EQ(NativeEventFilter::entryCount(), before);
}

TEST_F(FrameTest, DragMovesByCaptionAndResizesByCorner)
{
    FramedDialog dialog(QSize(400, 300), Qt::WindowMinMaxButtonsHint);
    auto* helper = new ProbeHelper(&dialog);
    QSignalSpy steps(helper, &BasicFramelessHelper::sigResizeBegin);
    QSignalSpy ends(helper, &BasicFramelessHelper::sigResizeEnd);
    dialog.showAndWait();
    QWindow* window = dialog.windowHandle();
    const QPoint start = dialog.pos();
    const QPoint caption(200, 20);
    ASSERT_EQ(helper->hitTest(caption.x(), caption.y()), HTCAPTION);

    const QPoint target = window->mapToGlobal(caption) + QPoint(30, 25);
    QTest::mousePress(window, Qt::LeftButton, {}, caption);
    QTest::mouseMove(window, caption + QPoint(30, 25));
    EXPECT_EQ(dialog.pos(), start + QPoint(30, 25));
    // Local positions follow the moving window; the release is where the mouse is on the screen.
    QTest::mouseRelease(window, Qt::LeftButton, {}, window->mapFromGlobal(target));
    EXPECT_EQ(dialog.pos(), start + QPoint(30, 25));

    const QSize size = dialog.size();
    const QPoint corner(size.width() - 2, size.height() - 2);
    ASSERT_EQ(helper->hitTest(corner.x(), corner.y()), HTBOTTOMRIGHT);
    QTest::mousePress(window, Qt::LeftButton, {}, corner);
    QTest::mouseMove(window, corner + QPoint(40, 20));
    QTest::mouseRelease(window, Qt::LeftButton, {}, corner + QPoint(40, 20));
    EXPECT_EQ(dialog.size(), size + QSize(40, 20));
    EXPECT_GE(steps.count(), 1);
    EXPECT_EQ(ends.count(), 1);

    // A double click on the caption maximises, another restores.
    QTest::mouseDClick(window, Qt::LeftButton, {}, QPoint(200, 20));
    ASSERT_TRUE(QTest::qWaitFor([&] { return dialog.isMaximized(); }));
}
