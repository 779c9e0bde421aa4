// The Windows raster: DIB sections drawn by GDI and MSIMG32. Opaque fills are ExtTextOutW
// with ETO_OPAQUE, blended ones a 1 × 1 DIB stretched by AlphaBlend; outlines and text below
// full alpha are drawn into a DIB whose alpha bytes start at 1, where GDI's drawing clears
// them, and blended from there.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "platform/Raster.h"
#include "platform/UniqueHandle.h"

namespace rundix {
namespace {

struct GdiObjectCloser {
  bool operator()(HGDIOBJ object) const { return DeleteObject(object) != FALSE; }
};
struct DcCloser {
  bool operator()(HDC dc) const { return DeleteDC(dc) != FALSE; }
};
using BitmapHandle = UniqueHandle<HBITMAP, GdiObjectCloser>;
using FontHandle = UniqueHandle<HFONT, GdiObjectCloser>;
using PenHandle = UniqueHandle<HPEN, GdiObjectCloser>;
using RegionHandle = UniqueHandle<HRGN, GdiObjectCloser>;
using DcHandle = UniqueHandle<HDC, DcCloser>;

// An object selected into a DC for a scope.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selection() {
    if (ok()) SelectObject(dc_, old_);
  }
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  bool ok() const { return old_ != nullptr && old_ != HGDI_ERROR; }

 private:
  HDC dc_;
  HGDIOBJ old_;
};

bool IsEmpty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }
COLORREF Rgb(ARGB colour) { return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF); }

// A top-down 32-bit DIB section; null for a failed allocation.
BitmapHandle CreateDib(int width, int height, uint8_t** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  BitmapHandle dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0), GdiObjectCloser{});
  if (!dib || pixels == nullptr) return BitmapHandle();
  *bits = static_cast<uint8_t*>(pixels);
  return dib;
}

class Win32Bitmap final : public Bitmap {
 public:
  Win32Bitmap(BitmapHandle dib, uint8_t* bits, int width, int height)
      : dib_(std::move(dib)), bits_(bits), width_(width), height_(height) {}

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int Stride() const override { return width_ * 4; }
  uint8_t* LockPixels() override {
    GdiFlush();
    return bits_;
  }
  void UnlockPixels() override {}
  const uint8_t* ReadPixels() const override {
    GdiFlush();
    return bits_;
  }
  HBITMAP Handle() const { return dib_.get(); }

 private:
  BitmapHandle dib_;
  uint8_t* bits_;
  int width_;
  int height_;
};

class Win32Font final : public Font {
 public:
  Win32Font(FontDesc desc, HFONT font, FontHandle owned) : desc_(std::move(desc)), font_(font), owned_(std::move(owned)) {
    DcHandle dc(CreateCompatibleDC(nullptr), DcCloser{});
    if (!dc) return;
    Selection selected(dc.get(), font_);
    TEXTMETRICW tm{};
    if (!GetTextMetricsW(dc.get(), &tm)) return;
    metrics_.tmHeight = tm.tmHeight;
    metrics_.tmAscent = tm.tmAscent;
    metrics_.tmDescent = tm.tmDescent;
    metrics_.tmInternalLeading = tm.tmInternalLeading;
    metrics_.tmExternalLeading = tm.tmExternalLeading;
    metrics_.tmAveCharWidth = tm.tmAveCharWidth;
    metrics_.tmMaxCharWidth = tm.tmMaxCharWidth;
  }
  const FontDesc& Desc() const override { return desc_; }
  const FontMetrics& Metrics() const override { return metrics_; }
  WPARAM NativeHandle() const override { return reinterpret_cast<WPARAM>(font_); }

 private:
  FontDesc desc_;
  FontMetrics metrics_;
  HFONT font_;
  FontHandle owned_;  // empty for the stock font
};

LOGFONTW DefaultGuiLogFont() {
  LOGFONTW lf{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof lf, &lf);
  return lf;
}

// A scratch DIB with its own DC, for the alpha-byte technique and the one-pixel fill.
struct Scratch {
  BitmapHandle dib;
  DcHandle dc;
  HGDIOBJ old = nullptr;
  uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;

  ~Scratch() {
    if (dc && old) SelectObject(dc.get(), old);
  }
  bool Make(int w, int h) {
    dib = CreateDib(w, h, &bits);
    if (!dib) return false;
    dc = DcHandle(CreateCompatibleDC(nullptr), DcCloser{});
    if (!dc) return false;
    old = SelectObject(dc.get(), dib.get());
    width = w;
    height = h;
    return old != nullptr && old != HGDI_ERROR;
  }
  uint32_t* Pixels() { return reinterpret_cast<uint32_t*>(bits); }
  size_t Count() const { return static_cast<size_t>(width) * height; }
};

class Win32Canvas final : public Canvas {
 public:
  // `target` null: a canvas for measuring, over a one-pixel bitmap.
  explicit Win32Canvas(Win32Bitmap* target) : target_(target) {}

  bool Init() {
    dc_ = DcHandle(CreateCompatibleDC(nullptr), DcCloser{});
    if (!dc_) return false;
    HBITMAP bitmap = nullptr;
    if (target_) {
      bitmap = target_->Handle();
    } else {
      uint8_t* bits = nullptr;
      own_ = CreateDib(1, 1, &bits);
      bitmap = own_.get();
    }
    if (bitmap == nullptr) return false;
    old_ = SelectObject(dc_.get(), bitmap);
    if (old_ == nullptr || old_ == HGDI_ERROR) {
      old_ = nullptr;
      return false;
    }
    SetStretchBltMode(dc_.get(), COLORONCOLOR);
    return true;
  }
  ~Win32Canvas() override {
    if (dc_ && old_) SelectObject(dc_.get(), old_);
  }

  void SetLayered(bool layered) override { layered_ = layered; }

  void FillRect(const RECT& fill, ARGB colour) override {
    const BYTE a = static_cast<BYTE>(colour >> 24);
    // A fill looks the same wherever it starts: only the part inside the clip box is drawn.
    RECT rect;
    if (a == 0 || IsEmpty(fill) || !VisiblePart(fill, &rect)) return;
    if (a == 255 && !layered_) {
      SetBkColor(dc_.get(), Rgb(colour));
      ExtTextOutW(dc_.get(), 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
      return;
    }
    if (!onePixel_.dc && !onePixel_.Make(1, 1)) return;
    GdiFlush();
    onePixel_.Pixels()[0] = 0xFF000000u | (colour & 0xFFFFFFu);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, a, 0};
    AlphaBlend(dc_.get(), rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, onePixel_.dc.get(),
               0, 0, 1, 1, blend);
  }

  void FrameRect(const RECT& rect, int width, ARGB colour) override { Frame(rect, width, 0, 0, false, colour); }
  void FrameRoundRect(const RECT& rect, int width, int cx, int cy, ARGB colour) override {
    Frame(rect, width, cx, cy, true, colour);
  }

  void DrawBitmap(const Bitmap& bitmap, const RECT& dest, const RECT& source, BYTE alpha,
                  bool perPixelAlpha) override {
    if (alpha == 0 || IsEmpty(dest) || IsEmpty(source) || !ReasonableSpan(dest)) return;
    const auto* dib = dynamic_cast<const Win32Bitmap*>(&bitmap);
    if (dib == nullptr) return;
    RECT src{std::max<LONG>(source.left, 0), std::max<LONG>(source.top, 0),
             std::min<LONG>(source.right, bitmap.Width()), std::min<LONG>(source.bottom, bitmap.Height())};
    if (IsEmpty(src)) return;
    const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    const int sw = src.right - src.left, sh = src.bottom - src.top;

    // The source goes into a DC of its own, unless it is this canvas's own bitmap.
    HDC sourceDc = dc_.get();
    DcHandle ownDc;
    HGDIOBJ previous = nullptr;
    if (dib != target_) {
      ownDc = DcHandle(CreateCompatibleDC(nullptr), DcCloser{});
      if (!ownDc) return;
      previous = SelectObject(ownDc.get(), dib->Handle());
      if (previous == nullptr || previous == HGDI_ERROR) return;  // selected in another canvas
      sourceDc = ownDc.get();
    }
    if (alpha == 255 && !perPixelAlpha) {
      if (dw == sw && dh == sh) BitBlt(dc_.get(), dest.left, dest.top, dw, dh, sourceDc, src.left, src.top, SRCCOPY);
      else StretchBlt(dc_.get(), dest.left, dest.top, dw, dh, sourceDc, src.left, src.top, sw, sh, SRCCOPY);
    } else {
      BLENDFUNCTION blend{AC_SRC_OVER, 0, alpha, static_cast<BYTE>(perPixelAlpha ? AC_SRC_ALPHA : 0)};
      AlphaBlend(dc_.get(), dest.left, dest.top, dw, dh, sourceDc, src.left, src.top, sw, sh, blend);
    }
    if (ownDc) SelectObject(ownDc.get(), previous);
  }

  int DrawTextW(const Font& font, const std::wstring& text, RECT* rect, UINT format, ARGB colour) override {
    if (rect == nullptr) return 0;
    HFONT hfont = reinterpret_cast<HFONT>(font.NativeHandle());
    const int length = -1;  // as the library's own calls pass it: the text up to its end
    if (format & DT_CALCRECT) {
      Selection selected(dc_.get(), hfont);
      return ::DrawTextW(dc_.get(), text.c_str(), length, rect, format);
    }
    const BYTE a = static_cast<BYTE>(colour >> 24);
    if (a == 0 || text.empty()) return 0;
    if (a == 255 && !layered_) {
      Selection selected(dc_.get(), hfont);
      SetBkMode(dc_.get(), TRANSPARENT);
      SetTextColor(dc_.get(), Rgb(colour));
      return ::DrawTextW(dc_.get(), text.c_str(), length, rect, format);
    }
    RECT area;
    if (IsEmpty(*rect) || !VisiblePart(*rect, &area)) return 0;
    Scratch scratch;
    if (!scratch.Make(area.right - area.left, area.bottom - area.top)) return 0;
    std::fill_n(scratch.Pixels(), scratch.Count(), 0x01000000u);
    int height = 0;
    {
      Selection selected(scratch.dc.get(), hfont);
      SetBkMode(scratch.dc.get(), TRANSPARENT);
      SetTextColor(scratch.dc.get(), Rgb(colour));
      RECT local{rect->left - area.left, rect->top - area.top, rect->right - area.left, rect->bottom - area.top};
      height = ::DrawTextW(scratch.dc.get(), text.c_str(), length, &local, format);
    }
    BlendScratch(scratch, area.left, area.top, a);
    return height;
  }

  void PushClipRect(const RECT& rect) override {
    SaveClip();
    RegionHandle region(CreateRectRgnIndirect(&rect), GdiObjectCloser{});
    if (region) ExtSelectClipRgn(dc_.get(), region.get(), RGN_AND);
  }

  void PushClipRoundRect(const RECT& rect, int cx, int cy) override {
    SaveClip();
    cx = std::clamp(cx, -kMaxCorner, kMaxCorner);
    cy = std::clamp(cy, -kMaxCorner, kMaxCorner);
    const RECT r = Near(RECT{rect.left, rect.top, rect.right + 1, rect.bottom + 1}, std::abs(cx) + std::abs(cy) + 2);
    RegionHandle region(CreateRoundRectRgn(r.left, r.top, r.right, r.bottom, cx, cy), GdiObjectCloser{});
    if (region) ExtSelectClipRgn(dc_.get(), region.get(), RGN_AND);
  }

  void PopClip() override {
    if (saved_.empty()) return;
    // A null region removes the clip: there was none before the push.
    SelectClipRgn(dc_.get(), saved_.back().get());
    saved_.pop_back();
  }

  RECT GetClipBox() const override {
    RECT box{0, 0, 0, 0};
    if (::GetClipBox(dc_.get(), &box) == NULLREGION) box = RECT{0, 0, 0, 0};
    return box;
  }

 private:
  void SaveClip() {
    RegionHandle current(CreateRectRgn(0, 0, 0, 0), GdiObjectCloser{});
    if (current && GetClipRgn(dc_.get(), current.get()) != 1) current.reset();
    saved_.push_back(std::move(current));
  }

  void Frame(const RECT& rect, int width, int cx, int cy, bool round, ARGB colour) {
    const BYTE a = static_cast<BYTE>(colour >> 24);
    if (a == 0) return;
    width = std::clamp(width, 1, kMaxPenWidth);
    cx = std::clamp(cx, -kMaxCorner, kMaxCorner);
    cy = std::clamp(cy, -kMaxCorner, kMaxCorner);
    const RECT r = Near(rect, width + std::abs(cx) + std::abs(cy) + 2);
    if (IsEmpty(r)) return;
    PenHandle pen(CreatePen(PS_INSIDEFRAME, width, Rgb(colour)), GdiObjectCloser{});
    if (!pen) return;
    if (a == 255 && !layered_) {
      Selection selectedPen(dc_.get(), pen.get());
      Selection selectedBrush(dc_.get(), GetStockObject(NULL_BRUSH));
      if (round) RoundRect(dc_.get(), r.left, r.top, r.right, r.bottom, cx, cy);
      else Rectangle(dc_.get(), r.left, r.top, r.right, r.bottom);
      return;
    }
    // The scratch bitmap covers the part of the rectangle that can show; the shape is drawn
    // where it lies within the whole rectangle.
    RECT area;
    if (!VisiblePart(r, &area)) return;
    Scratch scratch;
    if (!scratch.Make(area.right - area.left, area.bottom - area.top)) return;
    std::fill_n(scratch.Pixels(), scratch.Count(), 0x01000000u);
    {
      Selection selectedPen(scratch.dc.get(), pen.get());
      Selection selectedBrush(scratch.dc.get(), GetStockObject(NULL_BRUSH));
      const int x = r.left - area.left, y = r.top - area.top;
      if (round) RoundRect(scratch.dc.get(), x, y, x + (r.right - r.left), y + (r.bottom - r.top), cx, cy);
      else Rectangle(scratch.dc.get(), x, y, x + (r.right - r.left), y + (r.bottom - r.top));
    }
    BlendScratch(scratch, area.left, area.top, a);
  }

  // The rectangle, normalised, with sides that lie far outside the clip box (more than
  // `margin` beyond it) moved in to that distance: a shape whose features stay within
  // `margin` of its sides shows the same, and GDI never meets absurd coordinates.
  RECT Near(const RECT& rect, int margin) const {
    const RECT box = GetClipBox();
    const int64_t m = margin;
    auto limit = [](int64_t v, int64_t lo, int64_t hi) { return static_cast<LONG>(std::clamp(v, lo, hi)); };
    const int64_t l = std::min(rect.left, rect.right), r = std::max(rect.left, rect.right);
    const int64_t t = std::min(rect.top, rect.bottom), b = std::max(rect.top, rect.bottom);
    return RECT{limit(l, box.left - m, box.right + m), limit(t, box.top - m, box.bottom + m),
                limit(r, box.left - m, box.right + m), limit(b, box.top - m, box.bottom + m)};
  }

  // The part of `rect` inside the clip box; false when none is.
  bool VisiblePart(const RECT& rect, RECT* area) const {
    RECT box = GetClipBox();
    return IntersectRect(area, &rect, &box) != FALSE;
  }

  // The alpha-byte technique's second half: pixels whose alpha byte GDI cleared were drawn
  // and become opaque, the rest transparent; then the DIB is blended with alpha `a`.
  void BlendScratch(Scratch& scratch, LONG x, LONG y, BYTE a) {
    GdiFlush();
    uint32_t* p = scratch.Pixels();
    for (size_t i = 0, n = scratch.Count(); i < n; ++i) p[i] = (p[i] >> 24) != 0 ? 0u : (p[i] | 0xFF000000u);
    BLENDFUNCTION blend{AC_SRC_OVER, 0, a, AC_SRC_ALPHA};
    AlphaBlend(dc_.get(), x, y, scratch.width, scratch.height, scratch.dc.get(), 0, 0, scratch.width,
               scratch.height, blend);
  }

  Win32Bitmap* target_;
  DcHandle dc_;
  BitmapHandle own_;
  HGDIOBJ old_ = nullptr;
  bool layered_ = false;
  Scratch onePixel_;
  std::vector<RegionHandle> saved_;
};

}  // namespace

std::unique_ptr<Bitmap> CreateBitmap(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
      static_cast<int64_t>(width) * height > kMaxBitmapPixels) {
    return nullptr;
  }
  uint8_t* bits = nullptr;
  BitmapHandle dib = CreateDib(width, height, &bits);
  if (!dib) return nullptr;
  return std::make_unique<Win32Bitmap>(std::move(dib), bits, width, height);
}

std::unique_ptr<Canvas> CreateCanvas(Bitmap& target) {
  auto* dib = dynamic_cast<Win32Bitmap*>(&target);
  if (dib == nullptr) return nullptr;
  auto canvas = std::make_unique<Win32Canvas>(dib);
  if (!canvas->Init()) return nullptr;
  return canvas;
}

std::unique_ptr<Canvas> CreateMeasureCanvas() {
  auto canvas = std::make_unique<Win32Canvas>(nullptr);
  if (!canvas->Init()) return nullptr;
  return canvas;
}

std::unique_ptr<Font> CreateFontObject(const FontDesc& desc) {
  LOGFONTW lf = DefaultGuiLogFont();
  std::wmemset(lf.lfFaceName, 0, LF_FACESIZE);
  std::wcsncpy(lf.lfFaceName, desc.face.c_str(), LF_FACESIZE - 1);
  lf.lfHeight = -desc.size;
  lf.lfCharSet = DEFAULT_CHARSET;
  if (desc.bold) lf.lfWeight += FW_BOLD;
  lf.lfUnderline = desc.underline ? TRUE : FALSE;
  lf.lfItalic = desc.italic ? TRUE : FALSE;
  lf.lfStrikeOut = desc.strikeout ? TRUE : FALSE;
  FontHandle font(CreateFontIndirectW(&lf), GdiObjectCloser{});
  if (!font) return nullptr;
  HFONT handle = font.get();
  return std::make_unique<Win32Font>(desc, handle, std::move(font));
}

std::unique_ptr<Font> CreateDefaultGuiFont() {
  LOGFONTW lf = DefaultGuiLogFont();
  FontDesc desc;
  desc.face = lf.lfFaceName;
  desc.size = lf.lfHeight < 0 ? -lf.lfHeight : lf.lfHeight;
  desc.bold = lf.lfWeight >= FW_BOLD;
  desc.underline = lf.lfUnderline != 0;
  desc.italic = lf.lfItalic != 0;
  desc.strikeout = lf.lfStrikeOut != 0;
  // The stock font is the system's; nothing to delete.
  return std::make_unique<Win32Font>(desc, static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), FontHandle());
}

}  // namespace rundix
