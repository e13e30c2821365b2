#pragma once

#include <QImage>
#include <QWidget>

#include <memory>

namespace Ui {
class PreviewWidget;
}

// A thumbnail of one picture file, painted stretched over the widget. Loading a picture fixes the widget's
// size by the picture's aspect ratio (previewSize); a path that does not load leaves no picture and the
// size as it was. GUI thread only.
class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWidget(QWidget* parent = nullptr);
    ~PreviewWidget() override;

    void loadImage(const QString& path);
    bool isImageNull() const { return image.isNull(); }

    // The thumbnail size of a picture of `pictureSize` at DPI factor `scale`: 71 × scale wide for pictures
    // wider than 16:9, else 40 × scale high, the other side following the ratio (both truncated).
    static QSize previewSize(const QSize& pictureSize, double scale);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<Ui::PreviewWidget> ui;
    QImage image;
};
