// Image descriptor strings: parsed, formatted, the formatted text parsed again, and placed
// in an item.

#include "tests/fuzz/FuzzSupport.h"
#include "ui/KuImageString.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  KUM::KuImageString image(rundix::fuzz::WideFromFuzzBytes(data, size));
  std::wstring formatted = image.ToString();
  KUM::KuImageString again(formatted);
  RECT item{10, 20, 310, 220};
  image.DestIn(item, 64, 48);
  image.DestIn(RECT{0, 0, 0, 0}, 0, 0);
  return 0;
}
