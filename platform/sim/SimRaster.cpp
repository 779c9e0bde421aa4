// The Linux raster: cairo ARGB32 image surfaces (premultiplied, native-endian, so B, G, R, A
// in memory). Fills, blits and outlines are this file's own loops over the pixels, with the
// geometry and the blend arithmetic of Windows' GDI and AlphaBlend, so both back ends give
// the same pixels; text is cairo's, clipped to the same pixels.
#include <cairo.h>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/PixelRegion.h"
#include "platform/Raster.h"
#include "platform/UniqueHandle.h"
#include "platform/sim/SimFont.h"
#include "platform/sim/SimTextLayout.h"

namespace rundix {
namespace {

struct SurfaceCloser {
  bool operator()(cairo_surface_t* surface) const {
    cairo_surface_destroy(surface);
    return true;
  }
};
using SurfaceHandle = UniqueHandle<cairo_surface_t*, SurfaceCloser>;

struct ContextCloser {
  bool operator()(cairo_t* context) const {
    cairo_destroy(context);
    return true;
  }
};
using ContextHandle = UniqueHandle<cairo_t*, ContextCloser>;

class SimBitmap final : public Bitmap {
 public:
  SimBitmap(SurfaceHandle surface, int width, int height)
      : surface_(std::move(surface)), width_(width), height_(height),
        data_(cairo_image_surface_get_data(surface_.get())) {}

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int Stride() const override { return width_ * 4; }
  uint8_t* LockPixels() override {
    cairo_surface_flush(surface_.get());
    return data_;
  }
  void UnlockPixels() override { cairo_surface_mark_dirty(surface_.get()); }
  const uint8_t* ReadPixels() const override {
    cairo_surface_flush(surface_.get());
    return data_;
  }

  cairo_surface_t* Surface() const { return surface_.get(); }
  uint32_t* Row(int y) { return reinterpret_cast<uint32_t*>(data_ + static_cast<size_t>(y) * Stride()); }

 private:
  SurfaceHandle surface_;
  int width_;
  int height_;
  uint8_t* data_;
};

// AlphaBlend's arithmetic, channel by channel, with its (x + 127) / 255 rounding;
// (x + 1 + (x >> 8)) >> 8 is x / 255 for every x below 65535.
// Four 8-bit channels spread into 16-bit lanes (B, R, G, A from the bottom), so one 64-bit
// multiply scales all of them; no lane overflows (255 × 255 + 127 + 255 < 65536).
constexpr uint64_t kLaneMask = 0x00FF00FF00FF00FFull;
inline uint64_t Spread(uint32_t p) { return (p & 0x00FF00FFu) | (static_cast<uint64_t>(p & 0xFF00FF00u) << 24); }
// (x + 127) / 255 in every lane.
inline uint64_t RoundLanes(uint64_t x) {
  x += 0x007F007F007F007Full;
  return ((x + 0x0001000100010001ull + ((x >> 8) & kLaneMask)) >> 8) & kLaneMask;
}
inline uint64_t ScaleLanes(uint64_t lanes, uint32_t a) { return RoundLanes(lanes * a); }
// Lanes back into a pixel; a lane above 255 spills into the next channel as Windows' OR does.
inline uint32_t Pack(uint64_t v) {
  return static_cast<uint32_t>((v & 0xFFFF) | (((v >> 16) & 0xFFFF) << 16) | (((v >> 32) & 0xFFFF) << 8) |
                               (((v >> 48) & 0xFFFF) << 24));
}

// Constant alpha, no per-pixel alpha: every channel (alpha too) mixes src × a + dst × (255 − a).
inline uint32_t BlendConstant(uint32_t dst, uint32_t src, uint32_t a) {
  return Pack(RoundLanes(Spread(src) * a + Spread(dst) * (255 - a)));
}
// Per-pixel alpha: premultiplied source over the destination.
inline uint32_t BlendOver(uint32_t dst, uint32_t src) {
  if (src == 0) return dst;
  const uint32_t sa = src >> 24;
  if (sa == 255) return src;
  return Pack(Spread(src) + ScaleLanes(Spread(dst), 255 - sa));
}
// Per-pixel and constant alpha: the source scaled by the constant first.
inline uint32_t BlendOverScaled(uint32_t dst, uint32_t src, uint32_t a) {
  if (src == 0) return dst;
  uint64_t s = ScaleLanes(Spread(src), a);
  uint32_t sa = static_cast<uint32_t>(s >> 48);
  return Pack(s + ScaleLanes(Spread(dst), 255 - sa));
}

// Whole rows of the three blends. With SSE2 four pixels go at once through 16-bit lanes,
// with the same arithmetic; a group whose sums pass 255 (a source that is not premultiplied)
// is redone one pixel at a time so the spill matches.
#if defined(__SSE2__)
inline __m128i Div255x8(__m128i x) {
  x = _mm_add_epi16(x, _mm_set1_epi16(127));
  return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, _mm_set1_epi16(1)), _mm_srli_epi16(x, 8)), 8);
}
// Each pixel's alpha lane copied to its four lanes.
inline __m128i AlphaLanes(__m128i p16) {
  return _mm_shufflehi_epi16(_mm_shufflelo_epi16(p16, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}
#endif

#if defined(__SSE2__) && defined(__GNUC__)
// Eight pixels at once where the processor has AVX2: the per-pixel blends of DrawBitmap, the
// source first scaled by `a` unless it is 255. Returns how many pixels it did.
__attribute__((target("avx2"))) inline __m256i Div255x16(__m256i x) {
  x = _mm256_add_epi16(x, _mm256_set1_epi16(127));
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(x, _mm256_set1_epi16(1)), _mm256_srli_epi16(x, 8)), 8);
}
__attribute__((target("avx2"))) inline __m256i AlphaLanes16(__m256i p16) {
  return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(p16, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
}

__attribute__((target("avx2"))) int RowOverAvx2(uint32_t* d, const uint32_t* s, int n, uint32_t a) {
  const __m256i zero = _mm256_setzero_si256(), full = _mm256_set1_epi16(255);
  const __m256i constant = _mm256_set1_epi16(static_cast<short>(a));
  int x = 0;
  for (; x + 8 <= n; x += 8) {
    __m256i src = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + x));
    if (a == 255) {
      __m256i alpha = _mm256_srli_epi32(src, 24);
      if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, _mm256_set1_epi32(255))) == -1) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), src);
        continue;
      }
    }
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(src, zero)) == -1) continue;
    __m256i dst = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + x));
    __m256i srcLo = _mm256_unpacklo_epi8(src, zero), srcHi = _mm256_unpackhi_epi8(src, zero);
    if (a != 255) {
      srcLo = Div255x16(_mm256_mullo_epi16(srcLo, constant));
      srcHi = Div255x16(_mm256_mullo_epi16(srcHi, constant));
    }
    __m256i lo = _mm256_add_epi16(srcLo, Div255x16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(dst, zero),
                                                                   _mm256_sub_epi16(full, AlphaLanes16(srcLo)))));
    __m256i hi = _mm256_add_epi16(srcHi, Div255x16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(dst, zero),
                                                                   _mm256_sub_epi16(full, AlphaLanes16(srcHi)))));
    if (_mm256_movemask_epi8(_mm256_or_si256(_mm256_cmpgt_epi16(lo, full), _mm256_cmpgt_epi16(hi, full))) != 0) {
      for (int i = 0; i < 8; ++i) d[x + i] = a == 255 ? BlendOver(d[x + i], s[x + i]) : BlendOverScaled(d[x + i], s[x + i], a);
      continue;
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), _mm256_packus_epi16(lo, hi));
  }
  return x;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

void RowOver(uint32_t* d, const uint32_t* s, int n) {
  int x = 0;
#if defined(__SSE2__) && defined(__GNUC__)
  if (HasAvx2()) x = RowOverAvx2(d, s, n, 255);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255);
  for (; x + 4 <= n; x += 4) {
    __m128i src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
    __m128i alpha = _mm_srli_epi32(src, 24);
    int opaque = _mm_movemask_epi8(_mm_cmpeq_epi32(alpha, _mm_set1_epi32(255)));
    if (opaque == 0xFFFF) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), src);
      continue;
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(src, zero)) == 0xFFFF) continue;
    __m128i dst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x));
    __m128i srcLo = _mm_unpacklo_epi8(src, zero), srcHi = _mm_unpackhi_epi8(src, zero);
    __m128i lo = _mm_add_epi16(srcLo, Div255x8(_mm_mullo_epi16(_mm_unpacklo_epi8(dst, zero),
                                                               _mm_sub_epi16(full, AlphaLanes(srcLo)))));
    __m128i hi = _mm_add_epi16(srcHi, Div255x8(_mm_mullo_epi16(_mm_unpackhi_epi8(dst, zero),
                                                               _mm_sub_epi16(full, AlphaLanes(srcHi)))));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpgt_epi16(lo, full), _mm_cmpgt_epi16(hi, full))) != 0) {
      for (int i = 0; i < 4; ++i) d[x + i] = BlendOver(d[x + i], s[x + i]);
      continue;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; x < n; ++x) d[x] = BlendOver(d[x], s[x]);
}

void RowOverScaled(uint32_t* d, const uint32_t* s, int n, uint32_t a) {
  int x = 0;
#if defined(__SSE2__) && defined(__GNUC__)
  if (HasAvx2()) x = RowOverAvx2(d, s, n, a);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi16(255);
  const __m128i constant = _mm_set1_epi16(static_cast<short>(a));
  for (; x + 4 <= n; x += 4) {
    __m128i src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(src, zero)) == 0xFFFF) continue;
    __m128i dst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x));
    __m128i srcLo = Div255x8(_mm_mullo_epi16(_mm_unpacklo_epi8(src, zero), constant));
    __m128i srcHi = Div255x8(_mm_mullo_epi16(_mm_unpackhi_epi8(src, zero), constant));
    __m128i lo = _mm_add_epi16(srcLo, Div255x8(_mm_mullo_epi16(_mm_unpacklo_epi8(dst, zero),
                                                               _mm_sub_epi16(full, AlphaLanes(srcLo)))));
    __m128i hi = _mm_add_epi16(srcHi, Div255x8(_mm_mullo_epi16(_mm_unpackhi_epi8(dst, zero),
                                                               _mm_sub_epi16(full, AlphaLanes(srcHi)))));
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpgt_epi16(lo, full), _mm_cmpgt_epi16(hi, full))) != 0) {
      for (int i = 0; i < 4; ++i) d[x + i] = BlendOverScaled(d[x + i], s[x + i], a);
      continue;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; x < n; ++x) d[x] = BlendOverScaled(d[x], s[x], a);
}

// `s` null: every source pixel is `colour`.
void RowConstant(uint32_t* d, const uint32_t* s, uint32_t colour, int n, uint32_t a) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i constant = _mm_set1_epi16(static_cast<short>(a)), rest = _mm_set1_epi16(static_cast<short>(255 - a));
  const __m128i fixed = _mm_mullo_epi16(_mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(colour)), zero), constant);
  for (; x + 4 <= n; x += 4) {
    __m128i dst = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + x));
    __m128i partLo = fixed, partHi = fixed;
    if (s != nullptr) {
      __m128i src = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
      partLo = _mm_mullo_epi16(_mm_unpacklo_epi8(src, zero), constant);
      partHi = _mm_mullo_epi16(_mm_unpackhi_epi8(src, zero), constant);
    }
    __m128i lo = Div255x8(_mm_add_epi16(partLo, _mm_mullo_epi16(_mm_unpacklo_epi8(dst, zero), rest)));
    __m128i hi = Div255x8(_mm_add_epi16(partHi, _mm_mullo_epi16(_mm_unpackhi_epi8(dst, zero), rest)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_packus_epi16(lo, hi));
  }
#endif
  for (; x < n; ++x) d[x] = BlendConstant(d[x], s != nullptr ? s[x] : colour, a);
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.left >= r.right || r.top >= r.bottom) return RECT{0, 0, 0, 0};
  return r;
}
bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }
RECT Normalised(const RECT& r) {
  return RECT{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
              std::max(r.top, r.bottom)};
}

// The region's pixels inside the box.
PixelRegion ClipToBox(const PixelRegion& region, const RECT& box) {
  std::vector<PixelRegion::Row> rows;
  for (const auto& row : region.Rows()) {
    if (row.y < box.top || row.y >= box.bottom) continue;
    PixelRegion::Row out{row.y, {}};
    for (const auto& s : row.spans) {
      int l = std::max<int>(s.first, box.left), r = std::min<int>(s.second, box.right);
      if (l < r) out.spans.emplace_back(l, r);
    }
    rows.push_back(std::move(out));
  }
  return PixelRegion::FromRows(std::move(rows));
}

class SimCanvas final : public Canvas {
 public:
  explicit SimCanvas(SimBitmap* target) : target_(target) {
    clip_.box = target ? RECT{0, 0, target->Width(), target->Height()} : RECT{0, 0, 0, 0};
  }

  void SetLayered(bool layered) override { layered_ = layered; }

  void FillRect(const RECT& rect, ARGB colour) override {
    const uint32_t a = colour >> 24;
    if (a == 0 || !target_ || IsEmpty(rect)) return;
    const uint32_t src = 0xFF000000u | (colour & 0xFFFFFFu);
    ForSpans(rect, [&](int y, int left, int right) {
      uint32_t* row = target_->Row(y);
      if (a == 255) {
        std::fill(row + left, row + right, src);
      } else {
        RowConstant(row + left, nullptr, src, right - left, a);
      }
    });
  }

  void FrameRect(const RECT& rect, int width, ARGB colour) override { Frame(rect, width, 0, 0, colour); }
  void FrameRoundRect(const RECT& rect, int width, int cx, int cy, ARGB colour) override {
    Frame(rect, width, cx, cy, colour);
  }

  void DrawBitmap(const Bitmap& bitmap, const RECT& dest, const RECT& source, BYTE alpha,
                  bool perPixelAlpha) override {
    if (alpha == 0 || !target_ || IsEmpty(dest) || IsEmpty(source)) return;
    const RECT src = Intersect(source, RECT{0, 0, bitmap.Width(), bitmap.Height()});
    if (IsEmpty(src)) return;
    const uint8_t* pixels = bitmap.ReadPixels();
    if (pixels == nullptr) return;
    if (!ReasonableSpan(dest)) return;
    const bool copy = alpha == 255 && !perPixelAlpha;
    const int sw = src.right - src.left, sh = src.bottom - src.top;
    const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    const RECT visible = Intersect(dest, clip_.box);
    if (IsEmpty(visible)) return;
    // Source column of every visible destination column.
    std::vector<int> columns(static_cast<size_t>(visible.right - visible.left));
    for (int x = visible.left; x < visible.right; ++x) {
      columns[static_cast<size_t>(x - visible.left)] =
          src.left + StretchSourceIndex(x - dest.left, sw, dw, true, copy);
    }
    const bool straight = sw == dw;
    const int stride = bitmap.Stride();
    int gatheredRow = -1, gatheredLeft = 0, gatheredRight = 0;
    ForSpans(visible, [&](int y, int left, int right) {
      const int sy = src.top + StretchSourceIndex(y - dest.top, sh, dh, false, copy);
      const uint32_t* srow = reinterpret_cast<const uint32_t*>(pixels + static_cast<size_t>(sy) * stride);
      uint32_t* row = target_->Row(y);
      const int* map = columns.data() - visible.left;
      const int n = right - left;
      if (copy && !straight) {
        for (int x = left; x < right; ++x) row[x] = srow[map[x]];
        return;
      }
      // The source pixels of this span, in order: straight from the row, or gathered (once
      // for the rows an enlarging stretch repeats).
      const uint32_t* from = srow + map[left];
      if (!straight) {
        if (sy != gatheredRow || left != gatheredLeft || right != gatheredRight) {
          gathered_.resize(static_cast<size_t>(n));
          for (int x = left; x < right; ++x) gathered_[static_cast<size_t>(x - left)] = srow[map[x]];
          gatheredRow = sy;
          gatheredLeft = left;
          gatheredRight = right;
        }
        from = gathered_.data();
      }
      if (copy) std::memmove(row + left, from, static_cast<size_t>(n) * 4);  // the bitmap may be the target
      else if (perPixelAlpha && alpha == 255) RowOver(row + left, from, n);
      else if (perPixelAlpha) RowOverScaled(row + left, from, n, alpha);
      else RowConstant(row + left, from, 0, n, alpha);
    });
  }

  int DrawTextW(const Font& font, const std::wstring& text, RECT* rect, UINT format, ARGB colour) override {
    if (rect == nullptr) return 0;
    const auto& simFont = static_cast<const SimFont&>(font);
    SimTextLayout layout = LayOutText(simFont, text, *rect, format);
    if (format & DT_CALCRECT) {
      rect->right = layout.calc.right;
      rect->bottom = layout.calc.bottom;
      return layout.height;
    }
    if ((colour >> 24) == 0 || text.empty()) return 0;
    if (target_ && !layout.lines.empty()) DrawLines(simFont, layout, *rect, format, colour);
    return layout.height;
  }

  void PushClipRect(const RECT& rect) override {
    saved_.push_back(clip_);
    const RECT r = Normalised(rect);
    if (clip_.rect) {
      clip_.box = Intersect(clip_.box, r);
    } else {
      clip_.region = ClipToBox(clip_.region, r);
      clip_.box = clip_.region.Bounds();
    }
  }

  void PushClipRoundRect(const RECT& rect, int cx, int cy) override {
    saved_.push_back(clip_);
    cx = std::clamp(cx, -kMaxCorner, kMaxCorner);
    cy = std::clamp(cy, -kMaxCorner, kMaxCorner);
    const RECT r = Near(RECT{rect.left, rect.top, rect.right + 1, rect.bottom + 1}, std::abs(cx) + std::abs(cy) + 2);
    PixelRegion shape = PixelRegion::RoundRect(r, cx, cy);
    clip_.region = clip_.rect ? ClipToBox(shape, clip_.box) : clip_.region.Intersect(shape);
    clip_.rect = false;
    clip_.box = clip_.region.Bounds();
  }

  void PopClip() override {
    if (saved_.empty()) return;
    clip_ = std::move(saved_.back());
    saved_.pop_back();
  }

  RECT GetClipBox() const override { return IsEmpty(clip_.box) ? RECT{0, 0, 0, 0} : clip_.box; }

 private:
  struct Clip {
    RECT box{0, 0, 0, 0};  // bounding box; the whole clip when `rect`
    bool rect = true;
    PixelRegion region;  // the clip's pixels when it is not a rectangle
  };

  // Calls f(y, left, right) for each span of the area inside the clip.
  template <typename F>
  void ForSpans(const RECT& area, F&& f) const {
    const RECT a = Intersect(Normalised(area), clip_.box);
    if (IsEmpty(a)) return;
    if (clip_.rect) {
      for (int y = a.top; y < a.bottom; ++y) f(y, a.left, a.right);
      return;
    }
    const auto& rows = clip_.region.Rows();
    auto it = std::lower_bound(rows.begin(), rows.end(), a.top,
                               [](const PixelRegion::Row& row, int y) { return row.y < y; });
    for (; it != rows.end() && it->y < a.bottom; ++it) {
      for (const auto& s : it->spans) {
        int l = std::max<int>(s.first, a.left), r = std::min<int>(s.second, a.right);
        if (l < r) f(it->y, l, r);
      }
    }
  }

  // Calls f(y, left, right) for each span of the shape inside the clip.
  template <typename F>
  void ForShape(const PixelRegion& shape, F&& f) const {
    PixelRegion visible = clip_.rect ? ClipToBox(shape, clip_.box) : shape.Intersect(clip_.region);
    for (const auto& row : visible.Rows()) {
      for (const auto& s : row.spans) f(row.y, s.first, s.second);
    }
  }

  // A rectangle whose sides lie far outside the clip box (more than `margin` beyond it)
  // moved in to that distance: what shows of a shape whose features stay within `margin` of
  // its sides does not change, and absurd coordinates cost nothing.
  RECT Near(const RECT& rect, int margin) const {
    const RECT r = Normalised(rect);
    const int64_t m = margin;
    auto limit = [](int64_t v, int64_t lo, int64_t hi) { return static_cast<LONG>(std::clamp(v, lo, hi)); };
    return RECT{limit(r.left, clip_.box.left - m, clip_.box.right + m), limit(r.top, clip_.box.top - m, clip_.box.bottom + m),
                limit(r.right, clip_.box.left - m, clip_.box.right + m),
                limit(r.bottom, clip_.box.top - m, clip_.box.bottom + m)};
  }

  void Frame(const RECT& rect, int width, int cx, int cy, ARGB colour) {
    const uint32_t a = colour >> 24;
    if (a == 0 || !target_) return;
    width = std::clamp(width, 1, kMaxPenWidth);
    cx = std::clamp(cx, -kMaxCorner, kMaxCorner);
    cy = std::clamp(cy, -kMaxCorner, kMaxCorner);
    PixelRegion shape = PixelRegion::Frame(Near(rect, width + std::abs(cx) + std::abs(cy) + 2), width, cx, cy, &clip_.box);
    const uint32_t src = 0xFF000000u | (colour & 0xFFFFFFu);
    if (a != 255) {
      // Blended outlines are drawn within the rectangle's own bitmap on Windows.
      shape = ClipToBox(shape, Normalised(rect));
    }
    ForShape(shape, [&](int y, int left, int right) {
      uint32_t* row = target_->Row(y);
      for (int x = left; x < right; ++x) row[x] = a == 255 ? src : BlendOverScaled(row[x], src, a);
    });
  }

  void DrawLines(const SimFont& font, const SimTextLayout& layout, const RECT& rect, UINT format, ARGB colour) {
    cairo_surface_t* surface = target_->Surface();
    cairo_surface_mark_dirty(surface);
    ContextHandle context(cairo_create(surface), ContextCloser{});
    cairo_t* cr = context.get();
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) return;

    // The text's clip: the canvas clip, and the rectangle unless DT_NOCLIP. Blended text
    // stays within its rectangle regardless, as the rectangle's own bitmap holds it on
    // Windows.
    const bool blended = (colour >> 24) != 255 || layered_;
    RECT limit = (format & DT_NOCLIP) && !blended ? clip_.box : Intersect(Normalised(rect), clip_.box);
    if (IsEmpty(limit)) return;
    cairo_new_path(cr);
    if (clip_.rect) {
      cairo_rectangle(cr, limit.left, limit.top, limit.right - limit.left, limit.bottom - limit.top);
    } else {
      for (const RECT& r : ClipToBox(clip_.region, limit).Rects()) {
        cairo_rectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
      }
    }
    cairo_clip(cr);
    cairo_set_source_rgba(cr, ((colour >> 16) & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0, (colour & 0xFF) / 255.0,
                          (colour >> 24) / 255.0);

    const FontDesc& desc = font.Desc();
    const int ascent = font.Metrics().tmAscent;
    std::vector<cairo_glyph_t> run;
    for (const SimTextLine& line : layout.lines) {
      const int baseline = line.y + ascent;
      int x = line.x;
      bool runFallback = false;
      auto flush = [&] {
        if (run.empty()) return;
        cairo_set_scaled_font(cr, font.Scaled(runFallback));
        cairo_show_glyphs(cr, run.data(), static_cast<int>(run.size()));
        run.clear();
      };
      for (size_t i = 0; i < line.text.size(); ++i) {
        SimGlyph g = font.Glyph(line.text[i]);
        if (g.index != 0 || static_cast<uint32_t>(line.text[i]) >= 0x20) {
          if (g.fallback != runFallback) flush();
          runFallback = g.fallback;
          run.push_back(cairo_glyph_t{g.index, static_cast<double>(x), static_cast<double>(baseline)});
        }
        if (i < line.marked.size() && line.marked[i]) {
          cairo_rectangle(cr, x, baseline + font.UnderlineOffset(), g.advance, font.LineThickness());
          cairo_fill(cr);
        }
        x += g.advance;
      }
      flush();
      if (desc.underline) {
        cairo_rectangle(cr, line.x, baseline + font.UnderlineOffset(), line.width, font.LineThickness());
        cairo_fill(cr);
      }
      if (desc.strikeout) {
        cairo_rectangle(cr, line.x, baseline + font.StrikeoutOffset(), line.width, font.LineThickness());
        cairo_fill(cr);
      }
    }
    context.reset();
    cairo_surface_flush(surface);
  }

  SimBitmap* target_;
  bool layered_ = false;
  std::vector<uint32_t> gathered_;  // a stretched span's source pixels
  Clip clip_;
  std::vector<Clip> saved_;
};

}  // namespace

std::unique_ptr<Bitmap> CreateBitmap(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
      static_cast<int64_t>(width) * height > kMaxBitmapPixels) {
    return nullptr;
  }
  // The seam promises rows of exactly 4 × width bytes.
  if (cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width) != width * 4) return nullptr;
  SurfaceHandle surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height), SurfaceCloser{});
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS ||
      cairo_image_surface_get_stride(surface.get()) != width * 4 ||
      cairo_image_surface_get_data(surface.get()) == nullptr) {
    return nullptr;
  }
  return std::make_unique<SimBitmap>(std::move(surface), width, height);
}

std::unique_ptr<Canvas> CreateCanvas(Bitmap& target) {
  auto* bitmap = dynamic_cast<SimBitmap*>(&target);
  if (bitmap == nullptr) return nullptr;
  return std::make_unique<SimCanvas>(bitmap);
}

std::unique_ptr<Canvas> CreateMeasureCanvas() { return std::make_unique<SimCanvas>(nullptr); }

}  // namespace rundix
