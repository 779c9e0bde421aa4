// PNG and JPEG bytes through the decoder the resource loader uses, and .ico files through
// the icon decoder. The first byte picks the mask and the icon size.
#include <memory>

#include "tests/fuzz/FuzzSupport.h"
#include "ui/KuLoadResource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  DWORD mask = (data[0] & 1) ? 0xFFFF00FFu : 0;
  int iconSize = (data[0] >> 1) & 0x3F;
  std::unique_ptr<KUM::KuImageInfo> image = KUM::KuDecodeImage(data + 1, size - 1, mask);
  if (image && (image->width <= 0 || image->height <= 0 || image->width > KUM::kMaxImageSide ||
                image->height > KUM::kMaxImageSide)) {
    __builtin_trap();
  }
  std::unique_ptr<KUM::KuImageInfo> icon = KUM::KuDecodeIcon(data + 1, size - 1, iconSize);
  return 0;
}
