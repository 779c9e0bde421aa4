// The progress bar: the position stays in its range and the fill follows it, in colour and in
// image (stretched onto the fill, or cropped).
#include <gtest/gtest.h>

#include "tests/support/SkinTestWindow.h"
#include "tests/support/TestMachine.h"
#include "tests/ui/UiTestSupport.h"
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
  int FilledColumns(const std::string& tag) {
    auto capture = window_->Capture();
    if (!capture) return -1;
    int filled = 0;
    for (int x = 0; x < 346; ++x) filled += PixelNear(*capture, x, 10, kFill, 8) ? 1 : 0;
    captures_.emplace_back(tag, std::move(capture));
    return filled;
  }

  void TearDown() override {
    for (auto& [tag, capture] : captures_) SaveIfFailed(*capture, tag);
  }

  std::vector<std::pair<std::string, std::unique_ptr<Bitmap>>> captures_;

  std::unique_ptr<SkinTestWindow> window_;
};

TEST_F(KuProgressTest, PositionIsClampedAndTheFillFollowsIt) {
  Open();
  EXPECT_EQ(OnBar([](KuProgress& p) { return p.SetPos(150); }), 100);
  EXPECT_EQ(OnBar([](KuProgress& p) { return p.GetValue(); }), 100);
  EXPECT_EQ(FilledColumns("full"), 346);

  EXPECT_EQ(OnBar([](KuProgress& p) { return p.SetPos(50); }), 50);
  EXPECT_EQ(FilledColumns("half"), 173);
  auto capture = window_->Capture();
  ASSERT_NE(capture, nullptr);
  EXPECT_TRUE(PixelNear(*capture, 172, 10, kFill, 8));
  EXPECT_TRUE(PixelNear(*capture, 173, 10, kWhite, 8));

  EXPECT_EQ(OnBar([](KuProgress& p) { return p.SetPos(-5); }), 0);
  EXPECT_EQ(FilledColumns("empty"), 0);
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
  EXPECT_TRUE(PixelNear(*capture, 1, 10, kWhite, 8));
  EXPECT_TRUE(PixelNear(*capture, 3, 10, kFill, 8));
  EXPECT_TRUE(PixelNear(*capture, 339, 10, kFill, 8));
  EXPECT_TRUE(PixelNear(*capture, 341, 10, kWhite, 8));
}

// A 346 x 20 picture: blue on the left half, red on the right.
std::string WriteTwoColourImage(const TempDir& folder) {
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
  std::string path = folder.path() + "/halves346.png";
  return WritePng(*image, path) ? path : std::string();
}

TEST_F(KuProgressTest, StatusImageIsStretchedOntoTheFillOrCropped) {
  TempDir folder;
  std::string path = WriteTwoColourImage(folder);
  ASSERT_FALSE(path.empty());
  std::wstring file(path.begin(), path.end());
  for (bool crop : {false, true}) {
    Open(L"normalimage=\"file='" + file + L"'\"" + (crop ? L" source=\"true\"" : L""));
    OnBar([](KuProgress& p) { return p.SetPos(50); });
    auto capture = window_->Capture();
    ASSERT_NE(capture, nullptr);
    ARGB blue = 0xFF0000FF;
    ARGB red = 0xFFFF0000;
    // Stretched, both halves of the picture share the fill; cropped, the fill shows the
    // picture's left half as it is. Beyond the fill the picture does not show.
    EXPECT_TRUE(PixelNear(*capture, 20, 10, blue, 8)) << crop;
    EXPECT_TRUE(PixelNear(*capture, 150, 10, crop ? blue : red, 8)) << crop;
    EXPECT_FALSE(PixelNear(*capture, 250, 10, red, 8)) << crop;
    EXPECT_FALSE(PixelNear(*capture, 250, 10, blue, 8)) << crop;
    SaveIfFailed(*capture, crop ? "cropped" : "stretched");
    window_.reset();
  }
}

}  // namespace
}  // namespace rundix::test
