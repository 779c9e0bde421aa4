#include <vector>

#include "platform/win32/Win32Machine.h"

namespace rundix {
namespace {

// The program is 32-bit: keys opened without naming a view are in the 32-bit view. The
// 64-bit build (the Windows tests where no 32-bit code runs) asks for that view itself, so
// both builds see the registry alike.
REGSAM ProgramView(REGSAM access) {
  if (sizeof(void*) == 8 && (access & (KEY_WOW64_32KEY | KEY_WOW64_64KEY)) == 0) access |= KEY_WOW64_32KEY;
  return access;
}

class Win32Registry final : public IRegistry {
 public:
  LONG RegOpenKeyExW(HKEY root, const std::wstring& subKey, REGSAM access, HKEY* result) override {
    return ::RegOpenKeyExW(root, subKey.c_str(), 0, ProgramView(access), result);
  }
  LONG RegCreateKeyExW(HKEY root, const std::wstring& subKey, DWORD options, REGSAM access,
                       HKEY* result, DWORD* disposition) override {
    return ::RegCreateKeyExW(root, subKey.c_str(), 0, nullptr, options, ProgramView(access), nullptr, result,
                             disposition);
  }
  LONG RegQueryValueExW(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                        DWORD* dataBytes) override {
    return ::RegQueryValueExW(key, name.c_str(), nullptr, type, data, dataBytes);
  }
  LONG RegSetValueExW(HKEY key, const std::wstring& name, DWORD type, const BYTE* data,
                      DWORD dataBytes) override {
    return ::RegSetValueExW(key, name.c_str(), 0, type, data, dataBytes);
  }
  LONG RegEnumValueW(HKEY key, DWORD index, std::wstring* name, DWORD nameCapacity) override {
    std::vector<wchar_t> buffer(nameCapacity + 1, L'\0');
    DWORD chars = nameCapacity;
    LONG rc = ::RegEnumValueW(key, index, buffer.data(), &chars, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS && name) name->assign(buffer.data(), chars);
    return rc;
  }
  LONG RegDeleteValueW(HKEY key, const std::wstring& name) override {
    return ::RegDeleteValueW(key, name.c_str());
  }
  LONG RegCloseKey(HKEY key) override { return ::RegCloseKey(key); }
};

}  // namespace

std::unique_ptr<IRegistry> CreateWin32Registry() { return std::make_unique<Win32Registry>(); }

}  // namespace rundix
