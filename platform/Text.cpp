#include "platform/Text.h"

#include <algorithm>
#include <cstdarg>
#include <cwchar>
#include <cwctype>
#include <vector>

namespace rundix {

namespace {

void AppendCodePoint(std::wstring& out, uint32_t cp) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(cp));
}

// Walks `text` as code points, whatever the width of wchar_t.
template <typename F>
void ForEachCodePoint(const std::wstring& text, F f) {
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        uint32_t d = static_cast<uint32_t>(text[i + 1]);
        if (d >= 0xDC00 && d <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (d - 0xDC00);
          ++i;
        }
      }
    }
    f(c);
  }
}

}  // namespace

std::wstring WideFromUtf16Le(const void* data, size_t bytes) {
  std::wstring out;
  if (data == nullptr) return out;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t units = bytes / 2;
  for (size_t i = 0; i < units; ++i) {
    uint32_t u = p[2 * i] | (p[2 * i + 1] << 8);
    if (u == 0) break;
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      uint32_t v = p[2 * i + 2] | (p[2 * i + 3] << 8);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        AppendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendCodePoint(out, u);
  }
  return out;
}

std::vector<uint8_t> Utf16LeFromWide(const std::wstring& text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() * 2);
  auto unit = [&out](uint32_t u) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  };
  ForEachCodePoint(text, [&](uint32_t cp) {
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      unit(0xD800 + (cp >> 10));
      unit(0xDC00 + (cp & 0x3FF));
    } else {
      unit(cp > 0x10FFFF ? 0xFFFD : cp);
    }
  });
  return out;
}

size_t Utf16Length(const std::wstring& text) {
  size_t n = 0;
  ForEachCodePoint(text, [&n](uint32_t cp) { n += cp >= 0x10000 ? 2 : 1; });
  return n;
}

std::string Utf8FromWide(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  ForEachCodePoint(text, [&out](uint32_t cp) {
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  });
  return out;
}

std::wstring WideFromUtf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  // Most names are plain ASCII: widened as they stand, in one go.
  if (std::all_of(s, s + n, [](unsigned char c) { return c < 0x80; })) return std::wstring(s, s + n);
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    uint32_t cp;
    size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      len = 4;
    } else {
      AppendCodePoint(out, 0xFFFD);
      ++i;
      continue;
    }
    if (i + len > n) {
      AppendCodePoint(out, 0xFFFD);
      break;
    }
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (s[i + k] & 0x3F);
    }
    static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      AppendCodePoint(out, 0xFFFD);
      ++i;
      continue;
    }
    AppendCodePoint(out, cp);
    i += len;
  }
  return out;
}

namespace {

wchar_t LowerChar(wchar_t c) {
  if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
  if (c >= 0x80) return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return c;
}

}  // namespace

std::wstring ToLowerWide(std::wstring text) {
  for (auto& c : text) c = LowerChar(c);
  return text;
}

// Compared where they lie: paths and INI names are matched this way many times over.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}

bool ContainsNoCase(const std::wstring& haystack, const std::wstring& needle) {
  return ToLowerWide(haystack).find(ToLowerWide(needle)) != std::wstring::npos;
}

namespace {
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

std::string ToLowerAscii(std::string text) {
  for (auto& c : text) c = LowerAscii(c);
  return text;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

std::wstring FormatWide(const wchar_t* format, ...) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list args;
    va_start(args, format);
    int n = std::vswprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    if (n >= 0 && static_cast<size_t>(n) < buffer.size()) return std::wstring(buffer.data(), static_cast<size_t>(n));
    if (buffer.size() > (1u << 24)) return std::wstring();
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace rundix
