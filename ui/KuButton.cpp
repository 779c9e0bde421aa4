#include "ui/KuButton.h"

#include "ui/KuPaintManager.h"

namespace KUM {

KuButton::KuButton() {
  SetControlFlags(UIFLAG_TABSTOP, true);
  SetControlNotify(UINOTIFY_CLICK, true);
}

UINT KuButton::GetClass() const { return UICLASS_BUTTON; }

KuControl* KuButton::GetInterface(UINT id) {
  if (id == UICLASS_BUTTON) return this;
  return KuLabel::GetInterface(id);
}

const wchar_t* KuButton::ClassName() const { return L"Button"; }

std::vector<UINT> KuButton::InterfaceIds() const {
  return {UICLASS_BUTTON, UICLASS_LABEL, UICLASS_CONTAINER, UICLASS_CONTROL};
}

void KuButton::OnSetCursor(KuEventUI&) {
  // Not handed on: a parent would put its own cursor over the hand.
  Ws().SetCursor(Ws().LoadCursorW(rundix::kCursorHand));
  if (manager_ != nullptr) manager_->NoteCursor(L"hand");
}

void KuButton::OnLButtonDblClk(KuEventUI& event) {
  // The second press of a double click is a press: the button-up that follows completes a
  // second click.
  OnLButtonDown(event);
  if (IsEnabled()) Forward(UIEVENT_LBUTTONDBLCLK, event, &KuControl::OnLButtonDblClk);
}

}  // namespace KUM
