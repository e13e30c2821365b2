#include "ui/part/previewwidget.h"

#include "ui_previewwidget.h"

#include "win/qssmanager.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

QSize previewThumbnailSize(const QSize& pictureSize, double scale)
{
    if (pictureSize.isEmpty())
        return QSize();
    const double ratio = double(pictureSize.width()) / pictureSize.height();
    int width = 0;
    int height = 0;
    if (ratio > 16.0 / 9.0) {
        width = int(71.0 * scale);
        height = int(width / ratio);
    } else {
        height = int(40.0 * scale);
        width = int(height * ratio);
    }
    // A very wide or tall picture still gets a thumbnail one pixel across.
    return QSize(std::max(width, 1), std::max(height, 1));
}

PreviewWidget::PreviewWidget(QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::PreviewWidget>())
{
    ui->setupUi(this);
}

PreviewWidget::~PreviewWidget() = default;

void PreviewWidget::loadImage(const QString& path)
{
    image = QPixmap(path).toImage();
    if (!image.isNull())
        setFixedSize(previewThumbnailSize(image.size(), QssManager::dpiScale()));
    update();
}

bool PreviewWidget::isImageNull() const { return image.isNull(); }

void PreviewWidget::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (image.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(rect(), image);
}
