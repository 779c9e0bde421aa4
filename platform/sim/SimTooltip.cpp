// The tooltip class of the headless window system: a tracking tooltip is a popup owned by the
// window it explains, sized to its text and placed below the pointer (or below the tool when
// the pointer is elsewhere). The mouse passes through it.
#include <algorithm>

#include "platform/sim/SimWindowSystem.h"

namespace rundix::sim {
namespace {

constexpr int kMaxTipWidth = 300;  // TTM_SETMAXTIPWIDTH as the library sets it
constexpr int kPaddingX = 4;
constexpr int kPaddingY = 2;
constexpr int kCursorHeight = 20;
constexpr ARGB kInfoBackground = 0xFFFFFFE1;  // COLOR_INFOBK
constexpr ARGB kInfoText = 0xFF000000;        // COLOR_INFOTEXT
constexpr UINT kTextFormat = DT_WORDBREAK | DT_NOPREFIX | DT_LEFT;

const Font& TipFont() {
  static std::unique_ptr<Font> font = CreateDefaultGuiFont();
  return *font;
}

}  // namespace

LRESULT TooltipWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  SimWindowSystem& system = SimWindowSystem::Instance();
  switch (message) {
    case WM_NCCREATE: {
      {
        std::lock_guard<std::mutex> lock(system.Mutex());
        if (Window* w = system.FindLocked(window)) w->tooltip = std::make_unique<TooltipState>();
      }
      return system.DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_PAINT: {
      PaintInfo paint;
      if (!system.BeginPaint(window, &paint)) return 0;
      const std::wstring text = system.GetWindowTextW(window);
      {
        std::lock_guard<std::mutex> lock(system.Mutex());
        Window* w = system.FindLocked(window);
        Bitmap* pixels = w ? system.PixelsLocked(*w) : nullptr;
        std::unique_ptr<Canvas> canvas = pixels ? CreateCanvas(*pixels) : nullptr;
        if (canvas) {
          const RECT all{0, 0, pixels->Width(), pixels->Height()};
          canvas->FillRect(all, kInfoBackground);
          canvas->FrameRect(all, 1, kInfoText);
          RECT inside{kPaddingX, kPaddingY, all.right - kPaddingX, all.bottom - kPaddingY};
          canvas->DrawTextW(TipFont(), text, &inside, kTextFormat, kInfoText);
        }
      }
      system.EndPaint(window, paint);
      return 0;
    }
    default:
      return system.DefWindowProcW(window, message, wParam, lParam);
  }
}

HWND SimWindowSystem::CreateTooltip(HWND owner) {
  if (!IsWindow(owner)) return nullptr;
  return CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kTooltipClassName, L"", WS_POPUP, 0, 0, 0,
                         0, owner, nullptr, nullptr, nullptr);
}

void SimWindowSystem::ShowTooltip(HWND tooltip, const std::wstring& text, const RECT& toolRect) {
  HWND owner = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(tooltip);
    if (w == nullptr || !w->tooltip) return;
    w->tooltip->toolRect = toolRect;
    owner = w->owner;
  }
  SetWindowTextW(tooltip, text);
  int width = 0;
  int height = 0;
  if (std::unique_ptr<Canvas> measure = CreateMeasureCanvas()) {
    RECT r{0, 0, kMaxTipWidth, 0};
    measure->DrawTextW(TipFont(), text, &r, kTextFormat | DT_CALCRECT, kInfoText);
    width = r.right - r.left;
    height = r.bottom - r.top;
  }
  width += 2 * kPaddingX;
  height = std::max<int>(height, TipFont().Metrics().tmHeight) + 2 * kPaddingY;
  POINT topLeft{toolRect.left, toolRect.top};
  POINT bottomRight{toolRect.right, toolRect.bottom};
  if (owner != nullptr) {
    ClientToScreen(owner, &topLeft);
    ClientToScreen(owner, &bottomRight);
  }
  POINT cursor{0, 0};
  GetCursorPos(&cursor);
  POINT at{topLeft.x, bottomRight.y + 2};
  if (cursor.x >= topLeft.x && cursor.x < bottomRight.x && cursor.y >= topLeft.y && cursor.y < bottomRight.y) {
    at = POINT{cursor.x, cursor.y + kCursorHeight};
  }
  at.x = std::clamp<int>(at.x, 0, std::max(0, kScreenWidth - width));
  at.y = std::clamp<int>(at.y, 0, std::max(0, kScreenHeight - height));
  SetWindowPosInternal(tooltip, HWND_TOP, at.x, at.y, width, height, SWP_NOACTIVATE | SWP_SHOWWINDOW,
                       false);
  InvalidateRect(tooltip, nullptr, TRUE);
}

void SimWindowSystem::HideTooltip(HWND tooltip) {
  if (IsWindow(tooltip)) ShowWindowInternal(tooltip, SW_HIDE);
}

}  // namespace rundix::sim
