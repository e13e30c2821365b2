#include "QrEncoder/src/qr_encoder.h"

#include "base/memvialog.h"

#include <QPainter>

#include <qrencode.h>

#include <memory>

namespace zov {

namespace {

    constexpr int kMinimumVersion = 7;

    struct QRcodeDeleter {
        void operator()(QRcode* code) const { QRcode_free(code); }
    };

} // namespace

int QREncoder::effectiveMode(const char* utf8Text, int mode)
{
    if (mode != QR_MODE_KANJI || !utf8Text)
        return mode;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8Text); *p; ++p) {
        if (*p > 127)
            return QR_MODE_8;
    }
    return mode;
}

QImage QREncoder::encode(const char* utf8Text, const QREncodeOptions& options)
{
    const char* text = utf8Text ? utf8Text : "";
    const int mode = effectiveMode(text, options.mode);
    BG_LOGD("[QR]: ver=%d, level=%d, mode=%d, casesen=%d", kMinimumVersion, options.level, mode,
        options.caseSensitive ? 1 : 0);
    const std::unique_ptr<QRcode, QRcodeDeleter> code(
        QRcode_encodeString(text, kMinimumVersion, static_cast<QRecLevel>(options.level),
            static_cast<QRencodeMode>(mode), options.caseSensitive ? 1 : 0));
    if (!code || code->width <= 0 || options.width <= 0 || options.height <= 0) {
        BG_LOGE("二维码生成失败：text=%s", text);
        return QImage();
    }

    QImage image(options.width, options.height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.fillRect(QRect(0, 0, options.width, options.height), options.background);
    painter.setBrush(options.foreground);
    const int n = code->width;
    const double size = double(options.width - 2 * options.margin) / n;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            if (code->data[i * n + j] & 1)
                painter.drawRect(QRectF(j * size + options.margin, i * size + options.margin, size, size));
        }
    }
    painter.end();
    return image;
}

} // namespace zov
