#include "ui/KuContainer.h"

#include <algorithm>
#include <cstdint>

#include "ui/KuPaintManager.h"
#include "ui/KuRenderUtils.h"
#include "ui/KuScrollbar.h"

namespace KUM {
namespace {

bool IsFloating(const KuControl* c) { return c->IsFloat() || c->IsRelFloat() || c->IsAbsFloat(); }

LONG Clamp64(int64_t v) {
  return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2));
}

// A re-layout caused by the scroll bars settles after a few rounds; more means the content
// depends on the bars in a circle, and the last result stands.
constexpr int kMaxScrollbarRelayouts = 4;
thread_local int g_relayoutDepth = 0;

}  // namespace

KuContainer::KuContainer() = default;

KuContainer::~KuContainer() {
  delete vScroll_;
  delete hScroll_;
  vScroll_ = hScroll_ = nullptr;
  if (autoDestroy_) {
    std::vector<KuControl*> items;
    items.swap(items_);
    for (KuControl* c : items) delete c;
  }
}

UINT KuContainer::GetClass() const { return UICLASS_CONTAINER; }
KuControl* KuContainer::GetInterface(UINT id) {
  if (id == UICLASS_CONTAINER) return this;
  return KuControl::GetInterface(id);
}
const wchar_t* KuContainer::ClassName() const { return L"Container"; }
std::vector<UINT> KuContainer::InterfaceIds() const { return {UICLASS_CONTAINER, UICLASS_CONTROL}; }

// --- Children -----------------------------------------------------------------------------

KuControl* KuContainer::GetItemAt(int index) const {
  if (index < 0 || index >= static_cast<int>(items_.size())) return nullptr;
  return items_[static_cast<size_t>(index)];
}

int KuContainer::GetItemIndex(KuControl* control) const {
  auto it = std::find(items_.begin(), items_.end(), control);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool KuContainer::SetItemIndex(KuControl* control, int index) {
  int from = GetItemIndex(control);
  if (from < 0 || index < 0 || index >= static_cast<int>(items_.size())) return false;
  items_.erase(items_.begin() + from);
  items_.insert(items_.begin() + index, control);
  NeedUpdate();
  return true;
}

bool KuContainer::SetIndexItem(int index, KuControl* control) {
  if (control == nullptr || index < 0 || index >= static_cast<int>(items_.size())) return false;
  KuControl* old = items_[static_cast<size_t>(index)];
  if (old == control) return true;
  items_[static_cast<size_t>(index)] = control;
  control->SetParent(this);
  AttachChild(control);
  if (autoDestroy_) DestroyChild(old);
  NeedUpdate();
  return true;
}

int KuContainer::GetCount() const { return static_cast<int>(items_.size()); }

void KuContainer::AttachChild(KuControl* control) {
  // A child of a hidden container is hidden with it.
  control->SetInsetVisible(IsVisible());
  if (manager_ != nullptr) manager_->RegisterControls(control);
}

void KuContainer::DestroyChild(KuControl* control) { delete control; }

bool KuContainer::Add(KuControl* control) {
  return AddAt(control, static_cast<int>(items_.size()));
}

bool KuContainer::AddAt(KuControl* control, int index) {
  if (control == nullptr) return false;
  if (index < 0 || index > static_cast<int>(items_.size())) return false;
  control->SetParent(this);
  AttachChild(control);
  items_.insert(items_.begin() + index, control);
  NeedUpdate();
  return true;
}

bool KuContainer::Remove(KuControl* control) {
  auto it = std::find(items_.begin(), items_.end(), control);
  if (it == items_.end()) return false;
  items_.erase(it);
  if (autoDestroy_) DestroyChild(control);
  NeedUpdate();
  return true;
}

bool KuContainer::RemoveAt(int index) {
  KuControl* control = GetItemAt(index);
  return control != nullptr && Remove(control);
}

void KuContainer::RemoveAll() {
  std::vector<KuControl*> items;
  items.swap(items_);
  if (autoDestroy_) {
    for (KuControl* c : items) DestroyChild(c);
  }
}

bool KuContainer::IsAutoDestroy() const { return autoDestroy_; }
void KuContainer::SetAutoDestroy(bool on) { autoDestroy_ = on; }
RECT KuContainer::GetInset() const { return inset_; }
void KuContainer::SetInset(const RECT& inset) {
  inset_ = inset;
  NeedUpdate();
}
int KuContainer::GetChildPadding() const { return childPadding_; }
void KuContainer::SetChildPadding(int padding) {
  childPadding_ = std::clamp(padding, -32767, 32767);
  NeedUpdate();
}
void KuContainer::SetLayoutType(int type) {
  layoutType_ = type;
  NeedUpdate();
}
int KuContainer::GetLayoutType() const { return layoutType_; }

// --- Propagation to the subtree -----------------------------------------------------------

void KuContainer::SetVisible(bool visible) {
  KuControl::SetVisible(visible);
  // Children follow this container's resulting visibility: showing a container whose parent
  // is hidden leaves its subtree hidden.
  bool shown = IsVisible();
  for (KuControl* c : items_) c->SetInsetVisible(shown);
}

void KuContainer::SetInsetVisible(bool visible) {
  KuControl::SetInsetVisible(visible);
  bool shown = IsVisible();
  for (KuControl* c : items_) c->SetInsetVisible(shown);
}

void KuContainer::SetParent(KuControl* parent) {
  for (KuControl* c : items_) c->SetParent(this);
  if (vScroll_) vScroll_->SetParent(this);
  if (hScroll_) hScroll_->SetParent(this);
  KuControl::SetParent(parent);
}

void KuContainer::SetManager(KuPaintManager* manager) {
  for (KuControl* c : items_) c->SetManager(manager);
  if (vScroll_) vScroll_->SetManager(manager);
  if (hScroll_) hScroll_->SetManager(manager);
  KuControl::SetManager(manager);
}

void KuContainer::Init() {
  // Children may add children while initialising; walk by index.
  for (size_t i = 0; i < items_.size(); ++i) items_[i]->Init();
}

// --- Attributes ---------------------------------------------------------------------------

void KuContainer::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"inset") {
    SetInset(ParseRect(value));
  } else if (name == L"layouttype") {
    if (value.find(L"horizontal") != std::wstring::npos) SetLayoutType(UILAYOUT_HORIZONTAL);
    else if (value.find(L"vertical") != std::wstring::npos) SetLayoutType(UILAYOUT_VERTICAL);
  } else if (name == L"vscrollbar") {
    vScrollStyle_ = value;
    bool hasList = manager_ != nullptr && !manager_->GetDefaultAttributeList(value).empty();
    EnableScrollBar(hasList, hScroll_ != nullptr);
  } else if (name == L"hscrollbar") {
    hScrollStyle_ = value;
    bool hasList = manager_ != nullptr && !manager_->GetDefaultAttributeList(value).empty();
    EnableScrollBar(vScroll_ != nullptr, hasList);
  } else if (name == L"vscrollbarstyle") {
    EnableScrollBar(true, hScroll_ != nullptr);
    if (vScroll_) vScroll_->ApplyAttributeList(value);
  } else if (name == L"hscrollbarstyle") {
    EnableScrollBar(vScroll_ != nullptr, true);
    if (hScroll_) hScroll_->ApplyAttributeList(value);
  } else if (name == L"autodestroy") {
    SetAutoDestroy(ParseBool(value));
  } else if (name == L"childpadding") {
    SetChildPadding(ParseInt(value));
  } else if (name == L"alwayshowvscroll") {
    alwaysShowVScroll_ = ParseBool(value);
    NeedUpdate();
  } else {
    KuControl::SetAttribute(name, value);
  }
}

// --- Scroll bars --------------------------------------------------------------------------

void KuContainer::EnableScrollBar(bool vertical, bool horizontal) {
  auto make = [this](KuScrollbar*& bar, bool horizontalBar, const std::wstring& style) {
    bar = new KuScrollbar();
    bar->SetHorizontal(horizontalBar);
    bar->SetOwner(this);
    bar->SetParent(this);
    bar->SetManager(manager_);
    if (manager_ != nullptr && !style.empty()) {
      std::wstring list = manager_->GetDefaultAttributeList(style);
      if (!list.empty()) bar->ApplyAttributeList(list);
    }
  };
  if (!vertical) {
    delete vScroll_;
    vScroll_ = nullptr;
  } else if (vScroll_ == nullptr) {
    make(vScroll_, false, vScrollStyle_);
  }
  if (!horizontal) {
    delete hScroll_;
    hScroll_ = nullptr;
  } else if (hScroll_ == nullptr) {
    make(hScroll_, true, hScrollStyle_);
  }
  NeedUpdate();
}

KuScrollbar* KuContainer::GetVerticalScrollbar() const { return vScroll_; }
KuScrollbar* KuContainer::GetHorizontalScrollbar() const { return hScroll_; }

SIZE KuContainer::GetScrollPos() const {
  return SIZE{hScroll_ ? hScroll_->GetScrollPos() : 0, vScroll_ ? vScroll_->GetScrollPos() : 0};
}

SIZE KuContainer::GetScrollRange() const {
  return SIZE{hScroll_ ? hScroll_->GetScrollRange() : 0, vScroll_ ? vScroll_->GetScrollRange() : 0};
}

void KuContainer::SetScrollPos(SIZE pos) {
  int dx = 0;
  int dy = 0;
  if (vScroll_ != nullptr && vScroll_->IsVisible()) {
    int old = vScroll_->GetScrollPos();
    vScroll_->SetScrollPos(pos.cy);
    dy = vScroll_->GetScrollPos() - old;
  }
  if (hScroll_ != nullptr && hScroll_->IsVisible()) {
    int old = hScroll_->GetScrollPos();
    hScroll_->SetScrollPos(pos.cx);
    dx = hScroll_->GetScrollPos() - old;
  }
  if (dx == 0 && dy == 0) return;
  // The children move by the change; each keeps the size its layout gave it.
  for (KuControl* c : items_) {
    if (!c->IsVisible() || IsFloating(c)) continue;
    RECT r = c->GetPos();
    r.left -= dx;
    r.right -= dx;
    r.top -= dy;
    r.bottom -= dy;
    c->SetPos(r);
  }
  if (parent_ != nullptr && parent_->IsUpdateNeeded()) {
    Invalidate();
  } else if (manager_ != nullptr && manager_->GetPaintWindow() != nullptr && IsVisible()) {
    Ws().InvalidateRect(manager_->GetPaintWindow(), &item_, FALSE);
  }
}

void KuContainer::LineUp() {
  if (vScroll_ == nullptr) return;
  SIZE pos = GetScrollPos();
  pos.cy -= vScroll_->GetLineSize();
  SetScrollPos(pos);
}

void KuContainer::LineDown() {
  if (vScroll_ == nullptr) return;
  SIZE pos = GetScrollPos();
  pos.cy += vScroll_->GetLineSize();
  SetScrollPos(pos);
}

void KuContainer::PageUp() {
  SIZE pos = GetScrollPos();
  int page = KuHeight(KuDeflate(item_, inset_));
  if (hScroll_ != nullptr && hScroll_->IsVisible()) page -= hScroll_->GetFixedHeight();
  pos.cy -= page;
  SetScrollPos(pos);
}

void KuContainer::PageDown() {
  SIZE pos = GetScrollPos();
  int page = KuHeight(KuDeflate(item_, inset_));
  if (hScroll_ != nullptr && hScroll_->IsVisible()) page -= hScroll_->GetFixedHeight();
  pos.cy += page;
  SetScrollPos(pos);
}

void KuContainer::HomeUp() {
  SIZE pos = GetScrollPos();
  pos.cy = 0;
  SetScrollPos(pos);
}

void KuContainer::EndDown() {
  SIZE pos = GetScrollPos();
  pos.cy = GetScrollRange().cy;
  SetScrollPos(pos);
}

void KuContainer::LineLeft() {
  SIZE pos = GetScrollPos();
  pos.cx -= 8;
  SetScrollPos(pos);
}

void KuContainer::LineRight() {
  SIZE pos = GetScrollPos();
  pos.cx += 8;
  SetScrollPos(pos);
}

void KuContainer::PageLeft() {
  SIZE pos = GetScrollPos();
  int page = KuWidth(KuDeflate(item_, inset_));
  if (vScroll_ != nullptr && vScroll_->IsVisible()) page -= vScroll_->GetFixedWidth();
  pos.cx -= page;
  SetScrollPos(pos);
}

void KuContainer::PageRight() {
  SIZE pos = GetScrollPos();
  int page = KuWidth(KuDeflate(item_, inset_));
  if (vScroll_ != nullptr && vScroll_->IsVisible()) page -= vScroll_->GetFixedWidth();
  pos.cx += page;
  SetScrollPos(pos);
}

void KuContainer::HomeLeft() {
  SIZE pos = GetScrollPos();
  pos.cx = 0;
  SetScrollPos(pos);
}

void KuContainer::EndRight() {
  SIZE pos = GetScrollPos();
  pos.cx = GetScrollRange().cx;
  SetScrollPos(pos);
}

void KuContainer::OnMouseWheel(KuEventUI& event) {
  if (vScroll_ != nullptr && vScroll_->IsVisible() && vScroll_->IsEnabled()) {
    if (event.wParam == 0) LineUp();
    else if (event.wParam == 1) LineDown();
    return;
  }
  if (hScroll_ != nullptr && hScroll_->IsVisible() && hScroll_->IsEnabled()) {
    if (event.wParam == 0) LineLeft();
    else if (event.wParam == 1) LineRight();
    return;
  }
  if (IsEnabled()) KuControl::OnMouseWheel(event);
}

void KuContainer::OnKeyDown(KuEventUI& event) {
  bool vertical = vScroll_ != nullptr && vScroll_->IsVisible() && vScroll_->IsEnabled();
  bool horizontal = hScroll_ != nullptr && hScroll_->IsVisible() && hScroll_->IsEnabled();
  if (vertical || horizontal) {
    switch (event.chKey) {
      case VK_PRIOR: vertical ? PageUp() : PageLeft(); return;
      case VK_NEXT: vertical ? PageDown() : PageRight(); return;
      case VK_END: vertical ? EndDown() : EndRight(); return;
      case VK_HOME: vertical ? HomeUp() : HomeLeft(); return;
      case VK_UP: vertical ? LineUp() : LineLeft(); return;
      case VK_DOWN: vertical ? LineDown() : LineRight(); return;
      default: break;
    }
  }
  KuControl::OnKeyDown(event);
}

// --- Layout -------------------------------------------------------------------------------

RECT KuContainer::GetInnerRect() const {
  RECT inner = KuDeflate(item_, inset_);
  if (vScroll_ != nullptr && vScroll_->IsVisible()) inner.right -= vScroll_->GetFixedWidth();
  if (hScroll_ != nullptr && hScroll_->IsVisible()) inner.bottom -= hScroll_->GetFixedHeight();
  return inner;
}

void KuContainer::SetPos(RECT rect) {
  KuControl::SetPos(rect);
  switch (layoutType_) {
    case UILAYOUT_VERTICAL: LayoutStack(true); break;
    case UILAYOUT_HORIZONTAL: LayoutStack(false); break;
    default: LayoutNormal(); break;
  }
}

void KuContainer::LayoutStack(bool vertical) {
  RECT inner = GetInnerRect();
  if (items_.empty()) {
    ProcessScrollbar(inner, 0, 0);
    return;
  }
  // The main axis is the one the children are stacked along; the helpers read sizes,
  // paddings and limits along it or across it.
  auto main = [vertical](SIZE s) { return vertical ? s.cy : s.cx; };
  auto cross = [vertical](SIZE s) { return vertical ? s.cx : s.cy; };
  auto padBefore = [vertical](const RECT& p) { return vertical ? p.top : p.left; };
  auto padAfter = [vertical](const RECT& p) { return vertical ? p.bottom : p.right; };
  auto crossBefore = [vertical](const RECT& p) { return vertical ? p.left : p.top; };
  auto crossAfter = [vertical](const RECT& p) { return vertical ? p.right : p.bottom; };
  auto minMain = [vertical](const KuControl* c) { return vertical ? c->GetMinHeight() : c->GetMinWidth(); };
  auto maxMain = [vertical](const KuControl* c) { return vertical ? c->GetMaxHeight() : c->GetMaxWidth(); };
  auto minCross = [vertical](const KuControl* c) { return vertical ? c->GetMinWidth() : c->GetMinHeight(); };
  auto maxCross = [vertical](const KuControl* c) { return vertical ? c->GetMaxWidth() : c->GetMaxHeight(); };
  auto clampMain = [&](const KuControl* c, int64_t v) {
    if (v < minMain(c)) v = minMain(c);
    if (maxMain(c) > 0 && v > maxMain(c)) v = maxMain(c);
    return v;
  };

  SIZE available{KuWidth(inner), KuHeight(inner)};
  if (hScroll_ != nullptr && hScroll_->IsVisible()) available.cx += hScroll_->GetScrollRange();
  const int64_t availableMain = main(available);
  const int64_t availableCross = cross(available);

  // First pass: what the children with a size need, and how many share the rest.
  int adjustables = 0;
  int counted = 0;
  int64_t fixedTotal = 0;
  int64_t requiredCross = 0;
  for (KuControl* c : items_) {
    if (!c->IsVisible() || IsFloating(c)) continue;
    RECT pad = c->GetPadding();
    SIZE size = c->EstimateSize(available);
    int64_t m = main(size);
    if (m == 0) {
      ++adjustables;
    } else {
      m = clampMain(c, m);
    }
    requiredCross = std::max<int64_t>(requiredCross, cross(size));
    fixedTotal += m + padBefore(pad) + padAfter(pad);
    ++counted;
  }
  if (counted > 0) fixedTotal += static_cast<int64_t>(childPadding_) * (counted - 1);

  int64_t share = 0;
  if (adjustables > 0) share = std::max<int64_t>(0, (availableMain - fixedTotal) / adjustables);

  int64_t x = inner.left;
  int64_t y = inner.top;
  if (vScroll_ != nullptr && vScroll_->IsVisible()) y -= vScroll_->GetScrollPos();
  if (hScroll_ != nullptr && hScroll_->IsVisible()) x -= hScroll_->GetScrollPos();
  int64_t remaining = availableMain;
  int64_t remainingFixed = fixedTotal;
  int64_t needed = 0;
  int adjusted = 0;

  for (KuControl* c : items_) {
    if (!c->IsVisible()) continue;
    if (IsFloating(c)) {
      SetFloatPos(c, vertical ? item_ : inner);
      continue;
    }
    RECT pad = c->GetPadding();
    remaining -= padBefore(pad) + padAfter(pad);
    SIZE room = vertical ? SIZE{available.cx, Clamp64(remaining)} : SIZE{Clamp64(remaining), available.cy};
    SIZE size = c->EstimateSize(room);
    int64_t m = main(size);
    remainingFixed -= m + padBefore(pad) + padAfter(pad);
    if (m == 0) {
      ++adjusted;
      m = share;
      if (adjusted == adjustables) m = std::max<int64_t>(0, remaining - remainingFixed);
    }
    m = clampMain(c, m);

    int64_t k = cross(size);
    if (k == 0) k = std::max<int64_t>(0, availableCross - crossBefore(pad) - crossAfter(pad));
    else k = std::max<int64_t>(0, k);
    if (k < minCross(c)) k = minCross(c);
    if (maxCross(c) > 0 && k > maxCross(c)) k = maxCross(c);

    RECT rc;
    if (vertical) {
      rc.left = Clamp64(x + pad.left);
      rc.top = Clamp64(y + pad.top);
      rc.right = Clamp64(rc.left + k);
      rc.bottom = Clamp64(rc.top + m);
      y += m + pad.top + pad.bottom + childPadding_;
    } else {
      rc.left = Clamp64(x + pad.left);
      rc.top = Clamp64(y + pad.top);
      rc.right = Clamp64(rc.left + m);
      rc.bottom = Clamp64(rc.top + k);
      x += m + pad.left + pad.right + childPadding_;
    }
    c->SetPos(rc);
    remainingFixed -= childPadding_;
    remaining -= m + childPadding_;
    needed += m + padBefore(pad) + padAfter(pad);
  }
  if (counted > 0) needed += static_cast<int64_t>(childPadding_) * (counted - 1);
  if (vertical) ProcessScrollbar(inner, Clamp64(requiredCross), Clamp64(needed));
  else ProcessScrollbar(inner, Clamp64(needed), Clamp64(requiredCross));
}

void KuContainer::LayoutNormal() {
  RECT inner = GetInnerRect();
  if (items_.empty()) {
    ProcessScrollbar(inner, 0, 0);
    return;
  }
  LONG x = inner.left;
  LONG y = inner.top;
  SIZE available{KuWidth(inner), KuHeight(inner)};
  if (hScroll_ != nullptr && hScroll_->IsVisible()) {
    x -= hScroll_->GetScrollPos();
    available.cx += hScroll_->GetScrollRange();
  }
  if (vScroll_ != nullptr && vScroll_->IsVisible()) {
    y -= vScroll_->GetScrollPos();
    available.cy += vScroll_->GetScrollRange();
  }
  int64_t neededWidth = 0;
  int64_t neededHeight = 0;
  for (KuControl* c : items_) {
    if (!c->IsVisible() || IsFloating(c)) continue;
    RECT pad = c->GetPadding();
    SIZE size = c->EstimateSize(SIZE{KuWidth(inner), KuHeight(inner)});
    if (size.cx == 0) size.cx = std::max<LONG>(0, available.cx - pad.right);
    if (size.cy == 0) size.cy = std::max<LONG>(0, available.cy - pad.top - pad.bottom);
    LONG cx = x;
    LONG cy = y;
    if (c->GetFloatFormat() & UIFORMAT_CENTER) cx += (KuWidth(inner) - size.cx) / 2;
    if (c->GetFloatFormat() & UIFORMAT_VCENTER) cy += (KuHeight(inner) - size.cy) / 2;
    RECT rc{cx + pad.left, cy + pad.top, cx + pad.left + size.cx, cy + pad.top + size.cy};
    c->SetPos(rc);
    neededWidth = std::max<int64_t>(neededWidth, rc.right - inner.left);
    neededHeight = std::max<int64_t>(neededHeight, rc.bottom - inner.top);
  }
  for (KuControl* c : items_) {
    if (c->IsVisible() && IsFloating(c)) SetFloatPos(c, inner);
  }
  ProcessScrollbar(inner, Clamp64(neededWidth), Clamp64(neededHeight));
}

void KuContainer::SetFloatPos(KuControl* control, const RECT& parentRect) {
  if (control == nullptr || !control->IsVisible()) return;
  RECT pad = control->GetPadding();
  SIZE xy = control->GetFixedXY();
  int w = control->GetFixedWidth();
  int h = control->GetFixedHeight();
  RECT r;
  if (control->IsFloat()) {
    r.left = parentRect.left + xy.cx;
    r.top = parentRect.top + xy.cy;
    r.right = w != 0 ? r.left + w : parentRect.right + xy.cx;
    r.bottom = h != 0 ? r.top + h : parentRect.bottom + xy.cy;
  } else if (control->IsRelFloat()) {
    r.left = parentRect.left + xy.cx;
    r.top = parentRect.top + xy.cy;
    r.right = w != 0 ? r.left + w : parentRect.right;
    r.bottom = h != 0 ? r.top + h : parentRect.bottom;
  } else {
    r.left = xy.cx;
    r.top = xy.cy;
    r.right = w != 0 ? xy.cx + w : parentRect.right;
    r.bottom = h != 0 ? r.top + h : parentRect.bottom;
  }
  control->SetPos(RECT{r.left + pad.left, r.top + pad.top, r.right - pad.right, r.bottom - pad.bottom});
}

void KuContainer::ProcessScrollbar(const RECT& rect, int cxRequired, int cyRequired) {
  bool relayout = false;
  if (vScroll_ != nullptr) {
    int height = KuHeight(rect);
    if (cyRequired > height) {
      if (!vScroll_->IsVisible()) {
        vScroll_->SetVisible(true);
        vScroll_->SetEnabled(true);
        vScroll_->SetScrollRange(cyRequired - height);
        vScroll_->SetScrollPos(0);
        relayout = true;
      } else {
        int old = vScroll_->GetScrollPos();
        vScroll_->SetScrollRange(cyRequired - height);
        if (old != vScroll_->GetScrollPos()) relayout = true;
      }
    } else if (vScroll_->GetScrollRange() != 0) {
      if (!alwaysShowVScroll_) {
        vScroll_->SetVisible(false);
        vScroll_->SetEnabled(false);
      }
      vScroll_->SetScrollPos(0);
      vScroll_->SetScrollRange(0);
      relayout = true;
    }
    vScroll_->SetPos(RECT{rect.right, rect.top, rect.right + vScroll_->GetFixedWidth(), rect.bottom});
  }
  if (hScroll_ != nullptr) {
    int width = KuWidth(rect);
    if (cxRequired > width) {
      if (!hScroll_->IsVisible()) {
        hScroll_->SetVisible(true);
        hScroll_->SetScrollRange(cxRequired - width);
        hScroll_->SetScrollPos(0);
        relayout = true;
      } else {
        int old = hScroll_->GetScrollPos();
        hScroll_->SetScrollRange(cxRequired - width);
        if (old != hScroll_->GetScrollPos()) relayout = true;
      }
    } else if (hScroll_->IsVisible()) {
      hScroll_->SetVisible(false);
      hScroll_->SetScrollPos(0);
      hScroll_->SetScrollRange(0);
      relayout = true;
    }
    hScroll_->SetPos(RECT{rect.left, rect.bottom, rect.right, rect.bottom + hScroll_->GetFixedHeight()});
  }
  if (relayout && g_relayoutDepth < kMaxScrollbarRelayouts) {
    ++g_relayoutDepth;
    SetPos(item_);
    --g_relayoutDepth;
  }
}

// --- Painting and search ------------------------------------------------------------------

void KuContainer::DoPaint(Canvas& hdc, const RECT& paint) {
  RECT meet;
  if (!IsVisible() || !KuIntersectRect(&meet, paint, item_)) return;
  KuRenderClip clip;
  KuRenderClip::GenerateClip(hdc, meet, clip);
  KuControl::DoPaint(hdc, paint);

  if (!items_.empty()) {
    RECT inner = KuDeflate(item_, inset_);
    if (hScroll_ != nullptr && hScroll_->IsVisible()) inner.bottom -= hScroll_->GetFixedHeight();
    RECT innerPaint;
    bool innerMeets = KuIntersectRect(&innerPaint, paint, inner);
    std::vector<KuControl*> topmost;
    KuRenderClip childClip;
    if (innerMeets) KuRenderClip::GenerateClip(hdc, innerPaint, childClip);
    auto paintChild = [&](KuControl* c) {
      RECT tmp;
      if (IsFloating(c)) {
        if (!KuIntersectRect(&tmp, item_, c->GetPos())) return;
        if (innerMeets) childClip.UseOldClipBegin();
        c->DoPaint(hdc, paint);
        if (innerMeets) childClip.UseOldClipEnd();
      } else if (innerMeets && KuIntersectRect(&tmp, inner, c->GetPos())) {
        c->DoPaint(hdc, paint);
      }
    };
    for (KuControl* c : items_) {
      RECT tmp;
      if (!c->IsVisible() || !KuIntersectRect(&tmp, paint, c->GetPos())) continue;
      if (c->GetFloatFormat() & UIFORMAT_TOPMOST) {
        topmost.push_back(c);
        continue;
      }
      paintChild(c);
    }
    for (KuControl* c : topmost) paintChild(c);
  }

  RECT tmp;
  if (vScroll_ != nullptr && vScroll_->IsVisible() && KuIntersectRect(&tmp, paint, vScroll_->GetPos())) {
    vScroll_->DoPaint(hdc, paint);
  }
  if (hScroll_ != nullptr && hScroll_->IsVisible() && KuIntersectRect(&tmp, paint, hScroll_->GetPos())) {
    hScroll_->DoPaint(hdc, paint);
  }
}

KuControl* KuContainer::FindControl(FINDCONTROLPROC proc, void* data, UINT flags) {
  if ((flags & UIFIND_VISIBLE) && !IsVisible()) return nullptr;
  if ((flags & UIFIND_ENABLED) && !IsEnabled()) return nullptr;
  const POINT* point = static_cast<const POINT*>(data);
  if ((flags & UIFIND_HITTEST) && (point == nullptr || !KuPtInRect(item_, *point))) return nullptr;

  KuControl* result = nullptr;
  if (vScroll_ != nullptr) result = vScroll_->FindControl(proc, data, flags);
  if (result == nullptr && hScroll_ != nullptr) result = hScroll_->FindControl(proc, data, flags);
  if (result != nullptr) return result;

  if (flags & UIFIND_ME_FIRST) {
    result = KuControl::FindControl(proc, data, flags);
    if (result != nullptr) return result;
  }
  if ((flags & UIFIND_HITTEST) && !KuPtInRect(KuDeflate(item_, inset_), *point)) {
    return KuControl::FindControl(proc, data, flags);
  }
  if (flags & UIFIND_TOP_FIRST) {
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
      result = (*it)->FindControl(proc, data, flags);
      if (result != nullptr) return result;
    }
  } else {
    for (KuControl* c : items_) {
      result = c->FindControl(proc, data, flags);
      if (result != nullptr) return result;
    }
  }
  return KuControl::FindControl(proc, data, flags);
}

// --- The two stacking layouts -------------------------------------------------------------

KuVerticalLayout::KuVerticalLayout() { layoutType_ = UILAYOUT_VERTICAL; }
const wchar_t* KuVerticalLayout::ClassName() const { return L"VerticalLayout"; }
void KuVerticalLayout::SetPos(RECT rect) {
  KuControl::SetPos(rect);
  LayoutStack(true);
}

KuHorizontalLayout::KuHorizontalLayout() { layoutType_ = UILAYOUT_HORIZONTAL; }
const wchar_t* KuHorizontalLayout::ClassName() const { return L"HorizontalLayout"; }
void KuHorizontalLayout::SetPos(RECT rect) {
  KuControl::SetPos(rect);
  LayoutStack(false);
}

}  // namespace KUM
