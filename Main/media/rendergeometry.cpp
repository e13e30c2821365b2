#include "media/rendergeometry.h"

int normalizedRotation(int rotation)
{
    // The remainder first, so that adding 360 never overflows.
    const int r = rotation % 360;
    return r < 0 ? r + 360 : r;
}

QSizeF fittedPictureSize(QSizeF picture, int rotation, QSizeF area)
{
    const int r = normalizedRotation(rotation);
    if (r == 90 || r == 270)
        picture.transpose();
    if (picture.isEmpty() || area.isEmpty())
        return QSizeF(0, 0);
    const double aspect = picture.width() / picture.height();
    if (aspect >= area.width() / area.height())
        return { area.width(), area.width() / aspect };
    return { aspect * area.height(), area.height() };
}

float lumaStrideScale(uint32_t width, uint32_t strideY)
{
    return strideY > width ? float(width) / float(strideY) : 1.0f;
}

float chromaStrideScale(uint32_t width, uint32_t strideUV)
{
    return strideUV > width / 2 ? float(width) * 0.5f / float(strideUV) : 1.0f;
}

QSize painterPictureSize(uint32_t width, uint32_t height, int rotation)
{
    const int r = normalizedRotation(rotation);
    if (r != 90 && r != 180 && r != 270)
        return QSize(int(width), int(height));
    const uint32_t w = r == 180 ? width : height;
    const uint32_t h = r == 180 ? height : width;
    const QSize size(int(w / 8 * 8), int(h / 2 * 2));
    return size.isEmpty() ? QSize() : size;
}

QRect painterTargetRect(QSize image, QSize widget)
{
    if (image.isEmpty() || widget.isEmpty())
        return {};
    const double imageAspect = double(image.width()) / image.height();
    const double widgetAspect = double(widget.width()) / widget.height();
    if (imageAspect >= widgetAspect) {
        const int height = int(widget.width() / imageAspect);
        return QRect(0, (widget.height() - height) / 2, widget.width(), height);
    }
    const int width = int(widget.height() * imageAspect);
    return QRect((widget.width() - width) / 2, 0, width, widget.height());
}
