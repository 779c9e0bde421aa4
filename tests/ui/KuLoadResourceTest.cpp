#include "ui/KuLoadResource.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <utility>

#include "tests/support/TestMachine.h"
#include "tests/ui/UiTestSupport.h"

namespace KUM {
namespace {

using rundix::test::PixelAt;
using rundix::test::PixelNear;
using rundix::test::ResourceString;

class KuLoadResourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    loader().ClearRCResource();
    loader().ClearFileResource();
    loader().SetResourceInstance(nullptr);
    loader().SetResourcePath(L"");
  }
  void TearDown() override { SetUp(); }
  static KuLoadResource& loader() { return KuLoadResource::Instance(); }

  static std::unique_ptr<KuImageInfo> Decode(const std::string& bytes, DWORD mask = 0) {
    return KuDecodeImage(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), mask);
  }

  // A file of the test's temporary folder as the loader names it.
  std::wstring Write(const std::string& name, const std::string& bytes) {
    std::filesystem::path path = std::filesystem::path(dir_.path()) / name;
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path.wstring();
  }
  std::wstring Folder() const { return std::filesystem::path(dir_.path()).wstring(); }

  rundix::test::TempDir dir_;
};

TEST_F(KuLoadResourceTest, PixelsArePremultipliedAndStoredBgra) {
  KuImageInfo* image = loader().LoadImageW(201, 0, L"PNG");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 4);
  EXPECT_EQ(image->height, 1);
  EXPECT_TRUE(image->alpha);
  const uint8_t* p = image->bitmap->ReadPixels();
  // R 200, G 100, B 50, A 128 -> B 25, G 50, R 100, A 128 (channel x alpha / 255, truncated).
  EXPECT_EQ(p[0], 25);
  EXPECT_EQ(p[1], 50);
  EXPECT_EQ(p[2], 100);
  EXPECT_EQ(p[3], 128);
  EXPECT_EQ(PixelAt(*image->bitmap, 1, 0), 0xFF0A141Eu);  // opaque: copied
  EXPECT_EQ(PixelAt(*image->bitmap, 2, 0), 0x00000000u);  // alpha 0: all channels 0
  EXPECT_EQ(PixelAt(*image->bitmap, 3, 0), 0x01010000u);  // 255 x 1 / 255 = 1

  KuImageInfo* opaque = loader().LoadImageW(202, 0, L"PNG");
  ASSERT_NE(opaque, nullptr);
  EXPECT_FALSE(opaque->alpha);
  EXPECT_EQ(PixelAt(*opaque->bitmap, 5, 5), 0xFF30A050u);
}

TEST_F(KuLoadResourceTest, TheMaskColourBecomesTransparent) {
  KuImageInfo* masked = loader().LoadImageW(205, 0xFFFF00FF, L"PNG");
  ASSERT_NE(masked, nullptr);
  EXPECT_TRUE(masked->alpha);
  EXPECT_EQ(PixelAt(*masked->bitmap, 1, 1), 0u);
  EXPECT_EQ(PixelAt(*masked->bitmap, 2, 2), 0u);
  EXPECT_EQ(PixelAt(*masked->bitmap, 0, 0), 0xFF404040u);
  // The mask applies when the image is first loaded; the id keeps that image.
  EXPECT_EQ(loader().LoadImageW(205, 0, L"PNG"), masked);

  loader().ClearRCResource();
  KuImageInfo* plain = loader().LoadImageW(205, 0, L"PNG");
  ASSERT_NE(plain, nullptr);
  EXPECT_FALSE(plain->alpha);
  EXPECT_EQ(PixelAt(*plain->bitmap, 1, 1), 0xFFFF00FFu);
}

TEST_F(KuLoadResourceTest, JpegDataUnderThePngTypeDecodes) {
  KuImageInfo* photo = loader().LoadImageW(206, 0, L"PNG");
  ASSERT_NE(photo, nullptr);
  EXPECT_EQ(photo->width, 16);
  EXPECT_EQ(photo->height, 16);
  EXPECT_FALSE(photo->alpha);
  EXPECT_TRUE(PixelNear(*photo->bitmap, 8, 8, 0xFF2080E0, 6));
  KuImageInfo* progressive = loader().LoadImageW(208, 0, L"PNG");
  ASSERT_NE(progressive, nullptr);
  EXPECT_EQ(progressive->width, 32);
  EXPECT_EQ(progressive->height, 24);
  EXPECT_TRUE(PixelNear(*progressive->bitmap, 16, 0, 0xFF2080E0, 16));   // top of the gradient
  EXPECT_TRUE(PixelNear(*progressive->bitmap, 16, 23, 0xFFE08020, 16));  // bottom
}

TEST_F(KuLoadResourceTest, AnIdIsDecodedOnceAndCachedUntilRemoved) {
  const size_t before = loader().DecodeCount();
  KuImageInfo* first = loader().LoadImageW(203, 0, L"PNG");
  KuImageInfo* second = loader().LoadImageW(203, 0, L"PNG");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_EQ(loader().DecodeCount(), before + 1);
  loader().RemoveImage(203u);
  ASSERT_NE(loader().LoadImageW(203, 0, L"PNG"), nullptr);
  EXPECT_EQ(loader().DecodeCount(), before + 2);
  // What is missing is not cached: nothing decodes, every try asks again.
  EXPECT_EQ(loader().LoadImageW(299, 0, L"PNG"), nullptr);
  EXPECT_EQ(loader().LoadImageW(203 + 1000, 0, L"PNG"), nullptr);
  EXPECT_EQ(loader().DecodeCount(), before + 2);
}

TEST_F(KuLoadResourceTest, AddedImagesDoNotReplaceCachedOnes) {
  KuImageInfo* cached = loader().LoadImageW(202, 0, L"PNG");
  ASSERT_NE(cached, nullptr);
  EXPECT_FALSE(loader().AddImageInfo(202u, Decode(ResourceString(L"PNG", 203))));
  EXPECT_EQ(loader().LoadImageW(202, 0, L"PNG"), cached);
  EXPECT_TRUE(loader().AddImageInfo(250u, Decode(ResourceString(L"PNG", 203))));
  KuImageInfo* added = loader().LoadImageW(250, 0, L"PNG");
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(added->width, 30);
  EXPECT_FALSE(loader().AddImageInfo(251u, nullptr));
  EXPECT_TRUE(loader().AddImageInfo(L"named", Decode(ResourceString(L"PNG", 204))));
  EXPECT_EQ(loader().FileImageCount(), 1u);
  KuImageInfo* named = loader().LoadImageW(L"named", 0, false);
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->width, 2);
  loader().RemoveImage(L"named");
  EXPECT_EQ(loader().FileImageCount(), 0u);
}

TEST_F(KuLoadResourceTest, DamagedOrOversizedImagesYieldNoImage) {
  EXPECT_EQ(loader().LoadImageW(210, 0, L"PNG"), nullptr);  // cut short
  EXPECT_EQ(loader().LoadImageW(211, 0, L"PNG"), nullptr);  // garbage after the header
  EXPECT_EQ(loader().LoadImageW(212, 0, L"PNG"), nullptr);  // declares 100000 x 100000
  EXPECT_EQ(Decode(""), nullptr);
  EXPECT_EQ(KuDecodeImage(nullptr, 10, 0), nullptr);
  EXPECT_EQ(Decode("GIF89a\x01\x00\x01\x00"), nullptr);  // formats left out

  // Huffman tables of more than 256 symbols (which overrun the decoder's tables) are refused.
  std::string jpeg = ResourceString(L"PNG", 206);
  const size_t dht = jpeg.find("\xFF\xC4");
  ASSERT_NE(dht, std::string::npos);
  for (int i = 0; i < 16; ++i) jpeg[dht + 5 + i] = static_cast<char>(0x20);  // 512 symbols
  EXPECT_EQ(Decode(jpeg), nullptr);

  // A scan that uses a Huffman table, or a frame that uses a quantisation table, that no
  // segment defined is refused: the decoder would read its uninitialised tables.
  std::string undefinedHuffman = ResourceString(L"PNG", 206);
  const size_t sos = undefinedHuffman.find("\xFF\xDA");
  ASSERT_NE(sos, std::string::npos);
  undefinedHuffman[sos + 6] = static_cast<char>(0x33);  // first component: tables 3 and 3
  EXPECT_EQ(Decode(undefinedHuffman), nullptr);
  std::string undefinedQuant = ResourceString(L"PNG", 206);
  const size_t sof = undefinedQuant.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  undefinedQuant[sof + 12] = 3;  // first component's quantisation table
  EXPECT_EQ(Decode(undefinedQuant), nullptr);

  // Every cut of a good PNG and a good JPEG fails, wherever the cut falls.
  for (UINT id : {202u, 206u, 208u}) {
    const std::string good = ResourceString(L"PNG", id);
    ASSERT_NE(Decode(good), nullptr);
    for (size_t length = 0; length < good.size(); ++length) {
      EXPECT_EQ(Decode(good.substr(0, length)), nullptr) << "resource " << id << " cut at " << length;
    }
  }
}

// Damaged copies of every kind of image the loader reads (PNG, JPEG, the icon's DIBs): some
// decode, most do not, none reads outside its buffer (the sanitizer build watches) or comes
// back larger than the bounds or than its bitmap.
TEST_F(KuLoadResourceTest, MutatedImagesStayWithinTheirBounds) {
  std::mt19937 random(20261207);
  int decoded = 0;
  for (auto [type, id] : {std::pair<const wchar_t*, UINT>{L"PNG", 203}, {L"PNG", 206}, {L"PNG", 208}, {L"ICON", 220}}) {
    const std::string good = ResourceString(type, id);
    ASSERT_FALSE(good.empty());
    for (int round = 0; round < 1500; ++round) {
      std::string bad = good;
      const int flips = 1 + static_cast<int>(random() % 4);
      for (int i = 0; i < flips; ++i) bad[random() % bad.size()] = static_cast<char>(random());
      const auto* bytes = reinterpret_cast<const uint8_t*>(bad.data());
      std::unique_ptr<KuImageInfo> image = std::wstring(type) == L"ICON"
                                               ? KuDecodeIcon(bytes, bad.size(), 0)
                                               : KuDecodeImage(bytes, bad.size(), 0);
      if (!image) continue;
      ++decoded;
      ASSERT_TRUE(image->bitmap);
      EXPECT_EQ(image->bitmap->Width(), image->width);
      EXPECT_EQ(image->bitmap->Height(), image->height);
      EXPECT_LE(image->width, kMaxImageSide);
      EXPECT_LE(int64_t{image->width} * image->height, kMaxImagePixels);
    }
  }
  EXPECT_GT(decoded, 0);  // flips in pixel data still decode
}

// A PNG header claiming the given size, with a tiny image body.
std::string ClaimedPng(uint32_t width, uint32_t height) {
  std::string good = ResourceString(L"PNG", 202);  // 24 x 24 RGB
  auto put = [&](size_t at, uint32_t v) {
    good[at] = static_cast<char>(v >> 24);
    good[at + 1] = static_cast<char>(v >> 16);
    good[at + 2] = static_cast<char>(v >> 8);
    good[at + 3] = static_cast<char>(v);
  };
  put(16, width);  // IHDR's width and height follow the signature, length and type
  put(20, height);
  return good;
}

TEST_F(KuLoadResourceTest, TheDeclaredSizeIsCheckedBeforeDecoding) {
  EXPECT_EQ(Decode(ClaimedPng(kMaxImageSide + 1, 1)), nullptr);
  EXPECT_EQ(Decode(ClaimedPng(1, kMaxImageSide + 1)), nullptr);
  EXPECT_EQ(Decode(ClaimedPng(5000, 5000)), nullptr);  // 25 million pixels
  EXPECT_EQ(Decode(ClaimedPng(0x7FFFFFFF, 0x7FFFFFFF)), nullptr);
  // Within the bounds but with too little data behind it: the decoder fails cleanly.
  EXPECT_EQ(Decode(ClaimedPng(4000, 4000)), nullptr);
}

TEST_F(KuLoadResourceTest, FileImagesFollowThePathRule) {
  const std::string png = ResourceString(L"PNG", 202);
  const std::wstring full = Write("icon.png", png);
  // The name itself when it exists...
  KuImageInfo* byPath = loader().LoadImageW(full, 0, false);
  ASSERT_NE(byPath, nullptr);
  EXPECT_EQ(byPath->width, 24);
  // ...otherwise the resource path joined with it, with or without a separator at its end.
  EXPECT_EQ(loader().LoadImageW(L"icon.png", 0, false), nullptr);
  loader().SetResourcePath(Folder());
  KuImageInfo* relative = loader().LoadImageW(L"icon.png", 0, false);
  ASSERT_NE(relative, nullptr);
  loader().ClearFileResource();
  loader().SetResourcePath(Folder() + L"/");
  EXPECT_NE(loader().LoadImageW(L"icon.png", 0, false), nullptr);
  // A JPEG file decodes like a PNG.
  Write("photo.png", ResourceString(L"PNG", 206));
  EXPECT_NE(loader().LoadImageW(L"photo.png", 0, false), nullptr);
}

TEST_F(KuLoadResourceTest, EmptyDamagedOrMissingFilesYieldNoImage) {
  loader().SetResourcePath(Folder());
  Write("empty.png", "");
  const std::string good = ResourceString(L"PNG", 202);
  Write("cut.png", good.substr(0, good.size() / 2));
  Write("huge.png", ResourceString(L"PNG", 212));
  Write("good.png", good);
  const size_t before = loader().DecodeCount();
  EXPECT_EQ(loader().LoadImageW(L"empty.png", 0, false), nullptr);
  EXPECT_EQ(loader().LoadImageW(L"cut.png", 0, false), nullptr);
  EXPECT_EQ(loader().LoadImageW(L"huge.png", 0, false), nullptr);
  EXPECT_EQ(loader().LoadImageW(L"missing.png", 0, false), nullptr);
  EXPECT_EQ(loader().LoadImageW(L"", 0, false), nullptr);
  EXPECT_EQ(loader().LoadImageW(Folder(), 0, false), nullptr);  // a folder
  // No scrambling is defined: an image marked as scrambled is not shown.
  EXPECT_EQ(loader().LoadImageW(L"good.png", 0, true), nullptr);
  EXPECT_EQ(loader().FileImageCount(), 0u);
  EXPECT_EQ(loader().DecodeCount(), before);
  EXPECT_NE(loader().LoadImageW(L"good.png", 0, false), nullptr);
}

TEST_F(KuLoadResourceTest, AThousandFileNamesAreKeptMostRecentlyUsedLast) {
  const std::string png = ResourceString(L"PNG", 204);
  ASSERT_FALSE(png.empty());
  for (int i = 0; i <= 1000; ++i) Write(std::to_string(i) + ".png", png);
  loader().SetResourcePath(Folder());
  auto name = [](int i) { return std::to_wstring(i) + L".png"; };

  const size_t start = loader().DecodeCount();
  for (int i = 0; i < 1000; ++i) ASSERT_NE(loader().LoadImageW(name(i), 0, false), nullptr) << i;
  EXPECT_EQ(loader().FileImageCount(), 1000u);
  EXPECT_EQ(loader().DecodeCount(), start + 1000);

  // A hit moves the name to the end: "0.png" is no longer the oldest.
  ASSERT_NE(loader().LoadImageW(name(0), 0, false), nullptr);
  EXPECT_EQ(loader().DecodeCount(), start + 1000);
  // The 1001st name drops the oldest, "1.png".
  ASSERT_NE(loader().LoadImageW(name(1000), 0, false), nullptr);
  EXPECT_EQ(loader().FileImageCount(), 1000u);
  EXPECT_EQ(loader().DecodeCount(), start + 1001);
  ASSERT_NE(loader().LoadImageW(name(0), 0, false), nullptr);
  EXPECT_EQ(loader().DecodeCount(), start + 1001);  // still cached
  ASSERT_NE(loader().LoadImageW(name(1), 0, false), nullptr);
  EXPECT_EQ(loader().DecodeCount(), start + 1002);  // decoded again, dropping "2.png"
  ASSERT_NE(loader().LoadImageW(name(3), 0, false), nullptr);
  EXPECT_EQ(loader().DecodeCount(), start + 1002);
  ASSERT_NE(loader().LoadImageW(name(2), 0, false), nullptr);
  EXPECT_EQ(loader().DecodeCount(), start + 1003);
  EXPECT_EQ(loader().FileImageCount(), 1000u);

  loader().ClearFileResource();
  EXPECT_EQ(loader().FileImageCount(), 0u);
}

}  // namespace
}  // namespace KUM
