#include "win/qaerowidget.h"

#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A blur back-end that records every call.
struct Calls {
    int composition = 0;
    std::vector<dwm::MARGINS> extend;
    std::vector<dwm::DWM_BLURBEHIND> blur;
    std::vector<dwm::HWND> windows;
};
Calls g_calls;

dwm::HRESULT recordComposition(dwm::BOOL* enabled)
{
    ++g_calls.composition;
    *enabled = 1;
    return dwm::S_OK;
}
dwm::HRESULT recordExtend(dwm::HWND window, const dwm::MARGINS* margins)
{
    g_calls.extend.push_back(*margins);
    g_calls.windows.push_back(window);
    return dwm::S_OK;
}
dwm::HRESULT recordBlur(dwm::HWND window, const dwm::DWM_BLURBEHIND* blur)
{
    g_calls.blur.push_back(*blur);
    g_calls.windows.push_back(window);
    return dwm::S_OK;
}
dwm::Proc recordingResolver(const char* name)
{
    if (std::strcmp(name, "DwmIsCompositionEnabled") == 0)
        return reinterpret_cast<dwm::Proc>(&recordComposition);
    if (std::strcmp(name, "DwmExtendFrameIntoClientArea") == 0)
        return reinterpret_cast<dwm::Proc>(&recordExtend);
    if (std::strcmp(name, "DwmEnableBlurBehindWindow") == 0)
        return reinterpret_cast<dwm::Proc>(&recordBlur);
    return nullptr;
}

QStringList g_warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg)
        g_warnings << text;
}

class AeroWidget : public QAeroWidget {
public:
    explicit AeroWidget(int mode, QWidget* parent = nullptr)
        : QAeroWidget(parent)
    {
        setupWindow(mode);
    }
};

class QAeroWidgetTest : public testing::Test {
protected:
    void SetUp() override
    {
        g_calls = Calls();
        QAeroWidget::setDwmResolver(&recordingResolver);
    }
    void TearDown() override { QAeroWidget::setDwmResolver(&dwm::resolve); }
};

TEST_F(QAeroWidgetTest, FramelessTranslucentModeNeverCallsTheBackEnd)
{
    AeroWidget widget(3);
    // Every other hint is gone; Qt keeps only the window type of a top-level widget.
    EXPECT_EQ(widget.windowFlags() & ~Qt::WindowType_Mask, Qt::WindowFlags(Qt::FramelessWindowHint));
    EXPECT_TRUE(widget.testAttribute(Qt::WA_TranslucentBackground));
    widget.resize(120, 80);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    widget.resize(200, 100);
    EXPECT_TRUE(g_calls.extend.empty());
    EXPECT_TRUE(g_calls.blur.empty());

    // Nothing drawn means nothing to see: the window stays transparent.
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(qAlpha(image.pixel(100, 50)), 0);
}

TEST_F(QAeroWidgetTest, GlassFrameMarginsFollowTheTopLevelWindow)
{
    QWidget top;
    top.resize(301, 200);
    AeroWidget glass(1, &top);
    glass.resize(50, 50);
    top.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top));
    ASSERT_FALSE(g_calls.extend.empty());
    const dwm::MARGINS first = g_calls.extend.back();
    EXPECT_EQ(first.cxLeftWidth, 150);
    EXPECT_EQ(first.cxRightWidth, 150);
    EXPECT_EQ(first.cyTopHeight, 100);
    EXPECT_EQ(first.cyBottomHeight, 100);
    EXPECT_EQ(g_calls.windows.back(), dwm::HWND(top.winId()));

    top.resize(400, 301);
    glass.resize(60, 60);
    const dwm::MARGINS second = g_calls.extend.back();
    EXPECT_EQ(second.cxLeftWidth, 200);
    EXPECT_EQ(second.cyBottomHeight, 150);
    EXPECT_TRUE(g_calls.blur.empty());
}

TEST_F(QAeroWidgetTest, BlurModeIsTheDefaultAndAsksForPlainBlur)
{
    QAeroWidget widget;
    widget.resize(100, 100);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    ASSERT_FALSE(g_calls.blur.empty());
    const dwm::DWM_BLURBEHIND blur = g_calls.blur.back();
    EXPECT_EQ(blur.dwFlags, dwm::DWM_BB_ENABLE);
    EXPECT_EQ(blur.fEnable, 1);
    EXPECT_EQ(blur.hRgnBlur, nullptr);
    EXPECT_EQ(blur.fTransitionOnMaximized, 0);
    EXPECT_EQ(g_calls.windows.back(), dwm::HWND(widget.winId()));
    EXPECT_TRUE(g_calls.extend.empty());

    EXPECT_TRUE(widget.isCompositionEnabled());
    EXPECT_EQ(g_calls.composition, 1);
}

TEST_F(QAeroWidgetTest, MissingBackEndCostsOnlyTheEffect)
{
    QAeroWidget::setDwmResolver(nullptr);
    g_warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
    {
        AeroWidget widget(1);
        widget.resize(100, 100);
        widget.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&widget));
        EXPECT_FALSE(widget.isCompositionEnabled());
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(g_warnings.size(), 4) << g_warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(g_warnings.value(0).startsWith(QStringLiteral("Failed to load dwmapi.dll: ")));
    EXPECT_TRUE(
        g_warnings.value(2).startsWith(QStringLiteral("Resolve 'DwmExtendFrameIntoClientArea()' error: ")));
    EXPECT_EQ(g_calls.composition + g_calls.extend.size() + g_calls.blur.size(), 0u);
}

TEST(QAeroWidgetLinux, BackEndReportsNoComposition)
{
    QAeroWidget::setDwmResolver(&dwm::resolve);
    QAeroWidget widget;
    EXPECT_FALSE(widget.isCompositionEnabled());
    const dwm::MARGINS margins { 1, 1, 1, 1 };
    EXPECT_EQ(dwm::DwmExtendFrameIntoClientArea(0, &margins), dwm::DWM_E_COMPOSITIONDISABLED);
    EXPECT_EQ(dwm::resolve("DwmSetWindowAttribute"), nullptr);
}

} // namespace
