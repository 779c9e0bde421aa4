// A window with a paint manager and one virtual handler per message. Whatever a handler
// leaves unhandled goes to the paint manager and then to the previous window procedure.
#pragma once

#include "ui/KuDialogBuilder.h"
#include "ui/KuPaintManager.h"
#include "ui/KuWindowWnd.h"

namespace KUM {

class KuWindowImplBase : public KuWindowWnd, public INotify {
 public:
  KuWindowImplBase() = default;
  ~KuWindowImplBase() override;

  LRESULT KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  virtual LRESULT KuOnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnNotify(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnNcActivate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnNcCalcSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnNcPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnNcHitTest(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnSize(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnGetMinMaxInfo(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnMouseWheel(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnKillFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnSetFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnLButtonUp(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnLButtonDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnMouseMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnMouseLeave(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnNcMouseMove(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnNcMouseLeave(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnTimer(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnChar(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnKeyUp(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnKeyDown(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnWindowPosChanged(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnUIMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  virtual LRESULT KuOnCopyData(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

  // The base listener does nothing; window classes override it.
  void Notify(KuNotify& msg) override;

  KuPaintManager& PaintManager() { return paintManager_; }

 protected:
  // What a creation handler does first: the paint manager takes the window, the skin section
  // `section` of the XML resource `resourceId` is built (unknown elements go to `callback`),
  // attached, and this window listens to its notifications. The root, or null.
  KuControl* AttachSkin(const wchar_t* resourceId, const char* section, IDialogBuilderCallback* callback);

  KuPaintManager paintManager_;
};

}  // namespace KUM
