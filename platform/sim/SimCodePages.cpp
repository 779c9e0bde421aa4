// The simulated machine's code pages: its ANSI code page comes from the description
// ("ansi_code_page": 936 or 1252; 936 by default). 936 goes through the C library's iconv
// tables, 1252 through Windows' own table, 65001 is UTF-8.
#include <errno.h>
#include <iconv.h>

#include "platform/Text.h"
#include "platform/sim/SimMachine.h"

namespace rundix {
namespace {

// Windows-1252's 0x80-0x9F; the five holes map to the C1 controls as Windows does.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char kDefaultChar = '?';

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Opening a converter costs far more than converting a skin's worth of text, and one must not
// be shared between threads: each thread keeps its own pair.
iconv_t Cp936Converter(bool fromCp936) {
  thread_local Iconv decoder("UTF-32LE", "CP936");
  thread_local Iconv encoder("CP936", "UTF-32LE");
  const Iconv& cd = fromCp936 ? decoder : encoder;
  return cd.ok() ? cd.get() : reinterpret_cast<iconv_t>(-1);
}

bool IsOpen(iconv_t cd) { return cd != reinterpret_cast<iconv_t>(-1); }

// wchar_t holds whole code points on Linux.
std::u32string CodePoints(const std::wstring& text) {
  return std::u32string(text.begin(), text.end());
}

std::optional<std::string> ToCp1252(const std::wstring& text) {
  std::string out;
  for (char32_t c : CodePoints(text)) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char b = kDefaultChar;
    for (int i = 0; i < 32; ++i) {
      if (kCp1252High[i] == c) b = static_cast<char>(0x80 + i);
    }
    out.push_back(b);
  }
  return out;
}

std::wstring FromCp1252(const std::string& text) {
  std::wstring out;
  for (unsigned char b : text) {
    out.push_back(b >= 0x80 && b < 0xA0 ? static_cast<wchar_t>(kCp1252High[b - 0x80]) : static_cast<wchar_t>(b));
  }
  return out;
}

std::optional<std::string> ToCp936(const std::wstring& text) {
  iconv_t cd = Cp936Converter(false);
  if (!IsOpen(cd)) return std::nullopt;
  std::string out;
  for (char32_t c : CodePoints(text)) {
    if (c < 0x80) {  // ASCII is itself in CP936
      out.push_back(static_cast<char>(c));
      continue;
    }
    char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                  static_cast<char>((c >> 16) & 0xFF), static_cast<char>((c >> 24) & 0xFF)};
    char buffer[8];
    char* inPtr = in;
    size_t inLeft = sizeof(in);
    char* outPtr = buffer;
    size_t outLeft = sizeof(buffer);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      out.push_back(kDefaultChar);
    } else {
      out.append(buffer, outPtr);
    }
  }
  return out;
}

std::optional<std::wstring> FromCp936(const std::string& text) {
  iconv_t cd = Cp936Converter(true);
  if (!IsOpen(cd)) return std::nullopt;
  std::wstring out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      out.push_back(static_cast<wchar_t>(text[i]));
      ++i;
      continue;
    }
    // One character is one byte below 0x81, else a lead byte and a trail byte.
    size_t len = static_cast<unsigned char>(text[i]) >= 0x81 ? 2 : 1;
    if (i + len > text.size()) {
      out.push_back(static_cast<wchar_t>(kDefaultChar));
      break;
    }
    char buffer[8];
    char* inPtr = const_cast<char*>(text.data() + i);
    size_t inLeft = len;
    char* outPtr = buffer;
    size_t outLeft = sizeof(buffer);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
        outPtr - buffer != 4) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      out.push_back(static_cast<wchar_t>(kDefaultChar));
      // A bad trail byte may start the next character.
      i += 1;
      continue;
    }
    uint32_t cp = static_cast<unsigned char>(buffer[0]) | (static_cast<unsigned char>(buffer[1]) << 8) |
                  (static_cast<unsigned char>(buffer[2]) << 16) |
                  (static_cast<uint32_t>(static_cast<unsigned char>(buffer[3])) << 24);
    out.push_back(static_cast<wchar_t>(cp));
    i += len;
  }
  return out;
}

class SimCodePages final : public ICodePages {
 public:
  explicit SimCodePages(UINT acp) : acp_(acp) {}

  UINT GetACP() override { return acp_; }

  std::optional<std::string> WideCharToMultiByte(UINT codePage, const std::wstring& text) override {
    switch (Resolve(codePage)) {
      case 936: return ToCp936(text);
      case 1252: return ToCp1252(text);
      case CP_UTF8: return Utf8FromWide(text);
      default: return Unsupported<std::string>();
    }
  }

  std::optional<std::wstring> MultiByteToWideChar(UINT codePage, const std::string& text) override {
    switch (Resolve(codePage)) {
      case 936: return FromCp936(text);
      case 1252: return FromCp1252(text);
      case CP_UTF8: return WideFromUtf8(text);
      default: return Unsupported<std::wstring>();
    }
  }

 private:
  UINT Resolve(UINT codePage) const { return codePage == CP_ACP ? acp_ : codePage; }
  template <typename T>
  static std::optional<T> Unsupported() {
    SimLastError() = ERROR_INVALID_PARAMETER;
    return std::nullopt;
  }

  UINT acp_;
};

}  // namespace

ICodePages& SystemCodePages() {
  static SimCodePages codePages(936);
  return codePages;
}

std::unique_ptr<ICodePages> CreateSimCodePages(SimMachine& machine, std::string* error) {
  const Json::Value& acp = machine.Description()["ansi_code_page"];
  if (acp.isNull()) return std::make_unique<SimCodePages>(936);
  if (!acp.isUInt() || (acp.asUInt() != 936 && acp.asUInt() != 1252)) {
    if (error) *error = "\"ansi_code_page\" must be 936 or 1252";
    return nullptr;
  }
  return std::make_unique<SimCodePages>(acp.asUInt());
}

}  // namespace rundix
