// Drawing routines on a real canvas, checked by rule at known points.
#include "ui/KuRenderUtils.h"

#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"
#include "ui/KuLoadResource.h"

namespace KUM {
namespace {

using rundix::test::MakeCanvas;
using rundix::test::PixelAt;
using rundix::test::PixelNear;
using rundix::test::SaveIfFailed;
using rundix::test::TestCanvas;

constexpr ARGB kBackground = 0xFF000000;
constexpr ARGB kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kYellow = 0xFFFFFF00,
               kMagenta = 0xFFFF00FF, kCyan = 0xFF00FFFF, kWhite = 0xFFFFFFFF,
               kGrey = 0xFF808080, kOrange = 0xFFFF8000;

// `colour` blended over `under` with constant alpha `alpha` (both opaque).
ARGB Blend(ARGB colour, ARGB under, int alpha) {
  ARGB out = 0xFF000000;
  for (int shift = 0; shift < 24; shift += 8) {
    const int c = (colour >> shift) & 0xFF, u = (under >> shift) & 0xFF;
    out |= static_cast<ARGB>((c * alpha + u * (255 - alpha) + 127) / 255) << shift;
  }
  return out;
}

class KuRenderUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KuLoadResource::Instance().ClearRCResource();
    KuLoadResource::Instance().ClearFileResource();
    KuLoadResource::Instance().SetResourceInstance(nullptr);
  }
  // Draws a descriptor into `item` on a fresh canvas painted with the background.
  TestCanvas Draw(int width, int height, const RECT& item, const std::wstring& descriptor,
                  const std::wstring& modify = {}, bool* drawn = nullptr) {
    TestCanvas t = MakeCanvas(width, height, kBackground);
    EXPECT_TRUE(t.canvas);
    if (!t.canvas) return t;
    bool ok = KuRenderUtils::DrawImageString(t.canvas.get(), item, RECT{0, 0, width, height},
                                             descriptor, modify);
    if (drawn) *drawn = ok;
    return t;
  }
};

TEST_F(KuRenderUtilsTest, ColoursFillOpaqueOrBlended) {
  TestCanvas t = MakeCanvas(60, 40, 0);
  ASSERT_TRUE(t.canvas);
  KuRenderUtils::DrawColor(*t.canvas, RECT{0, 0, 60, 40}, 0xFF0D3AFF);
  EXPECT_TRUE(PixelNear(*t.bitmap, 30, 20, 0xFF0D3AFF, 0));
  KuRenderUtils::DrawColor(*t.canvas, RECT{10, 10, 30, 30}, 0x55555555);
  EXPECT_TRUE(PixelNear(*t.bitmap, 20, 20, Blend(0xFF555555, 0xFF0D3AFF, 0x55)));
  EXPECT_TRUE(PixelNear(*t.bitmap, 9, 20, 0xFF0D3AFF, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 30, 20, 0xFF0D3AFF, 0));
  // Alpha 0 draws nothing.
  KuRenderUtils::DrawColor(*t.canvas, RECT{40, 0, 60, 40}, 0x00FFFFFF);
  EXPECT_TRUE(PixelNear(*t.bitmap, 50, 20, 0xFF0D3AFF, 0));
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderUtilsTest, ALayeredFillWritesRealAlpha) {
  TestCanvas t = MakeCanvas(20, 20, 0);
  ASSERT_TRUE(t.canvas);
  KuRenderUtils::DrawColor(*t.canvas, RECT{0, 0, 20, 20}, 0xFF336699, true);
  EXPECT_TRUE(PixelNear(*t.bitmap, 10, 10, 0xFF336699, 0));
  EXPECT_EQ(PixelAt(*t.bitmap, 10, 10) >> 24, 0xFFu);
  KuRenderUtils::DrawColor(*t.canvas, RECT{0, 0, 10, 20}, 0x80FFFFFF, true);
  EXPECT_TRUE(PixelNear(*t.bitmap, 5, 10, Blend(0xFFFFFFFF, 0xFF336699, 0x80)));
  EXPECT_EQ(PixelAt(*t.bitmap, 5, 10) >> 24, 0xFFu);
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderUtilsTest, OutlinesAreDrawnInsideTheRectangle) {
  TestCanvas t = MakeCanvas(120, 60, kBackground);
  ASSERT_TRUE(t.canvas);
  KuRenderUtils::DrawRect(*t.canvas, RECT{10, 10, 50, 40}, 2, kRed);
  for (POINT p : {POINT{10, 10}, POINT{11, 20}, POINT{49, 39}, POINT{48, 20}, POINT{30, 38}}) {
    EXPECT_TRUE(PixelNear(*t.bitmap, p.x, p.y, kRed, 0));
  }
  for (POINT p : {POINT{9, 10}, POINT{12, 20}, POINT{50, 20}, POINT{30, 40}, POINT{30, 25}}) {
    EXPECT_TRUE(PixelNear(*t.bitmap, p.x, p.y, kBackground, 0));
  }
  // Below alpha FF the same pixels are blended with the colour's alpha.
  KuRenderUtils::DrawRect(*t.canvas, RECT{60, 10, 100, 40}, 1, 0x80FFFFFF);
  EXPECT_TRUE(PixelNear(*t.bitmap, 60, 20, Blend(kWhite, kBackground, 0x80)));
  EXPECT_TRUE(PixelNear(*t.bitmap, 99, 39, Blend(kWhite, kBackground, 0x80)));
  EXPECT_TRUE(PixelNear(*t.bitmap, 61, 20, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 80, 25, kBackground, 0));
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderUtilsTest, RoundOutlinesLeaveTheCornersOut) {
  TestCanvas t = MakeCanvas(120, 60, kBackground);
  ASSERT_TRUE(t.canvas);
  KuRenderUtils::DrawRoundRect(*t.canvas, RECT{10, 10, 50, 50}, 1, 10, 10, kGreen);
  KuRenderUtils::DrawRoundRect(*t.canvas, RECT{60, 10, 100, 50}, 1, 10, 10, 0x80FFFFFF);
  EXPECT_TRUE(PixelNear(*t.bitmap, 30, 10, kGreen, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 10, 30, kGreen, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 10, 10, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 30, 30, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 80, 10, Blend(kWhite, kBackground, 0x80)));
  EXPECT_TRUE(PixelNear(*t.bitmap, 60, 10, kBackground, 0));
  SaveIfFailed(*t.bitmap);
}

// The nine cells of nine.png (10-pixel corners) at their places in a 100 x 60 destination.
void ExpectNineCells(const Bitmap& b, bool hole, int fade) {
  auto colour = [&](ARGB c) { return fade == 255 ? c : Blend(c, kBackground, fade); };
  const int tolerance = fade == 255 ? 0 : 2;
  EXPECT_TRUE(PixelNear(b, 15, 15, colour(kRed), tolerance));      // top-left
  EXPECT_TRUE(PixelNear(b, 60, 15, colour(kGreen), tolerance));    // top
  EXPECT_TRUE(PixelNear(b, 105, 15, colour(kBlue), tolerance));    // top-right
  EXPECT_TRUE(PixelNear(b, 15, 40, colour(kYellow), tolerance));   // left
  EXPECT_TRUE(PixelNear(b, 60, 40, hole ? kBackground : colour(kMagenta), tolerance));
  EXPECT_TRUE(PixelNear(b, 105, 40, colour(kCyan), tolerance));    // right
  EXPECT_TRUE(PixelNear(b, 15, 65, colour(kWhite), tolerance));    // bottom-left
  EXPECT_TRUE(PixelNear(b, 60, 65, colour(kGrey), tolerance));     // bottom
  EXPECT_TRUE(PixelNear(b, 105, 65, colour(kOrange), tolerance));  // bottom-right
  // The corners keep their size; the edges stretch.
  EXPECT_TRUE(PixelNear(b, 19, 19, colour(kRed), tolerance));
  EXPECT_TRUE(PixelNear(b, 20, 19, colour(kGreen), tolerance));
  EXPECT_TRUE(PixelNear(b, 99, 19, colour(kGreen), tolerance));
  EXPECT_TRUE(PixelNear(b, 100, 20, colour(kCyan), tolerance));
  EXPECT_TRUE(PixelNear(b, 9, 40, kBackground, 0));
  EXPECT_TRUE(PixelNear(b, 110, 40, kBackground, 0));
}

TEST_F(KuRenderUtilsTest, NineGridCellsInTheOpaqueAndBlendedPaths) {
  const RECT item{10, 10, 110, 70};
  for (int fade : {255, 128}) {
    for (bool hole : {false, true}) {
      std::wstring descriptor = L"res='203' restype='PNG' corner='10,10,10,10' fade='" +
                                std::to_wstring(fade) + L"'" + (hole ? L" hole='true'" : L"");
      bool drawn = false;
      TestCanvas t = Draw(120, 80, item, descriptor, {}, &drawn);
      ASSERT_TRUE(t.bitmap);
      EXPECT_TRUE(drawn);
      SCOPED_TRACE(testing::Message() << "fade " << fade << (hole ? ", hole" : ""));
      ExpectNineCells(*t.bitmap, hole, fade);
      SaveIfFailed(*t.bitmap, "fade" + std::to_string(fade) + (hole ? "_hole" : ""));
    }
  }
}

TEST_F(KuRenderUtilsTest, CellsAreDrawnOnlyInsideThePaintRectangle) {
  TestCanvas t = MakeCanvas(120, 120, kBackground);
  ASSERT_TRUE(t.canvas);
  KuImageInfo* nine = KuLoadResource::Instance().LoadImageW(203, 0, L"PNG");
  ASSERT_NE(nine, nullptr);
  // Stretched: the cells right of x = 60 are left out or cut there.
  KuRenderUtils::DrawImage(*t.canvas, *nine->bitmap, RECT{10, 10, 110, 70}, RECT{0, 0, 60, 80},
                           RECT{0, 0, 30, 30}, RECT{10, 10, 10, 10}, false, 255, false);
  EXPECT_TRUE(PixelNear(*t.bitmap, 15, 15, kRed, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 59, 40, kMagenta, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 60, 40, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 80, 15, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 105, 15, kBackground, 0));
  // One to one: only the part inside the paint rectangle is copied.
  KuRenderUtils::DrawImage(*t.canvas, *nine->bitmap, RECT{0, 80, 30, 110}, RECT{0, 95, 120, 120},
                           RECT{0, 0, 30, 30}, RECT{0, 0, 0, 0}, false, 255, false);
  EXPECT_TRUE(PixelNear(*t.bitmap, 5, 85, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 5, 96, kYellow, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 25, 105, kOrange, 0));
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderUtilsTest, DestIsPlacedInTheControlsRectangle) {
  // A 24 x 24 icon at (8, 8) in a 40 x 40 button at (100, 50).
  bool drawn = false;
  TestCanvas t = Draw(160, 100, RECT{100, 50, 140, 90}, L"res='202' restype='PNG' dest='8,8,32,32'",
                      {}, &drawn);
  ASSERT_TRUE(t.bitmap);
  EXPECT_TRUE(drawn);
  const ARGB icon = 0xFF30A050;
  for (POINT p : {POINT{108, 58}, POINT{131, 58}, POINT{108, 81}, POINT{131, 81}, POINT{120, 70}}) {
    EXPECT_TRUE(PixelNear(*t.bitmap, p.x, p.y, icon, 0));
  }
  for (POINT p : {POINT{107, 58}, POINT{108, 57}, POINT{132, 70}, POINT{120, 82}, POINT{100, 50}}) {
    EXPECT_TRUE(PixelNear(*t.bitmap, p.x, p.y, kBackground, 0));
  }
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderUtilsTest, DestRightAndBottomAreOffsetsNotSizes) {
  // halves.png (red, blue) stretched over 425..1099: 674 pixels, half red, half blue.
  TestCanvas wide = Draw(1100, 360, RECT{0, 0, 1100, 350}, L"res='204' restype='PNG' dest='425,0,1099,350'");
  ASSERT_TRUE(wide.bitmap);
  EXPECT_TRUE(PixelNear(*wide.bitmap, 424, 100, kBackground, 0));
  EXPECT_TRUE(PixelNear(*wide.bitmap, 425, 100, kRed, 0));
  EXPECT_TRUE(PixelNear(*wide.bitmap, 761, 100, kRed, 0));
  EXPECT_TRUE(PixelNear(*wide.bitmap, 762, 100, kBlue, 0));
  EXPECT_TRUE(PixelNear(*wide.bitmap, 1098, 349, kBlue, 0));
  EXPECT_TRUE(PixelNear(*wide.bitmap, 1099, 100, kBackground, 0));
  EXPECT_TRUE(PixelNear(*wide.bitmap, 1000, 350, kBackground, 0));
  SaveIfFailed(*wide.bitmap, "wide");
  // In a narrower item the destination keeps its size and is cut at the item's edge.
  TestCanvas narrow = Draw(1100, 360, RECT{0, 0, 800, 350}, L"res='204' restype='PNG' dest='425,0,1099,350'");
  ASSERT_TRUE(narrow.bitmap);
  EXPECT_TRUE(PixelNear(*narrow.bitmap, 761, 100, kRed, 0));
  EXPECT_TRUE(PixelNear(*narrow.bitmap, 799, 100, kBlue, 0));
  EXPECT_TRUE(PixelNear(*narrow.bitmap, 800, 100, kBackground, 0));
  SaveIfFailed(*narrow.bitmap, "narrow");
}

TEST_F(KuRenderUtilsTest, AModifierWithALeadingBlankTakesEffect) {
  // The progress bar's forms: " dest='…'" stretches into the bar, " source='…'" crops.
  TestCanvas dest = Draw(60, 40, RECT{0, 0, 60, 40}, L"res='203' restype='PNG'", L" dest='0,0,20,40'");
  ASSERT_TRUE(dest.bitmap);
  EXPECT_TRUE(PixelNear(*dest.bitmap, 2, 2, kRed, 0));
  EXPECT_TRUE(PixelNear(*dest.bitmap, 10, 20, kMagenta, 0));
  EXPECT_TRUE(PixelNear(*dest.bitmap, 19, 20, kCyan, 0));
  EXPECT_TRUE(PixelNear(*dest.bitmap, 20, 20, kBackground, 0));
  SaveIfFailed(*dest.bitmap, "dest");
  TestCanvas source = Draw(60, 40, RECT{0, 0, 60, 40}, L"res='203' restype='PNG'", L" source='0,0,10,10'");
  ASSERT_TRUE(source.bitmap);
  EXPECT_TRUE(PixelNear(*source.bitmap, 2, 2, kRed, 0));
  EXPECT_TRUE(PixelNear(*source.bitmap, 59, 39, kRed, 0));
  SaveIfFailed(*source.bitmap, "source");
}

TEST_F(KuRenderUtilsTest, MaskAndAlphaCloseChangeWhatIsDrawn) {
  TestCanvas masked = Draw(4, 4, RECT{0, 0, 4, 4}, L"res='205' restype='PNG' mask='#FFFF00FF'");
  ASSERT_TRUE(masked.bitmap);
  EXPECT_TRUE(PixelNear(*masked.bitmap, 1, 1, kBackground, 0));
  EXPECT_TRUE(PixelNear(*masked.bitmap, 0, 0, 0xFF404040, 0));
  SaveIfFailed(*masked.bitmap, "mask");
  KuLoadResource::Instance().ClearRCResource();
  TestCanvas unmasked = Draw(4, 4, RECT{0, 0, 4, 4}, L"res='205' restype='PNG' mask='FFFF00FF'");
  ASSERT_TRUE(unmasked.bitmap);
  EXPECT_TRUE(PixelNear(*unmasked.bitmap, 1, 1, kMagenta, 0));  // no '#': no mask
  SaveIfFailed(*unmasked.bitmap, "nomask");

  // Half-transparent blue blends; with alphaClose its stored pixels are copied as they are.
  TestCanvas blended = Draw(10, 10, RECT{0, 0, 10, 10}, L"res='207' restype='PNG'");
  ASSERT_TRUE(blended.bitmap);
  EXPECT_TRUE(PixelNear(*blended.bitmap, 5, 5, 0xFF000080, 1));
  TestCanvas closed = Draw(10, 10, RECT{0, 0, 10, 10}, L"res='207' restype='PNG' alphaClose='true'");
  ASSERT_TRUE(closed.bitmap);
  EXPECT_EQ(PixelAt(*closed.bitmap, 5, 5) & 0x00FFFFFF, 0x000080u);
  // The cached image keeps its alpha for other descriptors.
  KuImageInfo* image = KuLoadResource::Instance().LoadImageW(207, 0, L"PNG");
  ASSERT_NE(image, nullptr);
  EXPECT_TRUE(image->alpha);
  SaveIfFailed(*closed.bitmap, "alphaclose");
}

TEST_F(KuRenderUtilsTest, BrokenImagesDrawNothingAndReportFalse) {
  for (const wchar_t* descriptor :
       {L"res='210' restype='PNG'", L"res='211' restype='PNG'", L"res='212' restype='PNG'",
        L"res='299' restype='PNG'", L"res='202'  restype='PNG'", L"", L"res='abc' restype='PNG'"}) {
    bool drawn = true;
    TestCanvas t = Draw(40, 40, RECT{0, 0, 40, 40}, descriptor, {}, &drawn);
    ASSERT_TRUE(t.bitmap);
    EXPECT_FALSE(drawn) << "descriptor " << testing::PrintToString(std::wstring(descriptor));
    EXPECT_TRUE(PixelNear(*t.bitmap, 20, 20, kBackground, 0));
    EXPECT_FALSE(KuRenderUtils::DrawImageString(nullptr, RECT{0, 0, 40, 40}, RECT{0, 0, 40, 40},
                                                descriptor));
  }
  // Without a canvas the call only says whether the image is there.
  EXPECT_TRUE(KuRenderUtils::DrawImageString(nullptr, RECT{0, 0, 1, 1}, RECT{0, 0, 1, 1},
                                             L"res='202' restype='PNG'"));
}

TEST_F(KuRenderUtilsTest, NothingIsDrawnOutsideTheItemOrThePaintRectangle) {
  TestCanvas t = MakeCanvas(100, 100, kBackground);
  ASSERT_TRUE(t.canvas);
  const std::wstring icon = L"res='202' restype='PNG'";
  // The destination misses the item: nothing drawn, still true.
  EXPECT_TRUE(KuRenderUtils::DrawImageString(t.canvas.get(), RECT{0, 0, 40, 40}, RECT{0, 0, 100, 100},
                                             icon, L"dest='50,50,70,70'"));
  // The item misses the paint rectangle.
  EXPECT_TRUE(KuRenderUtils::DrawImageString(t.canvas.get(), RECT{0, 0, 40, 40}, RECT{50, 50, 100, 100},
                                             icon));
  EXPECT_TRUE(PixelNear(*t.bitmap, 20, 20, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 60, 60, kBackground, 0));
  // A paint rectangle over half the item: that half only.
  EXPECT_TRUE(KuRenderUtils::DrawImageString(t.canvas.get(), RECT{0, 0, 40, 40}, RECT{0, 0, 20, 100},
                                             icon));
  EXPECT_TRUE(PixelNear(*t.bitmap, 19, 30, 0xFF30A050, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 20, 30, kBackground, 0));
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderUtilsTest, RoundClipsCutTheCorners) {
  TestCanvas t = MakeCanvas(100, 50, kBackground);
  ASSERT_TRUE(t.canvas);
  {
    KuRenderClip clip;
    KuRenderClip::GenerateRoundClip(*t.canvas, RECT{0, 0, 40, 40}, 20, 20, clip);
    KuRenderUtils::DrawColor(*t.canvas, RECT{0, 0, 100, 50}, kWhite);
  }
  EXPECT_TRUE(PixelNear(*t.bitmap, 0, 0, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 39, 39, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 20, 20, kWhite, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 20, 0, kWhite, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 0, 20, kWhite, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 45, 20, kBackground, 0));  // outside the clip
  // The clip is gone with its object.
  KuRenderUtils::DrawColor(*t.canvas, RECT{0, 0, 2, 2}, kRed);
  EXPECT_TRUE(PixelNear(*t.bitmap, 0, 0, kRed, 0));
  // The descriptor's round item clips to the destination.
  EXPECT_TRUE(KuRenderUtils::DrawImageString(t.canvas.get(), RECT{50, 0, 90, 40}, RECT{0, 0, 100, 50},
                                             L"res='202' restype='PNG' round='20,20'"));
  EXPECT_TRUE(PixelNear(*t.bitmap, 50, 0, kBackground, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 70, 20, 0xFF30A050, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 70, 0, 0xFF30A050, 0));
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderUtilsTest, AClipCanBeLeftForAFloatingChildAndPutBack) {
  TestCanvas t = MakeCanvas(60, 20, kBackground);
  ASSERT_TRUE(t.canvas);
  KuRenderClip outer;
  KuRenderClip::GenerateClip(*t.canvas, RECT{0, 0, 20, 20}, outer);
  outer.UseOldClipBegin();
  KuRenderUtils::DrawColor(*t.canvas, RECT{30, 0, 40, 20}, kGreen);  // beyond the container
  outer.UseOldClipEnd();
  KuRenderUtils::DrawColor(*t.canvas, RECT{0, 0, 60, 20}, kRed);  // clipped again
  EXPECT_TRUE(PixelNear(*t.bitmap, 35, 10, kGreen, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 10, 10, kRed, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 50, 10, kBackground, 0));
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderUtilsTest, IconsAreTheFallbackOfIconDescriptors) {
  bool drawn = false;
  TestCanvas small = Draw(16, 16, RECT{0, 0, 16, 16}, L"res='220' restype='ICON' icon='true' iconsize='16'",
                          {}, &drawn);
  ASSERT_TRUE(small.bitmap);
  EXPECT_TRUE(drawn);
  EXPECT_TRUE(PixelNear(*small.bitmap, 8, 8, 0xFFC82828));
  KuLoadResource::Instance().ClearRCResource();
  TestCanvas large = Draw(32, 32, RECT{0, 0, 32, 32}, L"res='220' icon='true'", {}, &drawn);
  ASSERT_TRUE(large.bitmap);
  EXPECT_TRUE(drawn);
  EXPECT_TRUE(PixelNear(*large.bitmap, 20, 20, 0xFF2828C8));
  // Without icon='true' the icon is no image.
  KuLoadResource::Instance().ClearRCResource();
  Draw(16, 16, RECT{0, 0, 16, 16}, L"res='220' restype='ICON'", {}, &drawn);
  EXPECT_FALSE(drawn);
  SaveIfFailed(*large.bitmap);
}

TEST_F(KuRenderUtilsTest, ReverseMirrorsTheImage) {
  TestCanvas t = Draw(20, 10, RECT{0, 0, 20, 10}, L"res='204' restype='PNG' reverse='true'");
  ASSERT_TRUE(t.bitmap);
  EXPECT_TRUE(PixelNear(*t.bitmap, 2, 5, kBlue, 0));
  EXPECT_TRUE(PixelNear(*t.bitmap, 17, 5, kRed, 0));
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderUtilsTest, GradientsRunFromTheFirstColourToTheSecond) {
  TestCanvas t = MakeCanvas(100, 60, kBackground);
  ASSERT_TRUE(t.canvas);
  KuRenderUtils::DrawGradient(*t.canvas, RECT{0, 0, 100, 30}, kRed, kBlue, false);
  KuRenderUtils::DrawGradient(*t.canvas, RECT{0, 30, 100, 60}, kWhite, kBackground, true);
  EXPECT_TRUE(PixelNear(*t.bitmap, 0, 10, kRed, 3));
  EXPECT_TRUE(PixelNear(*t.bitmap, 99, 10, kBlue, 3));
  EXPECT_TRUE(PixelNear(*t.bitmap, 50, 10, 0xFF800080, 4));
  EXPECT_TRUE(PixelNear(*t.bitmap, 50, 30, kWhite, 3));
  EXPECT_TRUE(PixelNear(*t.bitmap, 50, 59, kBackground, 3));
  SaveIfFailed(*t.bitmap);
}

}  // namespace
}  // namespace KUM
