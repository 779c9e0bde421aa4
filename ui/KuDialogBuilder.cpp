#include "ui/KuDialogBuilder.h"

#include "platform/CodePages.h"

namespace KUM {

std::wstring KuWideFromSkin(const std::string& bytes) {
  return rundix::SystemCodePages().MultiByteToWideChar(936, bytes).value_or(std::wstring());
}

std::string KuSkinFromWide(const std::wstring& text) {
  return rundix::SystemCodePages().WideCharToMultiByte(936, text).value_or(std::string());
}

}  // namespace KUM
