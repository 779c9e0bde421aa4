#include "net/RundixKefuWnd.h"

#include "RundixConfig.h"

namespace KUM {

RundixKefuWnd::RundixKefuWnd(rundix::Machine& machine) : machine_(machine) {}

const wchar_t* RundixKefuWnd::GetWindowClassName() const { return L"RundixKefu_WND_CLASS"; }

LRESULT RundixKefuWnd::KuOnCreate(UINT, WPARAM, LPARAM, bool&) {
  AttachSkin(L"100", "Kefu", &callback_);
  return 0;
}

void RundixKefuWnd::Notify(KuNotify& msg) {
  if (msg.Type == UINOTIFY_WINDOWINIT) {
    CenterWindow();
    return;
  }
  if (msg.Type != UINOTIFY_CLICK || msg.pSender == nullptr) return;
  switch (msg.pSender->GetID()) {
    case 100:
      Close();
      break;
    case 102:
      // Each press opens the page; without a browser nothing happens, silently.
      machine_.System().ShellExecuteW(nullptr, L"open", RUNDIX_KEFU_URL, L"", SW_SHOWNORMAL);
      break;
    default:
      break;
  }
}

}  // namespace KUM
