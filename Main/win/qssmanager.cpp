#include "win/qssmanager.h"

#include <algorithm>
#include <cmath>

#include <QFile>
#include <QGuiApplication>
#include <QLayout>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

namespace {

double g_scaleOverride = 0.0;

} // namespace

QssManager::QssManager(QWidget* widget, bool scaleLayouts)
    : QObject(widget)
{
    if (scaleLayouts)
        scaleWidgetTree(widget);
}

QssManager::~QssManager() = default;

void QssManager::loadStyleSheet(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QString text = QString::fromUtf8(file.readAll());
    if (auto* widget = qobject_cast<QWidget*>(parent()))
        widget->setStyleSheet(scalePx(text));
}

QString QssManager::scalePx(const QString& styleSheet) const
{
    const double factor = dpiScale();
    if (!(factor > 1.0))
        return styleSheet;

    // A decimal value is taken whole, so "1.5px;" scales as 1.5 and not as its last digit.
    static const QRegularExpression pixels(QStringLiteral("(\\d+(?:\\.\\d+)?|\\.\\d+)px;"));
    QString text = styleSheet;
    int from = 0;
    for (;;) {
        const QRegularExpressionMatch match = pixels.match(text, from);
        if (!match.hasMatch())
            break;
        // Whole pixels: Qt ignores a fractional border-radius and pixel font-size altogether. A length that
        // was not zero stays at least one pixel.
        const double value = match.captured(1).toDouble();
        const long whole = value > 0.0 ? std::max(1L, std::lround(value * factor)) : 0L;
        const QString scaled = QString::number(whole) + QStringLiteral("px;");
        text.replace(match.capturedStart(), match.capturedLength(), scaled);
        from = match.capturedStart() + scaled.size();
    }
    return text;
}

void QssManager::scaleWidgetTree(QWidget* widget)
{
    if (!widget)
        return;
    if (widget->layout())
        scaleLayout(widget->layout());
    for (QObject* child : widget->children()) {
        if (auto* childWidget = qobject_cast<QWidget*>(child))
            scaleWidgetTree(childWidget);
    }
}

void QssManager::scaleLayout(QLayout* layout)
{
    if (!layout)
        return;
    const double factor = dpiScale();
    const QMargins margins = layout->contentsMargins();
    layout->setContentsMargins(int(margins.left() * factor), int(margins.top() * factor),
        int(margins.right() * factor), int(margins.bottom() * factor));
    // A negative spacing means "the style's default"; scaling it would turn it into a real value.
    const int spacing = layout->spacing();
    if (spacing >= 0)
        layout->setSpacing(int(spacing * factor));
    for (QObject* child : layout->children()) {
        if (auto* childLayout = qobject_cast<QLayout*>(child))
            scaleLayout(childLayout);
    }
}

double QssManager::dpiScale()
{
    if (g_scaleOverride > 0.0)
        return g_scaleOverride;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInch() / 96.0 : 1.0;
}

void QssManager::setDpiScaleOverride(double scale) { g_scaleOverride = scale > 0.0 ? scale : 0.0; }
