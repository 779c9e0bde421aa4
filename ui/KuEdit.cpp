#include "ui/KuEdit.h"

#include "ui/KuPaintManager.h"
#include "ui/KuRenderUtils.h"

namespace KUM {
namespace {

COLORREF ToColorRef(ARGB colour) {
  return RGB(static_cast<BYTE>(colour >> 16), static_cast<BYTE>(colour >> 8),
             static_cast<BYTE>(colour));
}

constexpr wchar_t kCtrlA = 1;  // the character Ctrl+A makes

}  // namespace

// --- The native window ----------------------------------------------------------------------

KuEditWnd::~KuEditWnd() {
  if (brush_ != nullptr) Ws().DeleteSolidBrush(brush_);
}

const wchar_t* KuEditWnd::GetWindowClassName() const { return L"KuEditWnd"; }
const wchar_t* KuEditWnd::GetSuperClassName() const { return L"Edit"; }

RECT KuEditWnd::CalPos() const {
  if (owner_ == nullptr) return RECT{0, 0, 0, 0};
  RECT rc = KuDeflate(owner_->GetPos(), owner_->GetNormalTextPadding());
  if (rc.right < rc.left) rc.right = rc.left;
  if (rc.bottom < rc.top) rc.bottom = rc.top;
  return rc;
}

bool KuEditWnd::Init(KuEdit* owner) {
  KuPaintManager* manager = owner != nullptr ? owner->GetManager() : nullptr;
  HWND parent = manager != nullptr ? manager->GetPaintWindow() : nullptr;
  if (parent == nullptr) return false;
  owner_ = owner;
  DWORD style = WS_CHILD | ES_AUTOHSCROLL;
  if (owner->multiLine_) style |= ES_MULTILINE;
  if (owner->password_) style |= ES_PASSWORD;
  if (owner->numberOnly_) style |= ES_NUMBER;
  UINT textStyle = owner->GetTextStyle();
  if (textStyle & DT_CENTER) style |= ES_CENTER;
  else if (textStyle & DT_RIGHT) style |= ES_RIGHT;

  creating_ = true;
  HWND window = KuCreate(parent, nullptr, style, 0, CalPos());
  creating_ = false;
  if (window == nullptr) {
    owner_ = nullptr;
    return false;
  }
  // The edit answers for the native window from now on: when the window takes the focus
  // from the paint manager's window, the manager finds the edit by this handle.
  owner->window_ = this;
  owner->SetWnd(window);

  KuFontInfo* font = manager->GetDefaultFont();
  if (font != nullptr && font->font) {
    Ws().SendMessageW(window, WM_SETFONT, font->font->NativeHandle(), TRUE);
  }
  Ws().SendMessageW(window, EM_LIMITTEXT, static_cast<WPARAM>(owner->maxChar_), 0);
  if (owner->password_) {
    Ws().SendMessageW(window, EM_SETPASSWORDCHAR, static_cast<WPARAM>(owner->passwordChar_), 0);
  }
  Ws().SetWindowTextW(window, owner->text_);
  Ws().SendMessageW(window, EM_SETMODIFY, FALSE, 0);
  Ws().SendMessageW(window, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(0, 0));
  Ws().EnableWindow(window, owner->IsEnabled() ? TRUE : FALSE);
  Ws().SendMessageW(window, EM_SETREADONLY, owner->readOnly_ ? TRUE : FALSE, 0);
  Ws().ShowWindow(window, SW_SHOWNOACTIVATE);
  initialised_ = true;
  Ws().SetFocus(window);
  return true;
}

void KuEditWnd::OnFinalMessage(HWND) {
  if (brush_ != nullptr) {
    Ws().DeleteSolidBrush(brush_);
    brush_ = nullptr;
  }
  if (owner_ != nullptr) {
    KuEdit* owner = owner_;
    owner_ = nullptr;
    owner->window_ = nullptr;
    owner->SetWnd(nullptr);
    owner->Invalidate();  // the edit shows its own text again
  }
  if (creating_) return;  // Init reports the failure and its caller deletes the object
  delete this;
}

LRESULT KuEditWnd::KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // A listener told of a key may close the window (and with it this object): only locals
  // are used after a notification.
  HWND window = window_;
  WNDPROC previous = oldProc_;
  auto tell = [this](UINT type, WPARAM w) {
    if (owner_ != nullptr && owner_->GetManager() != nullptr) {
      owner_->GetManager()->SendNotify(owner_, type, w, 0);
    }
  };
  auto passOn = [&]() -> LRESULT {
    if (!Ws().IsWindow(window)) return 0;
    if (previous != nullptr) return Ws().CallWindowProcW(previous, window, message, wParam, lParam);
    return Ws().DefWindowProcW(window, message, wParam, lParam);
  };
  bool handled = true;
  switch (message) {
    case WM_KILLFOCUS:
      return OnKillFocus(message, wParam, lParam, handled);
    case OCM_COMMAND: {
      WORD code = HIWORD(wParam);
      if (code == EN_CHANGE) return OnEditChanged(message, wParam, lParam, handled);
      if (code == EN_UPDATE && initialised_) Ws().InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    case OCM_CTLCOLOREDIT:
    case OCM_CTLCOLORSTATIC:
      return OnCtlColor(wParam);
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        tell(UINOTIFY_RETURN, 0);
        return 0;
      }
      if (wParam == VK_UP) tell(UINOTIFY_UP, 0);
      else if (wParam == VK_DOWN) tell(UINOTIFY_DOWN, 0);
      return passOn();
    case WM_CHAR:
      if (wParam == kCtrlA) {
        Ws().SendMessageW(window, EM_SETSEL, 0, -1);
        return 0;
      }
      // Enter was told at its key-down; its character must not reach the control either.
      if (wParam == L'\r') return 0;
      return passOn();
    default:
      return passOn();
  }
}

LRESULT KuEditWnd::OnKillFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = true;
  HWND window = window_;
  WNDPROC previous = oldProc_;
  // Editing ends when the window loses the focus: tell it, let the control lose the focus
  // as it would, then close.
  if (owner_ != nullptr && owner_->GetManager() != nullptr) {
    owner_->GetManager()->SendNotify(owner_, UINOTIFY_KILLFOCUS, wParam, 0);
  }
  if (!Ws().IsWindow(window)) return 0;
  LRESULT result = previous != nullptr
                       ? Ws().CallWindowProcW(previous, window, message, wParam, lParam)
                       : Ws().DefWindowProcW(window, message, wParam, lParam);
  Ws().PostMessageW(window, WM_CLOSE, 0, 0);
  return result;
}

LRESULT KuEditWnd::OnEditChanged(UINT, WPARAM, LPARAM, bool& handled) {
  handled = true;
  if (!initialised_ || owner_ == nullptr) return 0;
  // Straight into the field: KuEdit::SetText would copy the text back into this window.
  owner_->text_ = Ws().GetWindowTextW(window_);
  if (owner_->GetManager() != nullptr) {
    owner_->GetManager()->SendNotify(owner_, UINOTIFY_TEXTCHANGED, 0, 0);
  }
  return 0;
}

LRESULT KuEditWnd::OnCtlColor(WPARAM wParam) {
  HDC dc = reinterpret_cast<HDC>(wParam);
  ARGB text = owner_ != nullptr ? owner_->GetNormalTextColor() : 0xFF000000;
  ARGB back = owner_ != nullptr ? owner_->GetNativeEditBkColor() : 0xFFFFFFFF;
  Ws().SetBkMode(dc, TRANSPARENT);
  Ws().SetTextColor(dc, ToColorRef(text));
  if (brush_ == nullptr || back != brushColour_) {
    if (brush_ != nullptr) Ws().DeleteSolidBrush(brush_);
    brush_ = Ws().CreateSolidBrush(ToColorRef(back));
    brushColour_ = back;
  }
  return reinterpret_cast<LRESULT>(brush_);
}

// --- The edit box ---------------------------------------------------------------------------

KuEdit::KuEdit() {
  SetControlFlags(UIFLAG_SETCURSOR, true);
  SetControlFlags(UIFLAG_TABSTOP, true);
}

KuEdit::~KuEdit() {
  if (window_ != nullptr) {
    // The window outlives nothing of the edit: detach it first, then destroy it.
    KuEditWnd* window = window_;
    window_ = nullptr;
    window->owner_ = nullptr;
    HWND handle = window->GetHWND();
    if (handle != nullptr && Ws().IsWindow(handle)) Ws().DestroyWindow(handle);
  }
}

UINT KuEdit::GetClass() const { return UICLASS_EDIT; }

KuControl* KuEdit::GetInterface(UINT id) {
  if (id == UICLASS_EDIT) return this;
  return KuContainer::GetInterface(id);
}

const wchar_t* KuEdit::ClassName() const { return L"Edit"; }

std::vector<UINT> KuEdit::InterfaceIds() const {
  return {UICLASS_EDIT, UICLASS_CONTAINER, UICLASS_CONTROL};
}

bool KuEdit::OpenNativeWindow() {
  if (window_ != nullptr) return true;
  if (!IsFocused() || manager_ == nullptr || manager_->GetPaintWindow() == nullptr) return false;
  auto* window = new KuEditWnd();
  if (!window->Init(this)) {
    delete window;
    return false;
  }
  return window_ != nullptr;
}

void KuEdit::EndEditing() {
  if (window_ == nullptr) return;
  HWND native = window_->GetHWND();
  HWND host = manager_ != nullptr ? manager_->GetPaintWindow() : nullptr;
  // Losing the focus is what closes the window (and tells the listeners); a window without
  // the focus is closed directly.
  if (host != nullptr && Ws().GetFocus() == native) {
    Ws().SetFocus(host);
  } else if (native != nullptr) {
    Ws().PostMessageW(native, WM_CLOSE, 0, 0);
  }
}

void KuEdit::OnSetCursor(KuEventUI&) {
  if (!IsEnabled()) return;
  Ws().SetCursor(Ws().LoadCursorW(rundix::kCursorIBeam));
  if (manager_ != nullptr) manager_->NoteCursor(L"ibeam");
}

void KuEdit::OnLButtonDown(KuEventUI& event) {
  if (IsEnabled() && OpenNativeWindow() && window_ != nullptr) {
    Ws().SendMessageW(window_->GetHWND(), EM_SETSEL, 0, -1);
  }
  KuContainer::OnLButtonDown(event);
}

void KuEdit::OnRButtonDown(KuEventUI& event) {
  if (IsEnabled() && OpenNativeWindow() && window_ != nullptr && manager_ != nullptr) {
    POINT pt = event.ptMouse;
    Ws().ClientToScreen(manager_->GetPaintWindow(), &pt);
    HWND native = window_->GetHWND();
    Ws().SendMessageW(native, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(native),
                      MAKELPARAM(pt.x, pt.y));
  }
  KuContainer::OnRButtonDown(event);
}

void KuEdit::SetEnabled(bool enabled) {
  KuContainer::SetEnabled(enabled);
  if (!enabled) EndEditing();
}

void KuEdit::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  if (window_ != nullptr) Ws().SetWindowTextW(window_->GetHWND(), text_);
  Invalidate();
}

void KuEdit::SetPos(RECT rect) {
  KuContainer::SetPos(rect);
  if (window_ != nullptr) {
    RECT rc = window_->CalPos();
    Ws().SetWindowPos(window_->GetHWND(), nullptr, rc.left, rc.top, KuWidth(rc), KuHeight(rc),
                      SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void KuEdit::SetVisible(bool visible) {
  KuContainer::SetVisible(visible);
  if (!IsVisible()) EndEditing();
}

void KuEdit::SetInsetVisible(bool visible) {
  KuContainer::SetInsetVisible(visible);
  if (!IsVisible()) EndEditing();
}

void KuEdit::SetReadOnly(bool on) {
  readOnly_ = on;
  if (window_ != nullptr) Ws().SendMessageW(window_->GetHWND(), EM_SETREADONLY, on ? TRUE : FALSE, 0);
  Invalidate();
}

void KuEdit::SetPasswordMode(bool on) {
  if (password_ == on) return;
  password_ = on;
  Invalidate();
}

void KuEdit::SetPasswordChar(wchar_t ch) {
  if (ch == 0 || passwordChar_ == ch) return;
  passwordChar_ = ch;
  if (window_ != nullptr && password_) {
    Ws().SendMessageW(window_->GetHWND(), EM_SETPASSWORDCHAR, static_cast<WPARAM>(ch), 0);
  }
  Invalidate();
}

void KuEdit::SetMaxChar(int count) {
  maxChar_ = count < 0 ? 0 : count;
  if (window_ != nullptr) {
    Ws().SendMessageW(window_->GetHWND(), EM_LIMITTEXT, static_cast<WPARAM>(maxChar_), 0);
  }
}

void KuEdit::SetNativeEditBkColor(ARGB colour) {
  nativeBk_ = colour;
  if (window_ != nullptr) Ws().InvalidateRect(window_->GetHWND(), nullptr, TRUE);
}

void KuEdit::PaintText(Canvas& hdc) {
  if (text_.empty()) return;
  std::wstring shown = password_ ? std::wstring(text_.size(), passwordChar_) : text_;
  RECT rect = KuDeflate(item_, StateTextPadding());
  KuRenderUtils::DrawTextW(hdc, manager_, rect, shown, StateTextColour(), StateFont(), textStyle_,
                           rowHeight_, manager_ != nullptr && manager_->IsLayered());
}

void KuEdit::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"readonly") {
    SetReadOnly(ParseBool(value));
  } else if (name == L"numberonly") {
    SetNumberOnly(ParseBool(value));
  } else if (name == L"multiline") {
    SetMultiLine(ParseBool(value));
  } else if (name == L"password") {
    SetPasswordMode(ParseBool(value));
  } else if (name == L"maxchar") {
    SetMaxChar(ParseInt(value));
  } else if (name == L"passwordchar") {
    if (!value.empty()) SetPasswordChar(value[0]);
  } else if (name == L"nativebkcolor") {
    SetNativeEditBkColor(ParseColour(value));
  } else {
    KuContainer::SetAttribute(name, value);
  }
}

}  // namespace KUM
