// The library's drawing routines. Every one draws on a canvas (the library's device context)
// and honours its clip; colours are ARGB (alpha 0 draws nothing).
#pragma once

#include <string>

#include "ui/KuTypes.h"

namespace KUM {

class KuRenderUtils {
 public:
  // Fills the rectangle: opaque at alpha FF, blended below it.
  static void DrawColor(Canvas& hdc, const RECT& rect, ARGB colour, bool layered = false);
  // Outlines drawn inside the rectangle.
  static void DrawRect(Canvas& hdc, const RECT& rect, int size, ARGB colour);
  static void DrawRoundRect(Canvas& hdc, const RECT& rect, int size, int cx, int cy, ARGB colour);

  // The nine-grid blit of `source` of the bitmap onto `dest`: the corners keep their size,
  // the edges stretch along one axis and the middle (unless `hole`) along both. Each cell is
  // drawn only where it meets `paint`. Opaque when the image has no alpha and fade is 255,
  // blended otherwise.
  static void DrawImage(Canvas& hdc, const Bitmap& bitmap, const RECT& dest, const RECT& paint,
                        const RECT& source, const RECT& corners, bool alpha, BYTE fade,
                        bool hole);

  // Parses `descriptor` and then `modify` (whose items override), loads the image and draws
  // it into `item` limited to `paint`. False when the image cannot be loaded. Without a canvas
  // only tests that the image loads.
  static bool DrawImageString(Canvas* hdc, const RECT& item, const RECT& paint,
                              const std::wstring& descriptor, const std::wstring& modify = {});

  // Text in the manager's font `fontId` (empty or unknown: the default font) with the DT_
  // style; word-break text goes through DrawMultLineText. Alpha below FF blends.
  static void DrawTextW(Canvas& hdc, KuPaintManager* manager, const RECT& rect,
                        const std::wstring& text, ARGB colour, const std::wstring& fontId,
                        UINT style, int rowHeight = 0, bool layered = false);
  // Breaks the text into lines at CR/LF runs and each line into rows that fit the width,
  // placing rows one below the other (measured height + row height). With DT_CALCRECT only
  // the size is computed into `rect` (a width of 0 counts as 9999).
  static void DrawMultLineText(Canvas& hdc, const Font& font, RECT& rect, UINT style,
                               int rowHeight, const std::wstring& text, ARGB colour);
  // Marked-up text; drawn as plain text.
  static void DrawHtmlText(Canvas& hdc, KuPaintManager* manager, const RECT& rect,
                           const std::wstring& text, ARGB colour, const std::wstring& fontId,
                           UINT style);
  // The rectangle DrawText with DT_CALCRECT gives for the text in that font (on the
  // manager's measuring canvas); left and top are 0.
  static RECT GetTextSize(KuPaintManager* manager, const std::wstring& text,
                          const std::wstring& fontId, UINT style = DT_SINGLELINE);
  static void DrawGradient(Canvas& hdc, const RECT& rect, ARGB first, ARGB second,
                           bool vertical);
};

// A clip for the duration of a scope: GenerateClip intersects the canvas's clip with a
// rectangle (or a round rectangle, CreateRoundRectRgn(l, t, r + 1, b + 1, cx, cy)); the
// destructor restores the clip from before.
class KuRenderClip {
 public:
  KuRenderClip() = default;
  ~KuRenderClip();
  KuRenderClip(const KuRenderClip&) = delete;
  KuRenderClip& operator=(const KuRenderClip&) = delete;

  static void GenerateClip(Canvas& hdc, const RECT& rect, KuRenderClip& clip);
  static void GenerateRoundClip(Canvas& hdc, const RECT& rect, int cx, int cy,
                                KuRenderClip& clip);
  // Between Begin and End the clip is the one from before this clip was made (a float child
  // of a container paints beyond the container's inner rectangle); End puts this one back.
  void UseOldClipBegin();
  void UseOldClipEnd();

 private:
  Canvas* canvas_ = nullptr;
  RECT rect_{0, 0, 0, 0};
  bool round_ = false;
  SIZE corner_{0, 0};
  bool active_ = false;
};

}  // namespace KUM
