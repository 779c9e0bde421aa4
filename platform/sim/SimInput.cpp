// Input of the headless window system: what the driver injects waits in the input queue of
// the thread that gets it, and becomes a message when that thread's message loop reaches it,
// with the hit testing, cursor setting, activation, mouse tracking and double clicks Windows
// does at that moment.
#include <cstdlib>

#include "platform/sim/SimClock.h"
#include "platform/sim/SimWindowSystem.h"

namespace rundix::sim {
namespace {

constexpr UINT kNonClientOffset = WM_MOUSEMOVE - WM_NCMOUSEMOVE;
constexpr UINT kVkCapital = 0x14;
constexpr UINT kVkF10 = 0x79;

uint64_t ClockNow() { return SimClock::Instance().Now64(); }

// The scan codes of a US keyboard, for the key messages' lParam.
UINT ScanCodeOf(UINT vk, bool* extended) {
  *extended = false;
  static const char kLetters[] = "\x1E\x30\x2E\x20\x12\x21\x22\x23\x17\x24\x25\x26\x32\x31\x18\x19\x10\x13\x1F\x14\x16\x2F\x11\x2D\x15\x2C";
  if (vk >= 'A' && vk <= 'Z') return static_cast<BYTE>(kLetters[vk - 'A']);
  if (vk >= '1' && vk <= '9') return 0x02 + (vk - '1');
  if (vk == '0') return 0x0B;
  if (vk >= 0x70 && vk <= 0x79) return 0x3B + (vk - 0x70);  // F1-F10
  switch (vk) {
    case VK_ESCAPE: return 0x01;
    case VK_BACK: return 0x0E;
    case VK_TAB: return 0x0F;
    case VK_RETURN: return 0x1C;
    case VK_CONTROL: return 0x1D;
    case VK_SHIFT: return 0x2A;
    case VK_MENU: return 0x38;
    case VK_SPACE: return 0x39;
    case kVkCapital: return 0x3A;
    default: break;
  }
  *extended = true;
  switch (vk) {
    case VK_HOME: return 0x47;
    case VK_UP: return 0x48;
    case VK_PRIOR: return 0x49;
    case VK_LEFT: return 0x4B;
    case VK_RIGHT: return 0x4D;
    case VK_END: return 0x4F;
    case VK_DOWN: return 0x50;
    case VK_NEXT: return 0x51;
    case VK_DELETE: return 0x53;
    default: break;
  }
  *extended = false;
  return 0;
}

// The character a key makes on a US layout, as TranslateMessage finds it; 0 for none.
wchar_t CharacterOf(UINT vk, bool shift, bool ctrl, bool alt, bool caps) {
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl && !alt) return static_cast<wchar_t>(vk - 'A' + 1);
    return static_cast<wchar_t>((shift != caps) ? vk : vk + 32);
  }
  if (ctrl) {
    if (vk == VK_BACK) return 0x7F;
    if (vk == VK_RETURN) return L'\n';
    return 0;
  }
  if (vk >= '0' && vk <= '9') return shift ? L")!@#$%^&*("[vk - '0'] : static_cast<wchar_t>(vk);
  if (vk >= 0x60 && vk <= 0x69) return static_cast<wchar_t>(L'0' + (vk - 0x60));  // number pad
  switch (vk) {
    case VK_SPACE: return L' ';
    case VK_RETURN: return L'\r';
    case VK_BACK: return 0x08;
    case VK_TAB: return L'\t';
    case VK_ESCAPE: return 0x1B;
    case 0x6A: return L'*';
    case 0x6B: return L'+';
    case 0x6D: return L'-';
    case 0x6E: return L'.';
    case 0x6F: return L'/';
    case 0xBA: return shift ? L':' : L';';
    case 0xBB: return shift ? L'+' : L'=';
    case 0xBC: return shift ? L'<' : L',';
    case 0xBD: return shift ? L'_' : L'-';
    case 0xBE: return shift ? L'>' : L'.';
    case 0xBF: return shift ? L'?' : L'/';
    case 0xC0: return shift ? L'~' : L'`';
    case 0xDB: return shift ? L'{' : L'[';
    case 0xDC: return shift ? L'|' : L'\\';
    case 0xDD: return shift ? L'}' : L']';
    case 0xDE: return shift ? L'"' : L'\'';
    default: return 0;
  }
}

bool IsTooltip(const Window& window) {
  return window.windowClass && window.windowClass->system &&
         window.windowClass->name == kTooltipClassName;
}

}  // namespace

WPARAM SimWindowSystem::MouseKeyFlagsLocked(ThreadQueue& queue) {
  WPARAM flags = 0;
  if (queue.keys[VK_LBUTTON] & 0x80) flags |= MK_LBUTTON;
  if (queue.keys[VK_RBUTTON] & 0x80) flags |= MK_RBUTTON;
  if (queue.keys[VK_SHIFT] & 0x80) flags |= MK_SHIFT;
  if (queue.keys[VK_CONTROL] & 0x80) flags |= MK_CONTROL;
  return flags;
}

void SimWindowSystem::SetKeyLocked(ThreadQueue& queue, UINT virtualKey, bool down) {
  BYTE& state = queue.keys[virtualKey & 0xFF];
  if (down) {
    if (!(state & 0x80)) state ^= 0x01;  // each press toggles
    state |= 0x80;
  } else {
    state &= static_cast<BYTE>(~0x80);
  }
}

void SimWindowSystem::QueueInputLocked(ThreadQueue& queue, const RawInput& input) {
  queue.input.push_back(input);
  WakeLocked(queue);
}

void SimWindowSystem::PostLeaveLocked() {
  if (tracked_ == nullptr) return;
  Window* w = FindLocked(tracked_);
  if (w != nullptr && (trackFlags_ & TME_LEAVE)) {
    const UINT message = (trackFlags_ & TME_NONCLIENT) ? WM_NCMOUSELEAVE : WM_MOUSELEAVE;
    w->queue->posted.push_back(MSG{tracked_, message, 0, 0, static_cast<DWORD>(ClockNow()), cursor_});
    WakeLocked(*w->queue);
  }
  tracked_ = nullptr;
  trackFlags_ = 0;
}

void SimWindowSystem::QueueInputForPointLocked(RawInput input) {
  ThreadQueue* target = nullptr;
  if (Window* capture = FindLocked(capture_)) {
    target = capture->queue;
  } else if (HWND under = WindowFromPointLocked(nullptr, input.screen)) {
    target = FindLocked(under)->queue;
  } else if (Window* aimed = FindLocked(input.window)) {
    target = aimed->queue;
  }
  // A tracked window of another thread is certainly not under the pointer now.
  if (Window* tracked = FindLocked(tracked_); tracked && tracked->queue != target && input.message != WM_MOUSEWHEEL) {
    PostLeaveLocked();
  }
  if (target != nullptr) QueueInputLocked(*target, input);
}

void SimWindowSystem::InjectMouse(HWND window, UINT message, POINT client, int wheelDelta,
                                  bool forceDouble) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr) return;
  POINT origin = ClientOriginLocked(*w);
  RawInput input;
  input.kind = RawInput::kMouse;
  input.message = message;
  input.forceDouble = forceDouble;
  input.screen = POINT{origin.x + client.x, origin.y + client.y};
  input.wheelDelta = wheelDelta;
  input.window = window;
  // The wheel turns where the pointer is; it does not move it.
  if (message != WM_MOUSEWHEEL) cursor_ = input.screen;
  QueueInputForPointLocked(input);
}

void SimWindowSystem::InjectMouseLeave(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr) return;
  Window* root = FindLocked(RootLocked(window));
  const RECT area = ScreenRectLocked(*root);
  // The pointer goes to a corner of the screen the window does not cover.
  const POINT corners[] = {{0, 0}, {kScreenWidth - 1, 0}, {0, kScreenHeight - 1},
                           {kScreenWidth - 1, kScreenHeight - 1}};
  POINT away{area.left - 1, area.top - 1};
  for (const POINT& corner : corners) {
    if (!(corner.x >= area.left && corner.x < area.right && corner.y >= area.top && corner.y < area.bottom)) {
      away = corner;
      break;
    }
  }
  cursor_ = away;
  RawInput input;
  input.kind = RawInput::kLeave;
  input.screen = away;
  input.window = window;
  if (Window* tracked = FindLocked(tracked_); tracked && tracked->queue != w->queue) PostLeaveLocked();
  QueueInputLocked(*w->queue, input);
}

void SimWindowSystem::InjectKey(HWND window, UINT virtualKey, bool down) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr) return;
  RawInput input;
  input.kind = RawInput::kKey;
  input.message = down ? WM_KEYDOWN : WM_KEYUP;
  input.virtualKey = virtualKey & 0xFF;
  input.window = window;
  QueueInputLocked(*w->queue, input);
}

void SimWindowSystem::InjectChar(HWND window, wchar_t character) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr) return;
  RawInput input;
  input.kind = RawInput::kChar;
  input.character = character;
  input.window = window;
  QueueInputLocked(*w->queue, input);
}

HWND SimWindowSystem::WindowFromPointLocked(ThreadQueue* onlyQueue, POINT screen, bool) {
  for (HWND top : topLevel_) {
    Window* w = FindLocked(top);
    if (w == nullptr || !(w->style & WS_VISIBLE) || w->destroying || IsTooltip(*w)) continue;
    if (onlyQueue != nullptr && w->queue != onlyQueue) continue;
    const RECT& r = w->rect;
    if (!(screen.x >= r.left && screen.x < r.right && screen.y >= r.top && screen.y < r.bottom)) continue;
    if (w->region && !w->region->Contains(screen.x - r.left, screen.y - r.top)) continue;
    return ChildFromPointLocked(top, screen);
  }
  return nullptr;
}

HWND SimWindowSystem::ChildFromPointLocked(HWND parent, POINT screen) {
  Window* w = FindLocked(parent);
  // Nothing inside a disabled or minimised window is looked at.
  if (w == nullptr || (w->style & (WS_DISABLED | WS_MINIMIZE))) return parent;
  const POINT origin = ClientOriginLocked(*w);
  if (!(screen.x >= origin.x && screen.x < origin.x + (w->client.right - w->client.left) &&
        screen.y >= origin.y && screen.y < origin.y + (w->client.bottom - w->client.top))) {
    return parent;
  }
  for (HWND handle : w->children) {
    Window* c = FindLocked(handle);
    if (c == nullptr || !(c->style & WS_VISIBLE)) continue;
    const RECT r{c->rect.left + origin.x, c->rect.top + origin.y, c->rect.right + origin.x,
                 c->rect.bottom + origin.y};
    if (!(screen.x >= r.left && screen.x < r.right && screen.y >= r.top && screen.y < r.bottom)) continue;
    if (c->region && !c->region->Contains(screen.x - r.left, screen.y - r.top)) continue;
    return ChildFromPointLocked(handle, screen);
  }
  return parent;
}

void SimWindowSystem::CheckTrackingLocked(HWND target, int hitTest, POINT screen) {
  if (tracked_ == nullptr) return;
  const bool nonClient = (trackFlags_ & TME_NONCLIENT) != 0;
  const bool over = target == tracked_ && (nonClient ? hitTest != HTCLIENT : hitTest == HTCLIENT);
  if (!over) {
    PostLeaveLocked();
    return;
  }
  if ((trackFlags_ & TME_HOVER) && (std::abs(screen.x - hoverPoint_.x) > kHoverWidth / 2 ||
                                    std::abs(screen.y - hoverPoint_.y) > kHoverWidth / 2)) {
    hoverPoint_ = screen;
    hoverStart_ = ClockNow();
  }
}

bool SimWindowSystem::ProcessInput(std::unique_lock<std::mutex>& lock, ThreadQueue& queue,
                                   const RawInput& input, MSG* message) {
  switch (input.kind) {
    case RawInput::kMouse:
      return ProcessMouse(lock, queue, input, message);
    case RawInput::kLeave:
      pointerWindow_ = nullptr;
      pointerHit_ = HTNOWHERE;
      CheckTrackingLocked(nullptr, HTNOWHERE, input.screen);
      return false;
    case RawInput::kKey:
    case RawInput::kChar:
      return ProcessKey(lock, queue, input, message);
  }
  return false;
}

bool SimWindowSystem::ProcessMouse(std::unique_lock<std::mutex>& lock, ThreadQueue& queue,
                                   const RawInput& input, MSG* message) {
  const uint64_t now = ClockNow();
  const POINT screen = input.screen;
  HWND target = nullptr;
  int hit = HTNOWHERE;
  Window* capture = FindLocked(capture_);
  if (capture != nullptr && capture->queue == &queue) {
    target = capture_;
    hit = HTCLIENT;
  } else {
    HWND candidate = WindowFromPointLocked(&queue, screen);
    while (candidate != nullptr) {
      lock.unlock();
      LRESULT answer = Send(candidate, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
      lock.lock();
      hit = static_cast<int>(answer);
      if (hit != HTTRANSPARENT) {
        target = candidate;
        break;
      }
      Window* c = FindLocked(candidate);
      candidate = c != nullptr && (c->style & WS_CHILD) ? c->parent : nullptr;
    }
    if (FindLocked(target) == nullptr) target = nullptr;
  }
  if (input.message != WM_MOUSEWHEEL) {
    pointerWindow_ = target;
    pointerHit_ = target ? hit : HTNOWHERE;
    CheckTrackingLocked(target, hit, screen);
  }
  if (target == nullptr) return false;
  Window* w = FindLocked(target);
  // A disabled window (or one inside a disabled window) gets no input.
  if (!IsEnabledTreeLocked(*w)) return false;

  UINT kind = input.message;
  switch (kind) {
    case WM_LBUTTONDOWN: SetKeyLocked(queue, VK_LBUTTON, true); break;
    case WM_LBUTTONUP: SetKeyLocked(queue, VK_LBUTTON, false); break;
    case WM_RBUTTONDOWN: SetKeyLocked(queue, VK_RBUTTON, true); break;
    case WM_RBUTTONUP: SetKeyLocked(queue, VK_RBUTTON, false); break;
    default: break;
  }
  if (kind == WM_MOUSEWHEEL) {
    *message = MSG{target, WM_MOUSEWHEEL,
                   MAKEWPARAM(MouseKeyFlagsLocked(queue), static_cast<WORD>(static_cast<SHORT>(input.wheelDelta))),
                   MAKELPARAM(screen.x, screen.y), static_cast<DWORD>(now), screen};
    return true;
  }
  const bool client = hit == HTCLIENT;
  const bool press = kind == WM_LBUTTONDOWN || kind == WM_RBUTTONDOWN;
  if (press) {
    const bool close = std::abs(screen.x - queue.lastPressPoint.x) <= kDoubleClickWidth / 2 &&
                      std::abs(screen.y - queue.lastPressPoint.y) <= kDoubleClickWidth / 2;
    const bool second = input.forceDouble ||
                        (queue.lastPress == kind && queue.lastPressWindow == target && close &&
                         now - queue.lastPressTime < static_cast<uint64_t>(kDoubleClickTime));
    const bool classDouble = w->windowClass && (w->windowClass->info.style & CS_DBLCLKS);
    if (second && (!client || classDouble)) {
      kind += WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
      queue.lastPress = 0;
    } else {
      queue.lastPress = kind;
      queue.lastPressWindow = target;
      queue.lastPressPoint = screen;
      queue.lastPressTime = now;
    }
  }
  const UINT raw = kind;
  const UINT final = client ? kind : kind - kNonClientOffset;

  bool eat = false;
  if (press) {
    const HWND root = RootLocked(target);
    Window* top = FindLocked(root);
    if (root != queue.active && top != nullptr && !(top->style & WS_DISABLED) && !IsTooltip(*top)) {
      lock.unlock();
      LRESULT answer = Send(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root), MAKELPARAM(hit, raw));
      eat = answer == MA_ACTIVATEANDEAT || answer == MA_NOACTIVATEANDEAT;
      if (answer != MA_NOACTIVATE && answer != MA_NOACTIVATEANDEAT) SetActiveWindow(root, true);
      lock.lock();
    }
  }
  lock.unlock();
  Send(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(hit, raw));
  lock.lock();
  w = FindLocked(target);
  if (eat || w == nullptr) return false;
  LPARAM position = MAKELPARAM(screen.x, screen.y);
  WPARAM flags = static_cast<WPARAM>(hit);
  if (client) {
    const POINT origin = ClientOriginLocked(*w);
    position = MAKELPARAM(screen.x - origin.x, screen.y - origin.y);
    flags = MouseKeyFlagsLocked(queue);
  }
  *message = MSG{target, final, flags, position, static_cast<DWORD>(now), screen};
  return true;
}

bool SimWindowSystem::ProcessKey(std::unique_lock<std::mutex>&, ThreadQueue& queue,
                                 const RawInput& input, MSG* message) {
  const DWORD now = static_cast<DWORD>(ClockNow());
  if (input.kind == RawInput::kChar) {
    Window* w = FindLocked(queue.focus);
    if (w == nullptr || !IsEnabledTreeLocked(*w)) return false;
    *message = MSG{queue.focus, WM_CHAR, static_cast<WPARAM>(input.character), 1, now, cursor_};
    return true;
  }
  const UINT vk = input.virtualKey & 0xFF;
  const bool down = input.message == WM_KEYDOWN;
  const bool wasDown = (queue.keys[vk] & 0x80) != 0;
  SetKeyLocked(queue, vk, down);
  const bool alt = (queue.keys[VK_MENU] & 0x80) != 0;
  const bool ctrl = (queue.keys[VK_CONTROL] & 0x80) != 0;
  HWND target = queue.focus;
  bool system = false;
  // With no focus the keys go to the active window, as system keys.
  if (target == nullptr) {
    target = queue.active;
    system = true;
  }
  Window* w = FindLocked(target);
  if (w == nullptr || !IsEnabledTreeLocked(*w)) return false;
  if ((alt && !ctrl) || vk == VK_MENU || vk == kVkF10) system = true;
  bool extended = false;
  const UINT scan = ScanCodeOf(vk, &extended);
  DWORD data = 1 | (scan << 16) | (extended ? 1u << 24 : 0) | (alt ? 1u << 29 : 0);
  if (down) {
    if (wasDown) data |= 1u << 30;
  } else {
    data |= (1u << 30) | (1u << 31);
  }
  const UINT kind = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
  *message = MSG{target, kind, vk, static_cast<LPARAM>(data), now, cursor_};
  return true;
}

bool SimWindowSystem::PreviewInputLocked(ThreadQueue& queue, const RawInput& input, MSG* message) {
  const DWORD now = static_cast<DWORD>(ClockNow());
  switch (input.kind) {
    case RawInput::kMouse: {
      Window* capture = FindLocked(capture_);
      HWND target = capture && capture->queue == &queue ? capture_ : WindowFromPointLocked(&queue, input.screen);
      Window* w = FindLocked(target);
      if (w == nullptr) return false;
      const POINT origin = ClientOriginLocked(*w);
      const bool client = target == capture_ ||
                          (input.screen.x >= origin.x && input.screen.x < origin.x + (w->client.right - w->client.left) &&
                           input.screen.y >= origin.y && input.screen.y < origin.y + (w->client.bottom - w->client.top));
      if (input.message == WM_MOUSEWHEEL) {
        *message = MSG{target, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(input.wheelDelta)),
                       MAKELPARAM(input.screen.x, input.screen.y), now, input.screen};
      } else if (client) {
        *message = MSG{target, input.message, MouseKeyFlagsLocked(queue),
                       MAKELPARAM(input.screen.x - origin.x, input.screen.y - origin.y), now, input.screen};
      } else {
        *message = MSG{target, input.message - kNonClientOffset, HTNOWHERE,
                       MAKELPARAM(input.screen.x, input.screen.y), now, input.screen};
      }
      return true;
    }
    case RawInput::kKey: {
      HWND target = queue.focus ? queue.focus : queue.active;
      if (target == nullptr) return false;
      *message = MSG{target, input.message, input.virtualKey, 1, now, cursor_};
      return true;
    }
    case RawInput::kChar:
      if (queue.focus == nullptr) return false;
      *message = MSG{queue.focus, WM_CHAR, static_cast<WPARAM>(input.character), 1, now, cursor_};
      return true;
    case RawInput::kLeave:
      return false;
  }
  return false;
}

BOOL SimWindowSystem::TranslateMessage(const MSG* message) {
  if (message == nullptr) return FALSE;
  if (message->message == WM_KEYUP || message->message == WM_SYSKEYUP) return TRUE;
  if (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN) return FALSE;
  std::lock_guard<std::mutex> lock(mutex_);
  ThreadQueue& queue = CurrentQueueLocked();
  const bool shift = (queue.keys[VK_SHIFT] & 0x80) != 0;
  const bool ctrl = (queue.keys[VK_CONTROL] & 0x80) != 0;
  const bool alt = (queue.keys[VK_MENU] & 0x80) != 0;
  const bool caps = (queue.keys[kVkCapital] & 0x01) != 0;
  const wchar_t character = CharacterOf(static_cast<UINT>(message->wParam) & 0xFF, shift, ctrl, alt, caps);
  if (character != 0) {
    const UINT kind = message->message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    queue.posted.push_back(MSG{message->hwnd, kind, static_cast<WPARAM>(character), message->lParam,
                               static_cast<DWORD>(ClockNow()), cursor_});
  }
  return TRUE;
}

}  // namespace rundix::sim
