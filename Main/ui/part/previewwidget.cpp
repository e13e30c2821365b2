#include "ui/part/previewwidget.h"

#include "ui_previewwidget.h"

#include "win/qssmanager.h"

#include <QPainter>
#include <QPixmap>

PreviewWidget::PreviewWidget(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::PreviewWidget>())
{
    ui->setupUi(this);
}

PreviewWidget::~PreviewWidget() = default;

QSize PreviewWidget::previewSize(const QSize& pictureSize, double scale)
{
    const double ratio = double(pictureSize.width()) / pictureSize.height();
    if (ratio > 16.0 / 9.0) {
        const int width = int(71.0 * scale);
        return QSize(width, int(width / ratio));
    }
    const int height = int(40.0 * scale);
    return QSize(int(height * ratio), height);
}

void PreviewWidget::loadImage(const QString& path)
{
    image = path.isEmpty() ? QImage() : QPixmap(path).toImage();
    if (!image.isNull())
        setFixedSize(previewSize(image.size(), QssManager::dpiScale()));
    update();
}

void PreviewWidget::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(rect(), image);
}
