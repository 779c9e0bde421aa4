#include "tests/support/PixelCheck.h"

#include <cstdio>
#include <filesystem>

namespace rundix::test {

uint32_t PixelAt(const Bitmap& bitmap, int x, int y) {
  if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) return 0;
  const uint8_t* p = bitmap.ReadPixels() + static_cast<size_t>(y) * bitmap.Stride() + static_cast<size_t>(x) * 4;
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

void FillBitmap(Bitmap& bitmap, uint32_t argb) {
  uint8_t* pixels = bitmap.LockPixels();
  for (int y = 0; y < bitmap.Height(); ++y) {
    uint8_t* p = pixels + static_cast<size_t>(y) * bitmap.Stride();
    for (int x = 0; x < bitmap.Width(); ++x, p += 4) {
      p[0] = static_cast<uint8_t>(argb);
      p[1] = static_cast<uint8_t>(argb >> 8);
      p[2] = static_cast<uint8_t>(argb >> 16);
      p[3] = static_cast<uint8_t>(argb >> 24);
    }
  }
  bitmap.UnlockPixels();
}

::testing::AssertionResult ColourNear(uint32_t actual, uint32_t expected, int tolerance, bool withAlpha) {
  for (int shift = 0; shift < (withAlpha ? 32 : 24); shift += 8) {
    int a = static_cast<int>((actual >> shift) & 0xFF), e = static_cast<int>((expected >> shift) & 0xFF);
    if (a - e > tolerance || e - a > tolerance) {
      char text[96];
      std::snprintf(text, sizeof text, "%08X, expected %08X (±%d%s)", actual, expected, tolerance,
                    withAlpha ? "" : ", alpha ignored");
      return ::testing::AssertionFailure() << text;
    }
  }
  return ::testing::AssertionSuccess();
}

PixelRegion InkOf(const Bitmap& bitmap, uint32_t background, uint32_t mask) {
  std::vector<PixelRegion::Row> rows;
  for (int y = 0; y < bitmap.Height(); ++y) {
    PixelRegion::Row row{y, {}};
    for (int x = 0; x < bitmap.Width(); ++x) {
      if ((PixelAt(bitmap, x, y) & mask) != (background & mask)) row.spans.emplace_back(x, x + 1);
    }
    rows.push_back(std::move(row));
  }
  return PixelRegion::FromRows(std::move(rows));
}

std::string SaveFailure(const Bitmap& bitmap, const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path folder = fs::path(RUNDIX_BINARY_DIR) / "artifacts";
  fs::create_directories(folder, ec);
  std::string path = (folder / (name + "_err.png")).string();
  auto shown = CreateBitmap(bitmap.Width(), bitmap.Height());
  if (!shown) return std::string();
  const uint8_t* from = bitmap.ReadPixels();
  uint8_t* to = shown->LockPixels();
  for (int y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* in = from + static_cast<size_t>(y) * bitmap.Stride();
    uint8_t* out = to + static_cast<size_t>(y) * shown->Stride();
    for (int x = 0; x < bitmap.Width(); ++x, in += 4, out += 4) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      out[3] = 0xFF;
    }
  }
  shown->UnlockPixels();
  return WritePng(*shown, path) ? path : std::string();
}

std::string CurrentTestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info == nullptr) return "unknown";
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '_';
  }
  return name;
}

}  // namespace rundix::test
