#include "ui/KuProgress.h"

#include <algorithm>
#include <cstdio>

#include "ui/KuPaintManager.h"
#include "ui/KuRenderUtils.h"

namespace KUM {

KuProgress::KuProgress() = default;

UINT KuProgress::GetClass() const { return UICLASS_PROGRESS; }

KuControl* KuProgress::GetInterface(UINT id) {
  if (id == UICLASS_PROGRESS) return this;
  return KuControl::GetInterface(id);
}

const wchar_t* KuProgress::ClassName() const { return L"Progress"; }

std::vector<UINT> KuProgress::InterfaceIds() const { return {UICLASS_PROGRESS, UICLASS_CONTROL}; }

void KuProgress::SetRange(int a, int b) {
  if (a < 0) a = 1;
  if (b < 0) b = 1;
  min_ = std::min(a, b);
  max_ = std::max(a, b);
  // The position and the step stay meaningful for the new range.
  value_ = std::clamp(value_, min_, max_);
  step_ = std::clamp(step_, 1, std::max(1, max_));
  Invalidate();
}

int KuProgress::SetPos(int value) {
  value = std::clamp(value, min_, max_);
  if (value != value_) {
    value_ = value;
    Invalidate();
  }
  return value_;
}

void KuProgress::SetStep(int step) {
  step_ = std::clamp(step, 1, std::max(1, max_));
  Invalidate();
}

void KuProgress::SetForeInset(const RECT& inset) {
  foreInset_ = inset;
  Invalidate();
}

RECT KuProgress::GetBarRect() const {
  RECT bar{item_.left + foreInset_.left, item_.top + foreInset_.top, 0,
           item_.bottom - foreInset_.bottom};
  const long long width =
      static_cast<long long>(item_.right - foreInset_.right) - (item_.left + foreInset_.left);
  const int steps = step_ > 0 ? max_ / step_ : 0;
  long long filled = 0;
  if (width > 0 && steps > 0 && value_ > 0) {
    // Multiplied first, so a fill that comes out whole is exact.
    filled = static_cast<long long>(static_cast<double>(width) * value_ / steps);
    filled = std::min(filled, width);
  }
  bar.right = static_cast<LONG>(bar.left + filled);
  if (bar.bottom < bar.top) bar.bottom = bar.top;
  return bar;
}

void KuProgress::PaintStatusColor(Canvas& hdc) {
  if (status_ == 0) return;
  RECT bar = GetBarRect();
  if (KuIsRectEmpty(bar)) return;
  KuRenderUtils::DrawColor(hdc, bar, status_, manager_ != nullptr && manager_->IsLayered());
}

void KuProgress::PaintStatusImage(Canvas& hdc) {
  if (normalImage_.empty()) return;
  RECT bar = GetBarRect();
  // An empty bar shows nothing (a destination of zero width would mean the whole item).
  if (KuIsRectEmpty(bar)) return;
  const int left = bar.left - item_.left;
  const int top = bar.top - item_.top;
  const int right = bar.right - item_.left;
  const int bottom = bar.bottom - item_.top;
  wchar_t modify[128];
  if (source_) {
    // Cropped: the image's left part as wide as the fill, unstretched on the bar.
    std::swprintf(modify, sizeof(modify) / sizeof(modify[0]),
                  L" source='0,0,%d,%d' dest='%d,%d,%d,%d'", right - left, bottom - top, left, top,
                  right, bottom);
  } else {
    std::swprintf(modify, sizeof(modify) / sizeof(modify[0]), L" dest='%d,%d,%d,%d'", left, top,
                  right, bottom);
  }
  if (!DrawImage(hdc, normalImage_, modify)) normalImage_.clear();
}

void KuProgress::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"foreinset") {
    SetForeInset(ParseRect(value));
  } else if (name == L"step") {
    SetStep(ParseInt(value));
  } else if (name == L"source") {
    source_ = ParseBool(value);
    Invalidate();
  } else {
    KuControl::SetAttribute(name, value);
  }
}

}  // namespace KUM
