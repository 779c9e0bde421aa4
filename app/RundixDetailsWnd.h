// The modal report window of one finding: for a crash, system-error or junk-file finding a
// header and the list of its entries; for a shared-DLL finding a short explanation of the
// file. Its "修复" buttons start the repair in the main window.
#pragma once

#include "ui/KuFramelessWindow.h"
#include "views/DialogBuilderCallbackEx.h"

namespace KUM {

class CheckResultItem;
class RundixWnd;

class RundixDetailsWnd : public KuFramelessWindow {
 public:
  RundixDetailsWnd(RundixWnd* main, CheckResultItem* row);
  ~RundixDetailsWnd() override;

  const wchar_t* GetWindowClassName() const override;
  LRESULT KuOnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void Notify(KuNotify& msg) override;

  void FillReport();

 private:
  CheckResultItem* row_;
  RundixWnd* main_;
  DialogBuilderCallbackEx callback_;
};

}  // namespace KUM
