#include "platform/Registry.h"

#include "platform/Text.h"

namespace rundix {

RegKey OpenRegKey(IRegistry& registry, HKEY root, const std::wstring& subKey, REGSAM access) {
  HKEY key = nullptr;
  if (registry.RegOpenKeyExW(root, subKey, access, &key) != ERROR_SUCCESS) key = nullptr;
  return RegKey(key, RegKeyCloser{&registry});
}

RegKey OpenOrCreateRegKey(IRegistry& registry, HKEY root, const std::wstring& subKey) {
  RegKey key = OpenRegKey(registry, root, subKey, KEY_SET_VALUE);
  if (key) return key;
  HKEY created = nullptr;
  DWORD disposition = 0;
  if (registry.RegCreateKeyExW(root, subKey, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, &created,
                               &disposition) != ERROR_SUCCESS) {
    created = nullptr;
  }
  return RegKey(created, RegKeyCloser{&registry});
}

std::optional<DWORD> QueryRegDword(IRegistry& registry, HKEY key, const std::wstring& name) {
  BYTE data[4] = {0, 0, 0, 0};
  DWORD size = sizeof(data);
  DWORD type = 0;
  if (registry.RegQueryValueExW(key, name, &type, data, &size) != ERROR_SUCCESS) return std::nullopt;
  return static_cast<DWORD>(data[0] | (data[1] << 8) | (data[2] << 16) |
                            (static_cast<DWORD>(data[3]) << 24));
}

std::optional<std::wstring> QueryRegString(IRegistry& registry, HKEY key, const std::wstring& name,
                                           DWORD bufferBytes) {
  std::vector<BYTE> buffer(bufferBytes, 0);
  DWORD size = bufferBytes;
  DWORD type = 0;
  if (registry.RegQueryValueExW(key, name, &type, buffer.data(), &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  // A value that fills the buffer without a terminator is cut at the buffer's end.
  return WideFromUtf16Le(buffer.data(), buffer.size());
}

LONG SetRegDword(IRegistry& registry, HKEY key, const std::wstring& name, DWORD value) {
  const BYTE data[4] = {static_cast<BYTE>(value & 0xFF), static_cast<BYTE>((value >> 8) & 0xFF),
                        static_cast<BYTE>((value >> 16) & 0xFF), static_cast<BYTE>(value >> 24)};
  return registry.RegSetValueExW(key, name, REG_DWORD, data, sizeof(data));
}

LONG SetRegString(IRegistry& registry, HKEY key, const std::wstring& name, const std::wstring& value) {
  // The size counts the terminator: a reader that trusts the stored size (as most do) would
  // otherwise get a string without one, and Windows may store a stray character after it.
  std::vector<BYTE> data = Utf16LeFromWide(value);
  data.push_back(0);
  data.push_back(0);
  return registry.RegSetValueExW(key, name, REG_SZ, data.data(), static_cast<DWORD>(data.size()));
}

}  // namespace rundix
