// Registry access in the shape of the Win32 calls. Data buffers keep Windows' byte layout
// (strings are UTF-16LE); names cross the seam as wide strings.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/UniqueHandle.h"
#include "platform/Win32Types.h"

namespace rundix {

class IRegistry {
 public:
  virtual ~IRegistry() = default;

  // Without a KEY_WOW64_* flag, keys under HKLM\SOFTWARE resolve as a 32-bit program sees them.
  virtual LONG RegOpenKeyExW(HKEY root, const std::wstring& subKey, REGSAM access, HKEY* result) = 0;
  virtual LONG RegCreateKeyExW(HKEY root, const std::wstring& subKey, DWORD options, REGSAM access,
                               HKEY* result, DWORD* disposition) = 0;
  // Windows' rules: `data` may be null to ask for the size; when the buffer is too small the
  // call fails with ERROR_MORE_DATA and *dataBytes holds the size needed.
  virtual LONG RegQueryValueExW(HKEY key, const std::wstring& name, DWORD* type, BYTE* data,
                                DWORD* dataBytes) = 0;
  virtual LONG RegSetValueExW(HKEY key, const std::wstring& name, DWORD type, const BYTE* data,
                              DWORD dataBytes) = 0;
  // Value names by index. A name of `nameCapacity` characters or more (room for the terminator
  // counts, as on Windows) fails with ERROR_MORE_DATA; past the last value ERROR_NO_MORE_ITEMS.
  virtual LONG RegEnumValueW(HKEY key, DWORD index, std::wstring* name, DWORD nameCapacity) = 0;
  virtual LONG RegDeleteValueW(HKEY key, const std::wstring& name) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
};

struct RegKeyCloser {
  IRegistry* registry = nullptr;
  bool operator()(HKEY key) const { return registry->RegCloseKey(key) == ERROR_SUCCESS; }
};
using RegKey = UniqueHandle<HKEY, RegKeyCloser>;

// Opens a key into an owner that closes it on every path; an invalid holder when it fails.
RegKey OpenRegKey(IRegistry& registry, HKEY root, const std::wstring& subKey, REGSAM access);
// Opens with KEY_SET_VALUE, else creates it with KEY_ALL_ACCESS (the settings store's way).
RegKey OpenOrCreateRegKey(IRegistry& registry, HKEY root, const std::wstring& subKey);

// A DWORD value read as exactly four bytes, whatever its type.
std::optional<DWORD> QueryRegDword(IRegistry& registry, HKEY key, const std::wstring& name);
// A string value read through a zero-filled buffer of `bufferBytes` bytes, as the callers'
// fixed buffers do: the text up to the first NUL, never past the buffer. A value that does
// not fit, or any read error, gives nothing.
std::optional<std::wstring> QueryRegString(IRegistry& registry, HKEY key, const std::wstring& name,
                                           DWORD bufferBytes);
LONG SetRegDword(IRegistry& registry, HKEY key, const std::wstring& name, DWORD value);
// REG_SZ with a byte count that leaves out the terminating NUL.
LONG SetRegString(IRegistry& registry, HKEY key, const std::wstring& name, const std::wstring& value);

}  // namespace rundix
