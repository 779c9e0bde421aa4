#include "ui/KuLabel.h"

#include <algorithm>
#include <cstdint>

#include "ui/KuPaintManager.h"
#include "ui/KuRenderUtils.h"

namespace KUM {
namespace {

// The pixel every texel of the scratch bitmap starts as: black with alpha byte 01. A pixel
// that still reads so afterwards was not touched by the text.
constexpr uint32_t kUntouched = 0x01000000;

uint32_t ReadPixel(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void WritePixel(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

KuLabel::KuLabel() = default;

UINT KuLabel::GetClass() const { return UICLASS_LABEL; }

KuControl* KuLabel::GetInterface(UINT id) {
  if (id == UICLASS_LABEL) return this;
  return KuContainer::GetInterface(id);
}

const wchar_t* KuLabel::ClassName() const { return L"Label"; }

std::vector<UINT> KuLabel::InterfaceIds() const {
  return {UICLASS_LABEL, UICLASS_CONTAINER, UICLASS_CONTROL};
}

void KuLabel::SetTextAntialias(bool on) {
  if (textAntialias_ == on) return;
  textAntialias_ = on;
  Invalidate();
}

void KuLabel::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"text_antialias") {
    SetTextAntialias(ParseBool(value));
  } else {
    KuContainer::SetAttribute(name, value);
  }
}

void KuLabel::PaintText(Canvas& hdc) {
  if (!textAntialias_) {
    KuContainer::PaintText(hdc);
    return;
  }
  if (text_.empty()) return;
  const RECT rect = KuDeflate(item_, StateTextPadding());
  const ARGB colour = StateTextColour();
  const std::wstring& font = StateFont();
  const BYTE alpha = static_cast<BYTE>(colour >> 24);
  if (alpha == 0) return;

  // Only the part of the text rectangle that can show needs a scratch bitmap; the text is
  // laid out over the whole rectangle and shifted into it.
  RECT visible;
  if (!KuIntersectRect(&visible, rect, paintRect_)) return;
  RECT clip = hdc.GetClipBox();
  if (!KuIntersectRect(&visible, visible, clip)) return;
  const int width = KuWidth(visible);
  const int height = KuHeight(visible);
  std::unique_ptr<Bitmap> scratch = rundix::CreateBitmap(width, height);
  if (!scratch) {
    KuContainer::PaintText(hdc);
    return;
  }
  {
    uint8_t* pixels = scratch->LockPixels();
    if (pixels == nullptr) return;
    for (int y = 0; y < height; ++y) {
      uint8_t* row = pixels + static_cast<size_t>(y) * scratch->Stride();
      for (int x = 0; x < width; ++x) WritePixel(row + 4 * x, kUntouched);
    }
    scratch->UnlockPixels();
  }
  // The text goes on in its colour at full strength; its own alpha is applied when the
  // result is blended onto the target. Black text leaves no shades over black to measure,
  // so its coverage is measured in white.
  const uint32_t textRgb = colour & 0x00FFFFFF;
  const uint32_t measureRgb = textRgb == 0 ? 0x00FFFFFF : textRgb;
  const ARGB solid = measureRgb | 0xFF000000;
  {
    std::unique_ptr<Canvas> canvas = rundix::CreateCanvas(*scratch);
    if (!canvas) return;
    RECT shifted{rect.left - visible.left, rect.top - visible.top, rect.right - visible.left,
                 rect.bottom - visible.top};
    KuRenderUtils::DrawTextW(*canvas, manager_, shifted, text_, solid, font, textStyle_,
                             rowHeight_, false);
  }

  // What the text touched is opaque, the rest transparent; then each touched pixel that is
  // not exactly the colour drawn takes its coverage from how far its colour got towards
  // that colour (both read as 24-bit numbers).
  const BYTE tr = static_cast<BYTE>(textRgb >> 16);
  const BYTE tg = static_cast<BYTE>(textRgb >> 8);
  const BYTE tb = static_cast<BYTE>(textRgb);
  uint8_t* pixels = scratch->LockPixels();
  if (pixels == nullptr) return;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = pixels + static_cast<size_t>(y) * scratch->Stride();
    for (int x = 0; x < width; ++x) {
      uint8_t* p = row + 4 * x;
      uint32_t v = ReadPixel(p);
      if (v == kUntouched) {
        WritePixel(p, 0);
        continue;
      }
      uint32_t rgb = v & 0x00FFFFFF;
      if (rgb == measureRgb) {
        WritePixel(p, 0xFF000000 | textRgb);
        continue;
      }
      double ratio = static_cast<double>(rgb) / static_cast<double>(measureRgb);
      ratio = std::clamp(ratio, 0.0, 1.0);
      auto scale = [ratio](BYTE c) { return static_cast<uint32_t>(c * ratio); };
      uint32_t a = static_cast<uint32_t>(255 * ratio);
      // Premultiplied: no channel above the alpha.
      uint32_t r = std::min(scale(tr), a);
      uint32_t g = std::min(scale(tg), a);
      uint32_t b = std::min(scale(tb), a);
      WritePixel(p, (a << 24) | (r << 16) | (g << 8) | b);
    }
  }
  scratch->UnlockPixels();
  hdc.DrawBitmap(*scratch, visible, RECT{0, 0, width, height}, alpha, true);
}

}  // namespace KUM
