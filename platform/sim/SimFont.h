// Fonts of the Linux raster: the face fontconfig finds for the desc (CJK faces preferred, so
// the skin's "微软雅黑" becomes WenQuanYi Micro Hei), drawn by cairo through FreeType, with
// GDI-style metrics and whole-pixel advances.
#pragma once

#include <cairo.h>

#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/Raster.h"
#include "platform/UniqueHandle.h"

namespace rundix {

struct CairoScaledFontCloser {
  bool operator()(cairo_scaled_font_t* font) const {
    cairo_scaled_font_destroy(font);
    return true;
  }
};
using ScaledFontHandle = UniqueHandle<cairo_scaled_font_t*, CairoScaledFontCloser>;

// One character's glyph: its index in the face (or in the CJK fallback face when the face
// has none) and its advance in whole pixels.
struct SimGlyph {
  unsigned long index = 0;
  int advance = 0;
  bool fallback = false;
};

class SimFont final : public Font {
 public:
  // Null when no face can be found or loaded.
  static std::unique_ptr<SimFont> Create(const FontDesc& desc);

  const FontDesc& Desc() const override { return desc_; }
  const FontMetrics& Metrics() const override { return metrics_; }
  WPARAM NativeHandle() const override { return reinterpret_cast<WPARAM>(this); }

  SimGlyph Glyph(wchar_t c) const;
  int TextWidth(const std::wstring& text) const;
  cairo_scaled_font_t* Scaled(bool fallback) const { return fallback ? fallback_.get() : primary_.get(); }
  // Underline and strike-out bars: offset of the bar's top from the baseline (down is
  // positive) and thickness, in pixels.
  int UnderlineOffset() const { return underlineOffset_; }
  int StrikeoutOffset() const { return strikeoutOffset_; }
  int LineThickness() const { return lineThickness_; }

 private:
  SimFont() = default;

  FontDesc desc_;
  FontMetrics metrics_;
  ScaledFontHandle primary_;
  ScaledFontHandle fallback_;  // the CJK face, when the face is another one
  int underlineOffset_ = 1;
  int strikeoutOffset_ = -3;
  int lineThickness_ = 1;
  mutable std::mutex mutex_;
  mutable std::unordered_map<wchar_t, SimGlyph> glyphs_;
};

}  // namespace rundix
