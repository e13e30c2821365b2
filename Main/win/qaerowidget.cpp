#include "win/qaerowidget.h"

#include <QPaintEvent>
#include <QPainter>
#include <QtGlobal>

namespace {

using IsCompositionEnabledFn = dwm::HRESULT (*)(dwm::BOOL*);
using ExtendFrameFn = dwm::HRESULT (*)(dwm::HWND, const dwm::MARGINS*);
using EnableBlurFn = dwm::HRESULT (*)(dwm::HWND, const dwm::DWM_BLURBEHIND*);

// Shared by every widget and resolved again by each construction, always to the same addresses.
IsCompositionEnabledFn g_isCompositionEnabled = nullptr;
ExtendFrameFn g_extendFrameIntoClientArea = nullptr;
EnableBlurFn g_enableBlurBehindWindow = nullptr;

QAeroWidget::DwmResolver g_resolver = &dwm::resolve;

template <typename Fn> void resolveInto(Fn& target, const char* name)
{
    target = g_resolver ? reinterpret_cast<Fn>(g_resolver(name)) : nullptr;
    if (!target)
        qWarning("Resolve '%s()' error: %s", name, "entry point not found in the blur back-end");
}

} // namespace

QAeroWidget::QAeroWidget(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
{
    resolveDwmApi();
}

QAeroWidget::~QAeroWidget() = default;

void QAeroWidget::setDwmResolver(DwmResolver resolver) { g_resolver = resolver; }

void QAeroWidget::resolveDwmApi()
{
    if (aeroMode == 3)
        setWindowFlags(Qt::FramelessWindowHint);
    if (!g_resolver)
        qWarning("Failed to load dwmapi.dll: %s", "no blur back-end");
    resolveInto(g_isCompositionEnabled, "DwmIsCompositionEnabled");
    resolveInto(g_extendFrameIntoClientArea, "DwmExtendFrameIntoClientArea");
    resolveInto(g_enableBlurBehindWindow, "DwmEnableBlurBehindWindow");
}

void QAeroWidget::setupWindow(int mode)
{
    aeroMode = mode;
    if (mode == 3)
        setWindowFlags(Qt::FramelessWindowHint);
    // Qt 5 propagates contents to children on its own; its old attribute for that is a deprecated no-op.
    if (mode != 0)
        setAttribute(Qt::WA_TranslucentBackground);
}

bool QAeroWidget::isCompositionEnabled()
{
    if (!g_isCompositionEnabled)
        return false;
    dwm::BOOL enabled = 0;
    const dwm::HRESULT result = g_isCompositionEnabled(&enabled);
    if (result >= 0)
        qDebug("Composition enabled=%d", enabled);
    else
        qWarning("DwmIsCompositionEnable() error: %ld", result);
    return enabled != 0;
}

void QAeroWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (aeroMode == 1 || aeroMode == 2)
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    QColor fill = palette().color(QPalette::Light);
    fill.setAlpha(int(fillAlpha));
    painter.fillRect(event->rect(), fill);
}

QWidget* QAeroWidget::topLevelAncestor()
{
    QWidget* top = this;
    while (top->parentWidget())
        top = top->parentWidget();
    return top;
}

void QAeroWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (aeroMode == 1 && g_extendFrameIntoClientArea) {
        QWidget* top = topLevelAncestor();
        const int halfWidth = top->width() / 2;
        const int halfHeight = top->height() / 2;
        const dwm::MARGINS margins { halfWidth, halfWidth, halfHeight, halfHeight };
        const dwm::HRESULT result = g_extendFrameIntoClientArea(dwm::HWND(top->winId()), &margins);
        if (result < 0)
            qWarning("DwmExtendFrameIntoClientArea() error: %ld", result);
    } else if (aeroMode == 2 && g_enableBlurBehindWindow) {
        const dwm::DWM_BLURBEHIND blur { dwm::DWM_BB_ENABLE, 1, nullptr, 0 };
        const dwm::HRESULT result = g_enableBlurBehindWindow(dwm::HWND(topLevelAncestor()->winId()), &blur);
        if (result < 0)
            qWarning("DwmEnableBlurBehindWindow() error: %ld", result);
    }
}
