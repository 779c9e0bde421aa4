// Text on the raster seam, on both builds: the same DrawText layout rules over each system's
// own glyphs, checked by where the ink lands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "platform/PixelRegion.h"
#include "platform/Raster.h"
#include "tests/support/PixelCheck.h"

namespace rundix {
namespace {

using test::InkOf;
using test::PixelAt;

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr wchar_t kFace[] = L"微软雅黑";

class RasterTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    font = CreateFontObject(FontDesc{kFace, 14});
    ASSERT_TRUE(font);
    Reset(240, 80);
  }
  void TearDown() override {
    if (HasFailure() && bitmap) {
      std::string path = test::SaveFailure(*bitmap, test::CurrentTestName());
      if (!path.empty()) std::printf("capture: %s\n", path.c_str());
    }
  }
  void Reset(int width, int height) {
    canvas.reset();
    bitmap = CreateBitmap(width, height);
    ASSERT_TRUE(bitmap);
    test::FillBitmap(*bitmap, kWhite);
    canvas = CreateCanvas(*bitmap);
    ASSERT_TRUE(canvas);
  }
  int Draw(const std::wstring& text, RECT rect, UINT format, ARGB colour = 0xFF000000) {
    return canvas->DrawTextW(*font, text, &rect, format, colour);
  }
  RECT Measure(const std::wstring& text, RECT rect, UINT format, int* height = nullptr) {
    int h = canvas->DrawTextW(*font, text, &rect, format | DT_CALCRECT, 0xFF000000);
    if (height) *height = h;
    return rect;
  }
  PixelRegion Ink() const { return InkOf(*bitmap, kWhite); }
  int LineHeight() const { return font->Metrics().tmHeight; }

  std::unique_ptr<Font> font;
  std::unique_ptr<Bitmap> bitmap;
  std::unique_ptr<Canvas> canvas;
};

TEST_F(RasterTextTest, FontsCarryTheirSpecAndMetrics) {
  const FontMetrics& m = font->Metrics();
  EXPECT_EQ(font->Desc().face, kFace);
  EXPECT_EQ(font->Desc().size, 14);
  EXPECT_EQ(m.tmHeight, m.tmAscent + m.tmDescent);
  EXPECT_GE(m.tmHeight, 14);
  EXPECT_LE(m.tmHeight, 28);
  EXPECT_GT(m.tmAveCharWidth, 0);
  EXPECT_GE(m.tmMaxCharWidth, m.tmAveCharWidth);
  EXPECT_NE(font->NativeHandle(), 0u);

  auto big = CreateFontObject(FontDesc{kFace, 28, true, true, false, false});
  ASSERT_TRUE(big);
  EXPECT_GT(big->Metrics().tmHeight, m.tmHeight);
  auto gui = CreateDefaultGuiFont();
  ASSERT_TRUE(gui);
  EXPECT_GT(gui->Metrics().tmHeight, 0);
  EXPECT_FALSE(gui->Desc().face.empty());
}

TEST_F(RasterTextTest, MeasuringGivesTheRectangleTheInkFits) {
  const std::wstring text = L"Rundix 修复 DLL";
  int height = 0;
  RECT calc = Measure(text, RECT{10, 20, 10, 20}, DT_SINGLELINE | DT_NOPREFIX, &height);
  EXPECT_EQ(calc.left, 10);
  EXPECT_EQ(calc.top, 20);
  EXPECT_GT(calc.right - calc.left, 60);
  EXPECT_EQ(calc.bottom - calc.top, LineHeight());
  EXPECT_EQ(height, LineHeight());
  // Measuring draws nothing, and a canvas that draws nowhere measures the same.
  EXPECT_TRUE(Ink().Empty());
  auto measure = CreateMeasureCanvas();
  ASSERT_TRUE(measure);
  RECT other{10, 20, 10, 20};
  measure->DrawTextW(*font, text, &other, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT, 0xFF000000);
  EXPECT_EQ(other.right, calc.right);
  EXPECT_EQ(other.bottom, calc.bottom);
  // Longer text is wider.
  RECT longer = Measure(text + L" 修复", RECT{10, 20, 10, 20}, DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_GT(longer.right, calc.right);

  EXPECT_EQ(Draw(text, calc, DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP), LineHeight());
  RECT ink = Ink().Bounds();
  EXPECT_GE(ink.left, calc.left - 1);
  EXPECT_LE(ink.right, calc.right + 1);
  EXPECT_GE(ink.top, calc.top);
  EXPECT_LE(ink.bottom, calc.bottom);
  EXPECT_GT(ink.right - ink.left, (calc.right - calc.left) * 3 / 4);
}

TEST_F(RasterTextTest, SingleLineAlignment) {
  const RECT rect{0, 0, 200, 60};
  Draw(L"ABC", rect, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  RECT ink = Ink().Bounds();
  EXPECT_NEAR((ink.left + ink.right) / 2.0, 100, 3);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 30, 6);

  Reset(240, 80);
  Draw(L"ABC", rect, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM);
  ink = Ink().Bounds();
  EXPECT_GE(ink.right, 196);
  EXPECT_LE(ink.right, 200);
  EXPECT_GE(ink.bottom, 60 - font->Metrics().tmDescent - 2);
  EXPECT_LE(ink.bottom, 60);

  Reset(240, 80);
  Draw(L"ABC", rect, DT_SINGLELINE);
  ink = Ink().Bounds();
  EXPECT_LE(ink.left, 3);
  EXPECT_LE(ink.bottom, LineHeight());
}

TEST_F(RasterTextTest, WordBreakWrapsAndLineBreaksBreak) {
  const std::wstring text = L"alpha beta gamma delta epsilon zeta";
  int height = 0;
  RECT calc = Measure(text, RECT{0, 0, 80, 0}, DT_WORDBREAK | DT_NOPREFIX, &height);
  EXPECT_GE(calc.bottom, 3 * LineHeight());
  EXPECT_EQ(calc.bottom % LineHeight(), 0);
  EXPECT_EQ(height, calc.bottom);
  EXPECT_LE(calc.right, 80);
  RECT single = Measure(text, RECT{0, 0, 80, 0}, DT_NOPREFIX);
  EXPECT_EQ(single.bottom, LineHeight());
  EXPECT_GT(single.right, 80);

  Draw(text, RECT{0, 0, 80, 80}, DT_WORDBREAK | DT_NOPREFIX);
  RECT ink = Ink().Bounds();
  EXPECT_GT(ink.bottom - ink.top, 2 * LineHeight());
  EXPECT_LE(ink.right, 80);

  // CR, LF and CR LF break lines without DT_SINGLELINE, and only then.
  EXPECT_EQ(Measure(L"one\r\ntwo\nthree\rfour", RECT{0, 0, 200, 0}, 0).bottom, 4 * LineHeight());
  EXPECT_EQ(Measure(L"one\r\ntwo\nthree", RECT{0, 0, 200, 0}, DT_SINGLELINE).bottom, LineHeight());
}

TEST_F(RasterTextTest, EmptyTextLongWordsAndChineseRows) {
  int height = 0;
  RECT empty = Measure(L"", RECT{10, 20, 110, 60}, 0, &height);
  EXPECT_EQ(height, LineHeight());
  EXPECT_EQ(empty.right, 10);
  EXPECT_EQ(empty.bottom, 20);
  empty = Measure(L"", RECT{10, 20, 110, 60}, DT_SINGLELINE);
  EXPECT_EQ(empty.right, 10);
  EXPECT_EQ(empty.bottom, 20 + LineHeight());
  EXPECT_EQ(Draw(L"", RECT{10, 20, 110, 60}, DT_SINGLELINE), 0);

  // A word wider than the rectangle is not broken: the measured rectangle widens.
  RECT word = Measure(L"ABCDEFGHIJ", RECT{10, 20, 20, 60}, DT_WORDBREAK, &height);
  RECT alone = Measure(L"ABCDEFGHIJ", RECT{10, 20, 20, 60}, DT_SINGLELINE);
  EXPECT_EQ(height, LineHeight());
  EXPECT_EQ(word.bottom, 20 + LineHeight());
  EXPECT_EQ(word.right, alone.right);
  // Chinese text breaks between any two characters.
  RECT one = Measure(L"修", RECT{0, 0, 0, 0}, DT_SINGLELINE);
  const int per = one.right;
  RECT rows = Measure(L"修复修复修复修复", RECT{0, 0, 3 * per + per / 2, 0}, DT_WORDBREAK);
  EXPECT_EQ(rows.bottom, 3 * LineHeight());
  EXPECT_EQ(rows.right, 3 * per);
}

// The ink of the text's last few columns: an ellipsis is three dots on the baseline.
RECT TailInk(const PixelRegion& ink, int columns) {
  RECT all = ink.Bounds();
  return ink.Intersect(PixelRegion::Rect(RECT{all.right - columns, all.top, all.right, all.bottom})).Bounds();
}

TEST_F(RasterTextTest, EndEllipsisShortensToFit) {
  const std::wstring text = L"ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  const RECT rect{0, 0, 90, 30};
  Draw(text, rect, DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
  RECT full = Ink().Bounds();
  EXPECT_GT(full.right, 120);

  Reset(240, 80);
  Draw(text, rect, DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX | DT_END_ELLIPSIS);
  PixelRegion ink = Ink();
  RECT shortened = ink.Bounds();
  EXPECT_LE(shortened.right, 91);
  EXPECT_GT(shortened.right, 60);
  RECT dots = TailInk(ink, 5);
  EXPECT_LE(dots.bottom - dots.top, 4) << "the text should end in dots";
  EXPECT_GE(dots.top, full.bottom - 5);
}

TEST_F(RasterTextTest, PathEllipsisKeepsTheFileName) {
  const std::wstring path = L"C:\\Program Files\\Rundix\\some\\deep\\folder\\report.txt";
  RECT wide = Measure(path, RECT{0, 0, 0, 0}, DT_SINGLELINE | DT_NOPREFIX);
  ASSERT_GT(wide.right, 200);
  Draw(path, RECT{0, 0, 200, 30}, DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX | DT_PATH_ELLIPSIS);
  PixelRegion ink = Ink();
  EXPECT_LE(ink.Bounds().right, 201);
  // The name at the end is drawn whole: its ink matches the name drawn on its own.
  RECT name = Measure(L"\\report.txt", RECT{0, 0, 0, 0}, DT_SINGLELINE | DT_NOPREFIX);
  auto alone = CreateBitmap(240, 80);
  test::FillBitmap(*alone, kWhite);
  auto other = CreateCanvas(*alone);
  RECT at{0, 0, 200, 30};
  other->DrawTextW(*font, L"\\report.txt", &at, DT_SINGLELINE | DT_RIGHT | DT_NOPREFIX, 0xFF000000);
  RECT tail = TailInk(ink, name.right - 2);
  RECT expected = TailInk(InkOf(*alone, kWhite), name.right - 2);
  EXPECT_NEAR(tail.right - tail.left, expected.right - expected.left, 1);
  EXPECT_EQ(tail.bottom - tail.top, expected.bottom - expected.top);
}

TEST_F(RasterTextTest, ChineseCharactersDrawTheirOwnGlyphs) {
  auto large = CreateFontObject(FontDesc{kFace, 24});
  ASSERT_TRUE(large);
  auto inkOf = [&](const std::wstring& text) {
    auto b = CreateBitmap(40, 40);
    test::FillBitmap(*b, kWhite);
    auto c = CreateCanvas(*b);
    RECT r{4, 4, 36, 36};
    c->DrawTextW(*large, text, &r, DT_SINGLELINE | DT_NOPREFIX, 0xFF000000);
    return InkOf(*b, kWhite);
  };
  PixelRegion xiu = inkOf(L"修"), fu = inkOf(L"复"), box = inkOf(L"\uFFFF");
  EXPECT_GT(xiu.Rects().size(), 10u);
  EXPECT_GT(fu.Rects().size(), 10u);
  // Two characters, two shapes: a missing glyph would draw the same box for both.
  int differing = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) differing += xiu.Contains(x, y) != fu.Contains(x, y);
  }
  EXPECT_GT(differing, 40);
  // Drawn as a Latin line it keeps the CJK glyph between Latin ones.
  Draw(L"DLL修复", RECT{0, 0, 200, 40}, DT_SINGLELINE | DT_NOPREFIX);
  RECT calc = Measure(L"DLL修复", RECT{0, 0, 0, 0}, DT_SINGLELINE | DT_NOPREFIX);
  RECT latin = Measure(L"DLL", RECT{0, 0, 0, 0}, DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_GE(calc.right - latin.right, 2 * 12);  // two ideographs of about an em each
  (void)box;
}

TEST_F(RasterTextTest, PartialAlphaTextIsLighter) {
  Draw(L"修复DLL", RECT{0, 0, 120, 40}, DT_SINGLELINE | DT_NOPREFIX);
  auto darkest = [&](int left, int right) {
    uint32_t low = 255;
    for (int y = 0; y < 40; ++y) {
      for (int x = left; x < right; ++x) low = std::min(low, PixelAt(*bitmap, x, y) & 0xFF);
    }
    return low;
  };
  EXPECT_LT(darkest(0, 120), 0x40u);
  Draw(L"修复DLL", RECT{120, 0, 240, 40}, DT_SINGLELINE | DT_NOPREFIX, 0x60000000);
  uint32_t light = darkest(120, 240);
  EXPECT_GT(light, 0x90u);
  EXPECT_LT(light, 0xC0u);
  // Alpha 0 draws nothing.
  Draw(L"修复DLL", RECT{0, 40, 240, 80}, DT_SINGLELINE, 0x00000000);
  EXPECT_TRUE(Ink().Intersect(PixelRegion::Rect(RECT{0, 40, 240, 80})).Empty());
}

TEST_F(RasterTextTest, TextStaysInsideItsRectangleAndTheClip) {
  const std::wstring text = L"Rundix 修复 DLL Rundix 修复 DLL Rundix 修复 DLL";
  Draw(text, RECT{10, 10, 60, 30}, DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_TRUE(Ink().Subtract(PixelRegion::Rect(RECT{10, 10, 60, 30})).Empty());
  EXPECT_FALSE(Ink().Empty());

  Reset(240, 80);
  canvas->PushClipRoundRect(RECT{50, 0, 120, 40}, 9, 9);
  Draw(text, RECT{0, 0, 240, 40}, DT_SINGLELINE | DT_NOPREFIX);
  Draw(text, RECT{0, 40, 240, 80}, DT_SINGLELINE | DT_NOPREFIX, 0x80000000);
  canvas->PopClip();
  EXPECT_FALSE(Ink().Empty());
  EXPECT_TRUE(Ink().Subtract(PixelRegion::RoundRect(RECT{50, 0, 121, 41}, 9, 9)).Empty());

  RECT none{0, 0, 0, 0};
  EXPECT_EQ(canvas->DrawTextW(*font, L"", &none, 0, 0xFF000000), 0);
  EXPECT_EQ(canvas->DrawTextW(*font, L"abc", nullptr, 0, 0xFF000000), 0);
}

TEST_F(RasterTextTest, PrefixesUnderlineUnlessTurnedOff) {
  RECT with = Measure(L"&Save", RECT{0, 0, 0, 0}, DT_SINGLELINE);
  RECT without = Measure(L"Save", RECT{0, 0, 0, 0}, DT_SINGLELINE);
  RECT literal = Measure(L"&Save", RECT{0, 0, 0, 0}, DT_SINGLELINE | DT_NOPREFIX);
  EXPECT_EQ(with.right, without.right);
  EXPECT_GT(literal.right, without.right);
  EXPECT_EQ(Measure(L"a&&b", RECT{0, 0, 0, 0}, DT_SINGLELINE).right,
            Measure(L"a&b", RECT{0, 0, 0, 0}, DT_SINGLELINE | DT_NOPREFIX).right);
}

}  // namespace
}  // namespace rundix
