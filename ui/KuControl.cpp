#include "ui/KuControl.h"

#include <climits>
#include <cwctype>

#include "ui/KuPaintManager.h"
#include "ui/KuRenderUtils.h"

namespace KUM {
namespace {

// Geometry read from a skin is bounded so that sums over many children cannot overflow.
constexpr long kGeometryLimit = 32767;

// wcstol-shaped: leading blanks, a sign, decimal digits; `end` is left after the last digit
// (or at the start when there is none). Never reads past the string.
long ReadLong(const std::wstring& s, size_t pos, size_t* end) {
  size_t i = pos;
  while (i < s.size() && std::iswspace(static_cast<wint_t>(s[i]))) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) {
    negative = s[i] == L'-';
    ++i;
  }
  size_t digitsStart = i;
  long long value = 0;
  while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
    if (value < static_cast<long long>(INT_MAX) + 1) value = value * 10 + (s[i] - L'0');
    ++i;
  }
  if (i == digitsStart) {
    if (end) *end = pos;
    return 0;
  }
  if (end) *end = i;
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<long>(value);
}

LONG ClampGeometry(long v) {
  return static_cast<LONG>(v > kGeometryLimit ? kGeometryLimit : (v < -kGeometryLimit ? -kGeometryLimit : v));
}

bool Has(const std::wstring& value, const wchar_t* keyword) {
  return value.find(keyword) != std::wstring::npos;
}

bool IsDescendant(const KuControl* ancestor, const KuControl* control) {
  for (const KuControl* c = control; c != nullptr; c = c->GetParent()) {
    if (c == ancestor) return true;
  }
  return false;
}

}  // namespace

// --- Value syntax ------------------------------------------------------------------------

int KuControl::ParseInt(const std::wstring& value) {
  return static_cast<int>(ReadLong(value, 0, nullptr));
}

RECT KuControl::ParseRect(const std::wstring& value) {
  // Four numbers, each read from the character after the one that ended the previous.
  LONG parts[4] = {0, 0, 0, 0};
  size_t pos = 0;
  for (int i = 0; i < 4 && pos <= value.size(); ++i) {
    size_t end = pos;
    parts[i] = ClampGeometry(ReadLong(value, pos, &end));
    if (end >= value.size()) break;
    pos = end + 1;
  }
  return RECT{parts[0], parts[1], parts[2], parts[3]};
}

SIZE KuControl::ParseSize(const std::wstring& value) {
  size_t end = 0;
  LONG cx = ClampGeometry(ReadLong(value, 0, &end));
  LONG cy = 0;
  if (end < value.size()) cy = ClampGeometry(ReadLong(value, end + 1, nullptr));
  return SIZE{cx, cy};
}

ARGB KuControl::ParseColour(const std::wstring& value) {
  size_t i = 0;
  while (i < value.size() && value[i] <= L' ') ++i;
  if (i < value.size() && value[i] == L'#') ++i;
  unsigned long long colour = 0;
  for (; i < value.size(); ++i) {
    wchar_t c = value[i];
    int digit;
    if (c >= L'0' && c <= L'9') digit = c - L'0';
    else if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
    else break;
    colour = colour * 16 + static_cast<unsigned>(digit);
    if (colour > 0xFFFFFFFFull) colour = 0xFFFFFFFFull;
  }
  return static_cast<ARGB>(colour);
}

// --- Life ---------------------------------------------------------------------------------

KuControl::KuControl() { flags_.set(UIFLAG_FOCUSABLE); }

KuControl::~KuControl() {
  if (manager_ != nullptr) manager_->ReapObjects(this);
}

int KuControl::GetX() const { return item_.left; }
int KuControl::GetY() const { return item_.top; }
int KuControl::GetWidth() const { return item_.right - item_.left; }
int KuControl::GetHeight() const { return item_.bottom - item_.top; }

bool KuControl::GetControlFlags(int n) const {
  return n >= 0 && n < static_cast<int>(flags_.size()) && flags_.test(n);
}
void KuControl::SetControlFlags(int n, bool on) {
  if (n >= 0 && n < static_cast<int>(flags_.size())) flags_.set(n, on);
}
bool KuControl::GetControlNotify(int n) const {
  return n >= 0 && n < static_cast<int>(notify_.size()) && notify_.test(n);
}
void KuControl::SetControlNotify(int n, bool on) {
  if (n >= 0 && n < static_cast<int>(notify_.size())) notify_.set(n, on);
}
bool KuControl::GetControlDispatch(int n) const {
  return n >= 0 && n < static_cast<int>(dispatch_.size()) && dispatch_.test(n);
}
void KuControl::SetControlDispatch(int n, bool on) {
  if (n >= 0 && n < static_cast<int>(dispatch_.size())) dispatch_.set(n, on);
}

UINT KuControl::GetClass() const { return UICLASS_CONTROL; }
KuControl* KuControl::GetInterface(UINT id) { return id == UICLASS_CONTROL ? this : nullptr; }
const wchar_t* KuControl::ClassName() const { return L"Control"; }
std::vector<UINT> KuControl::InterfaceIds() const { return {UICLASS_CONTROL}; }

RECT KuControl::GetHitRect() const { return KuDeflate(item_, cut_); }

KuControl* KuControl::FindControl(FINDCONTROLPROC proc, void* data, UINT flags) {
  if ((flags & UIFIND_VISIBLE) && !IsVisible()) return nullptr;
  if ((flags & UIFIND_ENABLED) && !IsEnabled()) return nullptr;
  if ((flags & UIFIND_HITTEST) &&
      (data == nullptr || !KuPtInRect(GetHitRect(), *static_cast<POINT*>(data)))) {
    return nullptr;
  }
  return proc(this, data);
}

// --- Events -------------------------------------------------------------------------------

void KuControl::Event(KuEventUI& event) {
  switch (event.Type) {
    case UIEVENT_KEYDOWN: OnKeyDown(event); break;
    case UIEVENT_KEYUP: OnKeyUp(event); break;
    case UIEVENT_CHAR: OnChar(event); break;
    case UIEVENT_SYSKEYDOWN: OnSysKeyDown(event); break;
    case UIEVENT_MOUSEMOVE: OnMouseMove(event); break;
    case UIEVENT_MOUSELEAVE: OnMouseLeave(event); break;
    case UIEVENT_MOUSEENTER: OnMouseEnter(event); break;
    case UIEVENT_MOUSEHOVER: OnMouseHover(event); break;
    case UIEVENT_MOUSEWHEEL: OnMouseWheel(event); break;
    case UIEVENT_LBUTTONDOWN: OnLButtonDown(event); break;
    case UIEVENT_LBUTTONUP: OnLButtonUp(event); break;
    case UIEVENT_RBUTTONDOWN: OnRButtonDown(event); break;
    case UIEVENT_LBUTTONDBLCLK: OnLButtonDblClk(event); break;
    case UIEVENT_CONTEXTMENU: OnContextMenu(event); break;
    case UIEVENT_KILLFOCUS: OnKillFocus(event); break;
    case UIEVENT_SETFOCUS: OnSetFocus(event); break;
    case UIEVENT_SETCURSOR: OnSetCursor(event); break;
    case UIEVENT_TIMER: OnTimer(event); break;
    default: break;
  }
}

void KuControl::Forward(int n, KuEventUI& event, void (KuControl::*handler)(KuEventUI&)) {
  if (parent_ == nullptr || !GetControlDispatch(n)) return;
  if (event.pSender == nullptr) event.pSender = this;
  (parent_->*handler)(event);
}

void KuControl::NotifyIf(int n, const KuEventUI& event) {
  if (manager_ != nullptr && GetControlNotify(n)) {
    manager_->SendNotify(this, static_cast<UINT>(n), event.wParam, event.lParam);
  }
}

void KuControl::OnMouseEnter(KuEventUI& event) {
  if (IsEnabled()) {
    if (KuPtInRect(item_, event.ptMouse) && !(mouseState_ & UISTATE_HOT)) {
      mouseState_ |= UISTATE_HOT;
      Invalidate();
    }
    if (GetControlFlags(UIFLAG_ENTERROLLTEXT)) StartTextRoll();
  }
  NotifyIf(UINOTIFY_MOUSEENTER, event);
  Forward(UIEVENT_MOUSEENTER, event, &KuControl::OnMouseEnter);
}

void KuControl::OnMouseLeave(KuEventUI& event) {
  if (mouseState_ & UISTATE_HOT) {
    mouseState_ &= ~UISTATE_HOT;
    Invalidate();
  }
  if (GetControlFlags(UIFLAG_ENTERROLLTEXT)) StopTextRoll();
  if (!IsDescendant(this, event.pOther)) NotifyIf(UINOTIFY_MOUSELEAVE, event);
  Forward(UIEVENT_MOUSELEAVE, event, &KuControl::OnMouseLeave);
}

void KuControl::OnMouseHover(KuEventUI& event) {
  NotifyIf(UINOTIFY_MOUSEHOVER, event);
  Forward(UIEVENT_MOUSEHOVER, event, &KuControl::OnMouseHover);
}

void KuControl::OnMouseMove(KuEventUI& event) {
  if (IsEnabled() && (mouseState_ & UISTATE_CAPTURED)) {
    bool inside = KuPtInRect(item_, event.ptMouse);
    bool pushed = (mouseState_ & UISTATE_PUSHED) != 0;
    if (inside != pushed) {
      if (inside) mouseState_ |= UISTATE_PUSHED;
      else mouseState_ &= ~UISTATE_PUSHED;
      Invalidate();
    }
  }
  Forward(UIEVENT_MOUSEMOVE, event, &KuControl::OnMouseMove);
}

void KuControl::OnMouseWheel(KuEventUI& event) {
  Forward(UIEVENT_MOUSEWHEEL, event, &KuControl::OnMouseWheel);
}

void KuControl::OnSetFocus(KuEventUI& event) {
  focused_ = true;
  Invalidate();
  NotifyIf(UINOTIFY_SETFOCUS, event);
  Forward(UIEVENT_SETFOCUS, event, &KuControl::OnSetFocus);
}

void KuControl::OnKillFocus(KuEventUI& event) {
  focused_ = false;
  Invalidate();
  NotifyIf(UINOTIFY_KILLFOCUS, event);
  Forward(UIEVENT_KILLFOCUS, event, &KuControl::OnKillFocus);
}

void KuControl::OnSetCursor(KuEventUI& event) {
  Ws().SetCursor(Ws().LoadCursorW(rundix::kCursorArrow));
  if (manager_ != nullptr) manager_->NoteCursor(L"arrow");
  Forward(UIEVENT_SETCURSOR, event, &KuControl::OnSetCursor);
}

void KuControl::OnTimer(KuEventUI& event) {
  if (event.wParam == kTextRollTimerId && rolling_) {
    rollOffset_ += 2;
    Invalidate();
    return;
  }
  Forward(UIEVENT_TIMER, event, &KuControl::OnTimer);
}

void KuControl::OnContextMenu(KuEventUI& event) {
  Forward(UIEVENT_CONTEXTMENU, event, &KuControl::OnContextMenu);
  if (KuPtInRect(item_, event.ptMouse) && IsEnabled()) NotifyIf(UINOTIFY_CONTEXTMENU, event);
}

void KuControl::OnRButtonDown(KuEventUI& event) {
  NotifyIf(UINOTIFY_RBUTTONDOWN, event);
  Forward(UIEVENT_RBUTTONDOWN, event, &KuControl::OnRButtonDown);
}

void KuControl::OnLButtonDown(KuEventUI& event) {
  if (IsEnabled() && KuPtInRect(item_, event.ptMouse)) {
    mouseState_ |= UISTATE_PUSHED | UISTATE_CAPTURED;
    Invalidate();
  }
  NotifyIf(UINOTIFY_LBUTTONDOWN, event);
  Forward(UIEVENT_LBUTTONDOWN, event, &KuControl::OnLButtonDown);
}

void KuControl::OnLButtonUp(KuEventUI& event) {
  if (IsEnabled() && (mouseState_ & UISTATE_CAPTURED)) {
    mouseState_ &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
    Invalidate();
    if (KuPtInRect(item_, event.ptMouse) && event.pSender == nullptr) Activate(event);
  }
  NotifyIf(UINOTIFY_LBUTTONUP, event);
  Forward(UIEVENT_LBUTTONUP, event, &KuControl::OnLButtonUp);
}

void KuControl::OnLButtonDblClk(KuEventUI& event) {
  if (IsEnabled()) Forward(UIEVENT_LBUTTONDBLCLK, event, &KuControl::OnLButtonDblClk);
}

void KuControl::OnKeyDown(KuEventUI& event) {
  if (IsEnabled() && (event.chKey == VK_SPACE || event.chKey == VK_RETURN)) {
    bool spaceReturn = spaceReturn_ || (manager_ != nullptr && manager_->IsControlSpaceReturn());
    if (spaceReturn) Activate(event);
  }
  Forward(UIEVENT_KEYDOWN, event, &KuControl::OnKeyDown);
}

void KuControl::OnKeyUp(KuEventUI& event) { Forward(UIEVENT_KEYUP, event, &KuControl::OnKeyUp); }
void KuControl::OnChar(KuEventUI& event) { Forward(UIEVENT_CHAR, event, &KuControl::OnChar); }
void KuControl::OnSysKeyDown(KuEventUI& event) {
  Forward(UIEVENT_SYSKEYDOWN, event, &KuControl::OnSysKeyDown);
}

bool KuControl::Activate(KuEventUI& event) {
  if (!IsVisible() || !IsEnabled()) return false;
  if (parent_ != nullptr && GetControlDispatch(UIEVENT_ACTIVATE)) {
    if (event.pSender == nullptr) event.pSender = this;
    parent_->Activate(event);
  }
  if (manager_ != nullptr && GetControlNotify(UINOTIFY_CLICK)) {
    manager_->SendNotify(this, UINOTIFY_CLICK, 0, 0);
  }
  return true;
}

void KuControl::StartTextRoll() {
  if (rolling_ || manager_ == nullptr || manager_->GetPaintWindow() == nullptr) return;
  rolling_ = true;
  rollOffset_ = 0;
  manager_->SetTimer(this, kTextRollTimerId, 50);
}

void KuControl::StopTextRoll() {
  if (!rolling_) return;
  rolling_ = false;
  rollOffset_ = 0;
  if (manager_ != nullptr) manager_->KillTimer(this, kTextRollTimerId);
  Invalidate();
}

// --- Geometry and state -------------------------------------------------------------------

RECT KuControl::GetPadding() const { return padding_; }
void KuControl::SetPadding(const RECT& padding) {
  padding_ = padding;
  NeedParentUpdate();
}

SIZE KuControl::EstimateSize(SIZE) {
  SIZE size{fixedWidth_, fixedHeight_};
  if (selfAdaption_ && manager_ != nullptr) {
    RECT text = KuRenderUtils::GetTextSize(manager_, text_, normalFont_, DT_SINGLELINE);
    size.cx = KuWidth(text) + normalTextPadding_.left + normalTextPadding_.right;
  }
  return size;
}

const RECT& KuControl::GetPos() const { return item_; }

void KuControl::SetPos(RECT rect) {
  updateNeeded_ = false;
  if (rect.right < rect.left) rect.right = rect.left;
  if (rect.bottom < rect.top) rect.bottom = rect.top;
  item_ = rect;
}

const RECT& KuControl::GetCut() const { return cut_; }
void KuControl::SetCut(const RECT& cut) { cut_ = cut; }

bool KuControl::IsVisible() const { return visible_ && insetVisible_; }

void KuControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  focused_ = false;
  // A hidden control keeps no keyboard focus.
  if (!IsVisible() && manager_ != nullptr && manager_->GetFocus() == this) {
    manager_->SetFocus(nullptr, false);
  }
  NeedParentUpdate();
}

bool KuControl::IsInsetVisible() const { return insetVisible_; }

void KuControl::SetInsetVisible(bool visible) {
  insetVisible_ = visible;
  if (!IsVisible() && manager_ != nullptr && manager_->GetFocus() == this) {
    manager_->SetFocus(nullptr, false);
  }
}

void KuControl::SetParent(KuControl* parent) { parent_ = parent; }
KuControl* KuControl::GetParent() const { return parent_; }

int KuControl::GetFixedWidth() const { return fixedWidth_; }
void KuControl::SetFixedWidth(int width) {
  if (width < 0) return;
  fixedWidth_ = static_cast<int>(ClampGeometry(width));
  NeedParentUpdate();
}
int KuControl::GetFixedHeight() const { return fixedHeight_; }
void KuControl::SetFixedHeight(int height) {
  if (height < 0) return;
  fixedHeight_ = static_cast<int>(ClampGeometry(height));
  NeedParentUpdate();
}
SIZE KuControl::GetFixedXY() const { return fixedXY_; }
void KuControl::SetFixedXY(SIZE xy) {
  fixedXY_ = SIZE{ClampGeometry(xy.cx), ClampGeometry(xy.cy)};
  NeedParentUpdate();
}
int KuControl::GetMinWidth() const { return minWidth_; }
void KuControl::SetMinWidth(int width) {
  if (width < 0) return;
  minWidth_ = static_cast<int>(ClampGeometry(width));
  NeedParentUpdate();
}
int KuControl::GetMaxWidth() const { return maxWidth_; }
void KuControl::SetMaxWidth(int width) {
  if (width < 0) return;
  maxWidth_ = static_cast<int>(ClampGeometry(width));
  NeedParentUpdate();
}
int KuControl::GetMinHeight() const { return minHeight_; }
void KuControl::SetMinHeight(int height) {
  if (height < 0) return;
  minHeight_ = static_cast<int>(ClampGeometry(height));
  NeedParentUpdate();
}
int KuControl::GetMaxHeight() const { return maxHeight_; }
void KuControl::SetMaxHeight(int height) {
  if (height < 0) return;
  maxHeight_ = static_cast<int>(ClampGeometry(height));
  NeedParentUpdate();
}

bool KuControl::IsEnabled() const { return enabled_; }
void KuControl::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  if (!enabled_) mouseState_ = 0;
  Invalidate();
}

bool KuControl::IsSelfAdaption() const { return selfAdaption_; }
void KuControl::SetSelfAdaption(bool on) {
  selfAdaption_ = on;
  NeedParentUpdate();
}

KuPaintManager* KuControl::GetManager() const { return manager_; }
void KuControl::SetManager(KuPaintManager* manager) { manager_ = manager; }
void KuControl::Init() {}

bool KuControl::IsFloat() const { return float_; }
void KuControl::SetFloat(bool on) {
  float_ = on;
  NeedParentUpdate();
}
bool KuControl::IsAbsFloat() const { return absFloat_; }
void KuControl::SetAbsFloat(bool on) {
  absFloat_ = on;
  NeedParentUpdate();
}
bool KuControl::IsRelFloat() const { return relFloat_; }
void KuControl::SetRelFloat(bool on) {
  relFloat_ = on;
  NeedParentUpdate();
}

std::wstring KuControl::GetTooltip() const { return tooltip_; }
void KuControl::SetTooltip(const std::wstring& text) { tooltip_ = text; }
std::wstring KuControl::GetText() const { return text_; }
void KuControl::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  Invalidate();
}
std::wstring KuControl::GetName() const { return name_; }
void KuControl::SetName(const std::wstring& name) { name_ = name; }
UINT KuControl::GetID() const { return id_; }
void KuControl::SetID(UINT id) { id_ = id; }

bool KuControl::IsFocused() const { return focused_; }
void KuControl::SetFocus() {
  if (manager_ != nullptr) manager_->SetFocus(this);
}

std::wstring KuControl::GetUserData() const { return userData_; }
void KuControl::SetUserData(const std::wstring& data) { userData_ = data; }
void* KuControl::GetData() const { return data_; }
void KuControl::SetData(void* data) { data_ = data; }
unsigned long KuControl::GetTag() const { return tag_; }
void KuControl::SetTag(unsigned long tag) { tag_ = tag; }
wchar_t KuControl::GetShortcut() const { return shortcut_; }
void KuControl::SetShortcut(wchar_t ch) { shortcut_ = ch; }

void KuControl::SetNormalTextColor(ARGB colour) { SetColour(normalText_, colour); }
ARGB KuControl::GetNormalTextColor() const { return normalText_; }
void KuControl::SetHotTextColor(ARGB colour) { SetColour(hotText_, colour); }
ARGB KuControl::GetHotTextColor() const { return hotText_; }
void KuControl::SetPushedTextColor(ARGB colour) { SetColour(pushedText_, colour); }
ARGB KuControl::GetPushedTextColor() const { return pushedText_; }
void KuControl::SetSelectedTextColor(ARGB colour) { SetColour(selectedText_, colour); }
ARGB KuControl::GetSelectedTextColor() const { return selectedText_; }
void KuControl::SetDisabledTextColor(ARGB colour) { SetColour(disabledText_, colour); }
ARGB KuControl::GetDisabledTextColor() const { return disabledText_; }
void KuControl::SetWnd(HWND window) { wnd_ = window; }

void KuControl::SetTextStyle(UINT style) {
  textStyle_ = style;
  Invalidate();
}

void KuControl::SetRoundCorner(SIZE corner) {
  roundCorner_ = corner;
  Invalidate();
}

void KuControl::SetColour(ARGB& field, ARGB value) {
  if (field == value) return;
  field = value;
  Invalidate();
}

void KuControl::SetImage(std::wstring& field, const std::wstring& value) {
  if (field == value) return;
  field = value;
  Invalidate();
}

// --- Layout and invalidation --------------------------------------------------------------

void KuControl::Invalidate() {
  KuControl* control = this;
  while (control->parent_ != nullptr && control->parent_->updateNeeded_) control = control->parent_;
  if (!control->IsVisible() || control->manager_ == nullptr) return;
  HWND window = control->manager_->GetPaintWindow();
  if (window != nullptr) Ws().InvalidateRect(window, &control->item_, FALSE);
}

void KuControl::NeedUpdate() {
  updateNeeded_ = true;
  Invalidate();
  if (manager_ != nullptr) manager_->NeedUpdate();
}

void KuControl::NeedParentUpdate() {
  if (parent_ != nullptr) {
    parent_->NeedUpdate();
    parent_->Invalidate();
  } else {
    NeedUpdate();
  }
  if (manager_ != nullptr) manager_->NeedUpdate();
}

// --- Attributes ---------------------------------------------------------------------------

KuControl* KuControl::ApplyAttributeList(const std::wstring& list) {
  size_t i = 0;
  while (i < list.size()) {
    size_t eq = list.find(L'=', i);
    if (eq == std::wstring::npos) break;
    std::wstring name = list.substr(i, eq - i);
    if (eq + 1 >= list.size() || list[eq + 1] != L'"') break;
    size_t valueStart = eq + 2;
    size_t quote = list.find(L'"', valueStart);
    if (quote == std::wstring::npos) break;
    SetAttribute(name, list.substr(valueStart, quote - valueStart));
    // Pairs are separated by exactly one blank, and a pair must follow it.
    if (quote + 2 < list.size() && list[quote + 1] == L' ') {
      i = quote + 2;
    } else {
      break;
    }
  }
  return this;
}

void KuControl::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"align") {
    UINT style = textStyle_;
    if (Has(value, L"left")) style &= ~(DT_CENTER | DT_RIGHT);
    if (Has(value, L"center")) {
      style &= ~DT_RIGHT;
      style |= DT_CENTER;
    }
    if (Has(value, L"right")) {
      style &= ~DT_CENTER;
      style |= DT_RIGHT;
    }
    if (Has(value, L"top")) style &= ~(DT_VCENTER | DT_BOTTOM);
    if (Has(value, L"vcen")) {
      style &= ~DT_BOTTOM;
      style |= DT_VCENTER;
    }
    if (Has(value, L"bottom")) {
      style &= ~DT_VCENTER;
      style |= DT_BOTTOM;
    }
    if (Has(value, L"singleline")) {
      style &= ~DT_WORDBREAK;
      style |= DT_SINGLELINE;
    }
    if (Has(value, L"wordbreak")) {
      style &= ~DT_SINGLELINE;
      style |= DT_WORDBREAK;
    }
    SetTextStyle(style);
  } else if (name == L"endellipsis") {
    SetTextStyle(ParseBool(value) ? (textStyle_ | DT_END_ELLIPSIS) : (textStyle_ & ~DT_END_ELLIPSIS));
  } else if (name == L"pathellipsis") {
    SetTextStyle(ParseBool(value) ? (textStyle_ | DT_PATH_ELLIPSIS)
                                  : (textStyle_ & ~DT_PATH_ELLIPSIS));
  } else if (name == L"normaltextcolor") {
    SetNormalTextColor(ParseColour(value));
  } else if (name == L"hottextcolor") {
    SetHotTextColor(ParseColour(value));
  } else if (name == L"pushedtextcolor") {
    SetPushedTextColor(ParseColour(value));
  } else if (name == L"selectedtextcolor") {
    SetSelectedTextColor(ParseColour(value));
  } else if (name == L"disabledtextcolor") {
    SetDisabledTextColor(ParseColour(value));
  } else if (name == L"normalfont") {
    SetNormalFont(value);
  } else if (name == L"hotfont") {
    SetHotFont(value);
  } else if (name == L"pushedfont") {
    SetPushedFont(value);
  } else if (name == L"selectedfont") {
    SetSelectedFont(value);
  } else if (name == L"disabledfont") {
    SetDisabledFont(value);
  } else if (name == L"rowheight") {
    SetRowHeight(static_cast<int>(ClampGeometry(ParseInt(value))));
  } else if (name == L"normaltextpadding") {
    SetNormalTextPadding(ParseRect(value));
  } else if (name == L"hottextpadding") {
    SetHotTextPadding(ParseRect(value));
  } else if (name == L"pushedtextpadding") {
    SetPushedTextPadding(ParseRect(value));
  } else if (name == L"selectedtextpadding") {
    SetSelectedTextPadding(ParseRect(value));
  } else if (name == L"disabledtextpadding") {
    SetDisabledTextPadding(ParseRect(value));
  } else if (name == L"normalimage") {
    SetNormalImage(value);
  } else if (name == L"hotimage") {
    SetHotImage(value);
  } else if (name == L"pushedimage") {
    SetPushedImage(value);
  } else if (name == L"focusedimage") {
    SetFocusedImage(value);
  } else if (name == L"disabledimage") {
    SetDisabledImage(value);
  } else if (name == L"selectedimage") {
    SetSelectedImage(value);
  } else if (name == L"bknormalimage") {
    SetBkNormalImage(value);
  } else if (name == L"bkhotimage") {
    SetBkHotImage(value);
  } else if (name == L"bkpushedimage") {
    SetBkPushedImage(value);
  } else if (name == L"bkfocusedimage") {
    SetBkFocusedImage(value);
  } else if (name == L"bkdisabledimage") {
    SetBkDisabledImage(value);
  } else if (name == L"bkselectedimage") {
    SetBkSelectedImage(value);
  } else if (name == L"pos") {
    RECT r = ParseRect(value);
    SetFixedXY(SIZE{r.left, r.top});
    SetFixedWidth(r.right - r.left);
    SetFixedHeight(r.bottom - r.top);
  } else if (name == L"flags") {
    if (Has(value, L"setcursor")) SetControlFlags(UIFLAG_SETCURSOR, true);
    if (Has(value, L"enterrolltext")) SetControlFlags(UIFLAG_ENTERROLLTEXT, true);
    if (Has(value, L"tabstop")) SetControlFlags(UIFLAG_TABSTOP, true);
    if (Has(value, L"notfocus")) SetControlFlags(UIFLAG_FOCUSABLE, false);
  } else if (name == L"notify") {
    static const struct {
      const wchar_t* word;
      int n;
    } kWords[] = {{L"click", 3},       {L"mouseenter", 4},  {L"mousehover", 5},
                  {L"mouseleave", 6},  {L"setfocus", 8},    {L"killfocus", 9},
                  {L"lbuttondown", 10}, {L"lbuttonup", 11}, {L"rbuttondown", 12},
                  {L"contextmenu", 13}};
    for (const auto& w : kWords) {
      if (Has(value, w.word)) SetControlNotify(w.n, true);
    }
  } else if (name == L"dispatch") {
    static const struct {
      const wchar_t* word;
      int n;
    } kWords[] = {{L"keydown", 1},       {L"keyup", 2},        {L"char", 3},
                  {L"syskeydown", 4},    {L"mousemove", 5},    {L"mouseleave", 6},
                  {L"mouseenter", 7},    {L"mousehover", 8},   {L"mousewheel", 9},
                  {L"lbuttondown", 10},  {L"lbuttonup", 11},   {L"rbuttondown", 12},
                  {L"lbuttondblclk", 13}, {L"contextmenu", 14}, {L"killfocus", 15},
                  {L"setfocus", 16},     {L"setcursor", 17},   {L"timer", 18},
                  {L"activate", 19}};
    for (const auto& w : kWords) {
      if (Has(value, w.word)) SetControlDispatch(w.n, true);
    }
  } else if (name == L"format") {
    UINT format = floatFormat_;
    if (Has(value, L"vcen")) format |= UIFORMAT_VCENTER;
    if (Has(value, L"center")) format |= UIFORMAT_CENTER;
    if (Has(value, L"right")) format |= UIFORMAT_RIGHT;
    if (Has(value, L"top")) format |= UIFORMAT_TOP;
    if (Has(value, L"bottom")) format |= UIFORMAT_BOTTOM;
    if (Has(value, L"topmost")) format |= UIFORMAT_TOPMOST;
    floatFormat_ = format;
  } else if (name == L"padding") {
    SetPadding(ParseRect(value));
  } else if (name == L"cut") {
    SetCut(ParseRect(value));
  } else if (name == L"normalbkcolor") {
    SetNormalBkColor(ParseColour(value));
  } else if (name == L"hotbkcolor") {
    SetHotBkColor(ParseColour(value));
  } else if (name == L"pushedbkcolor") {
    SetPushedBkColor(ParseColour(value));
  } else if (name == L"selectedbkcolor") {
    SetSelectedBkColor(ParseColour(value));
  } else if (name == L"focusedbkcolor") {
    SetFocusedBkColor(ParseColour(value));
  } else if (name == L"disabledbkcolor") {
    SetDisabledBkColor(ParseColour(value));
  } else if (name == L"normalbordercolor") {
    SetNormalBorderColor(ParseColour(value));
  } else if (name == L"hotbordercolor") {
    SetHotBorderColor(ParseColour(value));
  } else if (name == L"selectedbordercolor") {
    SetSelectedBorderColor(ParseColour(value));
  } else if (name == L"focusbordercolor") {
    SetFocusBorderColor(ParseColour(value));
  } else if (name == L"normalbordersize") {
    SetNormalBorderSize(static_cast<int>(ClampGeometry(ParseInt(value))));
  } else if (name == L"hotbordersize") {
    SetHotBorderSize(static_cast<int>(ClampGeometry(ParseInt(value))));
  } else if (name == L"selectedbordersize") {
    SetSelectedBorderSize(static_cast<int>(ClampGeometry(ParseInt(value))));
  } else if (name == L"focusbordersize") {
    SetFocusBorderSize(static_cast<int>(ClampGeometry(ParseInt(value))));
  } else if (name == L"width") {
    SetFixedWidth(ParseInt(value));
  } else if (name == L"height") {
    SetFixedHeight(ParseInt(value));
  } else if (name == L"name") {
    SetName(value);
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"tooltip") {
    SetTooltip(value);
  } else if (name == L"customtooltip") {
    SetCustomTooltip(ParseBool(value));
  } else if (name == L"enabled") {
    SetEnabled(ParseBool(value));
  } else if (name == L"visible") {
    SetVisible(ParseBool(value));
  } else if (name == L"relfloat") {
    SetRelFloat(ParseBool(value));
  } else if (name == L"absfloat") {
    SetAbsFloat(ParseBool(value));
  } else if (name == L"float") {
    SetFloat(ParseBool(value));
  } else if (name == L"capture") {
    SetCapture(ParseBool(value));
  } else if (name == L"roundcorner") {
    SetRoundCorner(ParseSize(value));
  } else if (name == L"userdata") {
    SetUserData(value);
  } else if (name == L"tag") {
    SetTag(static_cast<unsigned long>(ParseInt(value)));
  } else if (name == L"shortcut") {
    SetShortcut(value.empty() ? 0 : value[0]);
  } else if (name == L"minwidth") {
    SetMinWidth(ParseInt(value));
  } else if (name == L"minheight") {
    SetMinHeight(ParseInt(value));
  } else if (name == L"maxwidth") {
    SetMaxWidth(ParseInt(value));
  } else if (name == L"maxheight") {
    SetMaxHeight(ParseInt(value));
  } else if (name == L"id") {
    SetID(static_cast<UINT>(ParseInt(value)));
  } else if (name == L"tooltipdelaytime") {
    SetTooltipDelayTime(ParseInt(value));
  } else if (name == L"hasbeenhover") {
    SetHasBeenHover(ParseBool(value));
  } else if (name == L"caption") {
    SetCaption(ParseBool(value));
  } else if (name == L"spacereturn") {
    SetSpaceReturn(ParseBool(value));
  } else if (name == L"htmltext") {
    SetHtmlText(ParseBool(value));
  } else if (name == L"selfadaption") {
    SetSelfAdaption(ParseBool(value));
  } else if (name == L"statuscolor") {
    SetStatusColor(ParseColour(value));
  }
}

// --- Painting -----------------------------------------------------------------------------

bool KuControl::DrawImage(Canvas& hdc, const std::wstring& descriptor, const std::wstring& modify) {
  return KuRenderUtils::DrawImageString(&hdc, item_, paintRect_, descriptor, modify);
}

bool KuControl::DrawStateImage(Canvas& hdc, std::wstring& descriptor) {
  if (descriptor.empty()) return false;
  if (DrawImage(hdc, descriptor)) return true;
  descriptor.clear();  // not tried again
  return false;
}

void KuControl::DoPaint(Canvas& hdc, const RECT& paint) {
  if (!IsVisible() || !KuIntersectRect(&paintRect_, paint, item_)) return;
  if (IsFocused()) mouseState_ |= UISTATE_FOCUSED;
  else mouseState_ &= ~UISTATE_FOCUSED;
  if (!IsEnabled()) mouseState_ |= UISTATE_DISABLED;
  else mouseState_ &= ~UISTATE_DISABLED;

  KuRenderClip clip;
  if (roundCorner_.cx != 0 || roundCorner_.cy != 0) {
    KuRenderClip::GenerateRoundClip(hdc, item_, roundCorner_.cx, roundCorner_.cy, clip);
  }
  PaintBkColor(hdc);
  PaintBkImage(hdc);
  PaintStatusColor(hdc);
  PaintStatusImage(hdc);
  PaintText(hdc);
  PaintBorder(hdc);
}

void KuControl::PaintBkColor(Canvas& hdc) {
  ARGB colour = 0;
  if ((mouseState_ & UISTATE_DISABLED) && disabledBk_ != 0) colour = disabledBk_;
  else if ((mouseState_ & UISTATE_SELECTED) && selectedBk_ != 0) colour = selectedBk_;
  else if ((mouseState_ & UISTATE_PUSHED) && pushedBk_ != 0) colour = pushedBk_;
  else if ((mouseState_ & UISTATE_HOT) && hotBk_ != 0) colour = hotBk_;
  else if ((mouseState_ & UISTATE_FOCUSED) && focusedBk_ != 0) colour = focusedBk_;
  else colour = normalBk_;
  if (colour == 0) return;
  KuRenderUtils::DrawColor(hdc, item_, colour, manager_ != nullptr && manager_->IsLayered());
}

void KuControl::PaintStatusColor(Canvas& hdc) {
  if (normalBk_ == 0) return;
  KuRenderUtils::DrawColor(hdc, item_, status_, manager_ != nullptr && manager_->IsLayered());
}

void KuControl::PaintBkImage(Canvas& hdc) {
  if ((mouseState_ & UISTATE_DISABLED) && DrawStateImage(hdc, bkDisabledImage_)) return;
  if ((mouseState_ & UISTATE_PUSHED) && DrawStateImage(hdc, bkPushedImage_)) return;
  if ((mouseState_ & UISTATE_HOT) && DrawStateImage(hdc, bkHotImage_)) return;
  if ((mouseState_ & UISTATE_FOCUSED) && DrawStateImage(hdc, bkFocusedImage_)) return;
  DrawStateImage(hdc, bkNormalImage_);
}

void KuControl::PaintStatusImage(Canvas& hdc) {
  if ((mouseState_ & UISTATE_DISABLED) && DrawStateImage(hdc, disabledImage_)) return;
  if ((mouseState_ & UISTATE_SELECTED) && DrawStateImage(hdc, selectedImage_)) return;
  if ((mouseState_ & UISTATE_PUSHED) && DrawStateImage(hdc, pushedImage_)) return;
  if ((mouseState_ & UISTATE_HOT) && DrawStateImage(hdc, hotImage_)) return;
  if ((mouseState_ & UISTATE_FOCUSED) && DrawStateImage(hdc, focusedImage_)) return;
  DrawStateImage(hdc, normalImage_);
}

namespace {
bool AnySide(const RECT& r) { return r.left != 0 || r.top != 0 || r.right != 0 || r.bottom != 0; }
}  // namespace

const RECT& KuControl::StateTextPadding() const {
  if ((mouseState_ & UISTATE_DISABLED) && AnySide(disabledTextPadding_)) return disabledTextPadding_;
  if ((mouseState_ & UISTATE_SELECTED) && AnySide(selectedTextPadding_)) return selectedTextPadding_;
  if ((mouseState_ & UISTATE_PUSHED) && AnySide(pushedTextPadding_)) return pushedTextPadding_;
  if ((mouseState_ & UISTATE_HOT) && AnySide(hotTextPadding_)) return hotTextPadding_;
  return normalTextPadding_;
}

ARGB KuControl::StateTextColour() const {
  if ((mouseState_ & UISTATE_DISABLED) && disabledText_ != 0) return disabledText_;
  if ((mouseState_ & UISTATE_SELECTED) && selectedText_ != 0) return selectedText_;
  if ((mouseState_ & UISTATE_PUSHED) && pushedText_ != 0) return pushedText_;
  if ((mouseState_ & UISTATE_HOT) && hotText_ != 0) return hotText_;
  return normalText_;
}

const std::wstring& KuControl::StateFont() const {
  if ((mouseState_ & UISTATE_DISABLED) && !disabledFont_.empty()) return disabledFont_;
  if ((mouseState_ & UISTATE_SELECTED) && !selectedFont_.empty()) return selectedFont_;
  if ((mouseState_ & UISTATE_PUSHED) && !pushedFont_.empty()) return pushedFont_;
  if ((mouseState_ & UISTATE_HOT) && !hotFont_.empty()) return hotFont_;
  return normalFont_;
}

void KuControl::PaintText(Canvas& hdc) {
  if (text_.empty()) return;
  RECT rect = KuDeflate(item_, StateTextPadding());
  ARGB colour = StateTextColour();
  const std::wstring& font = StateFont();
  bool layered = manager_ != nullptr && manager_->IsLayered();
  if (htmlText_) {
    KuRenderUtils::DrawHtmlText(hdc, manager_, rect, text_, colour, font, textStyle_);
    return;
  }
  if (GetControlFlags(UIFLAG_ENTERROLLTEXT) && rolling_ && manager_ != nullptr) {
    RECT size = KuRenderUtils::GetTextSize(manager_, text_, font, DT_SINGLELINE);
    int textWidth = KuWidth(size);
    if (textWidth > KuWidth(rect) && textWidth > 0) {
      int period = textWidth + 10;
      int offset = rollOffset_ % period;
      KuRenderClip clip;
      KuRenderClip::GenerateClip(hdc, rect, clip);
      UINT style = (textStyle_ & ~(DT_CENTER | DT_RIGHT | DT_END_ELLIPSIS | DT_PATH_ELLIPSIS)) |
                   DT_SINGLELINE;
      for (int x = rect.left - offset; x < rect.right; x += period) {
        RECT piece{x, rect.top, x + textWidth, rect.bottom};
        KuRenderUtils::DrawTextW(hdc, manager_, piece, text_, colour, font, style, rowHeight_,
                                 layered);
      }
      return;
    }
    // The text fits: no animation needed.
    rolling_ = false;
    rollOffset_ = 0;
    manager_->KillTimer(this, kTextRollTimerId);
  }
  KuRenderUtils::DrawTextW(hdc, manager_, rect, text_, colour, font, textStyle_, rowHeight_,
                           layered);
}

void KuControl::PaintBorder(Canvas& hdc) {
  ARGB colour = 0;
  int size = 0;
  bool tabFocus = manager_ != nullptr && manager_->IsDrawTabFocusBorder();
  if ((mouseState_ & UISTATE_FOCUSED) && tabFocus) {
    colour = focusBorder_;
    size = focusBorderSize_;
    if (colour == 0 && manager_->IsUseDefaultFocusBorder()) colour = 0xFF2EC9F2;
  } else if ((mouseState_ & UISTATE_SELECTED) && selectedBorder_ != 0 && selectedBorderSize_ >= 1) {
    colour = selectedBorder_;
    size = selectedBorderSize_;
  } else if ((mouseState_ & UISTATE_HOT) && hotBorder_ != 0 && hotBorderSize_ > 0) {
    colour = hotBorder_;
    size = hotBorderSize_;
  } else if (normalBorder_ != 0 && normalBorderSize_ > 0) {
    colour = normalBorder_;
    size = normalBorderSize_;
  }
  if (colour == 0 || size <= 0) return;
  if (roundCorner_.cx != 0) {
    KuRenderUtils::DrawRoundRect(hdc, item_, size, roundCorner_.cx, roundCorner_.cy, colour);
  } else {
    KuRenderUtils::DrawRect(hdc, item_, size, colour);
  }
}

}  // namespace KUM
