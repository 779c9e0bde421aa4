// The customer-service dialog: a QR code for reaching customer service from a phone, and a
// button that opens the chat page in the default browser.
#pragma once

#include "platform/Machine.h"
#include "ui/KuFramelessWindow.h"
#include "views/DialogBuilderCallbackEx.h"

namespace KUM {

class RundixKefuWnd : public KuFramelessWindow {
 public:
  // The machine whose shell opens the chat page.
  explicit RundixKefuWnd(rundix::Machine& machine);

  const wchar_t* GetWindowClassName() const override;
  LRESULT KuOnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void Notify(KuNotify& msg) override;

 private:
  rundix::Machine& machine_;
  DialogBuilderCallbackEx callback_;
};

}  // namespace KUM
