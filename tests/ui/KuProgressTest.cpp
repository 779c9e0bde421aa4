// The progress bar: the position stays in its range and the fill follows it, in colour and in
// image (stretched onto the fill, or cropped).
#include <gtest/gtest.h>

#include "tests/support/SkinTestWindow.h"
#include "ui/KuProgress.h"

namespace rundix::test {
namespace {

using KUM::KuProgress;
using KUM::UICLASS_PROGRESS;

constexpr ARGB kFill = 0xFF0D3AFF;
constexpr ARGB kWhite = 0xFFFFFFFF;

std::wstring Skin(const std::wstring& extra) {
  return LR"(<Window><VerticalLayout normalbkcolor="#FFFFFFFF">
    <Progress name="p" width="346" height="20" statuscolor="#FF0D3AFF" )" +
         extra + LR"( />
    <Control />
  </VerticalLayout></Window>)";
}

class KuProgressTest : public ::testing::Test {
 protected:
  void Open(const std::wstring& extra = L"") {
    window_ = SkinTestWindow::Open(Skin(extra));
    ASSERT_NE(window_, nullptr);
  }

  template <typename F>
  auto OnBar(F&& f) {
    decltype(f(std::declval<KuProgress&>())) result{};
    window_->Run([&] { result = f(*window_->FindAs<KuProgress>(L"p", UICLASS_PROGRESS)); });
    return result;
  }

  // The filled columns of the bar's middle row.
  int FilledColumns(const std::string& artifact) {
    auto capture = window_->Capture();
    if (!capture) return -1;
    int filled = 0;
    for (int x = 0; x < 346; ++x) filled += ColourNear(PixelAt(*capture, x, 10), kFill);
    SaveArtifact(*capture, artifact);
    return filled;
  }

  std::unique_ptr<SkinTestWindow> window_;
};

TEST_F(KuProgressTest, PositionIsClampedAndTheFillFollowsIt) {
  Open();
  EXPECT_EQ(OnBar([](KuProgress& p) { return p.SetPos(150); }), 100);
  EXPECT_EQ(OnBar([](KuProgress& p) { return p.GetValue(); }), 100);
  EXPECT_EQ(FilledColumns("KuProgress_full.png"), 346);

  EXPECT_EQ(OnBar([](KuProgress& p) { return p.SetPos(50); }), 50);
  EXPECT_EQ(FilledColumns("KuProgress_half.png"), 173);
  auto capture = window_->Capture();
  ASSERT_NE(capture, nullptr);
  EXPECT_TRUE(ColourNear(PixelAt(*capture, 172, 10), kFill));
  EXPECT_TRUE(ColourNear(PixelAt(*capture, 173, 10), kWhite));

  EXPECT_EQ(OnBar([](KuProgress& p) { return p.SetPos(-5); }), 0);
  EXPECT_EQ(FilledColumns("KuProgress_empty.png"), 0);
}

TEST_F(KuProgressTest, RangeAndStepStayUsable) {
  Open(L"step=\"2\"");
  // 100 div 2 = 50 steps: position 25 fills half.
  EXPECT_EQ(OnBar([](KuProgress& p) { return p.SetPos(25); }), 25);
  EXPECT_EQ(OnBar([](KuProgress& p) { return KUM::KuWidth(p.GetBarRect()); }), 173);
  // Negative ends become 1, the smaller is the minimum, and the position follows.
  EXPECT_EQ(OnBar([](KuProgress& p) {
              p.SetRange(-7, 20);
              return p.GetMinValue() * 1000 + p.GetMaxValue();
            }),
            1020);
  EXPECT_EQ(OnBar([](KuProgress& p) { return p.GetValue(); }), 20);
  // A step beyond the maximum is the maximum: one step fills everything.
  EXPECT_EQ(OnBar([](KuProgress& p) {
              p.SetStep(1000);
              return p.GetStep();
            }),
            20);
  EXPECT_EQ(OnBar([](KuProgress& p) { return KUM::KuWidth(p.GetBarRect()); }), 346);
  EXPECT_EQ(OnBar([](KuProgress& p) {
              p.SetStep(0);
              return p.GetStep();
            }),
            1);
}

TEST_F(KuProgressTest, ForeInsetNarrowsTheBar) {
  Open(L"foreinset=\"3,4,6,5\"");
  RECT bar = OnBar([](KuProgress& p) {
    p.SetPos(100);
    return p.GetBarRect();
  });
  EXPECT_EQ(bar.left, 3);
  EXPECT_EQ(bar.top, 4);
  EXPECT_EQ(bar.right, 346 - 6);
  EXPECT_EQ(bar.bottom, 20 - 5);
  auto capture = window_->Capture();
  ASSERT_NE(capture, nullptr);
  EXPECT_TRUE(ColourNear(PixelAt(*capture, 1, 10), kWhite));
  EXPECT_TRUE(ColourNear(PixelAt(*capture, 3, 10), kFill));
  EXPECT_TRUE(ColourNear(PixelAt(*capture, 339, 10), kFill));
  EXPECT_TRUE(ColourNear(PixelAt(*capture, 341, 10), kWhite));
}

// A 346 x 20 picture: blue on the left half, red on the right.
std::string WriteTwoColourImage() {
  auto image = CreateBitmap(346, 20);
  if (!image) return {};
  uint8_t* p = image->LockPixels();
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 346; ++x) {
      uint8_t* px = p + y * image->Stride() + 4 * x;
      bool left = x < 173;
      px[0] = left ? 0xFF : 0x00;  // B
      px[1] = 0x00;
      px[2] = left ? 0x00 : 0xFF;  // R
      px[3] = 0xFF;
    }
  }
  image->UnlockPixels();
  std::string path = ArtifactPath("KuProgress_image_source.png");
  return WritePng(*image, path) ? path : std::string();
}

TEST_F(KuProgressTest, StatusImageIsStretchedOntoTheFillOrCropped) {
  std::string path = WriteTwoColourImage();
  ASSERT_FALSE(path.empty());
  std::wstring file(path.begin(), path.end());
  for (bool crop : {false, true}) {
    Open(L"normalimage=\"file='" + file + L"'\"" + (crop ? L" source=\"true\"" : L""));
    OnBar([](KuProgress& p) { return p.SetPos(50); });
    auto capture = window_->Capture();
    ASSERT_NE(capture, nullptr);
    SaveArtifact(*capture, crop ? "KuProgress_image_cropped.png" : "KuProgress_image_stretched.png");
    ARGB blue = 0xFF0000FF;
    ARGB red = 0xFFFF0000;
    // Stretched, both halves of the picture share the fill; cropped, the fill shows the
    // picture's left half as it is. Beyond the fill the picture does not show.
    EXPECT_TRUE(ColourNear(PixelAt(*capture, 20, 10), blue)) << crop;
    EXPECT_TRUE(ColourNear(PixelAt(*capture, 150, 10), crop ? blue : red)) << crop;
    EXPECT_FALSE(ColourNear(PixelAt(*capture, 250, 10), red)) << crop;
    EXPECT_FALSE(ColourNear(PixelAt(*capture, 250, 10), blue)) << crop;
    window_.reset();
  }
}

}  // namespace
}  // namespace rundix::test
