#pragma once

#include <QColor>
#include <QImage>

namespace zov {

// How a code is painted. The level and mode are libqrencode's QRecLevel and QRencodeMode numbers.
struct QREncodeOptions {
    int width = 200;
    int height = 200;
    int margin = 5; // blank border on every side, in pixels
    int level = 1; // M
    int mode = 3; // the Kanji hint
    bool caseSensitive = true;
    QColor background = Qt::white;
    QColor foreground = Qt::black;
};

// Paints a text as a QR code: libqrencode's symbol (version 7 at least), its dark modules as squares of
// (width - 2 * margin) / N pixels laid out along the width. Stateless; any thread.
class QREncoder {
public:
    QREncoder() = default;
    virtual ~QREncoder() = default;

    // A null image (and an error line in the log) when the text cannot be encoded.
    QImage encode(const char* utf8Text, const QREncodeOptions& options);

    // The encoding mode used for a text: the Kanji hint reads Shift-JIS, so a text with bytes above 127
    // (UTF-8) is encoded as 8-bit data instead.
    static int effectiveMode(const char* utf8Text, int mode);
};

} // namespace zov
