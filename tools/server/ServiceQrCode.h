// QR codes of the login tickets as PNG images (libqrencode for the symbol, zlib for the
// image data).
#pragma once

#include <optional>
#include <string>

namespace rundix::server {

// The text as a QR symbol (error correction level M), `moduleSize` pixels per module with a
// quiet zone of four modules, as an 8-bit greyscale PNG. Nothing when the text does not fit a
// symbol.
std::optional<std::string> MakeQrCodePng(const std::string& text, int moduleSize = 6);

}  // namespace rundix::server
