#include "QrEncoder/src/qr_encoder.h"

#include "memvia/memvia_component.h"

#include <bridge/logger.h>

#include <QTemporaryDir>

#include <qrencode.h>
#include <zbar.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

namespace {

struct QRcodeDeleter {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

// The text zbar reads from the picture; empty when it finds no QR code.
std::string readBack(const QImage& picture)
{
    const QImage gray = picture.convertToFormat(QImage::Format_Grayscale8);
    std::vector<unsigned char> pixels;
    for (int y = 0; y < gray.height(); ++y)
        pixels.insert(pixels.end(), gray.constScanLine(y), gray.constScanLine(y) + gray.width());
    zbar::ImageScanner scanner;
    scanner.set_config(zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 0);
    scanner.set_config(zbar::ZBAR_QRCODE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::Image image(gray.width(), gray.height(), "Y800", pixels.data(), pixels.size());
    if (scanner.scan(image) <= 0)
        return std::string();
    return image.symbol_begin()->get_data();
}

class QrPainter : public ::testing::Test {
protected:
    MemviaComponent component;
    zov::QREncoder encoder;
};

} // namespace

TEST_F(QrPainter, ModulesMatchLibqrencodeAndReadBack)
{
    const std::string longText(300, 'x');
    const std::string texts[] = {
        "http://127.0.0.1:8080/goapi/pay?order_id=5001",
        longText + "?tail=1",
        "会员充值：年度会员，¥188",
    };
    const zov::QREncodeOptions
        options; // 200 × 200, margin 5, level M, Kanji hint, as the payment form paints
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        const QImage image = encoder.encode(text.c_str(), options);
        ASSERT_FALSE(image.isNull());
        ASSERT_EQ(image.size(), QSize(200, 200));

        const int mode = zov::QREncoder::effectiveMode(text.c_str(), options.mode);
        const std::unique_ptr<QRcode, QRcodeDeleter> code(
            QRcode_encodeString(text.c_str(), 7, QR_ECLEVEL_M, static_cast<QRencodeMode>(mode), 1));
        ASSERT_TRUE(code);
        const int n = code->width;
        EXPECT_GE(n, 45) << "version 7 at least";
        const double size = 190.0 / n;
        int mismatches = 0;
        for (int i = 0; i < n; ++i) {
            for (int j = 0; j < n; ++j) {
                const QRgb centre = image.pixel(int(5 + (j + 0.5) * size), int(5 + (i + 0.5) * size));
                const bool dark = code->data[i * n + j] & 1;
                if (centre != (dark ? qRgb(0, 0, 0) : qRgb(255, 255, 255)))
                    ++mismatches;
            }
        }
        EXPECT_EQ(mismatches, 0);
        for (int k = 0; k < 200; ++k) {
            for (const QPoint point : { QPoint(k, 0), QPoint(k, 4), QPoint(0, k), QPoint(4, k),
                     QPoint(k, 196), QPoint(196, k), QPoint(k, 199), QPoint(199, k) })
                ASSERT_EQ(image.pixel(point), qRgb(255, 255, 255)) << point.x() << "," << point.y();
        }
        EXPECT_EQ(readBack(image), text);
    }
}

TEST_F(QrPainter, KanjiHintKeepsAsciiAndReadsUtf8As8Bit)
{
    EXPECT_EQ(zov::QREncoder::effectiveMode("http://a/b", QR_MODE_KANJI), QR_MODE_KANJI);
    EXPECT_EQ(zov::QREncoder::effectiveMode("中文", QR_MODE_KANJI), QR_MODE_8);
    EXPECT_EQ(zov::QREncoder::effectiveMode("中文", QR_MODE_8), QR_MODE_8);
}

TEST_F(QrPainter, ColoursAndWideImages)
{
    zov::QREncodeOptions options;
    options.width = 300;
    options.height = 200;
    options.margin = 10;
    options.background = QColor(10, 20, 30);
    options.foreground = QColor(200, 100, 0);
    const QImage image = encoder.encode("colours", options);
    ASSERT_EQ(image.size(), QSize(300, 200));
    EXPECT_EQ(image.pixel(0, 0), qRgb(10, 20, 30));
    // The finder pattern's top-left module is dark and lies at the margin.
    EXPECT_EQ(image.pixel(12, 12), qRgb(200, 100, 0));
}

TEST_F(QrPainter, TooLongTextGivesANullImageAndAnErrorLine)
{
    QTemporaryDir dir;
    bg::Logger logger(dir.filePath("qr.log").toUtf8().constData());
    component.logger = &logger;
    std::mutex mutex;
    std::vector<std::string> lines;
    bg::log::hook([&](int, const char*, const char* text) {
        std::lock_guard<std::mutex> lock(mutex);
        lines.push_back(text);
    });
    const std::string text(8192, 'a');
    EXPECT_TRUE(encoder.encode(text.c_str(), zov::QREncodeOptions()).isNull());
    bg::log::hook(nullptr);
    component.logger = nullptr;
    bool logged = false;
    for (const std::string& line : lines)
        logged = logged || line.find("二维码生成失败：text=aaaa") != std::string::npos;
    EXPECT_TRUE(logged);
}
