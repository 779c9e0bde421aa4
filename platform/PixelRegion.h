// The pixel sets of GDI's rectangle and round-rectangle regions, for the back ends that have
// no GDI (the Linux raster's clips and outlines, the headless window system's window
// regions). Windows uses the real regions; tests hold both to the same pixels.
#pragma once

#include <vector>

#include "platform/WindowTypes.h"

namespace rundix {

class PixelRegion {
 public:
  PixelRegion() = default;

  // CreateRectRgn(l, t, r, b): right and bottom are exclusive; an inverted rectangle is
  // normalised, an empty one gives an empty region.
  static PixelRegion Rect(const RECT& rect);
  // CreateRoundRectRgn(l, t, r, b, cx, cy): GDI leaves out the last column and row as well
  // (the pixels are l..r-2 and t..b-2, so callers meaning a rectangle's own pixels pass
  // r + 1, b + 1); corner ellipse cx × cy, each limited to that smaller size; below 2 the
  // corners are square.
  static PixelRegion RoundRect(const RECT& rect, int cx, int cy);

  // The pixels that Rectangle (cx = cy = 0) or RoundRect(cx, cy) touch with a PS_INSIDEFRAME
  // pen `width` pixels wide and the null brush: the outline drawn inside the rectangle
  // (right and bottom exclusive). Outlines are pixel sets, like regions, so a back end
  // without GDI paints them span by span. With `limit`, only the pixels inside it are made
  // (the outline is still the whole rectangle's): a huge outline costs what shows of it.
  static PixelRegion Frame(const RECT& rect, int width, int cx = 0, int cy = 0, const RECT* limit = nullptr);

  PixelRegion Union(const PixelRegion& other) const;
  PixelRegion Intersect(const PixelRegion& other) const;
  PixelRegion Subtract(const PixelRegion& other) const;

  bool Empty() const { return rows_.empty(); }
  bool Contains(int x, int y) const;
  // The smallest rectangle holding every pixel (0,0,0,0 when empty).
  RECT Bounds() const;
  // The region as non-overlapping rectangles, top to bottom, left to right (one per run of
  // rows with the same spans).
  std::vector<RECT> Rects() const;

  // One row's spans, [left, right) each, sorted and disjoint.
  struct Row {
    int y = 0;
    std::vector<std::pair<int, int>> spans;
  };
  const std::vector<Row>& Rows() const { return rows_; }
  // A region from rows in any order; spans are sorted and joined, empty ones dropped.
  static PixelRegion FromRows(std::vector<Row> rows);

 private:
  std::vector<Row> rows_;  // only non-empty rows, ascending y
};

// A window's shape as SetWindowRgn takes it: a round rectangle (CreateRoundRectRgn geometry;
// cx = cy = 0 for a plain rectangle) joined with extra rectangles (CombineRgn RGN_OR).
struct WindowRegion {
  RECT roundRect{0, 0, 0, 0};
  int cx = 0;
  int cy = 0;
  std::vector<RECT> extraRects;

  PixelRegion Pixels() const;
};

}  // namespace rundix
