#include "views/DialogBuilderCallbackEx.h"

#include "views/CheckResult.h"
#include "views/LeftOption.h"

namespace KUM {

KuControl* DialogBuilderCallbackEx::CreateControl(const std::wstring& name) {
  if (name == L"CheckResult") return new CheckResult();
  if (name == L"LeftOption") return new LeftOption();
  return nullptr;
}

}  // namespace KUM
