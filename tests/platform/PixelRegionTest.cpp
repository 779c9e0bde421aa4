// Region arithmetic and GDI's region and outline shapes as pixel sets.
#include <gtest/gtest.h>

#include <string>

#include "platform/PixelRegion.h"

namespace rundix {
namespace {

// The region drawn as text, one line per row of `box`.
std::string Picture(const PixelRegion& region, const RECT& box) {
  std::string out;
  for (int y = box.top; y < box.bottom; ++y) {
    for (int x = box.left; x < box.right; ++x) out += region.Contains(x, y) ? '#' : '.';
    out += '\n';
  }
  return out;
}

TEST(PixelRegionTest, RectanglesExcludeRightAndBottomAndNormalise) {
  PixelRegion r = PixelRegion::Rect(RECT{2, 3, 5, 6});
  EXPECT_TRUE(r.Contains(2, 3));
  EXPECT_TRUE(r.Contains(4, 5));
  EXPECT_FALSE(r.Contains(5, 5));
  EXPECT_FALSE(r.Contains(4, 6));
  EXPECT_FALSE(r.Contains(1, 3));
  RECT b = r.Bounds();
  EXPECT_EQ(b.left, 2);
  EXPECT_EQ(b.top, 3);
  EXPECT_EQ(b.right, 5);
  EXPECT_EQ(b.bottom, 6);
  PixelRegion inverted = PixelRegion::Rect(RECT{5, 6, 2, 3});
  EXPECT_EQ(Picture(inverted, RECT{0, 0, 8, 8}), Picture(r, RECT{0, 0, 8, 8}));
  EXPECT_TRUE(PixelRegion::Rect(RECT{4, 4, 4, 9}).Empty());
  RECT none = PixelRegion().Bounds();
  EXPECT_EQ(none.left | none.top | none.right | none.bottom, 0);
}

TEST(PixelRegionTest, UnionIntersectSubtract) {
  PixelRegion a = PixelRegion::Rect(RECT{0, 0, 6, 4});
  PixelRegion b = PixelRegion::Rect(RECT{3, 2, 9, 7});
  EXPECT_EQ(Picture(a.Union(b), RECT{0, 0, 10, 8}),
            "######....\n"
            "######....\n"
            "#########.\n"
            "#########.\n"
            "...######.\n"
            "...######.\n"
            "...######.\n"
            "..........\n");
  EXPECT_EQ(Picture(a.Intersect(b), RECT{0, 0, 10, 8}),
            "..........\n"
            "..........\n"
            "...###....\n"
            "...###....\n"
            "..........\n"
            "..........\n"
            "..........\n"
            "..........\n");
  EXPECT_EQ(Picture(a.Subtract(b), RECT{0, 0, 10, 8}),
            "######....\n"
            "######....\n"
            "###.......\n"
            "###.......\n"
            "..........\n"
            "..........\n"
            "..........\n"
            "..........\n");
  EXPECT_TRUE(a.Subtract(a).Empty());
  EXPECT_TRUE(a.Intersect(PixelRegion()).Empty());
  // Touching spans join into one.
  PixelRegion joined = PixelRegion::Rect(RECT{0, 0, 3, 1}).Union(PixelRegion::Rect(RECT{3, 0, 5, 1}));
  ASSERT_EQ(joined.Rows().size(), 1u);
  EXPECT_EQ(joined.Rows()[0].spans.size(), 1u);
}

TEST(PixelRegionTest, RectsCoverTheRegionOnceInBands) {
  PixelRegion shape = PixelRegion::RoundRect(RECT{0, 0, 21, 15}, 9, 7).Subtract(PixelRegion::Rect(RECT{8, 4, 12, 9}));
  std::vector<RECT> rects = shape.Rects();
  PixelRegion rebuilt;
  int pixels = 0;
  for (const RECT& r : rects) {
    EXPECT_TRUE(rebuilt.Intersect(PixelRegion::Rect(r)).Empty()) << "overlapping rectangles";
    rebuilt = rebuilt.Union(PixelRegion::Rect(r));
    pixels += (r.right - r.left) * (r.bottom - r.top);
  }
  EXPECT_EQ(Picture(rebuilt, RECT{-1, -1, 22, 16}), Picture(shape, RECT{-1, -1, 22, 16}));
  int counted = 0;
  for (const auto& row : shape.Rows()) {
    for (const auto& s : row.spans) counted += s.second - s.first;
  }
  EXPECT_EQ(pixels, counted);
  // Rows with the same spans share one rectangle: the hole's four rows make three bands.
  EXPECT_LT(rects.size(), 20u);
}

// The skin's corners: CreateRoundRectRgn leaves out the last column and row, which is why the
// library passes right + 1 and bottom + 1.
TEST(PixelRegionTest, SkinCornersOfTheRoundRegion) {
  // 2 × 2 corners leave the rectangle square.
  EXPECT_EQ(Picture(PixelRegion::RoundRect(RECT{0, 0, 9, 7}, 2, 2), RECT{0, 0, 9, 7}),
            "########.\n"
            "########.\n"
            "########.\n"
            "########.\n"
            "########.\n"
            "########.\n"
            ".........\n");
  EXPECT_EQ(Picture(PixelRegion::RoundRect(RECT{0, 0, 11, 9}, 5, 5), RECT{0, 0, 11, 9}),
            ".########..\n"
            "##########.\n"
            "##########.\n"
            "##########.\n"
            "##########.\n"
            "##########.\n"
            "##########.\n"
            ".########..\n"
            "...........\n");
  PixelRegion nine = PixelRegion::RoundRect(RECT{0, 0, 21, 21}, 9, 9);
  EXPECT_FALSE(nine.Contains(2, 0));
  EXPECT_TRUE(nine.Contains(3, 0));
  EXPECT_FALSE(nine.Contains(0, 2));
  EXPECT_TRUE(nine.Contains(1, 1));
  EXPECT_TRUE(nine.Contains(0, 3));
  EXPECT_TRUE(nine.Contains(0, 10));
  EXPECT_FALSE(nine.Contains(20, 10));
  // Corners below 2 are square; a corner larger than the rectangle is limited to it.
  EXPECT_EQ(Picture(PixelRegion::RoundRect(RECT{0, 0, 5, 4}, 1, 9), RECT{0, 0, 5, 4}),
            Picture(PixelRegion::Rect(RECT{0, 0, 4, 3}), RECT{0, 0, 5, 4}));
  PixelRegion ellipse = PixelRegion::RoundRect(RECT{0, 0, 9, 9}, 50, 50);
  EXPECT_EQ(Picture(ellipse, RECT{0, 0, 9, 9}), Picture(PixelRegion::RoundRect(RECT{0, 0, 9, 9}, 8, 8), RECT{0, 0, 9, 9}));
  EXPECT_TRUE(ellipse.Contains(4, 0));
  EXPECT_FALSE(ellipse.Contains(0, 0));
  // Symmetric left to right and top to bottom.
  PixelRegion big = PixelRegion::RoundRect(RECT{0, 0, 41, 31}, 17, 13);
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) EXPECT_EQ(big.Contains(x, y), big.Contains(39 - x, 29 - y)) << x << "," << y;
  }
}

TEST(PixelRegionTest, InsideFrameOutlines) {
  EXPECT_EQ(Picture(PixelRegion::Frame(RECT{0, 0, 6, 5}, 1), RECT{0, 0, 7, 6}),
            "######.\n"
            "#....#.\n"
            "#....#.\n"
            "#....#.\n"
            "######.\n"
            ".......\n");
  EXPECT_EQ(Picture(PixelRegion::Frame(RECT{0, 0, 7, 6}, 2), RECT{0, 0, 7, 6}),
            "#######\n"
            "#######\n"
            "##...##\n"
            "##...##\n"
            "#######\n"
            "#######\n");
  EXPECT_EQ(Picture(PixelRegion::Frame(RECT{0, 0, 8, 6}, 1, 5, 5), RECT{0, 0, 8, 6}),
            ".######.\n"
            "#......#\n"
            "#......#\n"
            "#......#\n"
            "#......#\n"
            ".######.\n");
  // A one-pixel rectangle has no outline of width 1; empty rectangles none at all.
  EXPECT_TRUE(PixelRegion::Frame(RECT{3, 3, 4, 4}, 1).Empty());
  EXPECT_TRUE(PixelRegion::Frame(RECT{3, 3, 3, 9}, 2).Empty());
  EXPECT_FALSE(PixelRegion::Frame(RECT{3, 3, 4, 9}, 1).Empty());
  // A limit keeps what lies inside it and nothing else changes.
  for (int w : {1, 2, 3}) {
    RECT r{-40, 3, 70, 58}, limit{0, 0, 30, 20};
    PixelRegion whole = PixelRegion::Frame(r, w, 17, 11);
    PixelRegion limited = PixelRegion::Frame(r, w, 17, 11, &limit);
    EXPECT_EQ(Picture(limited, RECT{-45, 0, 75, 60}), Picture(whole.Intersect(PixelRegion::Rect(limit)), RECT{-45, 0, 75, 60}));
    EXPECT_FALSE(limited.Empty());
  }
  // Every outline stays inside its rectangle.
  for (int w = 1; w <= 4; ++w) {
    for (int corner : {0, 2, 5, 9}) {
      RECT r{2, 3, 30, 21};
      EXPECT_TRUE(PixelRegion::Frame(r, w, corner, corner).Subtract(PixelRegion::Rect(r)).Empty()) << w << " " << corner;
    }
  }
}

TEST(PixelRegionTest, WindowRegionJoinsItsShapes) {
  WindowRegion region;
  region.roundRect = RECT{0, 0, 101, 81};
  region.cx = 5;
  region.cy = 5;
  region.extraRects = {RECT{0, 70, 10, 80}};
  PixelRegion pixels = region.Pixels();
  EXPECT_FALSE(pixels.Contains(0, 0));
  EXPECT_TRUE(pixels.Contains(0, 79));  // the extra rectangle squares one corner
  EXPECT_FALSE(pixels.Contains(99, 79));
  EXPECT_TRUE(pixels.Contains(50, 40));
  EXPECT_EQ(pixels.Bounds().right, 100);
  WindowRegion plain;
  plain.roundRect = RECT{0, 0, 10, 10};
  EXPECT_TRUE(plain.Pixels().Contains(9, 9));
}

}  // namespace
}  // namespace rundix
