#include "platform/sim/SimTextLayout.h"

#include <algorithm>

namespace rundix {
namespace {

constexpr wchar_t kEllipsis[] = L"...";

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == 0x3000; }

// Ideographs, kana, hangul and full-width forms: a line may break before or after any of them.
bool IsWide(wchar_t c) {
  uint32_t u = static_cast<uint32_t>(c);
  return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xAC00 && u <= 0xD7AF) || (u >= 0xF900 && u <= 0xFAFF) ||
         (u >= 0xFF00 && u <= 0xFFEF) || (u >= 0x20000 && u <= 0x3FFFF);
}

struct Run {
  std::wstring text;
  std::vector<bool> marked;

  Run Sub(size_t begin, size_t end) const {
    return Run{text.substr(begin, end - begin),
               std::vector<bool>(marked.begin() + static_cast<std::ptrdiff_t>(begin),
                                 marked.begin() + static_cast<std::ptrdiff_t>(end))};
  }
};

// '&' marks the next character for an underline and "&&" stands for '&', unless DT_NOPREFIX.
Run ApplyPrefixes(const std::wstring& text, bool prefixes) {
  Run run;
  run.text.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    bool mark = false;
    if (prefixes && text[i] == L'&') {
      if (++i >= text.size()) break;
      mark = text[i] != L'&';
    }
    run.text.push_back(text[i]);
    run.marked.push_back(mark);
  }
  return run;
}

// Lines at CR, LF and CR LF; with DT_SINGLELINE none, and the breaks draw nothing.
std::vector<Run> SplitLines(const Run& all, bool single) {
  std::vector<Run> lines;
  if (single) {
    Run line;
    for (size_t i = 0; i < all.text.size(); ++i) {
      if (all.text[i] == L'\r' || all.text[i] == L'\n') continue;
      line.text.push_back(all.text[i]);
      line.marked.push_back(all.marked[i]);
    }
    lines.push_back(std::move(line));
    return lines;
  }
  size_t start = 0;
  for (size_t i = 0; i < all.text.size(); ++i) {
    wchar_t c = all.text[i];
    if (c != L'\r' && c != L'\n') continue;
    lines.push_back(all.Sub(start, i));
    if (c == L'\r' && i + 1 < all.text.size() && all.text[i + 1] == L'\n') ++i;
    start = i + 1;
  }
  lines.push_back(all.Sub(start, all.text.size()));
  return lines;
}

int Width(const SimFont& font, const std::wstring& text) { return font.TextWidth(text); }

// Breaks one line into rows no wider than `width`, after spaces or beside wide characters;
// a word wider than a row keeps a row of its own. Spaces at a break hang past the edge and
// are dropped.
void WrapLine(const SimFont& font, const Run& line, int width, std::vector<Run>& rows) {
  const std::wstring& t = line.text;
  size_t start = 0;
  const size_t n = t.size();
  if (n == 0) {
    rows.push_back(line);
    return;
  }
  while (start < n) {
    int used = 0;
    size_t i = start, lastBreak = start;
    for (; i < n; ++i) {
      if (i > start && ((IsSpace(t[i - 1]) && !IsSpace(t[i])) || IsWide(t[i]) || IsWide(t[i - 1]))) lastBreak = i;
      int advance = font.Glyph(t[i]).advance;
      if (i > start && !IsSpace(t[i]) && used + advance > width) break;
      used += advance;
    }
    if (i >= n) {
      rows.push_back(line.Sub(start, n));
      break;
    }
    // A word wider than the line stays whole (the line runs past the edge) unless it is
    // made of wide characters, which break anywhere.
    if (lastBreak == start) {
      lastBreak = i;
      while (lastBreak < n && !IsSpace(t[lastBreak]) && !IsWide(t[lastBreak]) && !IsWide(t[lastBreak - 1])) ++lastBreak;
      if (lastBreak >= n) {
        rows.push_back(line.Sub(start, n));
        break;
      }
    }
    size_t end = lastBreak;
    size_t trimmed = end;
    while (trimmed > start && IsSpace(t[trimmed - 1])) --trimmed;
    rows.push_back(line.Sub(start, trimmed));
    start = end;
    while (start < n && IsSpace(t[start])) ++start;
  }
}

// The longest start of the text that leaves room for `room` more pixels within `width`.
size_t FittingPrefix(const SimFont& font, const std::wstring& text, int width, int room) {
  int used = 0;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    int advance = font.Glyph(text[i]).advance;
    if (used + advance + room > width) break;
    used += advance;
  }
  return i;
}

void EndEllipsis(const SimFont& font, Run& line, int width) {
  size_t keep = FittingPrefix(font, line.text, width, Width(font, kEllipsis));
  line.text = line.text.substr(0, keep) + kEllipsis;
  line.marked.resize(keep);
  line.marked.resize(line.text.size(), false);
}

// Keeps the last path component and as much of the start as fits: "C:\dir\...\name.txt".
// A text without a separator, or whose last component alone is too wide, ends in an
// ellipsis instead.
void PathEllipsis(const SimFont& font, Run& line, int width) {
  size_t sep = line.text.find_last_of(L"\\/");
  if (sep == std::wstring::npos) {
    EndEllipsis(font, line, width);
    return;
  }
  std::wstring tail = line.text.substr(sep);
  int room = Width(font, kEllipsis) + Width(font, tail);
  if (room > width) {
    line = Run{std::wstring(kEllipsis) + tail, std::vector<bool>(3 + tail.size(), false)};
    EndEllipsis(font, line, width);
    return;
  }
  size_t keep = FittingPrefix(font, line.text.substr(0, sep), width, room);
  std::vector<bool> marked(line.marked.begin(), line.marked.begin() + static_cast<std::ptrdiff_t>(keep));
  line.text = line.text.substr(0, keep) + kEllipsis + tail;
  marked.resize(line.text.size(), false);
  line.marked = std::move(marked);
}

}  // namespace

SimTextLayout LayOutText(const SimFont& font, const std::wstring& text, const RECT& rect, UINT format) {
  SimTextLayout layout;
  const bool single = (format & DT_SINGLELINE) != 0;
  const int width = rect.right - rect.left;
  const int lineHeight = font.Metrics().tmHeight;
  if (text.empty()) {
    // DrawText reports a line's height for no text; measuring it gives an empty width and,
    // on a single line, that line's height.
    layout.height = lineHeight;
    layout.calc = RECT{rect.left, rect.top, rect.left, rect.top + (single ? lineHeight : 0)};
    return layout;
  }

  std::vector<Run> rows;
  for (Run& line : SplitLines(ApplyPrefixes(text, (format & DT_NOPREFIX) == 0), single)) {
    if ((format & DT_WORDBREAK) && !single) WrapLine(font, line, width, rows);
    else rows.push_back(std::move(line));
  }

  int top = rect.top;
  const int total = static_cast<int>(rows.size()) * lineHeight;
  if (single && (format & DT_VCENTER)) top = rect.top + (rect.bottom - rect.top) / 2 - lineHeight / 2;
  else if (single && (format & DT_BOTTOM)) top = rect.bottom - lineHeight;

  int widest = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    Run& row = rows[i];
    int w = Width(font, row.text);
    if (w > width && (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS))) {
      if (format & DT_PATH_ELLIPSIS) PathEllipsis(font, row, width);
      else EndEllipsis(font, row, width);
      w = Width(font, row.text);
    }
    SimTextLine line;
    line.width = w;
    line.y = top + static_cast<int>(i) * lineHeight;
    line.x = rect.left;
    if (format & DT_CENTER) line.x = (rect.left + rect.right - w) / 2;
    else if (format & DT_RIGHT) line.x = rect.right - w;
    line.text = std::move(row.text);
    line.marked = std::move(row.marked);
    widest = std::max(widest, w);
    layout.lines.push_back(std::move(line));
  }
  layout.height = top - rect.top + total;
  layout.calc.right = rect.left + widest;
  layout.calc.bottom = rect.top + total;
  return layout;
}

}  // namespace rundix
