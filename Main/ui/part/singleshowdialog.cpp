#include "ui/part/singleshowdialog.h"

#include "ui_singleshowdialog.h"

#include "global/windowkitnames.h"
#include "win/framelessframe.h"
#include "win/qssmanager.h"

#include <QGridLayout>
#include <QPointer>
#include <QVariant>

#include <algorithm>

bool isInTitleArea(const QPoint& point, int titleHeight, const QList<QRect>& buttons)
{
    if (point.y() > titleHeight)
        return false;
    return std::none_of(buttons.begin(), buttons.end(), [&](const QRect& button) { return button.contains(point); });
}

SingleShowDialog::SingleShowDialog(QWidget* content, const QList<QWidget*>& titleWidgets_, int titleHeight_,
    const QString& styleSheet, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::SingleShowDialog>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CoverWindow | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setFixedWidth(int(310 * QssManager::dpiScale()));
    (new QssManager(this, false))->loadStyleSheet(styleSheet);
    auto* layout = new QGridLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);

    titleWidgets = titleWidgets_;
    titleHeight = titleHeight_;
    QList<QObject*> buttons;
    for (QWidget* widget : titleWidgets)
        buttons.append(widget);
    setProperty(windowkit::kHeaderButtons, QVariant::fromValue(buttons));
    setProperty(windowkit::kHeaderVisible, false);
    setProperty(windowkit::kHeaderHeight, titleHeight);
    requestFramelessFrame(this);
}

SingleShowDialog::~SingleShowDialog() = default;

bool SingleShowDialog::isOnTopEdge(QPoint) { return false; }

bool SingleShowDialog::isOnBottomEdge(QPoint) { return false; }

bool SingleShowDialog::isOnLeftEdge(QPoint) { return false; }

bool SingleShowDialog::isOnRightEdge(QPoint) { return false; }

bool SingleShowDialog::isOnCaption(QPoint point)
{
    QList<QRect> buttons;
    for (QWidget* widget : titleWidgets) {
        if (widget)
            buttons.append(QRect(widget->mapTo(this, QPoint(0, 0)), widget->size()));
    }
    return isInTitleArea(mapFromGlobal(point), titleHeight, buttons);
}

void SingleShowDialog::onSizing(int, long*, long*, long*, long*) { }
