#include <vector>

#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

class Win32CodePages final : public ICodePages {
 public:
  UINT GetACP() override { return ::GetACP(); }

  std::optional<std::string> WideCharToMultiByte(UINT codePage, const std::wstring& text) override {
    if (text.empty()) return std::string();
    int size = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                     nullptr, nullptr);
    if (size <= 0) return std::nullopt;
    std::string out(static_cast<size_t>(size), '\0');
    if (::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                              nullptr, nullptr) != size) {
      return std::nullopt;
    }
    return out;
  }

  std::optional<std::wstring> MultiByteToWideChar(UINT codePage, const std::string& text) override {
    if (text.empty()) return std::wstring();
    int size = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return std::nullopt;
    std::wstring out(static_cast<size_t>(size), L'\0');
    if (::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), size) !=
        size) {
      return std::nullopt;
    }
    return out;
  }
};

}  // namespace

std::unique_ptr<ICodePages> CreateWin32CodePages() { return std::make_unique<Win32CodePages>(); }

ICodePages& SystemCodePages() {
  static Win32CodePages codePages;
  return codePages;
}

}  // namespace rundix
