// Canvases, pixel checks and failure captures for the UI library's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Raster.h"
#include "platform/Resources.h"
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

// The stored (premultiplied) pixel as 0xAARRGGBB.
inline ARGB PixelAt(const Bitmap& bitmap, int x, int y) {
  const uint8_t* p = bitmap.ReadPixels() + static_cast<size_t>(y) * bitmap.Stride() + x * 4;
  return (ARGB(p[3]) << 24) | (ARGB(p[2]) << 16) | (ARGB(p[1]) << 8) | p[0];
}

inline std::string Hex(ARGB v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "#%08X", static_cast<unsigned>(v));
  return buffer;
}

// Every channel within `tolerance`.
inline ::testing::AssertionResult PixelNear(const Bitmap& bitmap, int x, int y, ARGB expected,
                                           int tolerance = 2) {
  if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height()) {
    return ::testing::AssertionFailure() << "(" << x << ", " << y << ") is outside the bitmap";
  }
  const ARGB actual = PixelAt(bitmap, x, y);
  for (int shift = 0; shift < 32; shift += 8) {
    const int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    if (std::abs(a - e) > tolerance) {
      return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << Hex(actual)
                                           << ", expected " << Hex(expected);
    }
  }
  return ::testing::AssertionSuccess();
}

// Writes <suite>_<test>[_<tag>]_err.png under the build folder's artifacts/ when the running
// test has failed, so the capture can be looked at. With RUNDIX_UI_CAPTURES set, a passing
// test's capture is written too (without _err), for a look by eye.
inline void SaveIfFailed(const Bitmap& bitmap, const std::string& tag = {}) {
  const bool failed = ::testing::Test::HasFailure();
  if (!failed && !std::getenv("RUNDIX_UI_CAPTURES")) return;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "_" + info->name();
  if (!tag.empty()) name += "_" + tag;
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  std::error_code ec;
  std::filesystem::create_directories(RUNDIX_ARTIFACTS_DIR, ec);
  const std::string path = std::string(RUNDIX_ARTIFACTS_DIR) + "/" + name + (failed ? "_err.png" : ".png");
  if (WritePng(bitmap, path)) {
    std::printf("capture: %s\n", path.c_str());
  }
}

// The bytes of one of the tests' own resources.
inline std::string ResourceString(const std::wstring& type, UINT id) {
  auto bytes = FindResourceBytes(nullptr, type, id);
  if (!bytes) return {};
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->size);
}

}  // namespace rundix::test
