#include "ui/framelesswidgethelper.h"

#include "ui/nativeeventfilter.h"
#include "ui/shadowproxy.h"
#include "ui/titleheader.h"

#include <QEvent>
#include <QLayout>
#include <QMainWindow>
#include <QVBoxLayout>
#include <QVariant>
#include <QWindow>

namespace {

// The title band reaches this far below the bar, into the resize margin of the top edge.
constexpr int kTitleBandExtra = 6;

} // namespace

FramelessWidgetHelper::FramelessWidgetHelper(QWidget* host)
    : BasicFramelessHelper(host)
{
    const Qt::WindowFlags flags = host->windowFlags();
    setMinimable(flags.testFlag(Qt::WindowMinimizeButtonHint));
    setMaximizable(flags.testFlag(Qt::WindowMaximizeButtonHint));
    host->setWindowFlags(flags | Qt::FramelessWindowHint);
    const bool fixedSize = host->minimumSize() == host->maximumSize();
    setResizable(!fixedSize);
    if (fixedSize)
        setMaximizable(false);

    m_titleHeader = new TitleHeader(host, maximizable(), minimable());
    placeHeader(host);
    host->installEventFilter(this);
    m_shadow = new ShadowProxy(host);

    const QVariant height = host->property("header_height");
    setTitleHeight((height.isValid() ? height.toInt() : m_titleHeader->height()) + kTitleBandExtra);
    addTitleObjects(m_titleHeader->titleObjects());

    // A host whose window already exists gets no further WinIdChange until it is re-created.
    if (host->windowHandle())
        registerWindow();
}

FramelessWidgetHelper* FramelessWidgetHelper::helperOf(const QWidget* host)
{
    return host ? host->findChild<FramelessWidgetHelper*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

FramelessWidgetHelper* FramelessWidgetHelper::frame(QWidget* host)
{
    if (!host)
        return nullptr;
    if (FramelessWidgetHelper* existing = helperOf(host))
        return existing;
    return new FramelessWidgetHelper(host);
}

void FramelessWidgetHelper::placeHeader(QWidget* host)
{
    if (auto* window = qobject_cast<QMainWindow*>(host)) {
        auto* container = new QWidget;
        auto* layout = new QVBoxLayout(container);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(m_titleHeader);
        if (QWidget* central = window->takeCentralWidget())
            layout->addWidget(central);
        window->setCentralWidget(container);
        return;
    }
    if (QLayout* hostLayout = host->layout()) {
        auto* container = new QWidget(host);
        auto* layout = new QVBoxLayout(container);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(m_titleHeader);
        if (auto* child = host->findChild<QWidget*>(QStringLiteral("top_childWidget"))) {
            if (QWidget* parent = child->parentWidget(); parent && parent->layout())
                parent->layout()->removeWidget(child);
            layout->addWidget(child);
        }
        hostLayout->setContentsMargins(0, 0, 0, 0);
        hostLayout->addWidget(container);
        return;
    }
    // No layout, no bar: kept as the host's hidden child so that it goes with the host.
    m_titleHeader->setParent(host);
    m_titleHeader->hide();
}

void FramelessWidgetHelper::registerWindow()
{
    QWindow* window = host() ? host()->windowHandle() : nullptr;
    if (!window)
        return;
    NativeEventFilter::setHelper(window, this);
    if (NativeEventFilter::helper(window) == this)
        applyWindowHints(window);
}

bool FramelessWidgetHelper::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == host() && event->type() == QEvent::WinIdChange)
        registerWindow();
    return BasicFramelessHelper::eventFilter(watched, event);
}

bool FramelessWidgetHelper::handleWindowEvent(QEvent* event) { return handleBasicEvent(event); }

bool FramelessWidgetHelper::isCaptionPoint(int x, int y)
{
    const QObjectList objects = titleObjects();
    if (!host() || objects.isEmpty())
        return true;
    QWidget* child = host()->childAt(x, y);
    // A widget of the bar and everything inside it take their own clicks.
    for (QWidget* w = child; w && w != host(); w = w->parentWidget()) {
        if (objects.contains(w))
            return false;
    }
    return true;
}
