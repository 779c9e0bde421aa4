// The service's JSON replies to the two login calls.
#include <string>

#include "net/ServiceApi.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string body(reinterpret_cast<const char*>(data), size);
  rundix::ReadLoginQrCodeReply(body);
  rundix::ReadLoginQueryReply(body);
  return 0;
}
