// What every part of the UI library shares: the Win32 vocabulary, the raster seam's canvas
// (the library's device context), and rectangle arithmetic that behaves like USER32's.
#pragma once

#include <string>

#include "platform/Raster.h"
#include "platform/WindowSystem.h"
#include "platform/WindowTypes.h"

namespace KUM {

using rundix::ARGB;
using rundix::Bitmap;
using rundix::Canvas;
using rundix::Font;

class KuControl;
class KuContainer;
class KuPaintManager;

// IntersectRect: false (and an empty result) when the rectangles do not meet.
inline bool KuIntersectRect(RECT* out, const RECT& a, const RECT& b) {
  RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
         a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
  if (r.left >= r.right || r.top >= r.bottom) {
    if (out) *out = RECT{0, 0, 0, 0};
    return false;
  }
  if (out) *out = r;
  return true;
}

inline bool KuPtInRect(const RECT& r, POINT p) {
  return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

inline bool KuIsRectEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

inline bool KuEqualRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

inline RECT KuDeflate(const RECT& r, const RECT& by) {
  return RECT{r.left + by.left, r.top + by.top, r.right - by.right, r.bottom - by.bottom};
}

inline LONG KuWidth(const RECT& r) { return r.right - r.left; }
inline LONG KuHeight(const RECT& r) { return r.bottom - r.top; }

// The signed 16-bit halves of a mouse message's lParam.
inline POINT KuPointFromLParam(LPARAM lParam) {
  return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

inline rundix::IWindowSystem& Ws() { return rundix::WindowSystem(); }

}  // namespace KUM
