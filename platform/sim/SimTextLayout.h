// DrawText's layout on the Linux raster: lines, word breaks, ellipses, prefixes and alignment
// by the DT_ flags, in whole pixels of the font's advances and TEXTMETRIC line height.
#pragma once

#include <string>
#include <vector>

#include "platform/WindowTypes.h"
#include "platform/sim/SimFont.h"

namespace rundix {

struct SimTextLine {
  std::wstring text;         // what is drawn
  std::vector<bool> marked;  // characters underlined by a '&' prefix
  int x = 0;                 // left end of the line
  int y = 0;                 // top of the line's cell
  int width = 0;
};

struct SimTextLayout {
  std::vector<SimTextLine> lines;
  // What DrawText returns: from the rectangle's top to the bottom of the last line.
  int height = 0;
  // The rectangle DT_CALCRECT gives back.
  RECT calc{0, 0, 0, 0};
};

SimTextLayout LayOutText(const SimFont& font, const std::wstring& text, const RECT& rect, UINT format);

}  // namespace rundix
