#include "ui/titleheader.h"

#include "base/memviamodule.h"
#include "ui/compositor.h"

#include <bridge/app.h>

#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVariant>

namespace {

constexpr char kStyleSheet[] = ":/title/title_black.css";
// The bar's height in the style sheet's design.
constexpr int kDefaultHeight = 44;

QString themeColor()
{
    bg::Interface* component = memvia::module();
    if (!component || !component->app)
        return QStringLiteral("#000000");
    return QString::fromStdString(
        component->app->get_property("theme_color", bg::Value("#000000"), false).toStdString("#000000"));
}

} // namespace

TitleHeader::TitleHeader(QWidget* host, bool maximizable, bool minimable)
    : m_host(host)
{
    memvia::ensureResources();
    applyProperties();
    setObjectName("titleHeader");
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* inner = new QHBoxLayout;
    inner->setContentsMargins(11, 0, 0, 0);

    auto* icon = new QPushButton(this);
    icon->setIcon(host->windowIcon());
    icon->setVisible(!host->windowIcon().isNull());
    connect(host, &QWidget::windowIconChanged, icon, [icon](const QIcon& newIcon) {
        icon->setIcon(newIcon);
        icon->setVisible(true);
    });
    m_titleObjects.append(icon);
    inner->addWidget(icon);

    auto* title = new QLabel(host->windowTitle(), this);
    title->setObjectName("label_title");
    title->setVisible(!host->windowTitle().isEmpty());
    connect(host, &QWidget::windowTitleChanged, title, [title](const QString& text) {
        title->setText(text);
        title->setVisible(true);
    });
    m_titleObjects.append(title);
    inner->addWidget(title);

    outer->addLayout(inner);
    outer->addStretch();

    if (minimable) {
        QPushButton* minimize = addButton("pushButton_memvia_min");
        connect(minimize, &QPushButton::clicked, host, &QWidget::showMinimized);
        outer->addWidget(minimize);
    }
    if (maximizable) {
        QPushButton* maximize = addButton("pushButton_memvia_max");
        maximize->setCheckable(true);
        QIcon states;
        states.addFile(":/title/default/button_maximize_white.svg", QSize(64, 44), QIcon::Normal, QIcon::Off);
        states.addFile(":/title/default/button_restore_white.svg", QSize(64, 44), QIcon::Normal, QIcon::On);
        maximize->setIcon(states);
        maximize->setToolTip(tr("Maximize"));
        connect(maximize, &QPushButton::clicked, host, [host] {
            if (host->isMaximized() || host->isFullScreen())
                host->showNormal();
            else
                host->showMaximized();
        });
        connect(this, &TitleHeader::windowStateChanged, maximize, [this, maximize] {
            const bool maximized = m_host && m_host->isMaximized();
            maximize->setChecked(maximized);
            maximize->setToolTip(maximized ? tr("Restore") : tr("Maximize"));
        });
        host->installEventFilter(this);
        outer->addWidget(maximize);
    }
    QPushButton* close = addButton("pushButton_memvia_close");
    connect(close, &QPushButton::clicked, host, &QWidget::close);
    outer->addWidget(close);

    QFile sheet(kStyleSheet);
    if (sheet.open(QIODevice::ReadOnly)) {
        setStyleSheet(QString::fromUtf8(sheet.readAll()));
    } else {
        QMessageBox::information(nullptr, QStringLiteral("open qss failed: %1").arg(kStyleSheet),
            QStringLiteral("确定"), QMessageBox::Ok);
        setStyleSheet(QString());
    }
}

void TitleHeader::applyProperties()
{
    const QVariant visible = m_host->property("header_visible");
    if (visible.isValid() && !visible.toBool())
        hide();
    m_headerColor = themeColor();
    const QVariant color = m_host->property("header_color");
    if (color.isValid())
        m_headerColor = color.toString();
    const QVariant buttons = m_host->property("header_btns");
    if (buttons.canConvert<QObjectList>() && buttons.userType() == qMetaTypeId<QObjectList>()) {
        for (QObject* object : buttons.value<QObjectList>()) {
            if (object)
                m_titleObjects.append(object);
        }
    } else {
        for (const QVariant& entry : buttons.toList()) {
            if (QObject* object = entry.value<QObject*>())
                m_titleObjects.append(object);
        }
    }
    const QVariant height = m_host->property("header_height");
    setFixedHeight(height.isValid() ? height.toInt() : kDefaultHeight);
}

QPushButton* TitleHeader::addButton(const char* objectName)
{
    auto* button = new QPushButton(this);
    button->setObjectName(objectName);
    m_titleObjects.append(button);
    return button;
}

bool TitleHeader::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::WindowStateChange) {
        emit windowStateChanged();
        m_host->update();
    }
    return QWidget::eventFilter(watched, event);
}

void TitleHeader::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor color;
    color.setNamedColor(m_headerColor);
    painter.fillRect(rect(), color);
}
