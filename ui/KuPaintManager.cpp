#include "ui/KuPaintManager.h"

#include <algorithm>
#include <functional>

#include "ui/KuContainer.h"
#include "ui/KuRenderUtils.h"

namespace KUM {
namespace {

std::vector<KuPaintManager*>& Managers() {
  static std::vector<KuPaintManager*> managers;
  return managers;
}

KuControl* FindAnyProc(KuControl* control, void*) { return control; }

KuControl* FindNeedsUpdateProc(KuControl* control, void*) {
  return control->IsUpdateNeeded() ? control : nullptr;
}

struct HwndSearch {
  HWND window;
};
KuControl* FindHwndProc(KuControl* control, void* data) {
  return control->GetWnd() == static_cast<HwndSearch*>(data)->window ? control : nullptr;
}

// Calls `visit` on every control of the subtree, each container before its children.
template <typename Visit>
void WalkTree(KuControl* control, Visit&& visit) {
  if (control == nullptr) return;
  visit(control);
  auto* container = static_cast<KuContainer*>(control->GetInterface(UICLASS_CONTAINER));
  if (container == nullptr) return;
  for (int i = 0; i < container->GetCount(); ++i) WalkTree(container->GetItemAt(i), visit);
}

constexpr LPARAM kOutsidePoint = MAKELPARAM(0xFFFF, 0xFFFF);  // (-1, -1)

}  // namespace

// A control pointer a handler keeps across an event it sends: cleared if the event's
// handlers delete the control.
class KuControlWatch {
 public:
  KuControlWatch(KuPaintManager& manager, KuControl*& pointer) : manager_(manager), pointer_(&pointer) {
    manager_.watches_.push_back(pointer_);
  }
  ~KuControlWatch() {
    auto& w = manager_.watches_;
    w.erase(std::remove(w.begin(), w.end(), pointer_), w.end());
  }
  KuControlWatch(const KuControlWatch&) = delete;
  KuControlWatch& operator=(const KuControlWatch&) = delete;

 private:
  KuPaintManager& manager_;
  KuControl** pointer_;
};

KuPaintManager::KuPaintManager() = default;

KuPaintManager::~KuPaintManager() {
  destroying_ = true;
  auto& list = Managers();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  RemoveAllTimers();
  KuControl* root = root_;
  root_ = nullptr;
  delete root;
  std::vector<KuControl*> cleanup;
  cleanup.swap(delayedCleanup_);
  for (KuControl* c : cleanup) delete c;
  if (tooltip_ != nullptr && Ws().IsWindow(tooltip_)) Ws().DestroyWindow(tooltip_);
}

void KuPaintManager::Init(HWND window) {
  window_ = window;
  if (!measure_) measure_ = rundix::CreateMeasureCanvas();
  auto& list = Managers();
  if (std::find(list.begin(), list.end(), this) == list.end()) list.push_back(this);
}

Canvas& KuPaintManager::GetPaintDC() {
  if (!measure_) measure_ = rundix::CreateMeasureCanvas();
  return *measure_;
}

// --- The tree -----------------------------------------------------------------------------

bool KuPaintManager::AttachDialog(KuControl* root) {
  SetFocus(nullptr, true);
  hover_ = click_ = rightClick_ = keyDown_ = tooltipHover_ = nullptr;
  if (root_ != nullptr) AddDelayedCleanup(root_);
  root_ = root;
  if (root == nullptr) return false;
  sizeChanged_ = true;
  initPending_ = true;
  focusNeeded_ = true;
  InitControls(root);
  Invalidate();
  return true;
}

void KuPaintManager::RegisterControls(KuControl* control) {
  if (control == nullptr) return;
  control->SetManager(this);
  RegisterSubtree(control);
}

bool KuPaintManager::InitControls(KuControl* control) {
  if (control == nullptr) return false;
  RegisterControls(control);
  control->Init();
  return true;
}

void KuPaintManager::RegisterSubtree(KuControl* control) {
  WalkTree(control, [this](KuControl* c) {
    std::wstring name = c->GetName();
    if (!name.empty()) names_.emplace(name, c);
    if (c->GetID() != 0) ids_.emplace(c->GetID(), c);
  });
}

void KuPaintManager::ReapObjects(KuControl* control) {
  if (control == nullptr) return;
  if (control == root_) root_ = nullptr;
  for (KuControl** watched : watches_) {
    if (*watched == control) *watched = nullptr;
  }
  if (destroying_) return;
  KillTimer(control);
  if (focus_ == control) focus_ = nullptr;
  if (hover_ == control) hover_ = nullptr;
  if (click_ == control) {
    click_ = nullptr;
    if (captured_) ReleaseCapture();
  }
  if (rightClick_ == control) rightClick_ = nullptr;
  if (keyDown_ == control) keyDown_ = nullptr;
  if (tooltipHover_ == control) tooltipHover_ = nullptr;
  for (auto it = names_.begin(); it != names_.end();) {
    it = it->second == control ? names_.erase(it) : std::next(it);
  }
  for (auto it = ids_.begin(); it != ids_.end();) {
    it = it->second == control ? ids_.erase(it) : std::next(it);
  }
  for (auto it = groups_.begin(); it != groups_.end();) {
    auto& members = it->second;
    members.erase(std::remove(members.begin(), members.end(), control), members.end());
    it = members.empty() ? groups_.erase(it) : std::next(it);
  }
}

void KuPaintManager::AddDelayedCleanup(KuControl* control) {
  if (control == nullptr) return;
  control->SetParent(nullptr);
  delayedCleanup_.push_back(control);
  if (window_ != nullptr) Ws().PostMessageW(window_, UIMSG_DELAYED_CLEANUP, 0, 0);
}

// --- Listeners ----------------------------------------------------------------------------

namespace {

// Listener lists hold each listener once, in the order it came.
template <typename T>
bool AddOnce(std::vector<T*>& list, T* item) {
  if (item == nullptr || std::find(list.begin(), list.end(), item) != list.end()) return false;
  list.push_back(item);
  return true;
}

template <typename T>
bool RemoveOne(std::vector<T*>& list, T* item) {
  auto it = std::find(list.begin(), list.end(), item);
  if (it == list.end()) return false;
  list.erase(it);
  return true;
}

}  // namespace

bool KuPaintManager::AddNotifier(INotify* listener) { return AddOnce(notifiers_, listener); }
bool KuPaintManager::RemoveNotifier(INotify* listener) { return RemoveOne(notifiers_, listener); }
bool KuPaintManager::AddMessageFilter(IMessageFilterUI* filter) { return AddOnce(filters_, filter); }
bool KuPaintManager::RemoveMessageFilter(IMessageFilterUI* filter) { return RemoveOne(filters_, filter); }

void KuPaintManager::SendNotify(KuNotify& msg) {
  msg.dwTimestamp = Ws().GetTickCount();
  msg.ptMouse = lastMouse_;
  // A listener may unregister others (or itself) while being told.
  std::vector<INotify*> listeners = notifiers_;
  for (INotify* listener : listeners) {
    if (std::find(notifiers_.begin(), notifiers_.end(), listener) == notifiers_.end()) continue;
    listener->Notify(msg);
  }
}

void KuPaintManager::SendNotify(KuControl* sender, UINT type, WPARAM wParam, LPARAM lParam) {
  KuNotify msg;
  msg.Type = type;
  msg.pSender = sender;
  msg.wParam = wParam;
  msg.lParam = lParam;
  SendNotify(msg);
}

void KuPaintManager::PostNotify(UINT type, LPARAM lParam) {
  if (window_ != nullptr) Ws().PostMessageW(window_, UIMSG_POSTNOTIFY, type, lParam);
}

// --- Timers -------------------------------------------------------------------------------

bool KuPaintManager::SetTimer(KuControl* control, UINT id, UINT elapse) {
  if (control == nullptr || window_ == nullptr) return false;
  for (TimerInfo& t : timers_) {
    if (t.control == control && t.window == window_ && t.id == id) {
      if (Ws().SetTimer(window_, t.windowId, elapse) == 0) return false;
      t.elapse = elapse;
      return true;
    }
  }
  // Window timer ids run 1..254 and skip the ones this window still uses.
  UINT windowId = 0;
  for (int attempt = 0; attempt < 255; ++attempt) {
    timerCounter_ = (timerCounter_ + 1) % 255;
    if (timerCounter_ == 0) continue;
    bool used = std::any_of(timers_.begin(), timers_.end(), [&](const TimerInfo& t) {
      return t.window == window_ && t.windowId == timerCounter_;
    });
    if (!used) {
      windowId = timerCounter_;
      break;
    }
  }
  if (windowId == 0) return false;
  if (Ws().SetTimer(window_, windowId, elapse) == 0) return false;
  timers_.push_back(TimerInfo{control, id, window_, windowId, elapse});
  return true;
}

bool KuPaintManager::KillTimer(KuControl* control, UINT id) {
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->control == control && it->id == id) {
      if (it->window != nullptr && Ws().IsWindow(it->window)) Ws().KillTimer(it->window, it->windowId);
      timers_.erase(it);
      return true;
    }
  }
  return false;
}

void KuPaintManager::KillTimer(KuControl* control) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->control == control) {
      if (it->window != nullptr && Ws().IsWindow(it->window)) Ws().KillTimer(it->window, it->windowId);
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
}

void KuPaintManager::RemoveAllTimers() {
  for (const TimerInfo& t : timers_) {
    if (t.window != nullptr && Ws().IsWindow(t.window)) Ws().KillTimer(t.window, t.windowId);
  }
  timers_.clear();
}

bool KuPaintManager::HasTimer(KuControl* control, UINT id) const {
  return std::any_of(timers_.begin(), timers_.end(),
                     [&](const TimerInfo& t) { return t.control == control && t.id == id; });
}

void KuPaintManager::FireTimer(UINT windowTimerId) {
  // Handlers may set and kill timers; each record is looked up again before it fires.
  std::vector<TimerInfo> due;
  for (const TimerInfo& t : timers_) {
    if (t.window == window_ && t.windowId == windowTimerId) due.push_back(t);
  }
  for (const TimerInfo& t : due) {
    bool live = std::any_of(timers_.begin(), timers_.end(), [&](const TimerInfo& r) {
      return r.control == t.control && r.id == t.id && r.windowId == t.windowId;
    });
    if (!live) continue;
    KuEventUI event;
    event.Type = UIEVENT_TIMER;
    event.dwTimestamp = Ws().GetTickCount();
    event.ptMouse = lastMouse_;
    event.wParam = t.id;
    t.control->Event(event);
  }
}

// --- Focus --------------------------------------------------------------------------------

void KuPaintManager::SetFocus(KuControl* control, bool focusWindow) {
  if (window_ != nullptr && Ws().GetFocus() != window_ && control != focus_ && focusWindow &&
      windowFocus_) {
    Ws().SetFocus(window_);
  }
  if (control == focus_) return;
  KuControl* old = focus_;
  KuControlWatch watchNew(*this, control);
  if (old != nullptr) {
    focus_ = nullptr;
    KuEventUI event;
    event.Type = UIEVENT_KILLFOCUS;
    event.pOther = control;
    event.dwTimestamp = Ws().GetTickCount();
    event.ptMouse = lastMouse_;
    KuControlWatch watchOld(*this, old);
    old->Event(event);
  }
  if (control != nullptr && control->GetManager() == this && control->IsVisible() &&
      control->IsEnabled()) {
    focus_ = control;
    KuEventUI event;
    event.Type = UIEVENT_SETFOCUS;
    event.pOther = old;
    event.dwTimestamp = Ws().GetTickCount();
    event.ptMouse = lastMouse_;
    control->Event(event);
  }
}

KuControl* KuPaintManager::NextTabStop(bool forward) {
  // Every usable control in tree order (a container before its children); the tab stops
  // among them are the candidates.
  std::vector<KuControl*> order;
  std::vector<size_t> stops;
  std::function<void(KuControl*)> visit = [&](KuControl* c) {
    if (c == nullptr || !c->IsVisible() || !c->IsEnabled()) return;
    if (c->GetControlFlags(UIFLAG_TABSTOP)) stops.push_back(order.size());
    order.push_back(c);
    auto* container = static_cast<KuContainer*>(c->GetInterface(UICLASS_CONTAINER));
    if (container == nullptr) return;
    for (int i = 0; i < container->GetCount(); ++i) visit(container->GetItemAt(i));
  };
  visit(root_);
  if (stops.empty()) return nullptr;
  auto at = std::find(order.begin(), order.end(), focus_);
  if (at == order.end()) return forward ? order[stops.front()] : order[stops.back()];
  size_t pos = static_cast<size_t>(at - order.begin());
  if (forward) {
    for (size_t s : stops) {
      if (s > pos) return order[s];
    }
    return order[stops.front()];
  }
  for (auto it = stops.rbegin(); it != stops.rend(); ++it) {
    if (*it < pos) return order[*it];
  }
  return order[stops.back()];
}

bool KuPaintManager::SetNextTabControl(bool forward) {
  focusNeeded_ = false;
  if (sizeChanged_ && forward) {
    focusNeeded_ = true;
    Invalidate();
    return true;
  }
  KuControl* next = NextTabStop(forward);
  if (next != nullptr) SetFocus(next, true);
  return true;
}

// --- Registries ---------------------------------------------------------------------------

bool KuPaintManager::AddGroup(UINT group, KuControl* control) {
  if (control == nullptr) return false;
  auto& members = groups_[group];
  if (std::find(members.begin(), members.end(), control) != members.end()) return false;
  members.push_back(control);
  return true;
}

std::vector<KuControl*>* KuPaintManager::GetGroup(UINT group) {
  auto it = groups_.find(group);
  return it == groups_.end() ? nullptr : &it->second;
}

bool KuPaintManager::RemoveGroup(UINT group, KuControl* control) {
  auto it = groups_.find(group);
  if (it == groups_.end()) return false;
  auto& members = it->second;
  auto at = std::find(members.begin(), members.end(), control);
  if (at == members.end()) return false;
  members.erase(at);
  if (members.empty()) groups_.erase(it);
  return true;
}

void KuPaintManager::RemoveAllGroups() { groups_.clear(); }

KuControl* KuPaintManager::GetGroupSelected(UINT group) {
  auto* members = GetGroup(group);
  if (members == nullptr) return nullptr;
  for (KuControl* c : *members) {
    if (c->GetMouseState() & UISTATE_SELECTED) return c;
  }
  return nullptr;
}

void KuPaintManager::AddDefaultAttributeList(const std::wstring& name, const std::wstring& list) {
  defaults_[name] = list;
}

std::wstring KuPaintManager::GetDefaultAttributeList(const std::wstring& name) const {
  auto it = defaults_.find(name);
  return it == defaults_.end() ? std::wstring() : it->second;
}

bool KuPaintManager::RemoveDefaultAttributeList(const std::wstring& name) {
  return defaults_.erase(name) > 0;
}

void KuPaintManager::RemoveAllDefaultAttributeList() { defaults_.clear(); }

KuFontInfo* KuPaintManager::AddFont(const std::wstring& id, const std::wstring& face, int size,
                                    bool bold, bool underline, bool italic, bool strikeout) {
  if (fonts_.size() >= kMaxFonts && fonts_.find(id) == fonts_.end()) return nullptr;
  // The height is the size negated: the bound also keeps that from overflowing.
  size = std::clamp(size, -kMaxFontSize, kMaxFontSize);
  rundix::FontDesc desc;
  desc.face = face;
  desc.size = size;
  desc.bold = bold;
  desc.underline = underline;
  desc.italic = italic;
  desc.strikeout = strikeout;
  std::unique_ptr<Font> font = rundix::CreateFontObject(desc);
  if (!font) return nullptr;
  // An id registered again keeps its record, so default-font pointers stay valid.
  std::unique_ptr<KuFontInfo>& slot = fonts_[id];
  if (!slot) slot = std::make_unique<KuFontInfo>();
  KuFontInfo& info = *slot;
  info.tm = font->Metrics();
  info.font = std::move(font);
  info.faceName = face;
  info.size = size;
  info.bold = bold;
  info.underline = underline;
  info.italic = italic;
  info.strikeout = strikeout;
  return &info;
}

KuFontInfo* KuPaintManager::GetFont(const std::wstring& id) {
  if (!id.empty()) {
    auto it = fonts_.find(id);
    if (it != fonts_.end()) return it->second.get();
  }
  return GetDefaultFont();
}

KuFontInfo* KuPaintManager::GetDefaultFont() {
  if (defaultFont_ != nullptr) return defaultFont_;
  if (!systemFont_) {
    systemFont_ = std::make_unique<KuFontInfo>();
    systemFont_->font = rundix::CreateDefaultGuiFont();
    if (systemFont_->font) {
      systemFont_->tm = systemFont_->font->Metrics();
      systemFont_->faceName = systemFont_->font->Desc().face;
      systemFont_->size = systemFont_->font->Desc().size;
    }
  }
  return systemFont_.get();
}

void KuPaintManager::RemoveAllFont() {
  fonts_.clear();
  defaultFont_ = defaultBoldFont_ = defaultLinkFont_ = nullptr;
}

KuControl* KuPaintManager::FindControl(const std::wstring& name) const {
  if (root_ == nullptr) return nullptr;
  auto it = names_.find(name);
  return it == names_.end() ? nullptr : it->second;
}

KuControl* KuPaintManager::FindControl(UINT id) const {
  if (root_ == nullptr) return nullptr;
  auto it = ids_.find(id);
  return it == ids_.end() ? nullptr : it->second;
}

KuControl* KuPaintManager::FindControl(POINT point) const {
  if (root_ == nullptr) return nullptr;
  return root_->FindControl(&FindAnyProc, &point, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

KuControl* KuPaintManager::FindControl(HWND child) const {
  if (root_ == nullptr || child == nullptr) return nullptr;
  HwndSearch search{child};
  return root_->FindControl(&FindHwndProc, &search, UIFIND_ALL);
}

KuControl* KuPaintManager::FindOwnControl(POINT point) const {
  KuControl* control = FindControl(point);
  return control != nullptr && control->GetManager() == this ? control : nullptr;
}

void KuPaintManager::Invalidate() {
  if (window_ != nullptr) Ws().InvalidateRect(window_, nullptr, FALSE);
}

void KuPaintManager::Invalidate(const RECT& rect) {
  if (window_ != nullptr) Ws().InvalidateRect(window_, &rect, FALSE);
}

void KuPaintManager::SetCapture() {
  if (window_ != nullptr) Ws().SetCapture(window_);
  captured_ = true;
}

void KuPaintManager::ReleaseCapture() {
  if (captured_) Ws().ReleaseCapture();
  captured_ = false;
}

// --- The message loop ---------------------------------------------------------------------

void KuPaintManager::MessageLoop() {
  MSG msg;
  while (Ws().GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchLoopMessage(msg);
}

void KuPaintManager::DispatchLoopMessage(const MSG& msg) {
  if (TranslateMessage(msg)) return;
  Ws().TranslateMessage(&msg);
  Ws().DispatchMessageW(&msg);
}

bool KuPaintManager::TranslateMessage(const MSG& msg) {
  // A manager may go away while another handles the message; look each one up again.
  std::vector<KuPaintManager*> managers = Managers();
  for (KuPaintManager* manager : managers) {
    auto& live = Managers();
    if (std::find(live.begin(), live.end(), manager) == live.end()) continue;
    if (manager->PreMessageHandler(msg)) return true;
  }
  return false;
}

UINT KuPaintManager::MapKeyState() {
  UINT state = 0;
  if (Ws().GetKeyState(VK_CONTROL) < 0) state |= UIKEYSTATE_CONTROL;
  if (Ws().GetKeyState(VK_RBUTTON) < 0) state |= UIKEYSTATE_RBUTTON;
  if (Ws().GetKeyState(VK_LBUTTON) < 0) state |= UIKEYSTATE_LBUTTON;
  if (Ws().GetKeyState(VK_SHIFT) < 0) state |= UIKEYSTATE_SHIFT;
  if (Ws().GetKeyState(VK_MENU) < 0) state |= UIKEYSTATE_ALT;
  return state;
}

bool KuPaintManager::PreMessageHandler(const MSG& msg) {
  if (window_ == nullptr) return false;
  HWND h = msg.hwnd;
  while (h != nullptr && h != window_ && (Ws().GetWindowLongW(h, GWL_STYLE) & WS_CHILD)) {
    h = Ws().GetParent(h);
  }
  if (h != window_) return false;

  std::vector<INotify*> listeners = notifiers_;
  for (INotify* listener : listeners) {
    if (std::find(notifiers_.begin(), notifiers_.end(), listener) == notifiers_.end()) continue;
    if (listener->PreMessageHandler(msg)) return true;
  }

  if (msg.message == WM_KEYDOWN) {
    if (msg.wParam != VK_TAB) return false;
    if (focus_ != nullptr && focus_->IsVisible() && focus_->IsEnabled() &&
        focus_->GetInterface(UICLASS_RICHEDIT) != nullptr) {
      return false;  // a rich edit that takes tabs keeps them
    }
    drawTabFocusBorder_ = true;
    SetNextTabControl(Ws().GetKeyState(VK_SHIFT) >= 0);
    return true;
  }
  if (msg.message == WM_SYSKEYDOWN && focus_ != nullptr) {
    KuEventUI event;
    event.Type = UIEVENT_SYSKEYDOWN;
    event.chKey = static_cast<wchar_t>(msg.wParam);
    event.wKeyState = MapKeyState();
    event.ptMouse = lastMouse_;
    event.dwTimestamp = Ws().GetTickCount();
    event.wParam = msg.wParam;
    event.lParam = msg.lParam;
    focus_->Event(event);
  }
  return false;
}

namespace {

KuEventUI MakeEvent(UINT type, POINT point, WPARAM wParam, LPARAM lParam) {
  KuEventUI event;
  event.Type = type;
  event.ptMouse = point;
  event.wParam = wParam;
  event.lParam = lParam;
  event.dwTimestamp = Ws().GetTickCount();
  return event;
}

}  // namespace

bool KuPaintManager::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (window_ == nullptr) return false;
  for (IMessageFilterUI* filter : std::vector<IMessageFilterUI*>(filters_)) {
    bool handled = false;
    LRESULT answer = filter->MessageHandler(message, wParam, lParam, handled);
    if (handled) {
      result = answer;
      return true;
    }
  }

  switch (message) {
    case WM_MOUSEMOVE: {
      POINT pt = KuPointFromLParam(lParam);
      lastMouse_ = pt;
      KuControl* control = FindOwnControl(pt);
      KuControlWatch watch(*this, control);
      if (hover_ != nullptr && hover_ != control) {
        KuControl* old = hover_;
        hover_ = nullptr;
        KuEventUI event = MakeEvent(UIEVENT_MOUSELEAVE, pt, wParam, lParam);
        event.pOther = control;
        old->Event(event);
        HideTooltip();
        mouseTracking_ = false;
      }
      if (control != nullptr && control == hover_ && control->IsHasBeenHover()) {
        mouseTracking_ = false;
      } else if (control != nullptr && control != hover_ &&
                 !(click_ != nullptr && click_->IsCapture()) &&
                 !(rightClick_ != nullptr && rightClick_->IsCapture())) {
        KuEventUI event = MakeEvent(UIEVENT_MOUSEENTER, pt, wParam, lParam);
        event.pOther = hover_;
        hover_ = control;
        control->Event(event);
      }
      if (click_ != nullptr || rightClick_ != nullptr) {
        if (click_ != nullptr) {
          KuEventUI event = MakeEvent(UIEVENT_MOUSEMOVE, pt, wParam, lParam);
          click_->Event(event);
        }
        if (rightClick_ != nullptr) {
          KuEventUI event = MakeEvent(UIEVENT_MOUSEMOVE, pt, wParam, lParam);
          rightClick_->Event(event);
        }
      } else if (control != nullptr) {
        KuEventUI event = MakeEvent(UIEVENT_MOUSEMOVE, pt, wParam, lParam);
        control->Event(event);
      }
      if (!mouseTracking_) TrackMouse(control, pt);
      return false;
    }
    case WM_MOUSEHOVER: {
      POINT pt = KuPointFromLParam(lParam);
      KuControl* control = FindControl(pt);
      if (control != nullptr && !KuPtInRect(KuDeflate(control->GetPos(), control->GetHoverCut()), pt)) {
        control = nullptr;
      }
      KuControlWatch watch(*this, control);
      if (control != nullptr && control == tooltipHover_) {
        if (hover_ != nullptr) {
          KuEventUI event = MakeEvent(UIEVENT_MOUSEHOVER, pt, wParam, lParam);
          hover_->Event(event);
        }
        if (control != nullptr && !control->GetTooltip().empty() && !control->IsCustomTooltip()) {
          ShowTooltip(control);
        }
      }
      result = 0;
      return true;
    }
    case WM_MOUSELEAVE: {
      HideTooltip();
      if (mouseTracking_) Ws().SendMessageW(window_, WM_MOUSEMOVE, 0, kOutsidePoint);
      if (click_ != nullptr) Ws().SendMessageW(window_, WM_LBUTTONUP, 0, kOutsidePoint);
      if (rightClick_ != nullptr) {
        Ws().SendMessageW(window_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window_), kOutsidePoint);
      }
      mouseTracking_ = false;
      return false;
    }
    case WM_NCMOUSEMOVE: {
      if (!ncMouseTracking_) {
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE | TME_NONCLIENT, window_, HOVER_DEFAULT};
        Ws().TrackMouseEvent(&track);
        ncMouseTracking_ = true;
      }
      return false;
    }
    case WM_NCMOUSELEAVE: {
      if (ncMouseTracking_) Ws().SendMessageW(window_, WM_NCMOUSEMOVE, 0, kOutsidePoint);
      ncMouseTracking_ = false;
      return false;
    }
    case WM_LBUTTONDOWN: {
      if (drawTabFocusBorder_ && !alwaysDrawTabFocusBorder_) {
        drawTabFocusBorder_ = false;
        Invalidate();
      }
      Ws().SetFocus(window_);
      POINT pt = KuPointFromLParam(lParam);
      lastMouse_ = pt;
      KuControl* control = FindOwnControl(pt);
      if (control == nullptr) return false;
      KuControlWatch watch(*this, control);
      click_ = control;
      if (control->GetControlFlags(UIFLAG_FOCUSABLE)) SetFocus(control, true);
      if (control == nullptr) return false;
      SetCapture();
      KuEventUI event = MakeEvent(UIEVENT_LBUTTONDOWN, pt, wParam, lParam);
      event.wKeyState = static_cast<UINT>(wParam);
      control->Event(event);
      return false;
    }
    case WM_LBUTTONUP: {
      POINT pt = KuPointFromLParam(lParam);
      lastMouse_ = pt;
      if (click_ == nullptr) return false;
      if (!dropDrag_) ReleaseCapture();
      KuControl* control = click_;
      click_ = nullptr;
      KuEventUI event = MakeEvent(UIEVENT_LBUTTONUP, pt, wParam, lParam);
      event.wKeyState = static_cast<UINT>(wParam);
      control->Event(event);
      return false;
    }
    case WM_LBUTTONDBLCLK: {
      Ws().SetFocus(window_);
      POINT pt = KuPointFromLParam(lParam);
      lastMouse_ = pt;
      KuControl* control = FindOwnControl(pt);
      if (control == nullptr) return false;
      KuControlWatch watch(*this, control);
      SetCapture();
      KuEventUI event = MakeEvent(UIEVENT_LBUTTONDBLCLK, pt, wParam, lParam);
      event.wKeyState = static_cast<UINT>(wParam);
      control->Event(event);
      if (control != nullptr) click_ = control;
      return false;
    }
    case WM_RBUTTONDOWN: {
      Ws().SetFocus(window_);
      POINT pt = KuPointFromLParam(lParam);
      lastMouse_ = pt;
      KuControl* control = FindOwnControl(pt);
      if (control == nullptr) return false;
      KuControlWatch watch(*this, control);
      SetFocus(control, true);
      if (control == nullptr) return false;
      SetCapture();
      KuEventUI event = MakeEvent(UIEVENT_RBUTTONDOWN, pt, wParam, lParam);
      event.wKeyState = static_cast<UINT>(wParam);
      control->Event(event);
      if (control != nullptr) rightClick_ = control;
      return false;
    }
    case WM_CONTEXTMENU: {
      POINT pt = KuPointFromLParam(lParam);
      if (lParam != kOutsidePoint) Ws().ScreenToClient(window_, &pt);
      lastMouse_ = pt;
      if (rightClick_ == nullptr) return false;
      ReleaseCapture();
      KuControl* control = rightClick_;
      rightClick_ = nullptr;
      KuEventUI event = MakeEvent(UIEVENT_CONTEXTMENU, pt, wParam, reinterpret_cast<LPARAM>(control));
      control->Event(event);
      return false;
    }
    case WM_MOUSEWHEEL: {
      POINT pt = KuPointFromLParam(lParam);
      Ws().ScreenToClient(window_, &pt);
      KuControl* control = FindOwnControl(pt);
      if (control == nullptr) return false;
      int delta = GET_WHEEL_DELTA_WPARAM(wParam);
      if (delta == 0) return false;
      KuEventUI event = MakeEvent(UIEVENT_MOUSEWHEEL, pt, delta > 0 ? 0 : 1, lParam);
      event.wKeyState = MapKeyState();
      control->Event(event);
      Ws().SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(lastMouse_.x, lastMouse_.y));
      return false;
    }
    case WM_SETCURSOR: {
      if (LOWORD(lParam) != HTCLIENT) return false;
      if (captured_) {
        result = TRUE;
        return true;
      }
      POINT pt{0, 0};
      Ws().GetCursorPos(&pt);
      Ws().ScreenToClient(window_, &pt);
      KuControl* control = FindOwnControl(pt);
      if (control == nullptr || !control->GetControlFlags(UIFLAG_SETCURSOR)) {
        lastCursor_ = L"system";
        return false;
      }
      KuEventUI event = MakeEvent(UIEVENT_SETCURSOR, pt, wParam, lParam);
      event.wKeyState = MapKeyState();
      control->Event(event);
      result = TRUE;
      return true;
    }
    case WM_KEYDOWN: {
      if (focus_ == nullptr) return false;
      KuEventUI event = MakeEvent(UIEVENT_KEYDOWN, lastMouse_, wParam, lParam);
      event.chKey = static_cast<wchar_t>(wParam);
      event.wKeyState = MapKeyState();
      keyDown_ = focus_;
      focus_->Event(event);
      return false;
    }
    case WM_KEYUP: {
      if (keyDown_ == nullptr) return false;
      KuControl* control = keyDown_;
      keyDown_ = nullptr;
      KuEventUI event = MakeEvent(UIEVENT_KEYUP, lastMouse_, wParam, lParam);
      event.chKey = static_cast<wchar_t>(wParam);
      event.wKeyState = MapKeyState();
      control->Event(event);
      return false;
    }
    case WM_CHAR: {
      if (focus_ == nullptr) return false;
      KuEventUI event = MakeEvent(UIEVENT_CHAR, lastMouse_, wParam, lParam);
      event.chKey = static_cast<wchar_t>(wParam);
      event.wKeyState = MapKeyState();
      focus_->Event(event);
      return false;
    }
    case WM_TIMER:
      FireTimer(LOWORD(wParam));
      return false;
    case WM_KILLFOCUS: {
      SetFocus(nullptr, false);
      HWND gaining = reinterpret_cast<HWND>(wParam);
      if (gaining != nullptr && Ws().GetParent(gaining) == window_) {
        KuControl* host = FindControl(gaining);
        if (host != nullptr) SetFocus(host, false);
      }
      return false;
    }
    case WM_CLOSE: {
      POINT pt = lastMouse_;
      if (hover_ != nullptr) {
        KuControl* control = hover_;
        hover_ = nullptr;
        KuEventUI event = MakeEvent(UIEVENT_MOUSELEAVE, pt, wParam, lParam);
        control->Event(event);
      }
      if (click_ != nullptr) {
        KuControl* control = click_;
        click_ = nullptr;
        KuEventUI event = MakeEvent(UIEVENT_LBUTTONUP, pt, wParam, lParam);
        control->Event(event);
      }
      if (rightClick_ != nullptr) {
        KuControl* control = rightClick_;
        rightClick_ = nullptr;
        KuEventUI event = MakeEvent(UIEVENT_CONTEXTMENU, pt, wParam, reinterpret_cast<LPARAM>(control));
        control->Event(event);
      }
      SetFocus(nullptr, false);
      HWND owner = Ws().GetOwner(window_);
      if (owner != nullptr) Ws().SetFocus(owner);
      return false;
    }
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      if (lParam == 0) return false;
      HWND child = reinterpret_cast<HWND>(lParam);
      result = Ws().SendMessageW(child, message + OCM__BASE, wParam, lParam);
      return true;
    }
    case WM_SIZE: {
      if (wParam != SIZE_MINIMIZED) {
        ApplyWindowRegion();
        sizeChanged_ = true;
        Invalidate();
      }
      result = 0;
      return true;
    }
    case WM_GETMINMAXINFO: {
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      if (info == nullptr) return false;
      RECT work{0, 0, 0, 0};
      RECT monitor{0, 0, 0, 0};
      Ws().GetMonitorWorkArea(window_, &work, &monitor);
      if (minInfo_.cx > 0) info->ptMinTrackSize.x = minInfo_.cx;
      if (minInfo_.cy > 0) info->ptMinTrackSize.y = minInfo_.cy;
      info->ptMaxTrackSize.x = maxInfo_.cx > 0 ? maxInfo_.cx
                                               : KuWidth(work) + 2 * Ws().GetSystemMetrics(SM_CXFRAME);
      info->ptMaxTrackSize.y = maxInfo_.cy > 0 ? maxInfo_.cy
                                               : KuHeight(work) + 2 * Ws().GetSystemMetrics(SM_CYFRAME);
      info->ptMaxPosition.x = work.left - monitor.left;
      info->ptMaxPosition.y = work.top - monitor.top;
      return false;
    }
    case WM_NCHITTEST: {
      bool handled = false;
      LRESULT hit = HitTest(lParam, &handled);
      if (handled) result = hit;
      return handled;
    }
    case WM_PAINT:
      Paint();
      result = 0;
      return true;
    case UIMSG_DELAYED_CLEANUP: {
      std::vector<KuControl*> cleanup;
      cleanup.swap(delayedCleanup_);
      for (KuControl* c : cleanup) delete c;
      result = 0;
      return true;
    }
    default:
      return false;
  }
}

void KuPaintManager::TrackMouse(KuControl* control, POINT point) {
  TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, window_, HOVER_DEFAULT};
  if (control != nullptr && control->GetTooltipDelayTime() != 0 &&
      KuPtInRect(KuDeflate(control->GetPos(), control->GetHoverCut()), point)) {
    track.dwFlags |= TME_HOVER;
    track.dwHoverTime = static_cast<DWORD>(control->GetTooltipDelayTime());
    tooltipHover_ = control;
  }
  Ws().TrackMouseEvent(&track);
  mouseTracking_ = true;
}

void KuPaintManager::ShowTooltip(KuControl* control) {
  if (tooltip_ == nullptr) tooltip_ = Ws().CreateTooltip(window_);
  if (tooltip_ != nullptr) Ws().ShowTooltip(tooltip_, control->GetTooltip(), control->GetPos());
}

void KuPaintManager::HideTooltip() {
  if (tooltip_ != nullptr) Ws().HideTooltip(tooltip_);
}

// --- Window shape -------------------------------------------------------------------------

void KuPaintManager::ApplyWindowRegion() {
  RECT window{0, 0, 0, 0};
  Ws().GetWindowRect(window_, &window);
  RECT rc{0, 0, KuWidth(window), KuHeight(window)};
  int r = std::max(roundCorner_.cx, roundCorner_.cy);
  if (r <= 0) {
    if (regionSet_) {
      rundix::WindowRegion plain;
      plain.roundRect = rc;
      Ws().SetWindowRgn(window_, &plain, TRUE);
    }
    return;
  }
  rundix::WindowRegion region;
  region.roundRect = RECT{rc.left, rc.top, rc.right + 1, rc.bottom + 1};
  region.cx = r;
  region.cy = r;
  // Only one number given: the corners on the other side stay square.
  if (roundCorner_.cx == 0) region.extraRects.push_back(RECT{rc.left, rc.top, rc.right, rc.bottom - r + 1});
  if (roundCorner_.cy == 0) region.extraRects.push_back(RECT{rc.left, rc.top + r, rc.right, rc.bottom});
  Ws().SetWindowRgn(window_, &region, TRUE);
  regionSet_ = true;
}

LRESULT KuPaintManager::HitTest(LPARAM lParam, bool* handled) {
  *handled = false;
  POINT c = KuPointFromLParam(lParam);
  Ws().ScreenToClient(window_, &c);
  RECT r{0, 0, 0, 0};
  Ws().GetClientRect(window_, &r);
  bool sizeBox = sizeBox_.left != 0 || sizeBox_.top != 0 || sizeBox_.right != 0 || sizeBox_.bottom != 0;
  if (!Ws().IsZoomed(window_) && sizeBox) {
    const LONG L = sizeBox_.left, T = sizeBox_.top, Rt = sizeBox_.right, B = sizeBox_.bottom;
    const LONG n = static_cast<LONG>(sizeBoxRounder_);
    LRESULT hit = HTNOWHERE;
    if (c.y < r.top + T) {
      hit = c.x < r.left + L + n ? HTTOPLEFT : (c.x <= r.right - Rt - n ? HTTOP : HTTOPRIGHT);
    } else if (c.y > r.bottom - B) {
      hit = c.x < r.left + L + n ? HTBOTTOMLEFT : (c.x <= r.right - Rt - n ? HTBOTTOM : HTBOTTOMRIGHT);
    } else if (c.x < r.left + L) {
      hit = c.y < r.top + T + n ? HTTOPLEFT : (c.y > r.bottom - B - n ? HTBOTTOMLEFT : HTLEFT);
    } else if (c.x > r.right - Rt) {
      hit = c.y < r.top + T + n ? HTTOPRIGHT : (c.y > r.bottom - B - n ? HTBOTTOMRIGHT : HTRIGHT);
    }
    if (hit != HTNOWHERE) {
      *handled = true;
      return hit;
    }
  }
  if (c.x >= r.left + caption_.left && c.x < r.right - caption_.right && c.y >= caption_.top &&
      c.y < caption_.bottom) {
    KuControl* control = FindControl(c);
    if (control != nullptr && control->IsCaption()) {
      *handled = true;
      return HTCAPTION;
    }
  }
  return HTNOWHERE;
}

// --- Painting -----------------------------------------------------------------------------

void KuPaintManager::Paint() {
  RECT update{0, 0, 0, 0};
  if (!Ws().GetUpdateRect(window_, &update, FALSE)) {
    rundix::PaintInfo empty;
    if (Ws().BeginPaint(window_, &empty)) Ws().EndPaint(window_, empty);
    return;
  }
  RECT client{0, 0, 0, 0};
  Ws().GetClientRect(window_, &client);
  if (sizeChanged_) offscreen_.reset();
  if (!offscreen_ && !KuIsRectEmpty(client)) offscreen_ = rundix::CreateBitmap(KuWidth(client), KuHeight(client));

  if (sizeChanged_) {
    sizeChanged_ = false;
    if (root_ != nullptr) {
      root_->SetPos(client);
      SendNotify(root_, UINOTIFY_WINDOWSIZE);
    }
  }
  if (focusNeeded_) SetNextTabControl(true);
  if (initPending_ && root_ != nullptr) {
    initPending_ = false;
    SendNotify(root_, UINOTIFY_WINDOWINIT);
  }
  if (updateNeeded_) {
    updateNeeded_ = false;
    // Each pass lays out one control waiting for layout; SetPos clears its switch.
    for (int guard = 0; root_ != nullptr && guard < 100000; ++guard) {
      KuControl* pending = root_->FindControl(&FindNeedsUpdateProc, nullptr, UIFIND_VISIBLE | UIFIND_ME_FIRST);
      if (pending == nullptr) break;
      pending->SetPos(pending->GetPos());
    }
  }

  rundix::PaintInfo paint;
  if (!Ws().BeginPaint(window_, &paint)) return;
  if (offscreen_ && root_ != nullptr) {
    std::unique_ptr<Canvas> canvas = rundix::CreateCanvas(*offscreen_);
    if (canvas) {
      canvas->SetLayered(layered_);
      root_->DoPaint(*canvas, paint.rcPaint);
      if (showUpdateRect_) canvas->FrameRect(paint.rcPaint, 1, 0xFFDC0000);
    }
  }
  if (offscreen_) Ws().PresentBitmap(window_, paint, *offscreen_, paint.rcPaint);
  Ws().EndPaint(window_, paint);
}

}  // namespace KUM
