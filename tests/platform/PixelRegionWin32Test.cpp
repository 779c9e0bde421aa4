// PixelRegion against the real GDI (Wine's): every pixel of CreateRoundRectRgn, and every
// pixel that Rectangle and RoundRect paint with an inside-frame pen, over many sizes and
// corners, so the Linux raster's clips and outlines can be trusted to match.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/PixelRegion.h"
#include "platform/WindowTypes.h"

namespace rundix {
namespace {

constexpr int kLefts[] = {3};
constexpr int kSizes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 16, 23, 40};
constexpr int kCorners[] = {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 13, 17, 30, 50, -5};

// Where GDI's own region is undefined: Wine walks the corner ellipse from its middle row
// until x passes half its width; a narrow, tall ellipse stops before its last rows, which
// Wine never fills in (they vary from call to call).
bool WineLeavesRowsUnset(int width, int height, int cx, int cy) {
  const int64_t ew = std::min(width - 1, std::abs(cx)), eh = std::min(height - 1, std::abs(cy));
  if (ew < 2 || eh < 2) return false;
  const int64_t a = ew - 1, b = eh - 1;
  int64_t dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + (b % 2)), err = dx + dy + a * a * (b % 2);
  int64_t x = 0, y = eh / 2;
  while (x <= ew / 2) {
    int64_t e2 = 2 * err;
    if (e2 >= dx) {
      x++;
      err += dx += 8 * b * b;
    }
    if (e2 <= dy) {
      y++;
      err += dy += 8 * a * a;
    }
  }
  return y < eh - 1;
}

std::string Describe(const char* what, int w, int h, int cx, int cy) {
  return std::string(what) + " " + std::to_string(w) + "x" + std::to_string(h) + " corner " + std::to_string(cx) +
         "," + std::to_string(cy);
}

TEST(PixelRegionWin32Test, RoundRegionsArePixelForPixelGdis) {
  int compared = 0;
  for (int w : kSizes) {
    for (int h : kSizes) {
      for (int cx : kCorners) {
        for (int cy : kCorners) {
          if (WineLeavesRowsUnset(w, h, cx, cy)) continue;
          const RECT rect{kLefts[0], 4, kLefts[0] + w, 4 + h};
          HRGN gdi = CreateRoundRectRgn(rect.left, rect.top, rect.right, rect.bottom, cx, cy);
          ASSERT_NE(gdi, nullptr);
          PixelRegion ours = PixelRegion::RoundRect(rect, cx, cy);
          int wrong = 0;
          for (int y = 0; y < 4 + h + 3; ++y) {
            for (int x = 0; x < kLefts[0] + w + 3; ++x) wrong += (PtInRegion(gdi, x, y) != FALSE) != ours.Contains(x, y);
          }
          DeleteObject(gdi);
          ASSERT_EQ(wrong, 0) << Describe("region", w, h, cx, cy);
          ++compared;
        }
      }
    }
  }
  EXPECT_GT(compared, 40000);
}

// A DIB to draw outlines on and read back.
class Dib {
 public:
  Dib(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = SelectObject(dc_, bitmap_);
  }
  ~Dib() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;
  HDC dc() const { return dc_; }
  void Clear() {
    GdiFlush();
    std::memset(bits_, 0, static_cast<size_t>(width_) * height_ * 4);
  }
  // Call after GdiFlush.
  bool Painted(int x, int y) const { return bits_[y * width_ + x] != 0; }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

TEST(PixelRegionWin32Test, InsideFrameOutlinesArePixelForPixelGdis) {
  Dib dib(64, 64);
  SelectObject(dib.dc(), GetStockObject(NULL_BRUSH));
  int compared = 0;
  for (int width : {1, 2, 3}) {
    HPEN pen = CreatePen(PS_INSIDEFRAME, width, RGB(255, 255, 255));
    HGDIOBJ oldPen = SelectObject(dib.dc(), pen);
    for (int w : kSizes) {
      for (int h : kSizes) {
        for (int cx : kCorners) {
          for (int cy : kCorners) {
            if (cx < 0 || cy < 0) continue;
            const bool round = cx != 0 || cy != 0;
            const RECT rect{5, 6, 5 + w, 6 + h};
            dib.Clear();
            if (round) RoundRect(dib.dc(), rect.left, rect.top, rect.right, rect.bottom, cx, cy);
            else Rectangle(dib.dc(), rect.left, rect.top, rect.right, rect.bottom);
            GdiFlush();
            PixelRegion ours = PixelRegion::Frame(rect, width, cx, cy);
            int wrong = 0;
            for (int y = 0; y < rect.bottom + 4; ++y) {
              for (int x = 0; x < rect.right + 4; ++x) wrong += dib.Painted(x, y) != ours.Contains(x, y);
            }
            ASSERT_EQ(wrong, 0) << Describe(round ? "RoundRect" : "Rectangle", w, h, cx, cy) << " pen " << width;
            ++compared;
          }
        }
      }
    }
    SelectObject(dib.dc(), oldPen);
    DeleteObject(pen);
  }
  EXPECT_GT(compared, 30000);
}

}  // namespace
}  // namespace rundix
