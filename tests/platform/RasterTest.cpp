// The raster seam on both builds: GDI and MSIMG32 under Wine, cairo and the own loops on
// Linux, held to the same pixels for fills, blits, outlines and clips, and to the same
// layout rules for text.
#include <gtest/gtest.h>

#include <stb_image.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/PixelRegion.h"
#include "platform/Raster.h"
#include "tests/support/PixelCheck.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

using test::ColourNear;
using test::InkOf;
using test::PixelAt;

// AlphaBlend's rounding, channel by channel.
uint32_t Mix(uint32_t src, uint32_t dst, uint32_t a) { return (src * a + dst * (255 - a) + 127) / 255; }
uint32_t Channel(uint32_t argb, int shift) { return (argb >> shift) & 0xFF; }
uint32_t ConstantBlend(uint32_t dst, uint32_t src, uint32_t a) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) out |= Mix(Channel(src, shift), Channel(dst, shift), a) << shift;
  return out;
}
// Premultiplied source over the destination, the source first scaled by `a`.
uint32_t OverBlend(uint32_t dst, uint32_t src, uint32_t a) {
  uint32_t sa = (Channel(src, 24) * a + 127) / 255;
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    uint32_t s = (Channel(src, shift) * a + 127) / 255;
    out |= (s + (Channel(dst, shift) * (255 - sa) + 127) / 255) << shift;
  }
  return out;
}

class RasterTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(64, 48); }
  void TearDown() override {
    if (HasFailure() && bitmap) {
      std::string path = test::SaveFailure(*bitmap, test::CurrentTestName());
      if (!path.empty()) std::printf("capture: %s\n", path.c_str());
    }
  }
  void Reset(int width, int height, uint32_t background = 0) {
    canvas.reset();
    bitmap = CreateBitmap(width, height);
    ASSERT_TRUE(bitmap);
    if (background != 0) test::FillBitmap(*bitmap, background);
    canvas = CreateCanvas(*bitmap);
    ASSERT_TRUE(canvas);
  }
  // Every pixel inside `shape` has `inside` and every other pixel `outside` (RGB only).
  void ExpectPixels(const PixelRegion& shape, uint32_t inside, uint32_t outside, int tolerance = 0) {
    int wrong = 0;
    for (int y = 0; y < bitmap->Height(); ++y) {
      for (int x = 0; x < bitmap->Width(); ++x) {
        uint32_t expected = shape.Contains(x, y) ? inside : outside;
        auto check = ColourNear(PixelAt(*bitmap, x, y), expected, tolerance);
        if (!check && ++wrong <= 5) ADD_FAILURE() << "pixel (" << x << ", " << y << "): " << check.message();
      }
    }
    EXPECT_EQ(wrong, 0);
  }

  std::unique_ptr<Bitmap> bitmap;
  std::unique_ptr<Canvas> canvas;
};

TEST_F(RasterTest, BitmapsAreTopDownTransparentAndRefuseAbsurdSizes) {
  auto b = CreateBitmap(7, 3);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->Width(), 7);
  EXPECT_EQ(b->Height(), 3);
  EXPECT_EQ(b->Stride(), 28);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 7; ++x) EXPECT_EQ(PixelAt(*b, x, y), 0u);
  }
  // Row 0 is the top row: what is written there is what a canvas sees at y = 0.
  uint8_t* p = b->LockPixels();
  p[0] = 0x11;
  p[3] = 0xFF;
  b->UnlockPixels();
  auto c = CreateCanvas(*b);
  ASSERT_TRUE(c);
  c->FillRect(RECT{1, 0, 2, 1}, 0xFF0000FF);
  EXPECT_EQ(PixelAt(*b, 0, 0), 0xFF000011u);
  EXPECT_TRUE(ColourNear(PixelAt(*b, 1, 0), 0x0000FF));
  EXPECT_EQ(PixelAt(*b, 1, 1), 0u);

  EXPECT_FALSE(CreateBitmap(0, 10));
  EXPECT_FALSE(CreateBitmap(10, -1));
  EXPECT_FALSE(CreateBitmap(kMaxBitmapSide + 1, 1));
  EXPECT_FALSE(CreateBitmap(kMaxBitmapSide, kMaxBitmapSide));
}

TEST_F(RasterTest, OpaqueFillCoversExactlyItsRectangle) {
  canvas->FillRect(RECT{10, 5, 30, 20}, 0xFF0D3AFF);
  ExpectPixels(PixelRegion::Rect(RECT{10, 5, 30, 20}), 0x0D3AFF, 0);
  // Alpha 0 draws nothing, nor does an empty or inverted rectangle.
  canvas->FillRect(RECT{0, 0, 64, 48}, 0x00FF0000);
  canvas->FillRect(RECT{40, 10, 40, 30}, 0xFFFF0000);
  canvas->FillRect(RECT{50, 10, 45, 30}, 0xFFFF0000);
  ExpectPixels(PixelRegion::Rect(RECT{10, 5, 30, 20}), 0x0D3AFF, 0);
}

TEST_F(RasterTest, PartialAlphaFillBlendsWithThatAlpha) {
  canvas->FillRect(RECT{0, 0, 64, 48}, 0xFF0D3AFF);
  canvas->FillRect(RECT{8, 8, 24, 24}, 0x55555555);
  uint32_t expected = ConstantBlend(0xFF0D3AFF, 0xFF555555, 0x55);
  EXPECT_TRUE(ColourNear(expected, 0x2543C6, 1));  // the blend itself, worked out by hand
  ExpectPixels(PixelRegion::Rect(RECT{8, 8, 24, 24}), expected, 0x0D3AFF, 1);

  // Over transparent pixels the result is the premultiplied colour at that alpha.
  Reset(16, 16);
  canvas->FillRect(RECT{0, 0, 16, 16}, 0x55555555);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 3, 3), ConstantBlend(0, 0xFF555555, 0x55), 1, true));
}

TEST_F(RasterTest, LayeredTargetsKeepOpaqueAlpha) {
  canvas->SetLayered(true);
  canvas->FillRect(RECT{0, 0, 64, 48}, 0xFF0D3AFF);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 5, 5), 0xFF0D3AFF, 0, true));
  canvas->FillRect(RECT{0, 0, 32, 48}, 0x55555555);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 5, 5), ConstantBlend(0xFF0D3AFF, 0xFF555555, 0x55), 1, true));
  canvas->FrameRoundRect(RECT{36, 4, 60, 30}, 2, 5, 5, 0xFF102030);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 48, 4), 0xFF102030, 0, true));
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 48, 15), 0xFF0D3AFF, 0, true));
}

// A bitmap whose pixel (x, y) is opaque with blue = x + 1 and green = y + 1.
std::unique_ptr<Bitmap> Numbered(int width, int height) {
  auto b = CreateBitmap(width, height);
  uint8_t* p = b->LockPixels();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* q = p + y * b->Stride() + x * 4;
      q[0] = static_cast<uint8_t>(x + 1);
      q[1] = static_cast<uint8_t>(y + 1);
      q[2] = 0x40;
      q[3] = 0xFF;
    }
  }
  b->UnlockPixels();
  return b;
}

TEST_F(RasterTest, OpaqueBlitCopiesPixels) {
  auto source = Numbered(8, 6);
  canvas->DrawBitmap(*source, RECT{10, 20, 14, 23}, RECT{2, 1, 6, 4}, 255, false);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelAt(*bitmap, 10 + x, 20 + y), PixelAt(*source, 2 + x, 1 + y)) << x << "," << y;
  }
  EXPECT_EQ(PixelAt(*bitmap, 9, 20), 0u);
  EXPECT_EQ(PixelAt(*bitmap, 14, 20), 0u);
  EXPECT_EQ(PixelAt(*bitmap, 10, 23), 0u);
  // Empty and inverted rectangles draw nothing.
  canvas->DrawBitmap(*source, RECT{30, 30, 30, 40}, RECT{0, 0, 8, 6}, 255, false);
  canvas->DrawBitmap(*source, RECT{40, 30, 35, 40}, RECT{0, 0, 8, 6}, 255, false);
  canvas->DrawBitmap(*source, RECT{30, 30, 40, 40}, RECT{4, 0, 2, 6}, 255, false);
  EXPECT_EQ(InkOf(*bitmap, 0, 0xFFFFFFFF).Bounds().bottom, 23);
}

// Stretching picks, for each destination pixel, the source pixel the shared rule names, on
// both axes, on the copying path and the blending path.
TEST_F(RasterTest, StretchPicksTheNearestSourcePixelByTheSharedRule) {
  Reset(100, 100);
  const int sizes[][2] = {{1, 1}, {1, 5}, {2, 3}, {2, 7}, {3, 4}, {3, 8}, {5, 2}, {5, 3}, {7, 3},
                          {8, 1}, {9, 4}, {16, 9}, {13, 31}, {24, 48}, {40, 17}, {3, 1}, {2, 1}};
  for (bool copy : {true, false}) {
    for (const auto& size : sizes) {
      const int s = size[0], d = size[1];
      auto source = Numbered(s + 2, s + 2);
      test::FillBitmap(*bitmap, 0);
      canvas->DrawBitmap(*source, RECT{3, 4, 3 + d, 4 + d}, RECT{1, 1, 1 + s, 1 + s}, 255, !copy);
      for (int j = 0; j < d; ++j) {
        uint32_t across = PixelAt(*bitmap, 3 + j, 4), down = PixelAt(*bitmap, 3, 4 + j);
        EXPECT_EQ(static_cast<int>(across & 0xFF) - 2, StretchSourceIndex(j, s, d, true, copy))
            << (copy ? "copy " : "blend ") << s << " -> " << d << " column " << j;
        EXPECT_EQ(static_cast<int>((down >> 8) & 0xFF) - 2, StretchSourceIndex(j, s, d, false, copy))
            << (copy ? "copy " : "blend ") << s << " -> " << d << " row " << j;
      }
      EXPECT_EQ(PixelAt(*bitmap, 3 + d, 4), 0u);
      EXPECT_EQ(PixelAt(*bitmap, 3, 4 + d), 0u);
    }
  }
}

// A stretch that is partly clipped, or partly off the bitmap, puts the same pixels where it
// is visible.
TEST_F(RasterTest, ClippedStretchKeepsItsMapping) {
  Reset(60, 60);
  for (bool copy : {true, false}) {
    auto source = Numbered(12, 12);
    test::FillBitmap(*bitmap, 0);
    canvas->PushClipRect(RECT{20, 25, 45, 50});
    canvas->DrawBitmap(*source, RECT{13, 17, 50, 54}, RECT{1, 2, 10, 11}, 255, !copy);
    canvas->PopClip();
    canvas->DrawBitmap(*source, RECT{-7, -5, 15, 16}, RECT{0, 0, 12, 5}, 255, !copy);
    for (int y = 0; y < 60; ++y) {
      for (int x = 0; x < 60; ++x) {
        uint32_t p = PixelAt(*bitmap, x, y);
        int sx = -1, sy = -1;
        if (x < 15 && y < 16) {
          sx = StretchSourceIndex(x + 7, 12, 22, true, copy);
          sy = StretchSourceIndex(y + 5, 5, 21, false, copy);
        } else if (x >= 20 && x < 45 && y >= 25 && y < 50) {
          sx = 1 + StretchSourceIndex(x - 13, 9, 37, true, copy);
          sy = 2 + StretchSourceIndex(y - 17, 9, 37, false, copy);
        }
        uint32_t expected = sx < 0 ? 0u : PixelAt(*source, sx, sy);
        ASSERT_TRUE(ColourNear(p, expected)) << (copy ? "copy" : "blend") << " at " << x << "," << y;
      }
    }
  }
}

TEST(StretchRuleTest, EndsMapToEndsAndEveryIndexIsInside) {
  for (int s = 1; s <= 64; ++s) {
    for (int d = 1; d <= 130; ++d) {
      for (bool horizontal : {true, false}) {
        for (bool copy : {true, false}) {
          int previous = -1;
          for (int j = 0; j < d; ++j) {
            int i = StretchSourceIndex(j, s, d, horizontal, copy);
            ASSERT_GE(i, 0);
            ASSERT_LT(i, s);
            ASSERT_GE(i, previous) << s << " -> " << d;
            previous = i;
          }
          if (d >= s) {
            EXPECT_EQ(StretchSourceIndex(0, s, d, horizontal, copy), 0);
            EXPECT_EQ(StretchSourceIndex(d - 1, s, d, horizontal, copy), s - 1);
          }
        }
      }
    }
  }
  // Doubling repeats each pixel twice.
  for (int j = 0; j < 10; ++j) EXPECT_EQ(StretchSourceIndex(j, 5, 10, true, true), j / 2);
}

TEST_F(RasterTest, BlendingWithConstantAndPerPixelAlpha) {
  const uint32_t background = 0xFF0D3AFF;
  canvas->FillRect(RECT{0, 0, 64, 48}, background);
  auto source = CreateBitmap(2, 1);
  uint8_t* p = source->LockPixels();
  const uint8_t opaque[4] = {0x10, 0x80, 0xF0, 0xFF};    // 0xFFF08010
  const uint8_t half[4] = {0x20, 0x40, 0x60, 0x80};      // premultiplied, alpha 0x80
  std::memcpy(p, opaque, 4);
  std::memcpy(p + 4, half, 4);
  source->UnlockPixels();
  const uint32_t opaquePixel = 0xFFF08010, halfPixel = 0x80604020;

  canvas->DrawBitmap(*source, RECT{0, 0, 2, 1}, RECT{0, 0, 2, 1}, 0x80, false);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 0, 0), ConstantBlend(background, opaquePixel, 0x80), 1));
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 1, 0), ConstantBlend(background, halfPixel, 0x80), 1));

  canvas->DrawBitmap(*source, RECT{0, 2, 2, 3}, RECT{0, 0, 2, 1}, 255, true);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 0, 2), opaquePixel));
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 1, 2), OverBlend(background, halfPixel, 255), 1));

  canvas->DrawBitmap(*source, RECT{0, 4, 2, 5}, RECT{0, 0, 2, 1}, 0x80, true);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 0, 4), OverBlend(background, opaquePixel, 0x80), 1));
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 1, 4), OverBlend(background, halfPixel, 0x80), 1));

  // Fully transparent source pixels leave the target alone.
  auto clear = CreateBitmap(4, 4);
  canvas->DrawBitmap(*clear, RECT{10, 10, 30, 30}, RECT{0, 0, 4, 4}, 255, true);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 15, 15), background));
}

// Whole rows of random pixels through the three blends, premultiplied sources and ones that
// are not (whose sums spill into the next channel, as AlphaBlend's do).
TEST_F(RasterTest, BlendsFollowAlphaBlendsArithmeticPixelForPixel) {
  Reset(37, 24);
  uint32_t seed = 12345;
  auto next = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  auto source = CreateBitmap(37, 1);
  uint8_t* p = source->LockPixels();
  std::vector<uint32_t> src(37);
  for (int x = 0; x < 37; ++x) {
    uint32_t a = x < 4 ? 255u : x < 8 ? 0u : next() & 0xFF;
    uint32_t argb = a << 24;
    for (int shift = 0; shift < 24; shift += 8) {
      uint32_t c = next() & 0xFF;
      argb |= (x % 5 == 4 ? c : c * a / 255) << shift;  // every fifth pixel not premultiplied
    }
    if (x >= 4 && x < 8) argb = 0;
    src[static_cast<size_t>(x)] = argb;
    std::memcpy(p + x * 4, &argb, 4);
  }
  source->UnlockPixels();
  std::vector<uint32_t> dst(37 * 24);
  uint8_t* q = bitmap->LockPixels();
  for (size_t i = 0; i < dst.size(); ++i) {
    dst[i] = next() | 0xFF000000u;
    if (i % 7 == 0) dst[i] &= 0x7FFFFFFF;
    std::memcpy(q + i * 4, &dst[i], 4);
  }
  bitmap->UnlockPixels();
  struct Mode {
    BYTE alpha;
    bool perPixel;
  };
  const Mode modes[] = {{255, true}, {0x80, true}, {0x33, true}, {0x80, false}, {0x01, false}, {0xFE, false}};
  for (int m = 0; m < 6; ++m) {
    for (int row = 4 * m; row < 4 * m + 4; ++row) {
      canvas->DrawBitmap(*source, RECT{0, row, 37, row + 1}, RECT{0, 0, 37, 1}, modes[m].alpha, modes[m].perPixel);
    }
  }
  int wrong = 0;
  for (int m = 0; m < 6; ++m) {
    for (int row = 4 * m; row < 4 * m + 4; ++row) {
      for (int x = 0; x < 37; ++x) {
        uint32_t d = dst[static_cast<size_t>(row * 37 + x)], s = src[static_cast<size_t>(x)];
        uint32_t expected = modes[m].perPixel ? (s == 0 ? d : OverBlend(d, s, modes[m].alpha))
                                              : ConstantBlend(d, s, modes[m].alpha);
        if (PixelAt(*bitmap, x, row) != expected && ++wrong <= 5) {
          ADD_FAILURE() << "mode " << m << " at " << x << "," << row << ": " << std::hex << PixelAt(*bitmap, x, row)
                        << " expected " << expected << " (source " << s << ", target " << d << ")";
        }
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(RasterTest, OutlinesAtFullAlphaAreTheInsideFramePixels) {
  struct Case {
    RECT rect;
    int width, cx, cy;
  };
  const Case cases[] = {{{4, 4, 40, 30}, 1, 0, 0},  {{4, 4, 40, 30}, 2, 0, 0},  {{3, 5, 20, 21}, 1, 2, 2},
                        {{3, 5, 20, 21}, 2, 2, 2},  {{6, 2, 50, 40}, 1, 5, 5},  {{6, 2, 50, 40}, 2, 5, 5},
                        {{1, 1, 38, 28}, 1, 9, 7},  {{1, 1, 38, 28}, 2, 12, 9}, {{10, 10, 11, 30}, 1, 0, 0},
                        {{2, 3, 61, 46}, 3, 20, 20}};
  for (const Case& c : cases) {
    test::FillBitmap(*bitmap, 0xFFFFFFFF);
    if (c.cx == 0) canvas->FrameRect(c.rect, c.width, 0xFF203040);
    else canvas->FrameRoundRect(c.rect, c.width, c.cx, c.cy, 0xFF203040);
    PixelRegion expected = PixelRegion::Frame(c.rect, c.width, c.cx, c.cy);
    SCOPED_TRACE(::testing::Message() << "width " << c.width << " corner " << c.cx << "," << c.cy);
    // Inside the rectangle, and the whole border.
    EXPECT_TRUE(expected.Subtract(PixelRegion::Rect(c.rect)).Empty());
    ExpectPixels(expected, 0x203040, 0xFFFFFF);
    if (HasFailure()) return;
  }
}

TEST_F(RasterTest, OutlinesBelowFullAlphaBlendTheSamePixels) {
  const RECT rect{5, 6, 45, 40};
  for (int width : {1, 2}) {
    for (int corner : {0, 5}) {
      test::FillBitmap(*bitmap, 0xFFFFFFFF);
      canvas->FillRect(RECT{0, 0, 64, 48}, 0xFF0D3AFF);
      if (corner == 0) canvas->FrameRect(rect, width, 0x80FF0000);
      else canvas->FrameRoundRect(rect, width, corner, corner, 0x80FF0000);
      PixelRegion expected = PixelRegion::Frame(rect, width, corner, corner);
      SCOPED_TRACE(::testing::Message() << "width " << width << " corner " << corner);
      ExpectPixels(expected, OverBlend(0xFF0D3AFF, 0xFFFF0000, 0x80), 0x0D3AFF, 1);
      if (HasFailure()) return;
    }
  }
}

TEST_F(RasterTest, RoundClipIsTheRoundRegionOfTheRectangle) {
  for (int corner : {2, 5, 9}) {
    test::FillBitmap(*bitmap, 0);
    const RECT rect{6, 4, 50, 30};
    canvas->PushClipRoundRect(rect, corner, corner);
    EXPECT_EQ(canvas->GetClipBox().left, 6);
    EXPECT_EQ(canvas->GetClipBox().right, 50);
    canvas->FillRect(RECT{0, 0, 64, 48}, 0xFF00FF00);
    canvas->PopClip();
    SCOPED_TRACE(::testing::Message() << "corner " << corner);
    PixelRegion expected = PixelRegion::RoundRect(RECT{6, 4, 51, 31}, corner, corner);
    // The clip covers the rectangle's own pixels, minus the corners.
    EXPECT_EQ(expected.Bounds().right, 50);
    EXPECT_EQ(expected.Bounds().bottom, 30);
    ExpectPixels(expected, 0x00FF00, 0);
    if (HasFailure()) return;
  }
}

TEST_F(RasterTest, NestedClipsIntersectAndPopRestores) {
  EXPECT_EQ(canvas->GetClipBox().right, 64);
  canvas->PushClipRect(RECT{10, 10, 40, 40});
  canvas->PushClipRect(RECT{20, 0, 60, 30});
  RECT box = canvas->GetClipBox();
  EXPECT_EQ(box.left, 20);
  EXPECT_EQ(box.top, 10);
  EXPECT_EQ(box.right, 40);
  EXPECT_EQ(box.bottom, 30);
  canvas->PushClipRoundRect(RECT{20, 10, 39, 29}, 6, 6);
  canvas->FillRect(RECT{0, 0, 64, 48}, 0xFFFF0000);
  canvas->PopClip();
  canvas->FillRect(RECT{0, 0, 64, 48}, 0xFF00FF00);  // the 20..40 × 10..30 clip again
  canvas->PopClip();
  box = canvas->GetClipBox();
  EXPECT_EQ(box.left, 10);
  EXPECT_EQ(box.bottom, 40);
  canvas->FillRect(RECT{0, 0, 64, 48}, 0x800000FF);
  canvas->PopClip();
  canvas->PopClip();  // one too many: harmless
  canvas->FillRect(RECT{0, 0, 2, 2}, 0xFFFFFFFF);

  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 0, 0), 0xFFFFFF));
  // Green covered the red, and the blue went over both.
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 25, 20), ConstantBlend(0xFF00FF00, 0xFF0000FF, 0x80), 1));
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 15, 15), ConstantBlend(0, 0xFF0000FF, 0x80), 1));
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 30, 35), ConstantBlend(0, 0xFF0000FF, 0x80), 1));
  EXPECT_EQ(PixelAt(*bitmap, 45, 20), 0u);
  EXPECT_EQ(PixelAt(*bitmap, 5, 5), 0u);
  // A clip that misses the bitmap draws nothing and reports an empty box.
  canvas->PushClipRect(RECT{100, 100, 120, 120});
  box = canvas->GetClipBox();
  EXPECT_TRUE(box.left >= box.right || box.top >= box.bottom);
  canvas->FillRect(RECT{0, 0, 64, 48}, 0xFF123456);
  canvas->PopClip();
  EXPECT_EQ(PixelAt(*bitmap, 45, 20), 0u);
}

// Coordinates, corners and pen widths distant beyond any bitmap draw what shows of them, quickly.
TEST_F(RasterTest, AbsurdGeometryDrawsWhatShows) {
  const LONG distant = 10000000;
  canvas->FrameRect(RECT{-distant, 10, distant, 30}, 1, 0xFF0000FF);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 0, 10), 0x0000FF));
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 63, 29), 0x0000FF));
  EXPECT_EQ(PixelAt(*bitmap, 30, 20), 0u);
  canvas->FrameRoundRect(RECT{-distant, -distant, distant, distant}, 3, distant, distant, 0xFF00FF00);
  canvas->FrameRect(RECT{-distant, -distant, distant, distant}, 1, 0x80FF0000);
  canvas->FillRect(RECT{-distant, 46, distant, distant}, 0x80FF0000);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 20, 47), ConstantBlend(0, 0xFFFF0000, 0x80), 1));
  canvas->PushClipRoundRect(RECT{-distant, -distant, distant, distant}, 5, 5);
  canvas->FillRect(RECT{0, 40, 64, 48}, 0xFFFF0000);
  canvas->PopClip();
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 0, 47), 0xFF0000));
  canvas->PushClipRoundRect(RECT{0, 0, 63, 47}, 100000000, 100000000);
  canvas->FillRect(RECT{0, 0, 64, 8}, 0xFF00FFFF);
  canvas->PopClip();
  EXPECT_EQ(PixelAt(*bitmap, 0, 0) & 0xFFFFFF, 0u);     // cut off by the ellipse
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 32, 4), 0x00FFFF));
  canvas->FrameRect(RECT{0, 0, 64, 48}, 1000000, 0xFF123456);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 0, 0), 0x123456));
  // A stretch wider than any sensible destination draws nothing; a wide one draws its part.
  auto source = Numbered(4, 4);
  canvas->DrawBitmap(*source, RECT{-2000000000, 0, 2000000000, 48}, RECT{0, 0, 4, 4}, 255, false);
  EXPECT_TRUE(ColourNear(PixelAt(*bitmap, 32, 20), 0x123456));
  canvas->DrawBitmap(*source, RECT{-distant, 0, distant, 48}, RECT{0, 0, 4, 4}, 255, false);
  EXPECT_EQ(PixelAt(*bitmap, 32, 20), PixelAt(*source, StretchSourceIndex(distant + 32, 4, 2 * distant, true, true),
                                                StretchSourceIndex(20, 4, 48, false, true)));
}

TEST_F(RasterTest, WritePngStoresStraightAlpha) {
  Reset(3, 2);
  canvas->SetLayered(true);  // GDI's opaque fills leave the alpha byte 0 otherwise
  canvas->FillRect(RECT{0, 0, 1, 1}, 0xFFC86432);
  canvas->FillRect(RECT{1, 0, 2, 1}, 0x80C86432);
  test::TempDir dir;
  std::string path = dir.path() + "/out.png";
  ASSERT_TRUE(WritePng(*bitmap, path));
  int w = 0, h = 0, n = 0;
  unsigned char* rgba = stbi_load(path.c_str(), &w, &h, &n, 4);
  ASSERT_NE(rgba, nullptr);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  EXPECT_EQ(rgba[0], 0xC8);
  EXPECT_EQ(rgba[1], 0x64);
  EXPECT_EQ(rgba[2], 0x32);
  EXPECT_NEAR(rgba[4], 0xC8, 2);
  EXPECT_NEAR(rgba[5], 0x64, 2);
  EXPECT_NEAR(rgba[6], 0x32, 2);
  EXPECT_NEAR(rgba[7], 0x80, 1);
  EXPECT_EQ(rgba[11], 0);
  stbi_image_free(rgba);
  EXPECT_FALSE(WritePng(*bitmap, dir.path() + "/no/such/folder/out.png"));
}

}  // namespace
}  // namespace rundix
