// The raster seam: 32-bit premultiplied BGRA bitmaps, fonts and a canvas that draws on a
// bitmap. Windows: DIB sections, GDI and MSIMG32. Linux: cairo image surfaces with FreeType
// and fontconfig. Both back ends agree on geometry pixel for pixel (fills, blits, outlines,
// clips); text is each system's own rendering of the same layout rules.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/WindowTypes.h"

namespace rundix {

// A top-down 32-bit bitmap: B, G, R, A bytes per pixel, premultiplied by alpha; rows are
// Stride() bytes apart (4 × width on both back ends). A DIB section on Windows, a cairo
// ARGB32 image surface on Linux.
class Bitmap {
 public:
  virtual ~Bitmap() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual int Stride() const = 0;
  // Direct access to the pixels: drawing done so far is in them; call UnlockPixels after
  // writing so the next canvas drawing sees the change.
  virtual uint8_t* LockPixels() = 0;
  virtual void UnlockPixels() = 0;
  // Read-only access (flushes pending drawing).
  virtual const uint8_t* ReadPixels() const = 0;
};

// Sizes beyond these are refused by CreateBitmap (a 32-bit process has no room for them).
constexpr int kMaxBitmapSide = 16384;
constexpr int64_t kMaxBitmapPixels = 64ll * 1024 * 1024;
// Outline pens wider than this are drawn this wide, and corner ellipses larger than this
// are made this large (no skin needs more; it keeps absurd input cheap on both back ends).
constexpr int kMaxPenWidth = 255;
constexpr int kMaxCorner = 2 * kMaxBitmapSide;
// DrawBitmap draws nothing onto a destination wider or taller than this.
constexpr int64_t kMaxStretch = int64_t{1} << 30;
inline bool ReasonableSpan(const RECT& r) {
  return int64_t{r.right} - r.left <= kMaxStretch && int64_t{r.bottom} - r.top <= kMaxStretch;
}

// A new bitmap of transparent black pixels; null for an empty or absurd size or when memory
// runs out.
std::unique_ptr<Bitmap> CreateBitmap(int width, int height);

// The TEXTMETRIC fields the library reads.
struct FontMetrics {
  LONG tmHeight = 0;
  LONG tmAscent = 0;
  LONG tmDescent = 0;
  LONG tmInternalLeading = 0;
  LONG tmExternalLeading = 0;
  LONG tmAveCharWidth = 0;
  LONG tmMaxCharWidth = 0;
};

// A font as the skin describes it: a face and a character height in pixels (the LOGFONT
// height is its negative), over the system's default GUI font.
struct FontDesc {
  std::wstring face;
  int size = 12;
  bool bold = false;
  bool underline = false;
  bool italic = false;
  bool strikeout = false;
};

class Font {
 public:
  virtual ~Font() = default;
  virtual const FontDesc& Desc() const = 0;
  virtual const FontMetrics& Metrics() const = 0;
  // What WM_SETFONT takes for this font (an HFONT on Windows, the Font object's own address
  // on Linux).
  virtual WPARAM NativeHandle() const = 0;
};

// CreateFontIndirectW over the default GUI font's LOGFONT with the requested face, height,
// weight (+700 for bold), underline, italic, strike-out and DEFAULT_CHARSET. Null on failure.
std::unique_ptr<Font> CreateFontObject(const FontDesc& desc);
// The system's default GUI font itself.
std::unique_ptr<Font> CreateDefaultGuiFont();

// Draws on one bitmap. Coordinates are the bitmap's pixels; every drawing is limited to the
// current clip. Colours are ARGB: alpha 0 draws nothing, alpha FF is opaque, anything between
// blends source-over with that constant alpha.
class Canvas {
 public:
  virtual ~Canvas() = default;

  // A layered target keeps meaningful alpha: opaque fills, outlines and text then take the
  // blending path too, so they write alpha FF instead of whatever the system leaves there.
  virtual void SetLayered(bool layered) = 0;

  virtual void FillRect(const RECT& rect, ARGB colour) = 0;
  // Outlines drawn inside the rectangle (PS_INSIDEFRAME) with a pen `width` pixels wide
  // (1 to kMaxPenWidth; others are brought into that range).
  virtual void FrameRect(const RECT& rect, int width, ARGB colour) = 0;
  // RoundRect with a cx × cy corner ellipse, inside the rectangle.
  virtual void FrameRoundRect(const RECT& rect, int width, int cx, int cy, ARGB colour) = 0;

  // Stretches `source` of the bitmap onto `dest` with nearest-neighbour sampling
  // (COLORONCOLOR). With alpha 255 and no per-pixel alpha the pixels are copied (SRCCOPY);
  // otherwise they are blended source-over with the constant alpha and, when asked, the
  // bitmap's own per-pixel alpha (AlphaBlend). Empty or inverted rectangles, and
  // destinations beyond kMaxStretch, draw nothing; source rectangles are limited to the
  // bitmap.
  virtual void DrawBitmap(const Bitmap& bitmap, const RECT& dest, const RECT& source,
                          BYTE alpha, bool perPixelAlpha) = 0;

  // DrawTextW with the DT_ flags the library uses: DT_SINGLELINE, DT_CENTER, DT_VCENTER,
  // DT_RIGHT, DT_BOTTOM, DT_WORDBREAK, DT_END_ELLIPSIS, DT_PATH_ELLIPSIS, DT_NOPREFIX and
  // DT_CALCRECT (which only computes the rectangle, as DrawTextW does). Returns the height of
  // the text, 0 when nothing was drawn or measured.
  virtual int DrawTextW(const Font& font, const std::wstring& text, RECT* rect, UINT format,
                       ARGB colour) = 0;

  // Each push intersects the current clip with the shape; PopClip restores the clip before
  // the matching push. The round shape is CreateRoundRectRgn(l, t, r + 1, b + 1, cx, cy).
  virtual void PushClipRect(const RECT& rect) = 0;
  virtual void PushClipRoundRect(const RECT& rect, int cx, int cy) = 0;
  virtual void PopClip() = 0;
  // The bounding box of the current clip (GetClipBox).
  virtual RECT GetClipBox() const = 0;
};

// A canvas drawing on `target`, which must outlive it. Null when none can be made.
std::unique_ptr<Canvas> CreateCanvas(Bitmap& target);
// A canvas for measuring text (DT_CALCRECT) that draws nowhere.
std::unique_ptr<Canvas> CreateMeasureCanvas();

// Writes a bitmap as a PNG file with straight (not premultiplied) alpha; `path` is UTF-8.
// False on failure.
bool WritePng(const Bitmap& bitmap, const std::string& path);

// Which source pixel (0 .. sourceLength - 1) lands on destination pixel `destIndex` when
// DrawBitmap stretches `sourceLength` pixels onto `destLength` along one axis: GDI's
// nearest-neighbour rule, which both back ends follow. Enlarging takes the source pixel under
// the destination pixel's centre (a centre on a boundary takes the left one); shrinking
// groups the source pixels by rounding and keeps the first of each group down the rows and
// the last across a row. `copy` is the opaque path (StretchBlt), which onto one column takes
// the second-last source pixel where the blended path (AlphaBlend) takes the last.
int StretchSourceIndex(int destIndex, int sourceLength, int destLength, bool horizontal, bool copy);

}  // namespace rundix
