// The machine's ANSI code page and conversions to and from it (URLs for WinINet and form
// bodies go out in the ANSI code page), in the shape of WideCharToMultiByte and
// MultiByteToWideChar without flags: what the code page cannot express or read becomes its
// default character instead of failing the conversion.
#pragma once

#include <optional>
#include <string>

#include "platform/Win32Types.h"

#ifndef CP_ACP
#define CP_ACP 0
#define CP_UTF8 65001
#endif

namespace rundix {

class ICodePages {
 public:
  virtual ~ICodePages() = default;
  // The system ANSI code page (936 for simplified Chinese, 1252 for Western European, ...).
  virtual UINT GetACP() = 0;
  // Nothing when the code page is not available (ERROR_INVALID_PARAMETER on Windows).
  virtual std::optional<std::string> WideCharToMultiByte(UINT codePage, const std::wstring& text) = 0;
  virtual std::optional<std::wstring> MultiByteToWideChar(UINT codePage, const std::string& text) = 0;
};

// The code pages of the system the process runs on, for code that has no machine at hand (the
// UI library reads its GBK skin through it). The Linux build's system uses code page 936.
ICodePages& SystemCodePages();

// The text in the ANSI code page; an empty string when it cannot be converted.
std::string AnsiFromWide(ICodePages& codePages, const std::wstring& text);
std::wstring WideFromAnsi(ICodePages& codePages, const std::string& text);

}  // namespace rundix
