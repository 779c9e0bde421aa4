#include "ui/KuScrollbar.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "ui/KuContainer.h"
#include "ui/KuPaintManager.h"
#include "ui/KuRenderUtils.h"

namespace KUM {
namespace {

int ClampToInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

// From the sixth tick of the repeat timer on (300 ms), a held button or track repeats.
constexpr int kRepeatStartTick = 6;

}  // namespace

KuScrollbar::KuScrollbar() { fixedWidth_ = kDefaultThickness; }

UINT KuScrollbar::GetClass() const { return UICLASS_SCROLLBAR; }

KuControl* KuScrollbar::GetInterface(UINT id) {
  if (id == UICLASS_SCROLLBAR) return this;
  return KuControl::GetInterface(id);
}

const wchar_t* KuScrollbar::ClassName() const { return L"ScrollBar"; }

std::vector<UINT> KuScrollbar::InterfaceIds() const { return {UICLASS_SCROLLBAR, UICLASS_CONTROL}; }

void KuScrollbar::SetHorizontal(bool horizontal) {
  if (horizontal_ == horizontal) return;
  horizontal_ = horizontal;
  // The default thickness moves to the other axis unless a style already chose sizes.
  if (horizontal && fixedWidth_ == kDefaultThickness && fixedHeight_ == 0) {
    fixedWidth_ = 0;
    fixedHeight_ = kDefaultThickness;
  } else if (!horizontal && fixedHeight_ == kDefaultThickness && fixedWidth_ == 0) {
    fixedHeight_ = 0;
    fixedWidth_ = kDefaultThickness;
  }
  SetPos(item_);
  Invalidate();
}

void KuScrollbar::SetEnabled(bool enabled) {
  KuControl::SetEnabled(enabled);
  if (!enabled) {
    button1State_ = button2State_ = thumbState_ = 0;
    trackHeld_ = false;
    lastScrollOffset_ = 0;
    scrollRepeatDelay_ = 0;
    if (manager_ != nullptr) manager_->KillTimer(this, kRepeatTimerId);
  }
}

void KuScrollbar::SetVisible(bool visible) {
  // The owner shows and hides its bars while laying itself out: no layout request here.
  if (visible_ == visible) return;
  visible_ = visible;
  focused_ = false;
  if (!IsVisible()) {
    button1State_ = button2State_ = thumbState_ = 0;
    trackHeld_ = false;
    if (manager_ != nullptr) {
      manager_->KillTimer(this, kRepeatTimerId);
      if (manager_->GetFocus() == this) manager_->SetFocus(nullptr, false);
    }
  } else {
    Invalidate();
  }
}

void KuScrollbar::SetFocus() {
  // The keyboard belongs to what the bar scrolls.
  if (owner_ != nullptr) owner_->SetFocus();
  else KuControl::SetFocus();
}

void KuScrollbar::SetScrollRange(int range) {
  range_ = std::max(0, range);
  if (pos_ > range_) pos_ = range_;
  SetPos(item_);
  Invalidate();
}

void KuScrollbar::SetScrollPos(int pos) {
  pos_ = std::clamp(pos, 0, range_);
  SetPos(item_);
  Invalidate();
}

void KuScrollbar::SetShowButton1(bool show) {
  showButton1_ = show;
  SetPos(item_);
  Invalidate();
}

void KuScrollbar::SetShowButton2(bool show) {
  showButton2_ = show;
  SetPos(item_);
  Invalidate();
}

void KuScrollbar::SetInset(const RECT& inset) {
  barInset_ = inset;
  SetPos(item_);
  Invalidate();
}

// --- Geometry ---------------------------------------------------------------------------------

void KuScrollbar::SetPos(RECT rect) {
  KuControl::SetPos(rect);
  const RECT inner = KuDeflate(item_, barInset_);
  const bool h = horizontal_;
  const int thickness = std::max(0, h ? fixedHeight_ : fixedWidth_);
  const int start = h ? inner.left : inner.top;
  const int end = std::max(start, static_cast<int>(h ? inner.right : inner.bottom));
  const int length = end - start;
  auto span = [&](int64_t from, int64_t to) {
    LONG a = static_cast<LONG>(from);
    LONG b = static_cast<LONG>(std::max(from, to));
    return h ? RECT{a, inner.top, b, inner.bottom} : RECT{inner.left, a, inner.right, b};
  };
  const int b1 = showButton1_ ? thickness : 0;
  const int b2 = showButton2_ ? thickness : 0;
  const int track = length - b1 - b2;
  thumb_ = RECT{0, 0, 0, 0};
  if (track > thickness) {
    button1_ = span(start, start + b1);
    button2_ = span(end - b2, end);
    if (range_ >= 1) {
      const int minLength = std::max(0, h ? fixedWidth_ : fixedHeight_);
      int64_t thumbLength = static_cast<int64_t>(length) * track / (static_cast<int64_t>(range_) + length);
      thumbLength = std::min<int64_t>(std::max<int64_t>(thumbLength, minLength), track);
      int64_t thumbStart = start + b1 + (track - thumbLength) * pos_ / range_;
      int64_t thumbEnd = thumbStart + thumbLength;
      if (thumbEnd > end - b2) {
        thumbEnd = end - b2;
        thumbStart = thumbEnd - thumbLength;
      }
      thumb_ = span(thumbStart, thumbEnd);
    }
  } else {
    // Too short for a thumb: the buttons share the length.
    const int half = length / 2;
    button1_ = span(start, start + (showButton1_ ? std::min(thickness, half) : 0));
    button2_ = span(end - (showButton2_ ? std::min(thickness, half) : 0), end);
  }
}

// --- Scrolling --------------------------------------------------------------------------------

void KuScrollbar::ScrollTo(int pos) {
  if (owner_ != nullptr) {
    SIZE at = owner_->GetScrollPos();
    if (horizontal_) at.cx = pos;
    else at.cy = pos;
    owner_->SetScrollPos(at);
  } else {
    SetScrollPos(pos);
  }
}

void KuScrollbar::ScrollLine(bool forward) {
  if (owner_ != nullptr) {
    if (horizontal_) forward ? owner_->LineRight() : owner_->LineLeft();
    else forward ? owner_->LineDown() : owner_->LineUp();
    return;
  }
  SetScrollPos(ClampToInt(static_cast<int64_t>(pos_) + (forward ? lineSize_ : -lineSize_)));
}

void KuScrollbar::ScrollPage(bool forward) {
  if (owner_ != nullptr) {
    if (horizontal_) forward ? owner_->PageRight() : owner_->PageLeft();
    else forward ? owner_->PageDown() : owner_->PageUp();
    return;
  }
  // A bar of its own pages by its own length.
  const int page = horizontal_ ? GetWidth() : GetHeight();
  SetScrollPos(ClampToInt(static_cast<int64_t>(pos_) + (forward ? page : -page)));
}

int KuScrollbar::DragOffset(POINT pt) const {
  const RECT inner = KuDeflate(item_, barInset_);
  const int64_t moved = horizontal_ ? pt.x - lastMouse_.x : pt.y - lastMouse_.y;
  const int64_t barLength = horizontal_ ? KuWidth(inner) : KuHeight(inner);
  const int64_t thumbLength = horizontal_ ? KuWidth(thumb_) : KuHeight(thumb_);
  const int64_t buttons = horizontal_ ? KuWidth(button1_) + KuWidth(button2_)
                                      : KuHeight(button1_) + KuHeight(button2_);
  const int64_t free = barLength - thumbLength - buttons;
  if (free < 1) return lastScrollOffset_;
  return ClampToInt(moved * range_ / free);
}

// --- Mouse ------------------------------------------------------------------------------------

bool KuScrollbar::UpdateHot(POINT pt, bool inside) {
  bool changed = false;
  auto set = [&](UINT& state, const RECT& part) {
    bool hot = inside && KuPtInRect(part, pt);
    if (hot == ((state & UISTATE_HOT) != 0)) return;
    if (hot) state |= UISTATE_HOT;
    else state &= ~UISTATE_HOT;
    changed = true;
  };
  set(button1State_, button1_);
  set(button2State_, button2_);
  set(thumbState_, thumb_);
  return changed;
}

void KuScrollbar::OnLButtonDown(KuEventUI& event) {
  if (IsEnabled()) {
    scrollRepeatDelay_ = 0;
    lastScrollOffset_ = 0;
    if (manager_ != nullptr) manager_->SetTimer(this, kRepeatTimerId, kRepeatElapse);
    const POINT pt = event.ptMouse;
    if (KuPtInRect(button1_, pt)) {
      button1State_ |= UISTATE_PUSHED;
      ScrollLine(false);
    } else if (KuPtInRect(button2_, pt)) {
      button2State_ |= UISTATE_PUSHED;
      ScrollLine(true);
    } else if (KuPtInRect(thumb_, pt)) {
      thumbState_ |= UISTATE_PUSHED | UISTATE_CAPTURED;
      lastMouse_ = pt;
      lastScrollPos_ = pos_;
    } else if (!KuIsRectEmpty(thumb_) && KuPtInRect(item_, pt)) {
      trackHeld_ = true;
      bool before = horizontal_ ? pt.x < thumb_.left : pt.y < thumb_.top;
      ScrollPage(!before);
    }
    Invalidate();
  }
  KuControl::OnLButtonDown(event);
}

void KuScrollbar::OnLButtonDblClk(KuEventUI& event) {
  // The second press of a double click scrolls like the first.
  OnLButtonDown(event);
}

void KuScrollbar::OnMouseMove(KuEventUI& event) {
  if (IsEnabled()) {
    if (thumbState_ & UISTATE_CAPTURED) {
      lastScrollOffset_ = DragOffset(event.ptMouse);
    } else if (UpdateHot(event.ptMouse, KuPtInRect(item_, event.ptMouse))) {
      Invalidate();
    }
  }
  KuControl::OnMouseMove(event);
}

void KuScrollbar::OnMouseEnter(KuEventUI& event) {
  if (IsEnabled() && UpdateHot(event.ptMouse, true)) Invalidate();
  KuControl::OnMouseEnter(event);
}

void KuScrollbar::OnMouseLeave(KuEventUI& event) {
  if (UpdateHot(POINT{0, 0}, false)) Invalidate();
  KuControl::OnMouseLeave(event);
}

void KuScrollbar::OnTimer(KuEventUI& event) {
  if (event.wParam != kRepeatTimerId) {
    KuControl::OnTimer(event);
    return;
  }
  ++scrollRepeatDelay_;
  if (thumbState_ & UISTATE_CAPTURED) {
    ScrollTo(ClampToInt(static_cast<int64_t>(lastScrollPos_) + lastScrollOffset_));
    Invalidate();
    return;
  }
  if (scrollRepeatDelay_ < kRepeatStartTick) return;
  if (button1State_ & UISTATE_PUSHED) {
    ScrollLine(false);
  } else if (button2State_ & UISTATE_PUSHED) {
    ScrollLine(true);
  } else if (trackHeld_ && !KuIsRectEmpty(thumb_)) {
    const POINT pt = event.ptMouse;
    if (horizontal_ ? pt.x < thumb_.left : pt.y < thumb_.top) ScrollPage(false);
    else if (horizontal_ ? pt.x >= thumb_.right : pt.y >= thumb_.bottom) ScrollPage(true);
  }
}

void KuScrollbar::OnLButtonUp(KuEventUI& event) {
  if (manager_ != nullptr) manager_->KillTimer(this, kRepeatTimerId);
  // A drag ends where the thumb was let go, even between two ticks of the timer.
  if ((thumbState_ & UISTATE_CAPTURED) && IsEnabled()) {
    int target = ClampToInt(static_cast<int64_t>(lastScrollPos_) + lastScrollOffset_);
    if (target != pos_) ScrollTo(target);
  }
  lastScrollOffset_ = 0;
  scrollRepeatDelay_ = 0;
  trackHeld_ = false;
  thumbState_ &= ~(UISTATE_PUSHED | UISTATE_CAPTURED);
  button1State_ &= ~UISTATE_PUSHED;
  button2State_ &= ~UISTATE_PUSHED;
  Invalidate();
  KuControl::OnLButtonUp(event);
}

// --- Painting ---------------------------------------------------------------------------------

bool KuScrollbar::PaintPart(Canvas& hdc, const RECT& part, UINT state, std::wstring& normal,
                            std::wstring& hot, std::wstring& pushed, std::wstring& disabled) {
  auto draw = [&](std::wstring& descriptor) {
    if (descriptor.empty()) return false;
    if (KuRenderUtils::DrawImageString(&hdc, part, paintRect_, descriptor)) return true;
    descriptor.clear();  // not tried again
    return false;
  };
  if ((state & UISTATE_DISABLED) && draw(disabled)) return true;
  if ((state & UISTATE_PUSHED) && draw(pushed)) return true;
  if ((state & UISTATE_HOT) && draw(hot)) return true;
  return draw(normal);
}

void KuScrollbar::DoPaint(Canvas& hdc, const RECT& paint) {
  if (!IsVisible() || !KuIntersectRect(&paintRect_, paint, item_)) return;
  const bool enabled = IsEnabled();
  auto stateOf = [enabled](UINT state) { return enabled ? state : UINT{UISTATE_DISABLED}; };

  PaintPart(hdc, item_, stateOf(mouseState_), bkNormal, bkHot, bkPushed, bkDisabled);
  if (showButton1_ && !KuIsRectEmpty(button1_) &&
      !PaintPart(hdc, button1_, stateOf(button1State_), button1Normal, button1Hot, button1Pushed,
                 button1Disabled)) {
    KuRenderUtils::DrawRect(hdc, button1_, kButtonOutlineWidth, kButtonOutline);
  }
  if (showButton2_ && !KuIsRectEmpty(button2_) &&
      !PaintPart(hdc, button2_, stateOf(button2State_), button2Normal, button2Hot, button2Pushed,
                 button2Disabled)) {
    KuRenderUtils::DrawRect(hdc, button2_, kButtonOutlineWidth, kButtonOutline);
  }
  if (KuIsRectEmpty(thumb_)) return;
  if (!PaintPart(hdc, thumb_, stateOf(thumbState_), thumbNormal, thumbHot, thumbPushed,
                 thumbDisabled)) {
    KuRenderClip clip;
    KuRenderClip::GenerateRoundClip(hdc, thumb_, kThumbCorner, kThumbCorner, clip);
    KuRenderUtils::DrawColor(hdc, thumb_, kThumbColour);
  }
  PaintPart(hdc, thumb_, stateOf(thumbState_), railNormal, railHot, railPushed, railDisabled);
}

// --- Attributes -------------------------------------------------------------------------------

void KuScrollbar::SetAttribute(const std::wstring& name, const std::wstring& value) {
  struct Image {
    const wchar_t* name;
    std::wstring KuScrollbar::*field;
  };
  static const Image kImages[] = {
      {L"button1normalimage", &KuScrollbar::button1Normal},
      {L"button1hotimage", &KuScrollbar::button1Hot},
      {L"button1pushedimage", &KuScrollbar::button1Pushed},
      {L"button1disabledimage", &KuScrollbar::button1Disabled},
      {L"button2normalimage", &KuScrollbar::button2Normal},
      {L"button2hotimage", &KuScrollbar::button2Hot},
      {L"button2pushedimage", &KuScrollbar::button2Pushed},
      {L"button2disabledimage", &KuScrollbar::button2Disabled},
      {L"thumbnormalimage", &KuScrollbar::thumbNormal},
      {L"thumbhotimage", &KuScrollbar::thumbHot},
      {L"thumbpushedimage", &KuScrollbar::thumbPushed},
      {L"thumbdisabledimage", &KuScrollbar::thumbDisabled},
      {L"railnormalimage", &KuScrollbar::railNormal},
      {L"railhotimage", &KuScrollbar::railHot},
      {L"railpushedimage", &KuScrollbar::railPushed},
      {L"raildisabledimage", &KuScrollbar::railDisabled},
      {L"bknormalimage", &KuScrollbar::bkNormal},
      {L"bkhotimage", &KuScrollbar::bkHot},
      {L"bkpushedimage", &KuScrollbar::bkPushed},
      {L"bkdisabledimage", &KuScrollbar::bkDisabled},
  };
  for (const Image& image : kImages) {
    if (name == image.name) {
      this->*image.field = value;
      Invalidate();
      return;
    }
  }
  if (name == L"hor") {
    SetHorizontal(ParseBool(value));
  } else if (name == L"linesize") {
    SetLineSize(std::max(0, ParseInt(value)));
  } else if (name == L"range") {
    SetScrollRange(ParseInt(value));
  } else if (name == L"value") {
    SetScrollPos(ParseInt(value));
  } else if (name == L"showbutton1") {
    SetShowButton1(ParseBool(value));
  } else if (name == L"showbutton2") {
    SetShowButton2(ParseBool(value));
  } else if (name == L"inset") {
    SetInset(ParseRect(value));
  } else {
    KuControl::SetAttribute(name, value);
  }
}

}  // namespace KUM
