#include "platform/CodePages.h"

namespace rundix {

std::string AnsiFromWide(ICodePages& codePages, const std::wstring& text) {
  return codePages.WideCharToMultiByte(CP_ACP, text).value_or(std::string());
}

std::wstring WideFromAnsi(ICodePages& codePages, const std::string& text) {
  return codePages.MultiByteToWideChar(CP_ACP, text).value_or(std::wstring());
}

}  // namespace rundix
