// The program's pictures as it loads them: every image resource decodes, at the size the
// drawings were made for (a picture drawn at another size would be blurred or cut when the
// skin stretches it), and 129 is the JPEG under the PNG type.
#include <gtest/gtest.h>

#include "platform/Resources.h"
#include "ui/KuLoadResource.h"

namespace rundix {
namespace {

struct ImageSize {
  UINT id;
  int width;
  int height;
};

constexpr ImageSize kImages[] = {
    {102, 96, 96},   {104, 40, 40},   {105, 40, 40},   {106, 40, 40},   {107, 520, 270},
    {108, 520, 270}, {109, 520, 270}, {110, 520, 270}, {111, 520, 270}, {112, 48, 48},
    {113, 200, 200}, {114, 40, 40},   {115, 40, 40},   {116, 40, 40},   {117, 48, 48},
    {118, 48, 48},   {119, 40, 40},   {120, 48, 48},   {121, 48, 48},   {122, 160, 160},
    {124, 32, 32},   {129, 750, 750}, {130, 40, 40},   {131, 148, 148},
};

TEST(ProgramImages, EveryPictureDecodesAtItsDrawnSize) {
  KUM::KuLoadResource& loader = KUM::KuLoadResource::Instance();
  loader.SetResourceInstance(ProgramInstance());
  loader.ClearRCResource();
  for (const ImageSize& expected : kImages) {
    SCOPED_TRACE(testing::Message() << "image " << expected.id);
    KUM::KuImageInfo* image = loader.LoadImageW(expected.id, 0, L"PNG");
    ASSERT_NE(image, nullptr);
    ASSERT_NE(image->bitmap, nullptr);
    EXPECT_EQ(image->width, expected.width);
    EXPECT_EQ(image->height, expected.height);
    EXPECT_EQ(image->bitmap->Width(), expected.width);
    EXPECT_EQ(image->bitmap->Height(), expected.height);
  }
  loader.ClearRCResource();
}

TEST(ProgramImages, TheCustomerServiceCodeIsJpegDataAndTheOthersPng) {
  for (const ImageSize& image : kImages) {
    SCOPED_TRACE(testing::Message() << "image " << image.id);
    std::optional<ResourceBytes> data = FindResourceBytes(ProgramInstance(), L"PNG", image.id);
    ASSERT_TRUE(data);
    ASSERT_GE(data->size, 4u);
    const uint8_t* bytes = data->data;
    if (image.id == 129) {
      EXPECT_TRUE(bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF);
    } else {
      EXPECT_TRUE(bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G');
    }
  }
}

}  // namespace
}  // namespace rundix
