// Label text through the antialiasing path: the same ink as the plain path, blended from the
// background towards the text colour and never towards anything else, black text included.
#include <gtest/gtest.h>

#include "tests/support/SkinTestWindow.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/KuLabel.h"

namespace rundix::test {
namespace {

constexpr ARGB kBackground = 0xFFFFFFFF;

std::wstring Skin(const std::wstring& colour) {
  return LR"(<Window>
    <Font font="big" name="微软雅黑" size="28" bold="true" />
    <VerticalLayout normalbkcolor="#FFFFFFFF">
      <Label name="plain" height="50" text="Rundix Ag" normalfont="big" normaltextcolor=")" +
         colour + LR"(" />
      <Label name="smooth" height="50" text="Rundix Ag" normalfont="big" text_antialias="true"
             normaltextcolor=")" +
         colour + LR"(" />
      <Control />
    </VerticalLayout>
  </Window>)";
}

struct Ink {
  int pixels = 0;      // pixels visibly off the background
  int offLine = 0;     // of those, pixels that are not a blend of background and text colour
  int full = 0;        // pixels of the text colour itself
};

// How far `c` lies from the straight line between the background and the text colour, per
// channel, at the blend the red/green/blue channel with the widest span suggests.
Ink MeasureInk(const Bitmap& capture, const RECT& r, ARGB text) {
  Ink ink;
  auto channel = [](ARGB c, int shift) { return static_cast<int>((c >> shift) & 0xFF); };
  int span[3];
  int widest = 0;
  for (int i = 0; i < 3; ++i) {
    span[i] = channel(text, 8 * i) - channel(kBackground, 8 * i);
    if (std::abs(span[i]) > std::abs(span[widest])) widest = i;
  }
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      if (PixelNear(capture, x, y, kBackground, 24)) continue;
      ARGB c = PixelAt(capture, x, y);
      ++ink.pixels;
      if (PixelNear(capture, x, y, text, 24)) ++ink.full;
      double t = static_cast<double>(channel(c, 8 * widest) - channel(kBackground, 8 * widest)) /
                 span[widest];
      for (int i = 0; i < 3; ++i) {
        double expected = channel(kBackground, 8 * i) + t * span[i];
        if (std::abs(channel(c, 8 * i) - expected) > 40) {
          ++ink.offLine;
          break;
        }
      }
    }
  }
  return ink;
}

void CheckAntialiasedText(const std::wstring& colourText, ARGB colour, const std::string& tag) {
  auto window = SkinTestWindow::Open(Skin(colourText));
  ASSERT_NE(window, nullptr);
  RECT plain = window->RectOf(L"plain");
  RECT smooth = window->RectOf(L"smooth");
  auto capture = window->Capture();
  ASSERT_NE(capture, nullptr);
  Ink a = MeasureInk(*capture, plain, colour);
  Ink b = MeasureInk(*capture, smooth, colour);
  EXPECT_GT(a.pixels, 100) << "the plain label shows its text";
  EXPECT_GT(b.pixels, a.pixels / 2) << "the smoothed text has about the same ink";
  EXPECT_LT(b.pixels, a.pixels * 2) << "no box around the smoothed text";
  EXPECT_GT(b.full, 0) << "the text colour itself shows";
  EXPECT_LE(b.offLine, b.pixels / 50) << "every pixel blends background and text colour";
  SaveIfFailed(*capture, tag);
}

TEST(KuLabelTest, AntialiasedTextBlendsTheTextColourOverTheBackground) {
  CheckAntialiasedText(L"#FF2050C0", 0xFF2050C0, "blue");
}

TEST(KuLabelTest, AntialiasedBlackTextIsDrawn) {
  CheckAntialiasedText(L"#FF000000", 0xFF000000, "black");
}

}  // namespace
}  // namespace rundix::test
