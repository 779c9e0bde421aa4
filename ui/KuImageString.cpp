#include "ui/KuImageString.h"

#include <cwchar>
#include <cwctype>

namespace KUM {
namespace {

// Numbers far beyond any screen are cut down, so rectangle arithmetic cannot overflow.
constexpr long kNumberLimit = 1000000;

long Clamp(long v) { return v < -kNumberLimit ? -kNumberLimit : (v > kNumberLimit ? kNumberLimit : v); }

// A decimal as wcstol reads it (sign, digits, 0 for none); `p` moves past it and past one
// separating character.
LONG NextNumber(const wchar_t*& p) {
  wchar_t* end = nullptr;
  long v = std::wcstol(p, &end, 10);
  p = end;
  if (*p) ++p;
  return static_cast<LONG>(Clamp(v));
}

RECT ParseRect(const std::wstring& value) {
  const wchar_t* p = value.c_str();
  RECT r;
  r.left = NextNumber(p);
  r.top = NextNumber(p);
  r.right = NextNumber(p);
  r.bottom = NextNumber(p);
  return r;
}

SIZE ParseSize(const std::wstring& value) {
  const wchar_t* p = value.c_str();
  SIZE s;
  s.cx = NextNumber(p);
  s.cy = NextNumber(p);
  return s;
}

int ParseInt(const std::wstring& value) {
  const wchar_t* p = value.c_str();
  return static_cast<int>(NextNumber(p));
}

// `#` and hexadecimal digits; anything without the hash sign is no colour.
bool ParseColour(const std::wstring& value, DWORD* colour) {
  if (value.empty() || value[0] != L'#') return false;
  *colour = static_cast<DWORD>(std::wcstoul(value.c_str() + 1, nullptr, 16));
  return true;
}

bool IsTrue(const std::wstring& value) { return value == L"true"; }

std::wstring RectText(const RECT& r) {
  return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," +
         std::to_wstring(r.right) + L"," + std::to_wstring(r.bottom);
}

std::wstring ColourText(DWORD colour) {
  wchar_t buffer[16];
  std::swprintf(buffer, 16, L"#%06X", static_cast<unsigned>(colour));
  return buffer;
}

void Item(std::wstring& out, const wchar_t* key, const std::wstring& value) {
  if (!out.empty()) out += L' ';
  out += key;
  out += L"='";
  out += value;
  out += L'\'';
}

}  // namespace

void KuImageString::Parse(const std::wstring& descriptor) {
  size_t pos = descriptor.find_first_not_of(L' ');
  if (pos == std::wstring::npos) return;
  if (descriptor.find(L"='", pos) == std::wstring::npos) {
    name = descriptor.substr(pos);
    return;
  }
  const size_t size = descriptor.size();
  while (pos < size) {
    size_t equals = descriptor.find(L'=', pos);
    if (equals == std::wstring::npos || equals == pos) return;
    std::wstring key = descriptor.substr(pos, equals - pos);
    if (key.find(L' ') != std::wstring::npos) return;
    if (equals + 1 >= size || descriptor[equals + 1] != L'\'') return;
    size_t close = descriptor.find(L'\'', equals + 2);
    if (close == std::wstring::npos) return;
    std::wstring value = descriptor.substr(equals + 2, close - equals - 2);

    if (key == L"res") {
      res = value;
    } else if (key == L"restype") {
      restype = value;
    } else if (key == L"file") {
      file = value;
    } else if (key == L"dest") {
      dest = ParseRect(value);
      hasDest = true;
    } else if (key == L"source") {
      source = ParseRect(value);
      hasSource = true;
    } else if (key == L"corner") {
      corner = ParseRect(value);
    } else if (key == L"layout") {
      layout = value;
    } else if (key == L"mask") {
      if (ParseColour(value, &mask)) hasMask = true;
    } else if (key == L"fade") {
      int v = ParseInt(value);
      fade = static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v));
    } else if (key == L"hole") {
      hole = IsTrue(value);
    } else if (key == L"alphaClose") {
      alphaClose = IsTrue(value);
    } else if (key == L"icon") {
      icon = IsTrue(value);
    } else if (key == L"iconsize") {
      iconSize = ParseInt(value);
    } else if (key == L"round") {
      round = ParseSize(value);
      hasRound = round.cx != 0 || round.cy != 0;
    } else if (key == L"reverse") {
      reverse = IsTrue(value);
    } else if (key == L"rotate") {
      double v = std::wcstod(value.c_str(), nullptr);
      rotate = (v == v && v > -1e6 && v < 1e6) ? v : 0;  // NaN and absurd angles: none
    } else if (key == L"rgnimage") {
      rgnImage = value;
    } else if (key == L"rgnrestype") {
      rgnRestype = value;
    } else if (key == L"rgnmask") {
      if (ParseColour(value, &rgnMask)) hasRgnMask = true;
    } else if (key == L"encrypt") {
      encrypt = IsTrue(value);
    } else if (key == L"right") {
      right = IsTrue(value);
    } else if (key == L"rolltext") {
      rolltext = ParseInt(value);
    }
    // Unknown keys are skipped.

    pos = close + 1;
    if (pos >= size) return;
    // Exactly one blank before the next item; anything else ends the descriptor.
    if (descriptor[pos] != L' ') return;
    ++pos;
  }
}

std::wstring KuImageString::ToString() const {
  std::wstring out;
  if (!res.empty()) Item(out, L"res", res);
  if (!restype.empty()) Item(out, L"restype", restype);
  if (!file.empty()) {
    Item(out, L"file", file);
  } else if (!name.empty()) {
    Item(out, L"file", name);
  }
  if (hasDest) Item(out, L"dest", RectText(dest));
  if (hasSource) Item(out, L"source", RectText(source));
  if (corner.left || corner.top || corner.right || corner.bottom) {
    Item(out, L"corner", RectText(corner));
  }
  if (!layout.empty()) Item(out, L"layout", layout);
  if (hasMask) Item(out, L"mask", ColourText(mask));
  if (fade != 255) Item(out, L"fade", std::to_wstring(fade));
  if (hole) Item(out, L"hole", L"true");
  if (alphaClose) Item(out, L"alphaClose", L"true");
  if (icon) Item(out, L"icon", L"true");
  if (iconSize) Item(out, L"iconsize", std::to_wstring(iconSize));
  if (hasRound) Item(out, L"round", std::to_wstring(round.cx) + L"," + std::to_wstring(round.cy));
  if (reverse) Item(out, L"reverse", L"true");
  if (rotate != 0) {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, L"%lf", rotate);
    Item(out, L"rotate", buffer);
  }
  if (!rgnImage.empty()) Item(out, L"rgnimage", rgnImage);
  if (!rgnRestype.empty()) Item(out, L"rgnrestype", rgnRestype);
  if (hasRgnMask) Item(out, L"rgnmask", ColourText(rgnMask));
  if (encrypt) Item(out, L"encrypt", L"true");
  if (right) Item(out, L"right", L"true");
  if (rolltext) Item(out, L"rolltext", std::to_wstring(rolltext));
  return out;
}

RECT KuImageString::DestIn(const RECT& item, int imageWidth, int imageHeight) const {
  if (layout.empty()) {
    if (!hasDest) return item;
    return RECT{item.left + dest.left, item.top + dest.top,
                dest.right == 0 ? item.right : item.left + dest.right,
                dest.bottom == 0 ? item.bottom : item.top + dest.bottom};
  }
  // Placed by layout: dest's third and fourth numbers are width and height (0: the image's),
  // its first and second an offset from the edge the image is aligned to.
  const LONG w = hasDest && dest.right ? dest.right : imageWidth;
  const LONG h = hasDest && dest.bottom ? dest.bottom : imageHeight;
  const LONG dx = hasDest ? dest.left : 0;
  const LONG dy = hasDest ? dest.top : 0;
  RECT r;
  if (layout.find(L"hmiddle") != std::wstring::npos) {
    r.left = item.left + (item.right - item.left - w) / 2 + dx;
  } else if (layout.find(L"right") != std::wstring::npos) {
    r.left = item.right - w - dx;
  } else {
    r.left = item.left + dx;
  }
  if (layout.find(L"vmiddle") != std::wstring::npos) {
    r.top = item.top + (item.bottom - item.top - h) / 2 + dy;
  } else if (layout.find(L"bottom") != std::wstring::npos) {
    r.top = item.bottom - h - dy;
  } else {
    r.top = item.top + dy;
  }
  r.right = r.left + w;
  r.bottom = r.top + h;
  return r;
}

}  // namespace KUM
