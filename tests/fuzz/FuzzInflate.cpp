// Reply bodies under gzip, deflate and zlib. The first byte picks raw deflate or the
// wrapped forms and the first buffer's size; the cap is lowered so the run stays fast.
#include <cstdlib>

#include "net/NyWinHttp.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool rawDeflate = data[0] & 1;
  const unsigned capacity = 1u + ((data[0] >> 1) * 97u);
  const unsigned cap = 1u << 20;
  KUM::KuBuffer<unsigned char> body;
  body.Assign(data + 1, static_cast<unsigned>(size - 1));
  KUM::KuBuffer<unsigned char> output(capacity);
  unsigned decoded = 0;
  if (KUM::NyWinHttp::InflateHttpBody(body, output, rawDeflate, &decoded, cap)) {
    if (decoded > output.GetSize() || decoded > cap) std::abort();
  }
  return 0;
}
