// Text through the paint manager's fonts, checked by rule: where ink lands, not its shapes.
#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"
#include "ui/KuPaintManager.h"
#include "ui/KuRenderUtils.h"

namespace KUM {
namespace {

using rundix::test::MakeCanvas;
using rundix::test::PixelAt;
using rundix::test::SaveIfFailed;
using rundix::test::TestCanvas;

constexpr ARGB kWhite = 0xFFFFFFFF;

// The rows and columns where anything differs from white, inside `area`.
struct Ink {
  int left = -1, top = -1, right = -1, bottom = -1;  // right and bottom inclusive
  int darkest = 255;                                  // lowest red channel seen
  bool any() const { return left >= 0; }
};

Ink FindInk(const Bitmap& bitmap, const RECT& area) {
  Ink ink;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const ARGB p = PixelAt(bitmap, x, y);
      if ((p & 0x00FFFFFF) == 0x00FFFFFF) continue;
      if (!ink.any()) {
        ink.left = ink.right = x;
        ink.top = ink.bottom = y;
      }
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
      ink.darkest = std::min<int>(ink.darkest, (p >> 16) & 0xFF);
    }
  }
  return ink;
}

class KuRenderTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(manager_.AddFont(L"text", L"\u5FAE\u8F6F\u96C5\u9ED1", 14, false, false, false, false),
              nullptr);
  }
  KuPaintManager manager_;
};

TEST_F(KuRenderTextTest, SingleLineTextStaysInItsRectangle) {
  TestCanvas t = MakeCanvas(200, 60, kWhite);
  ASSERT_TRUE(t.canvas);
  const RECT rect{20, 10, 180, 40};
  KuRenderUtils::DrawTextW(*t.canvas, &manager_, rect, L"Rundix \u4FEE\u590D", 0xFF000000,
                           L"text", DT_SINGLELINE | DT_VCENTER);
  const Ink inside = FindInk(*t.bitmap, rect);
  ASSERT_TRUE(inside.any());
  EXPECT_LT(inside.darkest, 80);  // opaque black ink
  EXPECT_GE(inside.left, 20);
  EXPECT_LT(inside.left, 30);  // left aligned
  EXPECT_FALSE(FindInk(*t.bitmap, RECT{0, 0, 200, 10}).any());
  EXPECT_FALSE(FindInk(*t.bitmap, RECT{0, 40, 200, 60}).any());
  // Vertically centred: about as much room above as below.
  EXPECT_LE(std::abs((inside.top - rect.top) - (rect.bottom - 1 - inside.bottom)), 6);
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderTextTest, AlphaZeroDrawsNothingAndPartialAlphaIsLighter) {
  TestCanvas t = MakeCanvas(200, 60, kWhite);
  ASSERT_TRUE(t.canvas);
  KuRenderUtils::DrawTextW(*t.canvas, &manager_, RECT{0, 0, 200, 30}, L"HHHH", 0x00000000,
                           L"text", DT_SINGLELINE);
  EXPECT_FALSE(FindInk(*t.bitmap, RECT{0, 0, 200, 60}).any());
  KuRenderUtils::DrawTextW(*t.canvas, &manager_, RECT{0, 0, 200, 30}, L"HHHH", 0x80000000,
                           L"text", DT_SINGLELINE);
  KuRenderUtils::DrawTextW(*t.canvas, &manager_, RECT{0, 30, 200, 60}, L"HHHH", 0xFF000000,
                           L"text", DT_SINGLELINE);
  const Ink half = FindInk(*t.bitmap, RECT{0, 0, 200, 30});
  const Ink full = FindInk(*t.bitmap, RECT{0, 30, 200, 60});
  ASSERT_TRUE(half.any() && full.any());
  // The stems of H are solid: full ink is black, half ink about mid grey.
  EXPECT_LT(full.darkest, 40);
  EXPECT_GT(half.darkest, 100);
  EXPECT_LT(half.darkest, 160);
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderTextTest, WordBreakWrapsIntoRowsThatFitTheWidth) {
  TestCanvas t = MakeCanvas(120, 200, kWhite);
  ASSERT_TRUE(t.canvas);
  const std::wstring text = L"\u626B\u63CF\u5B8C\u6210\u53D1\u73B0\u95EE\u9898\u7ACB\u5373\u4FEE\u590D\u8FD0\u884C\u5E93";
  const RECT one = KuRenderUtils::GetTextSize(&manager_, text, L"text", DT_SINGLELINE);
  ASSERT_GT(KuWidth(one), 120);  // needs more than one row of 100 pixels
  ASSERT_GT(KuHeight(one), 0);
  KuRenderUtils::DrawTextW(*t.canvas, &manager_, RECT{10, 10, 110, 190}, text, 0xFF000000, L"text",
                           DT_WORDBREAK);
  const Ink ink = FindInk(*t.bitmap, RECT{0, 0, 120, 200});
  ASSERT_TRUE(ink.any());
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.right, 109);
  EXPECT_GT(ink.bottom - ink.top + 1, KuHeight(one));  // more than one row
  SaveIfFailed(*t.bitmap);
}

TEST_F(KuRenderTextTest, MultiLineMeasureCountsRowsBreaksAndRowHeight) {
  const Font& font = *manager_.GetFont(L"text")->font;
  Canvas& measure = manager_.GetPaintDC();
  auto size = [&](const std::wstring& text, int width, int rowHeight) {
    RECT r{0, 0, width, 0};
    KuRenderUtils::DrawMultLineText(measure, font, r, DT_CALCRECT, rowHeight, text, 0xFF000000);
    return r;
  };
  const RECT a = size(L"A", 0, 0);
  ASSERT_GT(KuHeight(a), 0);
  // CR and LF runs count as one break.
  EXPECT_EQ(KuHeight(size(L"A\r\n\r\nB", 0, 0)), 2 * KuHeight(a));
  EXPECT_EQ(KuHeight(size(L"A\nB\rC", 0, 0)), 3 * KuHeight(a));
  // The row height goes between rows.
  EXPECT_EQ(KuHeight(size(L"A\nB\nC", 0, 5)), 3 * KuHeight(a) + 10);
  // A narrow width breaks character by character; no row is wider than the width unless a
  // single character is.
  const RECT wide = size(L"AAAAAAAA", 0, 0);
  const RECT narrow = size(L"AAAAAAAA", KuWidth(wide) / 2, 0);
  EXPECT_EQ(KuHeight(narrow), 2 * KuHeight(a));
  EXPECT_LE(KuWidth(narrow), KuWidth(wide) / 2);
  // Width 0 counts as 9999.
  EXPECT_EQ(KuWidth(wide), KuWidth(KuRenderUtils::GetTextSize(&manager_, L"AAAAAAAA", L"text")));
  EXPECT_EQ(KuHeight(size(L"", 50, 0)), 0);
}

TEST_F(KuRenderTextTest, TextSizeGrowsWithTheTextAndUnknownFontsFallBack) {
  const RECT one = KuRenderUtils::GetTextSize(&manager_, L"W", L"text");
  const RECT four = KuRenderUtils::GetTextSize(&manager_, L"WWWW", L"text");
  EXPECT_EQ(one.left, 0);
  EXPECT_EQ(one.top, 0);
  EXPECT_GT(KuWidth(four), 3 * KuWidth(one));
  EXPECT_EQ(KuHeight(four), KuHeight(one));
  // An unknown id draws in the default font: still some size.
  EXPECT_GT(KuWidth(KuRenderUtils::GetTextSize(&manager_, L"WWWW", L"nosuchfont")), 0);
  EXPECT_EQ(KuWidth(KuRenderUtils::GetTextSize(&manager_, L"", L"text")), 0);
}

TEST_F(KuRenderTextTest, HtmlTextIsDrawnAsItsPlainText) {
  TestCanvas plain = MakeCanvas(200, 30, kWhite);
  TestCanvas html = MakeCanvas(200, 30, kWhite);
  ASSERT_TRUE(plain.canvas && html.canvas);
  KuRenderUtils::DrawTextW(*plain.canvas, &manager_, RECT{0, 0, 200, 30}, L"Rundix", 0xFF000000,
                           L"text", DT_SINGLELINE);
  KuRenderUtils::DrawHtmlText(*html.canvas, &manager_, RECT{0, 0, 200, 30}, L"<b>Run</b>dix",
                              0xFF000000, L"text", DT_SINGLELINE);
  const Ink a = FindInk(*plain.bitmap, RECT{0, 0, 200, 30});
  const Ink b = FindInk(*html.bitmap, RECT{0, 0, 200, 30});
  ASSERT_TRUE(a.any() && b.any());
  EXPECT_EQ(a.left, b.left);
  EXPECT_EQ(a.right, b.right);
  SaveIfFailed(*html.bitmap);
}

}  // namespace
}  // namespace KUM
