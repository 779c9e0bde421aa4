// The resources seam over the tests' own list (tests/data/ui/resources.list): the same
// lookups on Windows (windres) and Linux (the generated table).
#include <gtest/gtest.h>

#include "platform/Resources.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/KuLoadResource.h"

namespace rundix::test {
namespace {

TEST(Resources, FindsTypedResourcesByIdWithTheFilesBytes) {
  EXPECT_EQ(ResourceString(L"XML", 230),
            "<Window size=\"10,10\">\n  <Label text=\"\xE8\xB5\x84\xE6\xBA\x90\"/>\n</Window>\n");
  // Type names compare without regard to case, as FindResourceW's do.
  EXPECT_EQ(ResourceString(L"xml", 230), ResourceString(L"XML", 230));
  const std::string png = ResourceString(L"PNG", 202);
  ASSERT_GE(png.size(), 8u);
  EXPECT_EQ(png.substr(1, 3), "PNG");
  // The JPEG stored under PNG keeps its own bytes.
  const std::string jpeg = ResourceString(L"PNG", 206);
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(jpeg[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(jpeg[1]), 0xD8);
}

TEST(Resources, MissingIdsAndTypesFindNothing) {
  EXPECT_FALSE(FindResourceBytes(nullptr, L"PNG", 299));
  EXPECT_FALSE(FindResourceBytes(nullptr, L"XML", 202));  // the id exists under PNG only
  EXPECT_FALSE(FindResourceBytes(nullptr, L"", 202));
  EXPECT_FALSE(FindResourceBytes(nullptr, L"STRING", 103));
}

TEST(Resources, ProgramInstanceIsTheModuleOfNull) {
  HINSTANCE program = ProgramInstance();
  ASSERT_NE(program, nullptr);
  auto byHandle = FindResourceBytes(program, L"PNG", 203);
  auto byNull = FindResourceBytes(nullptr, L"PNG", 203);
  ASSERT_TRUE(byHandle && byNull);
  EXPECT_EQ(byHandle->data, byNull->data);
  EXPECT_EQ(byHandle->size, byNull->size);
}

TEST(Resources, IconComesBackAsAnIcoFile) {
  const std::string ico = ResourceString(L"ICON", 220);
  ASSERT_GE(ico.size(), 6u + 2 * 16);
  EXPECT_EQ(ico.substr(0, 6), std::string("\0\0\1\0\2\0", 6));  // an icon with two images
  auto image16 = KUM::KuDecodeIcon(reinterpret_cast<const uint8_t*>(ico.data()), ico.size(), 16);
  auto largest = KUM::KuDecodeIcon(reinterpret_cast<const uint8_t*>(ico.data()), ico.size(), 0);
  ASSERT_TRUE(image16 && largest);
  EXPECT_EQ(image16->width, 16);
  EXPECT_EQ(largest->width, 32);
  EXPECT_TRUE(PixelNear(*image16->bitmap, 8, 8, 0xFFC82828));
  EXPECT_TRUE(PixelNear(*largest->bitmap, 8, 8, 0xFF2828C8));
}

TEST(Resources, StringsKeepTheirTextAndAreCutToTheBuffer) {
  EXPECT_EQ(LoadStringResource(nullptr, 103),
            L"Rundix \u6D4B\u8BD5; a \"quoted\" [bracketed] \\ text");
  const std::wstring digits = LoadStringResource(nullptr, 104);
  EXPECT_EQ(digits.size(), 511u);  // 550 characters in a buffer of 512
  EXPECT_EQ(digits.substr(0, 12), L"012345678901");
  EXPECT_EQ(LoadStringResource(nullptr, 104, 5), L"0123");
  EXPECT_EQ(LoadStringResource(nullptr, 104, 0), L"");
  EXPECT_EQ(LoadStringResource(nullptr, 105), L"");
  // The loader's string table is the same, at most 511 characters.
  EXPECT_EQ(KUM::KuLoadResource::Instance().LoadStr(104), digits);
}

}  // namespace
}  // namespace rundix::test
