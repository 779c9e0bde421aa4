// The parts of the raster seam that both back ends share: PNG output and the stretch rule.
#include "platform/Raster.h"

#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBIW_WINDOWS_UTF8
#include <stb_image_write.h>

namespace rundix {

bool WritePng(const Bitmap& bitmap, const std::string& path) {
  const int width = bitmap.Width(), height = bitmap.Height();
  const uint8_t* pixels = bitmap.ReadPixels();
  if (pixels == nullptr || width <= 0 || height <= 0 || path.empty()) return false;
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = pixels + static_cast<size_t>(y) * bitmap.Stride();
    uint8_t* out = rgba.data() + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x, in += 4, out += 4) {
      const unsigned a = in[3];
      // Undo the premultiplication, rounding to nearest; a colour brighter than its alpha
      // allows (not premultiplied data) saturates.
      auto straight = [a](unsigned c) -> uint8_t {
        if (a == 0) return 0;
        unsigned v = (c * 255 + a / 2) / a;
        return static_cast<uint8_t>(v > 255 ? 255 : v);
      };
      out[0] = straight(in[2]);
      out[1] = straight(in[1]);
      out[2] = straight(in[0]);
      out[3] = static_cast<uint8_t>(a);
    }
  }
  return stbi_write_png(path.c_str(), width, height, 4, rgba.data(), width * 4) != 0;
}

int StretchSourceIndex(int destIndex, int sourceLength, int destLength, bool horizontal, bool copy) {
  if (sourceLength <= 0 || destLength <= 0 || destIndex < 0 || destIndex >= destLength) return 0;
  const int64_t j = destIndex, s = sourceLength, d = destLength;
  if (d >= s) return static_cast<int>(((2 * j + 1) * s - 1) / (2 * d));
  if (!horizontal) return static_cast<int>((2 * j * s + d) / (2 * d));
  if (copy && d == 1) return static_cast<int>(s - 2);
  return static_cast<int>((2 * (j + 1) * s + d) / (2 * d) - 1);
}

}  // namespace rundix
