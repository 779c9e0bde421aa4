#include "platform/WinHttp.h"

#include <vector>

#include "platform/Text.h"

namespace rundix {

std::optional<std::wstring> QueryWinHttpHeaderText(IWinHttp& http, HANDLE request, DWORD infoLevel,
                                                   DWORD* index) {
  DWORD bytes = 0;
  DWORD probeIndex = index ? *index : 0;
  if (http.WinHttpQueryHeaders(request, infoLevel, nullptr, &bytes, index ? &probeIndex : nullptr)) {
    return std::wstring();  // nothing to copy: an empty value
  }
  if (http.GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) return std::nullopt;
  // Room for the terminator even if a platform counted without it.
  std::vector<BYTE> buffer(static_cast<size_t>(bytes) + 2, 0);
  DWORD capacity = bytes;
  if (!http.WinHttpQueryHeaders(request, infoLevel, buffer.data(), &capacity, index)) return std::nullopt;
  if (capacity > bytes) capacity = bytes;
  return WideFromUtf16Le(buffer.data(), capacity);
}

std::optional<DWORD> QueryWinHttpHeaderNumber(IWinHttp& http, HANDLE request, DWORD infoLevel) {
  BYTE buffer[4] = {0, 0, 0, 0};
  DWORD bytes = sizeof(buffer);
  if (!http.WinHttpQueryHeaders(request, infoLevel | WINHTTP_QUERY_FLAG_NUMBER, buffer, &bytes, nullptr)) {
    return std::nullopt;
  }
  return static_cast<DWORD>(buffer[0]) | (static_cast<DWORD>(buffer[1]) << 8) |
         (static_cast<DWORD>(buffer[2]) << 16) | (static_cast<DWORD>(buffer[3]) << 24);
}

}  // namespace rundix
