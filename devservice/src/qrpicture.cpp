#include <devservice/qrpicture.h>

#include <QByteArray>
#include <QtEndian>

#include <qrencode.h>

#include <array>
#include <cstdint>
#include <memory>

namespace devservice {

namespace {

    constexpr int kQuietModules = 4;

    uint32_t crc32(const std::string& bytes)
    {
        static const std::array<uint32_t, 256> table = [] {
            std::array<uint32_t, 256> entries {};
            for (uint32_t n = 0; n < 256; ++n) {
                uint32_t c = n;
                for (int k = 0; k < 8; ++k)
                    c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                entries[n] = c;
            }
            return entries;
        }();
        uint32_t crc = 0xFFFFFFFFu;
        for (unsigned char byte : bytes)
            crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
        return crc ^ 0xFFFFFFFFu;
    }

    std::string bigEndian(uint32_t value)
    {
        char bytes[4];
        qToBigEndian(value, bytes);
        return std::string(bytes, 4);
    }

    std::string chunk(const char* type, const std::string& data)
    {
        const std::string typed = std::string(type, 4) + data;
        return bigEndian(uint32_t(data.size())) + typed + bigEndian(crc32(typed));
    }

} // namespace

std::string qrPicturePng(const std::string& text, int moduleSize)
{
    std::unique_ptr<QRcode, void (*)(QRcode*)> code(
        QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code || moduleSize < 1)
        return std::string();
    const int modules = code->width + 2 * kQuietModules;
    const int side = modules * moduleSize;

    // Rows of grey pixels, each after its filter byte (0: none).
    std::string rows;
    rows.reserve(size_t(side) * (side + 1));
    for (int y = 0; y < side; ++y) {
        rows.push_back('\0');
        const int my = y / moduleSize - kQuietModules;
        for (int x = 0; x < side; ++x) {
            const int mx = x / moduleSize - kQuietModules;
            const bool inside = mx >= 0 && my >= 0 && mx < code->width && my < code->width;
            const bool dark = inside && (code->data[my * code->width + mx] & 1);
            rows.push_back(dark ? '\0' : '\xFF');
        }
    }
    // qCompress gives a zlib stream behind a four-byte length, which PNG does not want.
    const QByteArray compressed = qCompress(QByteArray::fromStdString(rows), 9).mid(4);

    std::string header = bigEndian(uint32_t(side)) + bigEndian(uint32_t(side));
    header += std::string("\x08\x00\x00\x00\x00", 5); // 8-bit grey, deflate, no filter method, no interlace
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header)
        + chunk("IDAT", compressed.toStdString()) + chunk("IEND", std::string());
}

} // namespace devservice
