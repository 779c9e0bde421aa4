#include "ui/KuRenderUtils.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "ui/KuImageString.h"
#include "ui/KuLoadResource.h"

namespace KUM {
namespace {

// A resource id as the descriptor gives it; 0 for anything that cannot be one.
UINT ResourceId(const std::wstring& text) {
  wchar_t* end = nullptr;
  long v = std::wcstol(text.c_str(), &end, 10);
  return v > 0 && v <= 0xFFFF ? static_cast<UINT>(v) : 0;
}

DWORD PixelAt(const uint8_t* pixels, int stride, int x, int y) {
  DWORD v;
  std::memcpy(&v, pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4, 4);
  return v;
}

// Stored B, G, R, A bytes as 0xAARRGGBB.
DWORD ArgbAt(const uint8_t* pixels, int stride, int x, int y) {
  const uint8_t* p = pixels + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 4;
  return (DWORD(p[3]) << 24) | (DWORD(p[2]) << 16) | (DWORD(p[1]) << 8) | p[0];
}

// The source part of an image mirrored, rotated and cut by a region image, as a bitmap of its
// own; drawn whole and always blended. Null when nothing asks for it or it cannot be made.
std::unique_ptr<Bitmap> TransformedCopy(const KuImageInfo& image, const RECT& source,
                                        const KuImageString& descriptor) {
  KuImageInfo* region = nullptr;
  if (!descriptor.rgnImage.empty()) {
    KuLoadResource& loader = KuLoadResource::Instance();
    region = descriptor.rgnRestype.empty()
                 ? loader.LoadImageW(descriptor.rgnImage, 0, false)
                 : loader.LoadImageW(ResourceId(descriptor.rgnImage), 0, descriptor.rgnRestype);
  }
  if (!descriptor.reverse && descriptor.rotate == 0 && !region) return nullptr;
  const int w = KuWidth(source), h = KuHeight(source);
  std::unique_ptr<Bitmap> copy = rundix::CreateBitmap(w, h);
  if (!copy) return nullptr;
  const uint8_t* in = image.bitmap->ReadPixels();
  const int inStride = image.bitmap->Stride();
  uint8_t* out = copy->LockPixels();
  if (!in || !out) return nullptr;
  const int outStride = copy->Stride();
  const double radians = descriptor.rotate * 3.14159265358979323846 / 180.0;
  const double c = std::cos(radians), s = std::sin(radians);
  const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0;
  const uint8_t* rgn = region ? region->bitmap->ReadPixels() : nullptr;
  const int rgnStride = region ? region->bitmap->Stride() : 0;
  const DWORD rgnMask = descriptor.hasRgnMask ? descriptor.rgnMask : 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      DWORD value = 0;
      // Inverse mapping: which source pixel lands here.
      double sx = x, sy = y;
      if (descriptor.rotate != 0) {
        sx = c * (x - cx) + s * (y - cy) + cx;
        sy = -s * (x - cx) + c * (y - cy) + cy;
      }
      int ix = static_cast<int>(std::floor(sx + 0.5));
      int iy = static_cast<int>(std::floor(sy + 0.5));
      if (descriptor.reverse) ix = w - 1 - ix;
      if (ix >= 0 && ix < w && iy >= 0 && iy < h) {
        value = PixelAt(in, inStride, source.left + ix, source.top + iy);
      }
      if (rgn && region->width > 0 && region->height > 0) {
        int rx = static_cast<int>(static_cast<int64_t>(x) * region->width / w);
        int ry = static_cast<int>(static_cast<int64_t>(y) * region->height / h);
        if (ArgbAt(rgn, rgnStride, rx, ry) == rgnMask) value = 0;
      }
      std::memcpy(out + static_cast<size_t>(y) * outStride + static_cast<size_t>(x) * 4, &value, 4);
    }
  }
  copy->UnlockPixels();
  return copy;
}

}  // namespace

void KuRenderUtils::DrawColor(Canvas& hdc, const RECT& rect, ARGB colour, bool layered) {
  const BYTE alpha = static_cast<BYTE>(colour >> 24);
  if (alpha == 0 || KuIsRectEmpty(rect)) return;
  if (alpha == 0xFF && !layered) {
    hdc.FillRect(rect, colour);
    return;
  }
  // One opaque pixel of the colour stretched over the rectangle with the colour's alpha as
  // the constant alpha: a layered target gets real alpha, and partial alpha blends.
  std::unique_ptr<Bitmap> pixel = rundix::CreateBitmap(1, 1);
  if (!pixel) return;
  uint8_t* p = pixel->LockPixels();
  if (!p) return;
  p[0] = static_cast<uint8_t>(colour);
  p[1] = static_cast<uint8_t>(colour >> 8);
  p[2] = static_cast<uint8_t>(colour >> 16);
  p[3] = 0xFF;
  pixel->UnlockPixels();
  DrawImage(hdc, *pixel, rect, rect, RECT{0, 0, 1, 1}, RECT{0, 0, 0, 0}, false, alpha, false);
}

void KuRenderUtils::DrawRect(Canvas& hdc, const RECT& rect, int size, ARGB colour) {
  if ((colour >> 24) == 0 || KuIsRectEmpty(rect)) return;
  // A pen of width 0 draws one pixel, as GDI's does.
  hdc.FrameRect(rect, size > 0 ? size : 1, colour);
}

void KuRenderUtils::DrawRoundRect(Canvas& hdc, const RECT& rect, int size, int cx, int cy,
                                  ARGB colour) {
  if ((colour >> 24) == 0 || KuIsRectEmpty(rect)) return;
  hdc.FrameRoundRect(rect, size > 0 ? size : 1, cx, cy, colour);
}

void KuRenderUtils::DrawImage(Canvas& hdc, const Bitmap& bitmap, const RECT& dest,
                              const RECT& paint, const RECT& source, const RECT& corners,
                              bool alpha, BYTE fade, bool hole) {
  if (fade == 0) return;
  RECT drawn;
  if (!KuIntersectRect(&drawn, dest, paint)) return;
  RECT src{std::max<LONG>(source.left, 0), std::max<LONG>(source.top, 0),
           std::min<LONG>(source.right, bitmap.Width()),
           std::min<LONG>(source.bottom, bitmap.Height())};
  if (KuIsRectEmpty(src)) return;
  const RECT c{std::max<LONG>(corners.left, 0), std::max<LONG>(corners.top, 0),
               std::max<LONG>(corners.right, 0), std::max<LONG>(corners.bottom, 0)};
  const bool noCorners = !c.left && !c.top && !c.right && !c.bottom;

  if (!alpha && fade == 255 && noCorners && KuWidth(dest) == KuWidth(src) &&
      KuHeight(dest) == KuHeight(src)) {
    // One to one: copy only the part inside the paint rectangle.
    const RECT part{src.left + drawn.left - dest.left, src.top + drawn.top - dest.top,
                    src.left + drawn.right - dest.left, src.top + drawn.bottom - dest.top};
    hdc.DrawBitmap(bitmap, drawn, part, 255, false);
    return;
  }

  // Stretched cells are drawn whole; the clip keeps them inside the paint rectangle.
  const bool clip = !KuEqualRect(drawn, dest);
  if (clip) hdc.PushClipRect(paint);
  auto cell = [&](const RECT& d, const RECT& s) {
    RECT meet;
    if (KuIsRectEmpty(s) || !KuIntersectRect(&meet, d, paint)) return;
    hdc.DrawBitmap(bitmap, d, s, fade, alpha);
  };
  if (!hole) {
    cell(RECT{dest.left + c.left, dest.top + c.top, dest.right - c.right, dest.bottom - c.bottom},
         RECT{src.left + c.left, src.top + c.top, src.right - c.right, src.bottom - c.bottom});
  }
  if (c.left && c.top) {
    cell(RECT{dest.left, dest.top, dest.left + c.left, dest.top + c.top},
         RECT{src.left, src.top, src.left + c.left, src.top + c.top});
  }
  if (c.top) {
    cell(RECT{dest.left + c.left, dest.top, dest.right - c.right, dest.top + c.top},
         RECT{src.left + c.left, src.top, src.right - c.right, src.top + c.top});
  }
  if (c.right && c.top) {
    cell(RECT{dest.right - c.right, dest.top, dest.right, dest.top + c.top},
         RECT{src.right - c.right, src.top, src.right, src.top + c.top});
  }
  if (c.left) {
    cell(RECT{dest.left, dest.top + c.top, dest.left + c.left, dest.bottom - c.bottom},
         RECT{src.left, src.top + c.top, src.left + c.left, src.bottom - c.bottom});
  }
  if (c.right) {
    cell(RECT{dest.right - c.right, dest.top + c.top, dest.right, dest.bottom - c.bottom},
         RECT{src.right - c.right, src.top + c.top, src.right, src.bottom - c.bottom});
  }
  if (c.left && c.bottom) {
    cell(RECT{dest.left, dest.bottom - c.bottom, dest.left + c.left, dest.bottom},
         RECT{src.left, src.bottom - c.bottom, src.left + c.left, src.bottom});
  }
  if (c.bottom) {
    cell(RECT{dest.left + c.left, dest.bottom - c.bottom, dest.right - c.right, dest.bottom},
         RECT{src.left + c.left, src.bottom - c.bottom, src.right - c.right, src.bottom});
  }
  if (c.right && c.bottom) {
    cell(RECT{dest.right - c.right, dest.bottom - c.bottom, dest.right, dest.bottom},
         RECT{src.right - c.right, src.bottom - c.bottom, src.right, src.bottom});
  }
  if (clip) hdc.PopClip();
}

bool KuRenderUtils::DrawImageString(Canvas* hdc, const RECT& item, const RECT& paint,
                                    const std::wstring& descriptor, const std::wstring& modify) {
  KuImageString image;
  image.Parse(descriptor);
  image.Parse(modify);

  KuLoadResource& loader = KuLoadResource::Instance();
  const DWORD mask = image.hasMask ? image.mask : 0;
  const std::wstring& resource = image.res.empty() ? image.name : image.res;
  const std::wstring& file = image.file.empty() ? image.name : image.file;
  KuImageInfo* info = nullptr;
  if (!image.restype.empty()) {
    const UINT id = ResourceId(resource);
    if (id) info = loader.LoadImageW(id, mask, image.restype);
  } else {
    info = loader.LoadImageW(file, mask, image.encrypt);
  }
  if (!info && image.icon) {
    if (!image.restype.empty() || !image.res.empty()) {
      const UINT id = ResourceId(resource);
      if (id) info = loader.LoadIconImage(id, image.iconSize);
    } else {
      info = loader.LoadIconImage(file, image.iconSize);
    }
  }
  if (!info || !info->bitmap) return false;
  if (!hdc) return true;

  const RECT dest = image.DestIn(item, info->width, info->height);
  RECT source = image.hasSource ? image.source : RECT{0, 0, 0, 0};
  if (KuIsRectEmpty(source)) source = RECT{0, 0, info->width, info->height};
  source = RECT{std::max<LONG>(source.left, 0), std::max<LONG>(source.top, 0),
                std::min<LONG>(source.right, info->width), std::min<LONG>(source.bottom, info->height)};
  if (KuIsRectEmpty(source)) return true;
  // Only for this drawing: the cached image keeps its alpha for other descriptors.
  bool alpha = info->alpha;
  BYTE fade = image.fade;
  if (image.alphaClose) {
    alpha = false;
    fade = 255;
  }

  RECT inItem, painted;
  if (!KuIntersectRect(&inItem, dest, item)) return true;
  if (!KuIntersectRect(&painted, inItem, paint)) return true;

  KuRenderClip clip;
  if (image.hasRound) KuRenderClip::GenerateRoundClip(*hdc, dest, image.round.cx, image.round.cy, clip);
  if (std::unique_ptr<Bitmap> copy = TransformedCopy(*info, source, image)) {
    DrawImage(*hdc, *copy, dest, painted, RECT{0, 0, copy->Width(), copy->Height()},
              RECT{0, 0, 0, 0}, true, fade, false);
  } else {
    DrawImage(*hdc, *info->bitmap, dest, painted, source, image.corner, alpha, fade, image.hole);
  }
  return true;
}

void KuRenderUtils::DrawMultLineText(Canvas& hdc, const Font& font, RECT& rect, UINT style,
                                     int rowHeight, const std::wstring& text, ARGB colour) {
  const bool calcOnly = (style & DT_CALCRECT) != 0;
  LONG width = KuWidth(rect);
  if (calcOnly && width <= 0) width = 9999;
  const UINT measureStyle = DT_CALCRECT | DT_SINGLELINE | (style & DT_NOPREFIX);
  auto measure = [&](const std::wstring& s) {
    RECT r{0, 0, 9999, 9999};
    hdc.DrawTextW(font, s, &r, measureStyle, colour);
    return r;
  };

  struct Row {
    std::wstring text;
    LONG width;
    LONG height;
  };
  std::vector<Row> rows;
  size_t pos = 0;
  while (pos < text.size()) {
    // A run of CR and LF is one break.
    size_t end = text.find_first_of(L"\r\n", pos);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(pos, end - pos);
    pos = text.find_first_not_of(L"\r\n", end);
    if (pos == std::wstring::npos) pos = text.size();
    // Each row: the longest prefix that fits the width, at least one character.
    size_t start = 0;
    while (start < line.size()) {
      size_t count = 1;
      RECT fit = measure(line.substr(start, 1));
      while (start + count < line.size()) {
        RECT next = measure(line.substr(start, count + 1));
        if (KuWidth(next) > width) break;
        fit = next;
        ++count;
      }
      rows.push_back(Row{line.substr(start, count), KuWidth(fit), KuHeight(fit)});
      start += count;
    }
  }

  LONG total = 0, widest = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    total += rows[i].height + (i + 1 < rows.size() ? rowHeight : 0);
    widest = std::max(widest, rows[i].width);
  }
  if (calcOnly) {
    rect.right = rect.left + widest;
    rect.bottom = rect.top + total;
    return;
  }
  LONG y = rect.top;
  if (style & DT_VCENTER) y = rect.top + (KuHeight(rect) - total) / 2;
  const UINT rowStyle = (style & ~(DT_VCENTER | DT_BOTTOM | DT_WORDBREAK | DT_CALCRECT)) | DT_SINGLELINE;
  for (const Row& row : rows) {
    if (y >= rect.bottom) break;
    RECT r{rect.left, y, rect.right, y + row.height};
    hdc.DrawTextW(font, row.text, &r, rowStyle, colour);
    y += row.height + rowHeight;
  }
}

void KuRenderUtils::DrawGradient(Canvas& hdc, const RECT& rect, ARGB first, ARGB second,
                                 bool vertical) {
  if (KuIsRectEmpty(rect) || ((first >> 24) == 0 && (second >> 24) == 0)) return;
  // One row (or column) of blended colours, stretched across the other direction.
  const int steps = std::min<LONG>(vertical ? KuHeight(rect) : KuWidth(rect), rundix::kMaxBitmapSide);
  std::unique_ptr<Bitmap> strip = vertical ? rundix::CreateBitmap(1, steps)
                                           : rundix::CreateBitmap(steps, 1);
  if (!strip) return;
  uint8_t* p = strip->LockPixels();
  if (!p) return;
  const int stride = strip->Stride();
  bool alpha = false;
  for (int i = 0; i < steps; ++i) {
    const int t = steps > 1 ? i * 255 / (steps - 1) : 0;
    auto mix = [&](int shift) {
      const int a = (first >> shift) & 0xFF, b = (second >> shift) & 0xFF;
      return static_cast<unsigned>(a + (b - a) * t / 255);
    };
    const unsigned a = mix(24);
    if (a < 255) alpha = true;
    uint8_t* out = vertical ? p + static_cast<size_t>(i) * stride : p + static_cast<size_t>(i) * 4;
    out[0] = static_cast<uint8_t>(mix(0) * a / 255);
    out[1] = static_cast<uint8_t>(mix(8) * a / 255);
    out[2] = static_cast<uint8_t>(mix(16) * a / 255);
    out[3] = static_cast<uint8_t>(a);
  }
  strip->UnlockPixels();
  hdc.DrawBitmap(*strip, rect, RECT{0, 0, strip->Width(), strip->Height()}, 255, alpha);
}

KuRenderClip::~KuRenderClip() {
  if (active_ && canvas_) canvas_->PopClip();
}

void KuRenderClip::GenerateClip(Canvas& hdc, const RECT& rect, KuRenderClip& clip) {
  if (clip.active_ && clip.canvas_) clip.canvas_->PopClip();
  clip.canvas_ = &hdc;
  clip.rect_ = rect;
  clip.round_ = false;
  clip.corner_ = SIZE{0, 0};
  hdc.PushClipRect(rect);
  clip.active_ = true;
}

void KuRenderClip::GenerateRoundClip(Canvas& hdc, const RECT& rect, int cx, int cy,
                                     KuRenderClip& clip) {
  if (clip.active_ && clip.canvas_) clip.canvas_->PopClip();
  clip.canvas_ = &hdc;
  clip.rect_ = rect;
  clip.round_ = true;
  clip.corner_ = SIZE{cx, cy};
  hdc.PushClipRoundRect(rect, cx, cy);
  clip.active_ = true;
}

void KuRenderClip::UseOldClipBegin() {
  if (!active_ || !canvas_) return;
  canvas_->PopClip();
  active_ = false;
}

void KuRenderClip::UseOldClipEnd() {
  if (active_ || !canvas_) return;
  if (round_) {
    canvas_->PushClipRoundRect(rect_, corner_.cx, corner_.cy);
  } else {
    canvas_->PushClipRect(rect_);
  }
  active_ = true;
}

}  // namespace KUM
