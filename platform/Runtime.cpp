#include "platform/Runtime.h"

#include <cwchar>
#include <vector>

namespace rundix {

std::wstring FormatTimeWide(const std::wstring& format, const std::tm& time, size_t maxChars) {
  if (maxChars == 0) return {};
  std::vector<wchar_t> buffer(maxChars, L'\0');
  size_t n = std::wcsftime(buffer.data(), buffer.size(), format.c_str(), &time);
  return std::wstring(buffer.data(), n);
}

}  // namespace rundix
