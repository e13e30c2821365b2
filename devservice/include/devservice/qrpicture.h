#pragma once

#include <string>

namespace devservice {

// A PNG picture (8-bit grey) of `text` as a QR code, with a four-module quiet zone and `moduleSize` pixels
// per module; empty when the text cannot be encoded. Pure and thread-safe.
std::string qrPicturePng(const std::string& text, int moduleSize = 4);

} // namespace devservice
