// An image descriptor in object form. A descriptor is either a bare image name or items of
// the form key='value' separated by single blanks, for example
//   res='130' restype='PNG' dest='8,8,32,32'
// A modifying descriptor parsed afterwards overrides the items it names.
#pragma once

#include <string>

#include "ui/KuTypes.h"

namespace KUM {

class KuImageString {
 public:
  KuImageString() = default;
  explicit KuImageString(const std::wstring& descriptor) { Parse(descriptor); }

  // Reads the items of `descriptor` over the current values. A descriptor that is not in the
  // item form is a bare name. Parsing stops silently at the first item of another shape;
  // leading blanks of a descriptor are skipped (modifiers are often built as " dest='…'").
  void Parse(const std::wstring& descriptor);
  // Formats the items that are set, in the item form.
  std::wstring ToString() const;

  // The image: `res` with a non-empty `restype` names a resource, otherwise `file` (or the
  // bare name) a file.
  std::wstring name;  // the bare descriptor, when it is not in the item form
  std::wstring res;
  std::wstring restype;
  std::wstring file;
  bool hasDest = false;
  RECT dest{0, 0, 0, 0};
  bool hasSource = false;
  RECT source{0, 0, 0, 0};
  RECT corner{0, 0, 0, 0};
  std::wstring layout;  // keywords vmiddle, hmiddle, right, bottom
  bool hasMask = false;
  DWORD mask = 0;
  BYTE fade = 255;
  bool hole = false;
  bool alphaClose = false;
  bool icon = false;
  int iconSize = 0;
  bool hasRound = false;
  SIZE round{0, 0};
  bool reverse = false;
  double rotate = 0;
  std::wstring rgnImage;
  std::wstring rgnRestype;
  bool hasRgnMask = false;
  DWORD rgnMask = 0;
  bool encrypt = false;
  bool right = false;
  int rolltext = 0;  // marquee offset used by text painting

  // The destination inside an item rectangle: dest's third and fourth numbers are offsets
  // from the item's left and top (0 meaning the item's right or bottom edge), unless a
  // `layout` keyword places it (then they are width and height).
  RECT DestIn(const RECT& item, int imageWidth, int imageHeight) const;
};

}  // namespace KUM
