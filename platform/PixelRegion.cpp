#include "platform/PixelRegion.h"

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <climits>
#include <cstdlib>

namespace rundix {
namespace {

using Spans = std::vector<std::pair<int, int>>;

// Combines two sorted, disjoint span lists of one row. `op` says which pixels stay:
// 0 union, 1 intersection, 2 difference (a minus b).
Spans CombineSpans(const Spans& a, const Spans& b, int op) {
  // Sweep over the edges of both lists; coverage counts tell where each list is inside.
  std::vector<std::pair<int, int>> edges;  // x, +1/-1 for a (bit 0) and b (bit 1)
  edges.reserve(2 * (a.size() + b.size()));
  for (const auto& s : a) {
    edges.emplace_back(s.first, 1);
    edges.emplace_back(s.second, -1);
  }
  for (const auto& s : b) {
    edges.emplace_back(s.first, 2);
    edges.emplace_back(s.second, -2);
  }
  std::sort(edges.begin(), edges.end());
  Spans out;
  bool inA = false, inB = false, was = false;
  int start = 0;
  for (size_t i = 0; i < edges.size();) {
    int x = edges[i].first;
    for (; i < edges.size() && edges[i].first == x; ++i) {
      switch (edges[i].second) {
        case 1: inA = true; break;
        case -1: inA = false; break;
        case 2: inB = true; break;
        default: inB = false; break;
      }
    }
    bool now = op == 0 ? (inA || inB) : op == 1 ? (inA && inB) : (inA && !inB);
    if (now && !was) start = x;
    if (!now && was && x > start) {
      if (!out.empty() && out.back().second == start) out.back().second = x;
      else out.emplace_back(start, x);
    }
    was = now;
  }
  return out;
}

PixelRegion Combine(const PixelRegion& a, const PixelRegion& b, int op) {
  std::vector<PixelRegion::Row> rows;
  const auto& ra = a.Rows();
  const auto& rb = b.Rows();
  size_t i = 0, j = 0;
  static const Spans kNone;
  while (i < ra.size() || j < rb.size()) {
    int y;
    const Spans* sa = &kNone;
    const Spans* sb = &kNone;
    if (j >= rb.size() || (i < ra.size() && ra[i].y < rb[j].y)) {
      y = ra[i].y;
      sa = &ra[i++].spans;
    } else if (i >= ra.size() || rb[j].y < ra[i].y) {
      y = rb[j].y;
      sb = &rb[j++].spans;
    } else {
      y = ra[i].y;
      sa = &ra[i++].spans;
      sb = &rb[j++].spans;
    }
    Spans spans;
    if (op == 1 && (sa->empty() || sb->empty())) continue;
    if (sb->empty()) spans = *sa;
    else if (sa->empty()) spans = op == 0 ? *sb : Spans();
    else spans = CombineSpans(*sa, *sb, op);
    if (!spans.empty()) rows.push_back({y, std::move(spans)});
  }
  return PixelRegion::FromRows(std::move(rows));
}

}  // namespace

PixelRegion PixelRegion::FromRows(std::vector<Row> rows) {
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.y < b.y; });
  PixelRegion region;
  for (auto& row : rows) {
    // Sort and join each row's spans; rows of the same y are joined too.
    Spans spans;
    std::sort(row.spans.begin(), row.spans.end());
    for (const auto& s : row.spans) {
      if (s.first >= s.second) continue;
      if (!spans.empty() && s.first <= spans.back().second) spans.back().second = std::max(spans.back().second, s.second);
      else spans.push_back(s);
    }
    if (spans.empty()) continue;
    if (!region.rows_.empty() && region.rows_.back().y == row.y) {
      region.rows_.back().spans = CombineSpans(region.rows_.back().spans, spans, 0);
    } else {
      region.rows_.push_back({row.y, std::move(spans)});
    }
  }
  return region;
}
PixelRegion PixelRegion::Rect(const RECT& rect) {
  int left = std::min(rect.left, rect.right), right = std::max(rect.left, rect.right);
  int top = std::min(rect.top, rect.bottom), bottom = std::max(rect.top, rect.bottom);
  std::vector<Row> rows;
  if (left == right || top == bottom) return PixelRegion();
  rows.reserve(static_cast<size_t>(bottom - top));
  for (int y = top; y < bottom; ++y) rows.push_back({y, {{left, right}}});
  return PixelRegion::FromRows(std::move(rows));
}

// GDI's round-rectangle region, pixel for pixel:
// - the right and bottom edges are left out (the region of (l, t, r, b) covers l..r-2 and
//   t..b-2), which is why callers that mean a rectangle's own pixels pass r + 1 and b + 1;
//   a zero-width rectangle therefore yields the column left of it;
// - the corner ellipse is limited to the shrunk rectangle; below 2 in either direction the
//   region is the shrunk rectangle;
// - the corner rows come from a midpoint ellipse of (cx - 1) × (cy - 1) walked from its
//   middle row outwards: each row's span is inset by the ellipse's x at that row, the lower
//   half is walked and the upper half mirrors it, and the rows between the two halves are
//   full width.
PixelRegion PixelRegion::RoundRect(const RECT& rect, int cx, int cy) {
  int left = std::min(rect.left, rect.right), right = std::max(rect.left, rect.right);
  int top = std::min(rect.top, rect.bottom), bottom = std::max(rect.top, rect.bottom);
  right--;
  bottom--;
  int ew = std::min(right - left, std::abs(cx));
  int eh = std::min(bottom - top, std::abs(cy));
  if (ew < 2 || eh < 2) return Rect(RECT{left, top, right, bottom});

  // Insets of the ellipse's rows; index eh / 2 is the first full-width row.
  std::vector<int> inset(static_cast<size_t>(eh) + 1, -1);
  const int64_t a = ew - 1, b = eh - 1;
  const int64_t asq = 8 * a * a, bsq = 8 * b * b;
  int64_t dx = 4 * b * b * (1 - a);
  int64_t dy = 4 * a * a * (1 + (b % 2));
  int64_t err = dx + dy + a * a * (b % 2);
  int x = 0, y = eh / 2;
  inset[static_cast<size_t>(y)] = 0;
  while (x <= ew / 2) {
    int64_t e2 = 2 * err;
    if (e2 >= dx) {
      x++;
      err += dx += bsq;
    }
    if (e2 <= dy) {
      y++;
      err += dy += asq;
      if (y <= eh) inset[static_cast<size_t>(y)] = x;
    }
  }
  // A narrow corner ellipse much taller than wide (2 wide and 3 tall, 3 and 8, 4 and 22...)
  // ends its walk before its last rows. Wine leaves those rows to whatever its buffer held
  // (they change from call to call, mostly empty); here they are empty.
  std::vector<Row> rows;
  auto span = [&](int row, int in) {
    if (in >= 0) rows.push_back({row, {{left + in, right - in}}});
  };
  for (int i = 0; i < eh / 2; ++i) span(top + i, inset[static_cast<size_t>(b - i)]);
  for (int row = top + eh / 2; row < bottom - eh + eh / 2 + 1; ++row) span(row, 0);
  for (int i = eh / 2 + 1; i < eh; ++i) span(bottom - eh + i, inset[static_cast<size_t>(i)]);
  return PixelRegion::FromRows(std::move(rows));
}

namespace {

// The quarter of a w × h ellipse that GDI walks for arcs (a midpoint walk from the right end
// of the middle row down to the bottom), in the ellipse box's own coordinates.
std::vector<POINT> EllipseQuadrant(int width, int height) {
  const int64_t a = width - 1, b = height - 1;
  const int64_t asq = 8 * a * a, bsq = 8 * b * b;
  int64_t dx = 4 * b * b * (1 - a);
  int64_t dy = 4 * a * a * (1 + (b % 2));
  int64_t err = dx + dy + a * a * (b % 2);
  std::vector<POINT> points;
  POINT pt{static_cast<LONG>(a), height / 2};
  while (pt.x >= width / 2) {
    int64_t e2 = 2 * err;
    points.push_back(pt);
    if (e2 >= dx) {
      pt.x--;
      err += dx += bsq;
    }
    if (e2 <= dy) {
      pt.y++;
      err += dy += asq;
    }
  }
  return points;
}

// Collects spans, keeping only what lies within a limit.
struct Sink {
  RECT limit;
  std::vector<PixelRegion::Row> rows;

  void Add(int y, int left, int right) {
    if (y < limit.top || y >= limit.bottom) return;
    left = std::max<int>(left, limit.left);
    right = std::min<int>(right, limit.right);
    if (left < right) rows.push_back({y, {{left, right}}});
  }
  // Whether anything within `margin` of the box [l, r] × [t, b] (inclusive) can show.
  bool Near(int l, int t, int r, int b, int margin) const {
    return r + margin >= limit.left && l - margin < limit.right && b + margin >= limit.top && t - margin < limit.bottom;
  }
};

// The pixels of a closed polyline of one-pixel lines (Bresenham, both ends included).
void PolylinePixels(const std::vector<POINT>& points, Sink& sink) {
  auto plot = [&](int x, int y) { sink.Add(y, x, x + 1); };
  for (size_t i = 0; i < points.size(); ++i) {
    POINT p = points[i], q = points[(i + 1) % points.size()];
    if (!sink.Near(std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y), 0)) continue;
    int dx = std::abs(q.x - p.x), dy = std::abs(q.y - p.y);
    int sx = q.x >= p.x ? 1 : -1, sy = q.y >= p.y ? 1 : -1;
    if (dy == 0) {
      sink.Add(p.y, std::min(p.x, q.x), std::max(p.x, q.x) + 1);
      continue;
    }
    if (dx == 0) {
      int from = std::max<int>(std::min(p.y, q.y), sink.limit.top), to = std::min<int>(std::max(p.y, q.y), sink.limit.bottom - 1);
      for (int y = from; y <= to; ++y) plot(p.x, y);
      continue;
    }
    int err = dx - dy, x = p.x, y = p.y;
    for (;;) {
      plot(x, y);
      if (x == q.x && y == q.y) break;
      int e2 = 2 * err;
      if (e2 > -dy) {
        err -= dy;
        x += sx;
      }
      if (e2 < dx) {
        err += dx;
        y += sy;
      }
    }
  }
}

// The pixels of a polygon as GDI's regions scan it: pixel (x, y) is in when the point (x, y)
// lies inside (edges at the left and top count, edges at the right and bottom do not).
void FillPolygon(const POINT* points, int count, Sink& sink) {
  int top = points[0].y, bottom = points[0].y;
  for (int i = 1; i < count; ++i) {
    top = std::min<int>(top, points[i].y);
    bottom = std::max<int>(bottom, points[i].y);
  }
  auto ceilDiv = [](int64_t n, int64_t d) {
    if (d < 0) n = -n, d = -d;
    return n >= 0 ? (n + d - 1) / d : -((-n) / d);
  };
  for (int y = std::max<int>(top, sink.limit.top); y < std::min<int>(bottom, sink.limit.bottom); ++y) {
    std::vector<std::pair<int, int>> crossings;  // x (rounded up), winding direction
    for (int i = 0; i < count; ++i) {
      POINT a = points[i], b = points[(i + 1) % count];
      if (a.y == b.y) continue;
      int dir = b.y > a.y ? 1 : -1;
      if (dir < 0) std::swap(a, b);
      if (y < a.y || y >= b.y) continue;
      crossings.emplace_back(static_cast<int>(a.x + ceilDiv(int64_t{y - a.y} * (b.x - a.x), b.y - a.y)), dir);
    }
    std::sort(crossings.begin(), crossings.end());
    int winding = 0;
    for (size_t i = 0; i < crossings.size(); ++i) {
      int before = winding;
      winding += crossings[i].second;
      if (before == 0 && winding != 0) {
        size_t j = i + 1;
        for (; j < crossings.size(); ++j) {
          winding += crossings[j].second;
          if (winding == 0) break;
        }
        if (j < crossings.size()) sink.Add(y, crossings[i].first, crossings[j].first);
        i = j;
      }
    }
  }
}

}  // namespace

// GDI draws an inside-frame outline along a path through the rectangle shrunk by half the
// pen (the left and top by width / 2, the right and bottom by (width - 1) / 2, then the last
// column and row left out): Rectangle's four corners, or RoundRect's corner arcs (quarters
// of the cx × cy ellipse, limited to the shrunk rectangle; 2 or less in either direction
// gives a rectangle) joined by straight edges. A one-pixel pen paints the path's pixels
// (nothing when the path is a single pixel). A wider pen paints bands along the edges,
// polygons along the arcs' slanted steps, and at every vertex the round join,
// CreateEllipticRgn(-(w / 2), -(w / 2), (w + 1) / 2 + 1, (w + 1) / 2 + 1) (for width 2 the
// 2 × 2 block up and left of the vertex). Checked against Wine for widths 1 to 3, sizes up
// to 16 and corners up to 18.
PixelRegion PixelRegion::Frame(const RECT& rect, int width, int cx, int cy, const RECT* limit) {
  int left = std::min(rect.left, rect.right), right = std::max(rect.left, rect.right);
  int top = std::min(rect.top, rect.bottom), bottom = std::max(rect.top, rect.bottom);
  if (left == right || top == bottom) return PixelRegion();
  const int w = std::max(width, 1);
  left += w / 2;
  top += w / 2;
  right -= (w - 1) / 2;
  bottom -= (w - 1) / 2;

  std::vector<POINT> path;
  int ew = std::min(right - left, std::abs(cx));
  int eh = std::min(bottom - top, std::abs(cy));
  if (ew > 2 && eh > 2) {
    std::vector<POINT> quadrant = EllipseQuadrant(ew, eh);
    for (POINT p : quadrant) path.push_back({right - ew + p.x, top + eh - 1 - p.y});
    for (size_t i = quadrant.size(); i-- > 0;) path.push_back({left + right - 1 - path[i].x, path[i].y});
    for (size_t i = path.size(); i-- > 0;) path.push_back({path[i].x, top + bottom - 1 - path[i].y});
  } else {
    path = {{right - 1, top}, {left, top}, {left, bottom - 1}, {right - 1, bottom - 1}};
  }
  // A one-pixel pen draws nothing along a path of no length (a wide one paints its cap).
  if (w == 1 && path[0].x == path[2].x && path[0].y == path[2].y) return PixelRegion();
  Sink sink{limit ? *limit : RECT{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {}};
  if (w == 1) {
    PolylinePixels(path, sink);
    return FromRows(std::move(sink.rows));
  }

  // A wide pen: each straight edge is a band `w` wide, each slanted step a polygon of the
  // pen's width (its corners rounded to whole pixels, a narrow and a wide half), and each
  // vertex gets the round join.
  const int lo = -(w / 2), hi = (w + 1) / 2 + 1;
  PixelRegion cap = RoundRect(RECT{lo, lo, hi, hi}, hi - lo, hi - lo);
  auto band = [&](int l, int t, int r, int b) {
    for (int y = std::max<int>(t, sink.limit.top); y < std::min<int>(b, sink.limit.bottom); ++y) sink.Add(y, l, r);
  };
  for (size_t i = 0; i < path.size(); ++i) {
    POINT p = path[i], q = path[(i + 1) % path.size()];
    if (!sink.Near(std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y), w + 1)) continue;
    for (const Row& c : cap.Rows()) {
      for (const auto& cs : c.spans) sink.Add(p.y + c.y, p.x + cs.first, p.x + cs.second);
    }
    int dx = q.x - p.x, dy = q.y - p.y;
    if (dx == 0 && dy == 0) continue;
    if (dy == 0) {
      band(std::min(p.x, q.x), p.y - w / 2, std::max(p.x, q.x), p.y - w / 2 + w);
    } else if (dx == 0) {
      band(p.x - w / 2, std::min(p.y, q.y), p.x - w / 2 + w, std::max(p.y, q.y));
    } else {
      double len = std::hypot(static_cast<double>(dx), static_cast<double>(dy));
      double widthX = w * std::abs(dy) / len, widthY = w * std::abs(dx) / len;
      POINT narrow{static_cast<LONG>(std::floor(widthX / 2 + 0.5)), static_cast<LONG>(std::floor(widthY / 2 + 0.5))};
      POINT wide{static_cast<LONG>(std::floor((widthX + 1) / 2 + 0.5)),
                 static_cast<LONG>(std::floor((widthY + 1) / 2 + 0.5))};
      if (dx < 0) {
        wide.y = -wide.y;
        narrow.y = -narrow.y;
      }
      if (dy < 0) {
        std::swap(narrow, wide);
        wide.x = -wide.x;
        narrow.x = -narrow.x;
      }
      POINT quad[4] = {{p.x - narrow.x, p.y + narrow.y},
                       {p.x + wide.x, p.y - wide.y},
                       {q.x + wide.x, q.y - wide.y},
                       {q.x - narrow.x, q.y + narrow.y}};
      FillPolygon(quad, 4, sink);
    }
  }
  return FromRows(std::move(sink.rows));
}

PixelRegion PixelRegion::Union(const PixelRegion& other) const { return Combine(*this, other, 0); }
PixelRegion PixelRegion::Intersect(const PixelRegion& other) const { return Combine(*this, other, 1); }
PixelRegion PixelRegion::Subtract(const PixelRegion& other) const { return Combine(*this, other, 2); }

bool PixelRegion::Contains(int x, int y) const {
  auto it = std::lower_bound(rows_.begin(), rows_.end(), y, [](const Row& r, int v) { return r.y < v; });
  if (it == rows_.end() || it->y != y) return false;
  auto s = std::upper_bound(it->spans.begin(), it->spans.end(), x,
                            [](int v, const std::pair<int, int>& sp) { return v < sp.first; });
  if (s == it->spans.begin()) return false;
  --s;
  return x < s->second;
}

RECT PixelRegion::Bounds() const {
  if (rows_.empty()) return RECT{0, 0, 0, 0};
  RECT r{rows_.front().spans.front().first, rows_.front().y, rows_.front().spans.back().second,
         rows_.back().y + 1};
  for (const auto& row : rows_) {
    r.left = std::min<LONG>(r.left, row.spans.front().first);
    r.right = std::max<LONG>(r.right, row.spans.back().second);
  }
  return r;
}

std::vector<RECT> PixelRegion::Rects() const {
  std::vector<RECT> out;
  size_t i = 0;
  while (i < rows_.size()) {
    size_t j = i + 1;
    while (j < rows_.size() && rows_[j].y == rows_[j - 1].y + 1 && rows_[j].spans == rows_[i].spans) ++j;
    for (const auto& s : rows_[i].spans) out.push_back(RECT{s.first, rows_[i].y, s.second, rows_[j - 1].y + 1});
    i = j;
  }
  return out;
}

PixelRegion WindowRegion::Pixels() const {
  PixelRegion region = (cx == 0 && cy == 0) ? PixelRegion::Rect(roundRect) : PixelRegion::RoundRect(roundRect, cx, cy);
  for (const RECT& r : extraRects) region = region.Union(PixelRegion::Rect(r));
  return region;
}

}  // namespace rundix
