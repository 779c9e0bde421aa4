// Canvases, pixel checks and failure captures for the UI library's tests, over the shared
// pixel helpers of tests/support/PixelCheck.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Raster.h"
#include "platform/Resources.h"
#include "tests/support/PixelCheck.h"
#include "ui/KuTypes.h"

namespace rundix::test {

// A bitmap and a canvas on it, filled with `background`.
struct TestCanvas {
  std::unique_ptr<Bitmap> bitmap;
  std::unique_ptr<Canvas> canvas;
};

inline TestCanvas MakeCanvas(int width, int height, ARGB background) {
  TestCanvas t;
  t.bitmap = CreateBitmap(width, height);
  if (t.bitmap) t.canvas = CreateCanvas(*t.bitmap);
  if (t.canvas && background) t.canvas->FillRect(RECT{0, 0, width, height}, background);
  return t;
}

// The colour channels of the pixel at (x, y) within `tolerance` of `expected`. Alpha is left
// out: opaque GDI drawing leaves the alpha byte undefined.
inline ::testing::AssertionResult PixelNear(const Bitmap& bitmap, int x, int y, ARGB expected,
                                           int tolerance = 2) {
  if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) {
    return ::testing::AssertionFailure() << "(" << x << ", " << y << ") is outside the bitmap";
  }
  ::testing::AssertionResult result = ColourNear(PixelAt(bitmap, x, y), expected, tolerance);
  if (result) return result;
  return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << result.message();
}

// Writes <suite>.<test>[_<tag>]_err.png under the build folder's artifacts/ when the running
// test has failed. With RUNDIX_UI_CAPTURES set, a passing test's capture is written there
// too (without _err), for a look by eye.
inline void SaveIfFailed(const Bitmap& bitmap, const std::string& tag = {}) {
  std::string name = CurrentTestName();
  if (!tag.empty()) name += "_" + tag;
  if (::testing::Test::HasFailure()) {
    const std::string path = SaveFailure(bitmap, name);
    if (!path.empty()) std::printf("capture: %s\n", path.c_str());
  } else if (std::getenv("RUNDIX_UI_CAPTURES")) {
    std::error_code ec;
    const auto folder = std::filesystem::path(RUNDIX_BINARY_DIR) / "artifacts";
    std::filesystem::create_directories(folder, ec);
    WritePng(bitmap, (folder / (name + ".png")).string());
  }
}

// The bytes of one of the tests' own resources.
inline std::string ResourceString(const std::wstring& type, UINT id) {
  auto bytes = FindResourceBytes(nullptr, type, id);
  if (!bytes) return {};
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->size);
}

}  // namespace rundix::test
