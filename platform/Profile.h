// INI profile files in the shape of the Win32 calls.
#pragma once

#include <string>

#include "platform/Win32Types.h"

namespace rundix {

class IProfile {
 public:
  virtual ~IProfile() = default;
  // The value (or the default) cut to `bufferChars - 1` characters, as a buffer of that many
  // characters holds it.
  virtual std::wstring GetPrivateProfileStringW(const std::wstring& section, const std::wstring& key,
                                                const std::wstring& defaultValue, DWORD bufferChars,
                                                const std::wstring& path) = 0;
  // The value's leading decimal number (an optional sign, then digits); the default when the
  // key is missing.
  virtual UINT GetPrivateProfileIntW(const std::wstring& section, const std::wstring& key,
                                     INT defaultValue, const std::wstring& path) = 0;
  // Creates the file and the section as needed; replaces an existing key's value.
  virtual BOOL WritePrivateProfileStringW(const std::wstring& section, const std::wstring& key,
                                          const std::wstring& value, const std::wstring& path) = 0;
};

}  // namespace rundix
