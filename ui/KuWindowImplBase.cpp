#include "ui/KuWindowImplBase.h"

namespace KUM {

KuWindowImplBase::~KuWindowImplBase() {
  // A window still open when its object goes must not reach the half-destroyed object, and
  // the controls die with the paint manager below: detach the window and destroy it first.
  HWND window = window_;
  if (window != nullptr && Ws().IsWindow(window)) {
    Ws().SetWindowLongW(window, GWLP_USERDATA, 0);
    window_ = nullptr;
    Ws().DestroyWindow(window);
  }
}

#define KU_DEFAULT_HANDLER(name)                                                         \
  LRESULT KuWindowImplBase::name(UINT, WPARAM, LPARAM, bool& handled) {                  \
    handled = false;                                                                     \
    return 0;                                                                            \
  }

KU_DEFAULT_HANDLER(KuOnDestroy)
KU_DEFAULT_HANDLER(KuOnCreate)
KU_DEFAULT_HANDLER(KuOnCommand)
KU_DEFAULT_HANDLER(KuOnNotify)
KU_DEFAULT_HANDLER(KuOnNcActivate)
KU_DEFAULT_HANDLER(KuOnNcCalcSize)
KU_DEFAULT_HANDLER(KuOnNcPaint)
KU_DEFAULT_HANDLER(KuOnNcHitTest)
KU_DEFAULT_HANDLER(KuOnSysCommand)
KU_DEFAULT_HANDLER(KuOnSize)
KU_DEFAULT_HANDLER(KuOnMove)
KU_DEFAULT_HANDLER(KuOnClose)
KU_DEFAULT_HANDLER(KuOnGetMinMaxInfo)
KU_DEFAULT_HANDLER(KuOnMouseWheel)
KU_DEFAULT_HANDLER(KuOnKillFocus)
KU_DEFAULT_HANDLER(KuOnSetFocus)
KU_DEFAULT_HANDLER(KuOnLButtonUp)
KU_DEFAULT_HANDLER(KuOnLButtonDown)
KU_DEFAULT_HANDLER(KuOnMouseMove)
KU_DEFAULT_HANDLER(KuOnMouseLeave)
KU_DEFAULT_HANDLER(KuOnNcMouseMove)
KU_DEFAULT_HANDLER(KuOnNcMouseLeave)
KU_DEFAULT_HANDLER(KuOnTimer)
KU_DEFAULT_HANDLER(KuOnChar)
KU_DEFAULT_HANDLER(KuOnKeyUp)
KU_DEFAULT_HANDLER(KuOnKeyDown)
KU_DEFAULT_HANDLER(KuOnWindowPosChanged)
KU_DEFAULT_HANDLER(KuOnUIMessage)
KU_DEFAULT_HANDLER(KuOnCopyData)

#undef KU_DEFAULT_HANDLER

void KuWindowImplBase::Notify(KuNotify&) {}

LRESULT KuWindowImplBase::KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  bool handled = true;
  LRESULT result = 0;
  switch (message) {
    case WM_DESTROY: result = KuOnDestroy(message, wParam, lParam, handled); break;
    case WM_CREATE: result = KuOnCreate(message, wParam, lParam, handled); break;
    case WM_COMMAND: result = KuOnCommand(message, wParam, lParam, handled); break;
    case WM_NOTIFY: result = KuOnNotify(message, wParam, lParam, handled); break;
    case WM_NCACTIVATE: result = KuOnNcActivate(message, wParam, lParam, handled); break;
    case WM_NCCALCSIZE: result = KuOnNcCalcSize(message, wParam, lParam, handled); break;
    case WM_NCPAINT: result = KuOnNcPaint(message, wParam, lParam, handled); break;
    case WM_NCHITTEST: result = KuOnNcHitTest(message, wParam, lParam, handled); break;
    case WM_SYSCOMMAND: result = KuOnSysCommand(message, wParam, lParam, handled); break;
    case WM_SIZE: result = KuOnSize(message, wParam, lParam, handled); break;
    case WM_MOVE: result = KuOnMove(message, wParam, lParam, handled); break;
    case WM_CLOSE: result = KuOnClose(message, wParam, lParam, handled); break;
    case WM_GETMINMAXINFO: result = KuOnGetMinMaxInfo(message, wParam, lParam, handled); break;
    case WM_MOUSEWHEEL: result = KuOnMouseWheel(message, wParam, lParam, handled); break;
    case WM_KILLFOCUS: result = KuOnKillFocus(message, wParam, lParam, handled); break;
    case WM_SETFOCUS: result = KuOnSetFocus(message, wParam, lParam, handled); break;
    case WM_LBUTTONUP: result = KuOnLButtonUp(message, wParam, lParam, handled); break;
    case WM_LBUTTONDOWN: result = KuOnLButtonDown(message, wParam, lParam, handled); break;
    case WM_MOUSEMOVE: result = KuOnMouseMove(message, wParam, lParam, handled); break;
    case WM_MOUSELEAVE: result = KuOnMouseLeave(message, wParam, lParam, handled); break;
    case WM_NCMOUSEMOVE: result = KuOnNcMouseMove(message, wParam, lParam, handled); break;
    case WM_NCMOUSELEAVE: result = KuOnNcMouseLeave(message, wParam, lParam, handled); break;
    case WM_TIMER: result = KuOnTimer(message, wParam, lParam, handled); break;
    case WM_CHAR: result = KuOnChar(message, wParam, lParam, handled); break;
    case WM_KEYUP: result = KuOnKeyUp(message, wParam, lParam, handled); break;
    case WM_KEYDOWN: result = KuOnKeyDown(message, wParam, lParam, handled); break;
    case WM_WINDOWPOSCHANGED: result = KuOnWindowPosChanged(message, wParam, lParam, handled); break;
    case UIMSG_POSTNOTIFY: result = KuOnUIMessage(message, wParam, lParam, handled); break;
    case WM_COPYDATA: result = KuOnCopyData(message, wParam, lParam, handled); break;
    default: handled = false; break;
  }
  if (handled) return result;
  if (paintManager_.MessageHandler(message, wParam, lParam, result)) return result;
  return KuWindowWnd::KuHandleMessage(message, wParam, lParam);
}

KuControl* KuWindowImplBase::AttachSkin(const wchar_t* resourceId, const char* section,
                                        IDialogBuilderCallback* callback) {
  paintManager_.Init(window_);
  KuDialogBuilder builder;
  KuControl* root = builder.Create(resourceId, section, UISKIN_RESOURCE, L"XML", callback, &paintManager_);
  paintManager_.AttachDialog(root);
  paintManager_.AddNotifier(this);
  return root;
}

}  // namespace KUM
