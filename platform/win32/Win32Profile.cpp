#include <vector>

#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

class Win32Profile final : public IProfile {
 public:
  std::wstring GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
                                        const std::wstring& defaultValue, DWORD bufferChars,
                                        const std::wstring& path) override {
    if (bufferChars == 0) return {};
    std::vector<wchar_t> buffer(bufferChars, L'\0');
    DWORD n = ::GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(),
                                         buffer.data(), bufferChars, path.c_str());
    return std::wstring(buffer.data(), n);
  }
  UINT GetPrivateProfileIntW(const std::wstring& section, const std::wstring& key, INT defaultValue,
                             const std::wstring& path) override {
    return ::GetPrivateProfileIntW(section.c_str(), key.c_str(), defaultValue, path.c_str());
  }
  BOOL WritePrivateProfileStringW(const std::wstring& section, const std::wstring& key,
                                  const std::wstring& value, const std::wstring& path) override {
    return ::WritePrivateProfileStringW(section.c_str(), key.c_str(), value.c_str(), path.c_str());
  }
};

}  // namespace

std::unique_ptr<IProfile> CreateWin32Profile() { return std::make_unique<Win32Profile>(); }

}  // namespace rundix
