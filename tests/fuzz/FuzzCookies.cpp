// Cookie and Set-Cookie texts into the jar, then the Cookie line for a host. The first byte
// picks the host; the rest is split at NUL bytes into several texts, as several Set-Cookie
// lines of one reply would arrive.
#include <cstdlib>
#include <string>

#include "net/NyWinHttp.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const wchar_t* const kHosts[] = {L"example.com", L"", L"127.0.0.1", L"A.B"};
  KUM::NyWinHttp http(rundix::fuzz::SharedMachine());
  http.host = kHosts[data[0] % 4];
  size_t start = 1;
  for (size_t i = 1; i <= size; ++i) {
    if (i == size || data[i] == 0) {
      http.ParseCookieString(rundix::fuzz::WideFromFuzzBytes(data + start, i - start));
      start = i + 1;
    }
  }
  if (http.cookieJar.size() > KUM::NyWinHttp::kMaxCookies) std::abort();
  http.AddCookieHeader(nullptr);
  rundix::fuzz::ForgetRecordedCalls();
  return 0;
}
