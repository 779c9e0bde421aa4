// The program's builder callback: the skin's application elements become its own controls.
#pragma once

#include "ui/KuDialogBuilder.h"

namespace KUM {

class DialogBuilderCallbackEx : public IDialogBuilderCallback {
 public:
  // "CheckResult" and "LeftOption"; null for any other name.
  KuControl* CreateControl(const std::wstring& name) override;
};

}  // namespace KUM
