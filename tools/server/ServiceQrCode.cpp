#include "tools/server/ServiceQrCode.h"

#include <qrencode.h>
#include <zlib.h>

#include <memory>
#include <vector>

namespace rundix::server {
namespace {

constexpr int kQuietZone = 4;

void PutBigEndian(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>((v >> 24) & 0xFF));
  out.push_back(static_cast<char>((v >> 16) & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
  out.push_back(static_cast<char>(v & 0xFF));
}

void PutChunk(std::string& png, const char type[4], const std::string& data) {
  PutBigEndian(png, static_cast<uint32_t>(data.size()));
  std::string typed(type, 4);
  typed += data;
  png += typed;
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
  PutBigEndian(png, static_cast<uint32_t>(crc));
}

struct QrCloser {
  void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

std::optional<std::string> MakeQrCodePng(const std::string& text, int moduleSize) {
  if (moduleSize < 1 || moduleSize > 32) return std::nullopt;
  std::unique_ptr<QRcode, QrCloser> code(QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M));
  if (!code || code->width <= 0) return std::nullopt;
  const int modules = code->width + 2 * kQuietZone;
  const int side = modules * moduleSize;

  // Rows of greyscale pixels, each after its filter byte (0: none).
  std::vector<unsigned char> raw;
  raw.reserve(static_cast<size_t>(side) * (side + 1));
  for (int y = 0; y < side; ++y) {
    raw.push_back(0);
    int my = y / moduleSize - kQuietZone;
    for (int x = 0; x < side; ++x) {
      int mx = x / moduleSize - kQuietZone;
      bool dark = my >= 0 && mx >= 0 && my < code->width && mx < code->width &&
                  (code->data[my * code->width + mx] & 1) != 0;
      raw.push_back(dark ? 0x00 : 0xFF);
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK) {
    return std::nullopt;
  }
  packed.resize(packedSize);

  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBigEndian(header, static_cast<uint32_t>(side));
  PutBigEndian(header, static_cast<uint32_t>(side));
  header.push_back(8);  // bit depth
  header.push_back(0);  // greyscale
  header.push_back(0);  // deflate
  header.push_back(0);  // adaptive filtering
  header.push_back(0);  // no interlace
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", packed);
  PutChunk(png, "IEND", std::string());
  return png;
}

}  // namespace rundix::server
