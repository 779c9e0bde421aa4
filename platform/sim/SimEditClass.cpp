// The system's "Edit" class of the headless window system: a single-line edit box with the
// messages the UI library's edit window uses, notifications to the parent as WM_COMMAND, its
// colours asked of the parent through WM_CTLCOLOREDIT, and its text drawn with the raster
// seam into its own pixels.
#include <algorithm>

#include "platform/sim/SimWindowSystem.h"

namespace rundix::sim {
namespace {

constexpr DWORD kDefaultLimit = 0x7FFE;
constexpr LRESULT kDlgcWantArrows = 0x0001;
constexpr LRESULT kDlgcHasSetSel = 0x0008;
constexpr LRESULT kDlgcWantChars = 0x0080;
constexpr ARGB kHighlight = 0xFF3399FF;  // COLOR_HIGHLIGHT
constexpr ARGB kHighlightText = 0xFFFFFFFF;

SimWindowSystem& System() { return SimWindowSystem::Instance(); }

ARGB Opaque(COLORREF colour) {
  return 0xFF000000u | (static_cast<ARGB>(GetRValue(colour)) << 16) |
         (static_cast<ARGB>(GetGValue(colour)) << 8) | GetBValue(colour);
}

// The edit draws with the font WM_SETFONT gave it, the default GUI font until then. On this
// build what WM_SETFONT takes (Font::NativeHandle) is the raster's font object itself; like
// an HFONT, it must outlive the windows that use it.
const Font* FontOf(WPARAM handle) {
  static const std::unique_ptr<Font> fallback = CreateDefaultGuiFont();
  if (handle != 0) return reinterpret_cast<const Font*>(handle);
  return fallback.get();
}

// A copy of what painting and editing need, read under the system's lock.
struct Snapshot {
  std::wstring text;
  DWORD style = 0;
  EditState state;
  HWND parent = nullptr;
  LONG_PTR id = 0;
  bool valid = false;
};

Snapshot Read(HWND window) {
  Snapshot snapshot;
  SimWindowSystem& system = System();
  std::lock_guard<std::mutex> lock(system.Mutex());
  Window* w = system.FindLocked(window);
  if (w == nullptr || !w->edit) return snapshot;
  snapshot.text = w->text;
  snapshot.style = w->style;
  snapshot.state = *w->edit;
  snapshot.parent = (w->style & WS_CHILD) ? w->parent : w->owner;
  snapshot.id = w->id;
  snapshot.valid = true;
  return snapshot;
}

template <typename Change>
bool Modify(HWND window, Change change) {
  SimWindowSystem& system = System();
  std::lock_guard<std::mutex> lock(system.Mutex());
  Window* w = system.FindLocked(window);
  if (w == nullptr || !w->edit) return false;
  return change(*w, *w->edit);
}

void Notify(HWND window, WORD code) {
  Snapshot s = Read(window);
  if (!s.valid || s.parent == nullptr) return;
  System().SendMessageW(s.parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(s.id), code),
                        reinterpret_cast<LPARAM>(window));
}

void Changed(HWND window) {
  System().InvalidateRect(window, nullptr, FALSE);
  Notify(window, EN_UPDATE);
  Notify(window, EN_CHANGE);
}

// Replaces the selection as typing or pasting would: the read-only, digits-only and length
// rules apply to what the user enters.
bool ReplaceSelection(HWND window, const std::wstring& insert, bool typed) {
  bool tooLong = false;
  bool changed = Modify(window, [&](Window& w, EditState& e) {
    if (typed && (w.style & ES_READONLY)) return false;
    if (typed && (w.style & ES_NUMBER) &&
        !std::all_of(insert.begin(), insert.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
      return false;
    }
    const DWORD length = static_cast<DWORD>(w.text.size());
    const DWORD from = std::min({e.selectionStart, e.caret, length});
    const DWORD to = std::min(std::max(e.selectionStart, e.caret), length);
    std::wstring added = insert;
    const size_t room = typed ? (e.limit > length - (to - from) ? e.limit - (length - (to - from)) : 0)
                              : added.size();
    if (added.size() > room) {
      added.resize(room);
      tooLong = true;
    }
    if (added.empty() && from == to) return false;
    w.text.replace(from, to - from, added);
    e.selectionStart = e.caret = from + static_cast<DWORD>(added.size());
    if (typed) e.modified = true;
    return true;
  });
  if (tooLong) Notify(window, EN_MAXTEXT);
  if (changed) Changed(window);
  return changed;
}

// Backspace (before the caret) or Delete (after it), or the selection when there is one.
void Erase(HWND window, bool before) {
  bool changed = Modify(window, [&](Window& w, EditState& e) {
    if (w.style & ES_READONLY) return false;
    const DWORD length = static_cast<DWORD>(w.text.size());
    DWORD from = std::min({e.selectionStart, e.caret, length});
    DWORD to = std::min(std::max(e.selectionStart, e.caret), length);
    if (from == to) {
      if (before && from > 0) --from;
      else if (!before && to < length) ++to;
      else return false;
    }
    w.text.erase(from, to - from);
    e.selectionStart = e.caret = from;
    e.modified = true;
    return true;
  });
  if (changed) Changed(window);
}

std::wstring Shown(const Snapshot& s) {
  if (!(s.style & ES_PASSWORD) && s.state.passwordChar == 0) return s.text;
  const wchar_t mask = s.state.passwordChar ? s.state.passwordChar : L'*';
  return std::wstring(s.text.size(), mask);
}

int TextWidth(const Font& font, const std::wstring& text) {
  if (text.empty()) return 0;
  static std::unique_ptr<Canvas> measure = CreateMeasureCanvas();
  if (!measure) return 0;
  RECT r{0, 0, 0x7FFF, 0x7FFF};
  measure->DrawTextW(font, text, &r, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT, 0xFF000000);
  return r.right - r.left;
}

// Where the text starts, for the alignment styles.
int TextLeft(const Snapshot& s, const Font& font, const RECT& box) {
  const int width = TextWidth(font, Shown(s));
  if (s.style & ES_CENTER) return box.left + std::max(0, (box.right - box.left - width) / 2);
  if (s.style & ES_RIGHT) return std::max(box.left, box.right - width);
  return box.left;
}

RECT FormatBox(HWND window, const Snapshot& s) {
  RECT client{0, 0, 0, 0};
  System().GetClientRect(window, &client);
  return RECT{client.left + s.state.leftMargin, client.top, client.right - s.state.rightMargin, client.bottom};
}

// The character position nearest to a client x.
DWORD PositionAt(HWND window, int x) {
  Snapshot s = Read(window);
  if (!s.valid) return 0;
  const Font& font = *FontOf(s.state.font);
  const RECT box = FormatBox(window, s);
  const std::wstring shown = Shown(s);
  const int left = TextLeft(s, font, box);
  DWORD best = 0;
  int bestDistance = std::abs(x - left);
  for (size_t i = 1; i <= shown.size(); ++i) {
    const int edge = left + TextWidth(font, shown.substr(0, i));
    if (std::abs(x - edge) < bestDistance) {
      bestDistance = std::abs(x - edge);
      best = static_cast<DWORD>(i);
    }
  }
  return best;
}

void Paint(HWND window) {
  SimWindowSystem& system = System();
  PaintInfo paint;
  if (!system.BeginPaint(window, &paint)) return;
  Snapshot s = Read(window);
  const bool enabled = system.IsWindowEnabled(window) != FALSE;
  // Read-only and disabled edits ask for the static colours, as Windows' edit does.
  const UINT ask = (!enabled || (s.style & ES_READONLY)) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
  HBRUSH brush = nullptr;
  if (s.parent != nullptr) {
    brush = reinterpret_cast<HBRUSH>(system.SendMessageW(s.parent, ask, reinterpret_cast<WPARAM>(paint.hdc),
                                                         reinterpret_cast<LPARAM>(window)));
  }
  if (brush == nullptr) {
    brush = reinterpret_cast<HBRUSH>(system.DefWindowProcW(window, ask, reinterpret_cast<WPARAM>(paint.hdc),
                                                           reinterpret_cast<LPARAM>(window)));
  }
  const COLORREF background = system.BrushColour(brush).value_or(RGB(255, 255, 255));
  const DeviceContext dc = system.DeviceContextOf(paint.hdc).value_or(DeviceContext{});
  const COLORREF textColour = enabled ? dc.textColour : RGB(109, 109, 109);
  const bool focused = system.GetFocus() == window;
  const Font& font = *FontOf(s.state.font);
  const RECT box = FormatBox(window, s);
  const std::wstring shown = Shown(s);
  const int left = TextLeft(s, font, box);
  const int lineHeight = font.Metrics().tmHeight;
  const int width = TextWidth(font, shown);
  {
    std::lock_guard<std::mutex> lock(system.Mutex());
    Window* w = system.FindLocked(window);
    Bitmap* pixels = w ? system.PixelsLocked(*w) : nullptr;
    std::unique_ptr<Canvas> canvas = pixels ? CreateCanvas(*pixels) : nullptr;
    if (canvas && s.valid) {
      const RECT client{0, 0, pixels->Width(), pixels->Height()};
      canvas->FillRect(client, Opaque(background));
      canvas->PushClipRect(box);
      if (dc.backMode == OPAQUE && width > 0) {
        canvas->FillRect(RECT{left, box.top, left + width, box.top + lineHeight}, Opaque(dc.backColour));
      }
      RECT line{left, box.top, left + width + 1, box.top + lineHeight};
      canvas->DrawTextW(font, shown, &line, DT_SINGLELINE | DT_NOPREFIX | DT_LEFT, Opaque(textColour));
      const DWORD from = std::min<DWORD>(std::min(s.state.selectionStart, s.state.caret), static_cast<DWORD>(shown.size()));
      const DWORD to = std::min<DWORD>(std::max(s.state.selectionStart, s.state.caret), static_cast<DWORD>(shown.size()));
      if (focused && from < to) {
        const int x0 = left + TextWidth(font, shown.substr(0, from));
        const int x1 = left + TextWidth(font, shown.substr(0, to));
        canvas->FillRect(RECT{x0, box.top, x1, box.top + lineHeight}, kHighlight);
        RECT selected{x0, box.top, x1 + 1, box.top + lineHeight};
        canvas->DrawTextW(font, shown.substr(from, to - from), &selected, DT_SINGLELINE | DT_NOPREFIX | DT_LEFT,
                          kHighlightText);
      }
      // The caret is left out: Windows blinks it over the pixels, so no capture can count on it.
      canvas->PopClip();
    }
  }
  system.EndPaint(window, paint);
}

void MoveCaret(HWND window, DWORD position, bool extend) {
  Modify(window, [&](Window& w, EditState& e) {
    e.caret = std::min<DWORD>(position, static_cast<DWORD>(w.text.size()));
    if (!extend) e.selectionStart = e.caret;
    return true;
  });
  System().InvalidateRect(window, nullptr, FALSE);
}

}  // namespace

LRESULT EditWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SimWindowSystem& system = System();
  switch (message) {
    case WM_NCCREATE: {
      {
        std::lock_guard<std::mutex> lock(system.Mutex());
        Window* w = system.FindLocked(window);
        if (w == nullptr) return FALSE;
        w->edit = std::make_unique<EditState>();
        w->edit->limit = kDefaultLimit;
        if (w->style & ES_PASSWORD) w->edit->passwordChar = L'*';
      }
      return system.DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_SETTEXT: {
      const wchar_t* text = reinterpret_cast<const wchar_t*>(lParam);
      bool multiline = false;
      Modify(window, [&](Window& w, EditState& e) {
        w.text = text ? text : L"";
        e.selectionStart = e.caret = 0;
        e.modified = false;
        multiline = (w.style & ES_MULTILINE) != 0;
        return true;
      });
      system.InvalidateRect(window, nullptr, FALSE);
      // A single-line edit reports text set from outside too.
      if (!multiline) {
        Notify(window, EN_UPDATE);
        Notify(window, EN_CHANGE);
      }
      return TRUE;
    }
    case WM_CHAR: {
      const wchar_t character = static_cast<wchar_t>(wParam);
      if (character == 0x08) {
        Erase(window, true);
      } else if (character == 0x01) {  // Ctrl+A
        Modify(window, [](Window& w, EditState& e) {
          e.selectionStart = 0;
          e.caret = static_cast<DWORD>(w.text.size());
          return true;
        });
        system.InvalidateRect(window, nullptr, FALSE);
      } else if (character >= 0x20 && character != 0x7F) {
        ReplaceSelection(window, std::wstring(1, character), true);
      }
      return 0;
    }
    case WM_KEYDOWN: {
      const bool shift = system.GetKeyState(VK_SHIFT) < 0;
      Snapshot s = Read(window);
      if (!s.valid) return 0;
      const DWORD length = static_cast<DWORD>(s.text.size());
      switch (wParam) {
        case VK_LEFT:
          MoveCaret(window, s.state.caret > 0 ? s.state.caret - 1 : 0, shift);
          break;
        case VK_RIGHT:
          MoveCaret(window, std::min(s.state.caret + 1, length), shift);
          break;
        case VK_HOME:
          MoveCaret(window, 0, shift);
          break;
        case VK_END:
          MoveCaret(window, length, shift);
          break;
        case VK_DELETE:
          Erase(window, false);
          break;
        default:
          break;
      }
      return 0;
    }
    case EM_SETSEL: {
      const auto start = static_cast<int>(static_cast<LONG>(wParam));
      const auto end = static_cast<int>(static_cast<LONG>(lParam));
      Modify(window, [&](Window& w, EditState& e) {
        const int length = static_cast<int>(w.text.size());
        if (start == -1) {  // deselects, the caret stays
          e.selectionStart = e.caret;
          return true;
        }
        e.selectionStart = static_cast<DWORD>(std::clamp(start, 0, length));
        e.caret = static_cast<DWORD>(end < 0 ? length : std::min(end, length));
        return true;
      });
      system.InvalidateRect(window, nullptr, FALSE);
      return 0;
    }
    case EM_GETSEL: {
      Snapshot s = Read(window);
      const DWORD from = std::min(s.state.selectionStart, s.state.caret);
      const DWORD to = std::max(s.state.selectionStart, s.state.caret);
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = from;
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = to;
      return (from > 0xFFFF || to > 0xFFFF) ? -1 : MAKELRESULT(from, to);
    }
    case EM_REPLACESEL:
      ReplaceSelection(window, lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"", false);
      return 0;
    case EM_LIMITTEXT:
      Modify(window, [&](Window&, EditState& e) {
        e.limit = wParam ? static_cast<DWORD>(std::min<WPARAM>(wParam, 0x7FFFFFFE)) : 0x7FFFFFFE;
        return true;
      });
      return 0;
    case EM_GETLIMITTEXT:
      return static_cast<LRESULT>(Read(window).state.limit);
    case EM_SETPASSWORDCHAR:
      Modify(window, [&](Window& w, EditState& e) {
        e.passwordChar = static_cast<wchar_t>(wParam);
        if (wParam) w.style |= ES_PASSWORD;
        else w.style &= ~static_cast<DWORD>(ES_PASSWORD);
        return true;
      });
      system.InvalidateRect(window, nullptr, FALSE);
      return 0;
    case EM_GETPASSWORDCHAR:
      return static_cast<LRESULT>(Read(window).state.passwordChar);
    case EM_SETMODIFY:
      Modify(window, [&](Window&, EditState& e) {
        e.modified = wParam != 0;
        return true;
      });
      return 0;
    case EM_GETMODIFY:
      return Read(window).state.modified ? TRUE : FALSE;
    case EM_SETMARGINS:
      Modify(window, [&](Window&, EditState& e) {
        // EC_USEFONTINFO (0xFFFF) leaves the default margin.
        if (wParam & EC_LEFTMARGIN) e.leftMargin = LOWORD(lParam) == 0xFFFF ? 1 : LOWORD(lParam);
        if (wParam & EC_RIGHTMARGIN) e.rightMargin = HIWORD(lParam) == 0xFFFF ? 1 : HIWORD(lParam);
        return true;
      });
      system.InvalidateRect(window, nullptr, FALSE);
      return 0;
    case EM_GETMARGINS: {
      Snapshot s = Read(window);
      return MAKELRESULT(s.state.leftMargin, s.state.rightMargin);
    }
    case EM_SETREADONLY:
      Modify(window, [&](Window& w, EditState&) {
        if (wParam) w.style |= ES_READONLY;
        else w.style &= ~static_cast<DWORD>(ES_READONLY);
        return true;
      });
      system.InvalidateRect(window, nullptr, FALSE);
      return TRUE;
    case WM_SETFONT:
      Modify(window, [&](Window&, EditState& e) {
        e.font = wParam;
        return true;
      });
      if (LOWORD(lParam)) system.InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_GETFONT:
      return static_cast<LRESULT>(Read(window).state.font);
    case WM_SETFOCUS:
      system.InvalidateRect(window, nullptr, FALSE);
      Notify(window, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      system.InvalidateRect(window, nullptr, FALSE);
      Notify(window, EN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      system.SetFocus(window);
      if (message == WM_LBUTTONDBLCLK) {
        Modify(window, [](Window& w, EditState& e) {
          e.selectionStart = 0;
          e.caret = static_cast<DWORD>(w.text.size());
          return true;
        });
        system.InvalidateRect(window, nullptr, FALSE);
        return 0;
      }
      const DWORD at = PositionAt(window, static_cast<SHORT>(LOWORD(lParam)));
      MoveCaret(window, at, (wParam & MK_SHIFT) != 0);
      Modify(window, [](Window&, EditState& e) {
        e.selecting = true;
        return true;
      });
      system.SetCapture(window);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (Read(window).state.selecting && system.GetCapture() == window) {
        MoveCaret(window, PositionAt(window, static_cast<SHORT>(LOWORD(lParam))), true);
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED: {
      const bool wasSelecting = Read(window).state.selecting;
      Modify(window, [](Window&, EditState& e) {
        e.selecting = false;
        return true;
      });
      if (message == WM_LBUTTONUP && wasSelecting && system.GetCapture() == window) system.ReleaseCapture();
      return 0;
    }
    case WM_GETDLGCODE:
      return kDlgcWantChars | kDlgcHasSetSel | kDlgcWantArrows;
    case WM_ENABLE:
      system.InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint fills the background with the parent's brush
    case WM_PAINT:
      Paint(window);
      return 0;
    default:
      return system.DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace rundix::sim
