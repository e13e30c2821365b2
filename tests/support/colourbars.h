#pragma once

// The watching tests' picture: eight vertical colour bars (white, yellow, cyan, green, magenta, red, blue,
// black) and a white square that moves with the frame number. A picture shows the pattern when the mean
// colour around the centre of each bar is within 40 of the bar's colour in every channel; the square's
// place tells whether the picture moves. Works on QImage in any 32-bit format.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace colourbars {

inline const std::array<QRgb, 8> kBars = { qRgb(255, 255, 255), qRgb(255, 255, 0), qRgb(0, 255, 255),
    qRgb(0, 255, 0), qRgb(255, 0, 255), qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 0, 0) };
constexpr int kTolerance = 40;

// The square sits in the lower quarter, away from the bars' centres, and walks along it.
inline int squareSide(int height) { return qMax(4, height / 8); }
inline QRect squareRect(int width, int height, uint32_t number)
{
    const int side = squareSide(height);
    const int travel = qMax(1, width - side);
    const int x = int((number * 8u) % uint32_t(travel));
    return QRect(x, height - side - height / 32, side, side);
}

inline QImage draw(int width, int height, uint32_t number)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    for (int bar = 0; bar < 8; ++bar) {
        const int left = width * bar / 8;
        const int right = width * (bar + 1) / 8;
        painter.fillRect(QRect(left, 0, right - left, height), QColor(kBars[size_t(bar)]));
    }
    // A dark lane under the square, so that it shows against the white bar too.
    const QRect square = squareRect(width, height, number);
    painter.fillRect(QRect(0, square.top() - 2, width, square.height() + 4), QColor(16, 16, 16));
    painter.fillRect(square, Qt::white);
    return image;
}

inline QRgb meanColour(const QImage& image, const QRect& area)
{
    long long r = 0, g = 0, b = 0, n = 0;
    const QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            r += qRed(pixel);
            g += qGreen(pixel);
            b += qBlue(pixel);
            ++n;
        }
    }
    return n ? qRgb(int(r / n), int(g / n), int(b / n)) : qRgb(0, 0, 0);
}

inline bool near(QRgb seen, QRgb wanted)
{
    return std::abs(qRed(seen) - qRed(wanted)) <= kTolerance && std::abs(qGreen(seen) - qGreen(wanted)) <= kTolerance
        && std::abs(qBlue(seen) - qBlue(wanted)) <= kTolerance;
}

// Whether the picture shows the bars: each bar's centre (a patch of a quarter of its width, at a third of
// the height) is near its colour.
inline bool showsBars(const QImage& image)
{
    if (image.width() < 16 || image.height() < 16)
        return false;
    for (int bar = 0; bar < 8; ++bar) {
        const int left = image.width() * bar / 8;
        const int right = image.width() * (bar + 1) / 8;
        const int span = qMax(1, (right - left) / 4);
        const int cx = (left + right) / 2;
        const int cy = image.height() / 3;
        const QRect patch(cx - span / 2, cy - span / 2, span, qMax(1, span));
        if (!near(meanColour(image, patch), kBars[size_t(bar)]))
            return false;
    }
    return true;
}

// The horizontal centre of the white square in the lane, or nothing when no bright run is found there.
inline std::optional<int> squareCentre(const QImage& image)
{
    const int side = squareSide(image.height());
    const int y = image.height() - side / 2 - image.height() / 32 - 1;
    if (y < 0 || y >= image.height())
        return std::nullopt;
    long long sum = 0, n = 0;
    for (int x = 0; x < image.width(); ++x) {
        if (qGray(image.pixel(x, y)) > 160) {
            sum += x;
            ++n;
        }
    }
    if (n < side / 2)
        return std::nullopt;
    return int(sum / n);
}

} // namespace colourbars
