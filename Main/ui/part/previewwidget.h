#pragma once

#include <QImage>
#include <QSize>
#include <QWidget>

#include <memory>

namespace Ui {
class PreviewWidget;
}

// The thumbnail of a picture of `pictureSize` at DPI factor `scale`: pictures wider than 16:9 are 71 x scale
// wide, all others 40 x scale high, the other side following the picture's ratio (truncated, and never
// below 1 pixel). An empty picture size gives an empty size.
QSize previewThumbnailSize(const QSize& pictureSize, double scale);

// One picture file as a small thumbnail sized by the picture's ratio. GUI thread only.
class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWidget(QWidget* parent = nullptr);
    ~PreviewWidget() override;

    // A path that does not load leaves the image null and the size as it was.
    void loadImage(const QString& path);
    bool isImageNull() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Ui::PreviewWidget> ui;
    QImage image;
};
