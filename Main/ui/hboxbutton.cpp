#include "ui/hboxbutton.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {

QString textSheet(const QColor& color, const char* format)
{
    return QString::fromLatin1(format).arg(color.red()).arg(color.green()).arg(color.blue());
}

} // namespace

HBoxButton::HBoxButton(QWidget* parent)
    : QPushButton(parent)
    , m_image(new QLabel(this))
    , m_text(new QLabel(this))
{
    m_image->setObjectName(QStringLiteral("HBoxButtonImage"));
    m_text->setObjectName(QStringLiteral("HBoxButtonText"));
    m_text->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_image);
    layout->addWidget(m_text);
}

void HBoxButton::setText(const QString& text) { m_text->setText(text); }

void HBoxButton::setTextAlignment(Qt::Alignment alignment) { m_text->setAlignment(alignment); }

void HBoxButton::setNormalImage(const QString& path) { m_normalImage = path; }

void HBoxButton::setHoverImage(const QString& path) { m_hoverImage = path; }

void HBoxButton::setCheckedImage(const QString& path) { m_checkedImage = path; }

void HBoxButton::setDisabledImage(const QString& path) { m_disabledImage = path; }

void HBoxButton::setNormalColor(const QColor& color) { m_normalColor = color; }

void HBoxButton::setHoverColor(const QColor& color) { m_hoverColor = color; }

void HBoxButton::setCheckedColor(const QColor& color) { m_checkedColor = color; }

void HBoxButton::setDisabledColor(const QColor& color) { m_disabledColor = color; }

void HBoxButton::updateStyle()
{
    if (!m_enabled) {
        m_image->setStyleSheet(QStringLiteral("QLabel{border-image:url(%1)}").arg(m_disabledImage));
        m_text->setStyleSheet(textSheet(m_disabledColor, "QLabel{color: rgb(%1, %2, %3); }"));
        return;
    }
    const bool checked = isChecked();
    const QString& image = checked ? m_checkedImage : m_hovered ? m_hoverImage : m_normalImage;
    const QColor& color = checked ? m_checkedColor : m_hovered ? m_hoverColor : m_normalColor;
    m_image->setStyleSheet(QStringLiteral("QLabel{border-image:url(\"%1\")}").arg(image));
    m_text->setStyleSheet(textSheet(color, "QLabel{color: rgb(%1, %2, %3);}"));
}

void HBoxButton::enterEvent(QEvent* event)
{
    QPushButton::enterEvent(event);
    m_hovered = true;
    updateStyle();
}

void HBoxButton::leaveEvent(QEvent* event)
{
    QPushButton::leaveEvent(event);
    m_hovered = false;
    updateStyle();
}

void HBoxButton::showEvent(QShowEvent* event)
{
    QPushButton::showEvent(event);
    updateStyle();
}

void HBoxButton::changeEvent(QEvent* event)
{
    QPushButton::changeEvent(event);
    if (isEnabled() != m_enabled) {
        m_enabled = isEnabled();
        updateStyle();
    }
}

void HBoxButton::checkStateSet()
{
    QPushButton::checkStateSet();
    updateStyle();
}

// A click checks the button without checkStateSet (Qt holds it back while the click is handled).
void HBoxButton::nextCheckState()
{
    QPushButton::nextCheckState();
    updateStyle();
}
