// The window driver over USER32: real messages to real windows. Work reaches the window
// thread through a WH_GETMESSAGE hook that runs it when a registered message is retrieved, in
// whichever loop the thread is (modal ones included). Input is made on that thread as the
// system makes it: the pointer is moved (so tracking, hover and the cursor position agree),
// WM_NCHITTEST and WM_SETCURSOR are sent, then the mouse message is posted; keys update the
// thread's keyboard state and are posted to its focus window, for TranslateMessage to make
// the characters. A WH_MOUSE hook keeps the system's own mouse messages (from the pointer the
// driver moves) away from the driven threads, so every mouse message they see is the
// driver's.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/WindowDriver.h"
#include "platform/WindowSystem.h"

namespace rundix {
namespace {

constexpr DWORD kIdleTimeout = 20000;

UINT RunMessage() {
  static const UINT message = ::RegisterWindowMessageW(L"RundixWindowDriverRun");
  return message;
}

struct Job {
  std::function<void()> work;
  std::atomic<int> state{0};  // 0 waiting, 1 running, 2 done, 3 cancelled
  HANDLE done = nullptr;
  ~Job() {
    if (done) ::CloseHandle(done);
  }
};

std::mutex g_mutex;
std::map<LPARAM, std::shared_ptr<Job>> g_jobs;
LPARAM g_nextJob = 0;

LRESULT CALLBACK GetMessageHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    MSG* message = reinterpret_cast<MSG*>(lParam);
    if (message->message == RunMessage()) {
      std::shared_ptr<Job> job;
      {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_jobs.find(message->lParam);
        if (it != g_jobs.end()) {
          job = it->second;
          g_jobs.erase(it);
        }
      }
      message->message = WM_NULL;
      int waiting = 0;
      if (job && job->state.compare_exchange_strong(waiting, 1)) {
        job->work();
        job->state = 2;
        ::SetEvent(job->done);
      }
    }
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK MouseHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION || code == HC_NOREMOVE) return 1;  // dropped: the driver speaks for the mouse
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// What the driver remembers of a window thread: its hooks and its last press (for double
// clicks). Keyed by id and creation time, since thread ids come back.
struct ThreadKey {
  DWORD id = 0;
  ULONGLONG created = 0;
  bool operator<(const ThreadKey& other) const {
    return id != other.id ? id < other.id : created < other.created;
  }
};

struct ThreadRecord {
  HHOOK getMessage = nullptr;
  HHOOK mouse = nullptr;
  UINT lastPress = 0;
  HWND lastPressWindow = nullptr;
  POINT lastPressPoint{0, 0};
  DWORD lastPressTime = 0;
};

std::map<ThreadKey, ThreadRecord> g_threads;
std::map<HWND, DWORD> g_windowThreads;  // every window the driver has met

ThreadKey KeyOf(DWORD thread) {
  ThreadKey key{thread, 0};
  HANDLE handle = ::OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, thread);
  if (handle != nullptr) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (::GetThreadTimes(handle, &created, &exited, &kernel, &user)) {
      key.created = (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    }
    ::CloseHandle(handle);
  }
  return key;
}

DWORD ThreadOfWindow(HWND window) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (window != nullptr && ::IsWindow(window)) {
    DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    g_windowThreads[window] = thread;
    return thread;
  }
  auto it = g_windowThreads.find(window);
  return it == g_windowThreads.end() ? 0 : it->second;
}

ThreadRecord& RecordOf(DWORD thread) {
  // g_mutex held by the caller
  static bool parked = false;
  if (!parked) {
    // The pointer starts in a corner, away from the windows tests make.
    ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 1, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    parked = true;
  }
  ThreadRecord& record = g_threads[KeyOf(thread)];
  if (record.getMessage == nullptr) {
    record.getMessage = ::SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, thread);
    record.mouse = ::SetWindowsHookExW(WH_MOUSE, MouseHook, nullptr, thread);
  }
  return record;
}

DWORD Remaining(DWORD start, DWORD timeout) {
  DWORD elapsed = ::GetTickCount() - start;
  return elapsed >= timeout ? 0 : timeout - elapsed;
}

void PumpCurrentThread() {
  MSG message;
  for (int i = 0; i < 10000 && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

// Runs `work` on `thread` from its message loop; the message goes to `window` while it exists
// (so loops filtering for it see it), else to the thread.
bool RunOnThread(DWORD thread, HWND window, const std::function<void()>& work, DWORD timeout) {
  if (thread == 0) return false;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    RecordOf(thread);
  }
  if (thread == ::GetCurrentThreadId()) {
    work();
    return true;
  }
  auto job = std::make_shared<Job>();
  job->work = work;
  job->done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (job->done == nullptr) return false;
  LPARAM id = 0;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    id = ++g_nextJob;
    g_jobs[id] = job;
  }
  const bool posted = ::IsWindow(window) ? ::PostMessageW(window, RunMessage(), 0, id)
                                         : ::PostThreadMessageW(thread, RunMessage(), 0, id);
  if (!posted) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_jobs.erase(id);
    return false;
  }
  const DWORD start = ::GetTickCount();
  for (;;) {
    DWORD left = Remaining(start, timeout);
    if (::WaitForSingleObject(job->done, std::min<DWORD>(left, 50)) == WAIT_OBJECT_0) break;
    int waiting = 0;
    const bool gone = window != nullptr && !::IsWindow(window);
    if ((left == 0 || gone) && job->state.compare_exchange_strong(waiting, 3)) break;
    if (left == 0) break;
  }
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_jobs.erase(id);
  }
  return job->state == 2;
}

bool WindowAndAncestorsEnabled(HWND window) {
  for (HWND w = window; w != nullptr; w = (::GetWindowLongW(w, GWL_STYLE) & WS_CHILD) ? ::GetParent(w) : nullptr) {
    if (!::IsWindowEnabled(w)) return false;
  }
  return true;
}

// The window of this thread that gets mouse input at a screen point, and its hit-test code,
// found as the system does: capture first, else the deepest visible window under the point,
// asked with WM_NCHITTEST (a transparent answer passes it to the parent).
HWND MouseTarget(POINT screen, int* hit) {
  *hit = HTNOWHERE;
  if (HWND capture = ::GetCapture()) {
    *hit = HTCLIENT;
    return capture;
  }
  HWND under = ::WindowFromPoint(screen);
  if (under == nullptr) return nullptr;
  HWND candidate = ::GetAncestor(under, GA_ROOT);
  if (candidate == nullptr || ::GetWindowThreadProcessId(candidate, nullptr) != ::GetCurrentThreadId()) return nullptr;
  for (;;) {
    if (!::IsWindowEnabled(candidate)) break;  // nothing inside a disabled window is looked at
    POINT client = screen;
    ::ScreenToClient(candidate, &client);
    RECT area{};
    ::GetClientRect(candidate, &area);
    if (!::PtInRect(&area, client)) break;
    HWND child = ::ChildWindowFromPointEx(candidate, client, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
    if (child == nullptr || child == candidate) break;
    candidate = child;
  }
  while (candidate != nullptr) {
    LRESULT answer = ::SendMessageW(candidate, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
    if (static_cast<int>(answer) != HTTRANSPARENT) {
      *hit = static_cast<int>(answer);
      return candidate;
    }
    candidate = (::GetWindowLongW(candidate, GWL_STYLE) & WS_CHILD) ? ::GetParent(candidate) : nullptr;
  }
  return nullptr;
}

// The leave Windows posts when the pointer is no longer over the tracked window, at once
// rather than at the system's next look.
void CheckTracking(HWND target, int hit, bool left) {
  TRACKMOUSEEVENT query{sizeof(query), TME_QUERY, nullptr, 0};
  if (!::TrackMouseEvent(&query) || query.hwndTrack == nullptr || !(query.dwFlags & (TME_LEAVE | TME_HOVER))) return;
  const bool nonClient = (query.dwFlags & TME_NONCLIENT) != 0;
  const bool over = !left && target == query.hwndTrack && (nonClient ? hit != HTCLIENT : hit == HTCLIENT);
  if (over) return;
  TRACKMOUSEEVENT cancel{sizeof(cancel), TME_CANCEL | (query.dwFlags & (TME_LEAVE | TME_HOVER | TME_NONCLIENT)),
                         query.hwndTrack, 0};
  ::TrackMouseEvent(&cancel);
  if (query.dwFlags & TME_LEAVE) ::PostMessageW(query.hwndTrack, nonClient ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0);
}

void SetKey(BYTE* keys, UINT vk, bool down) {
  if (down) {
    if (!(keys[vk] & 0x80)) keys[vk] ^= 0x01;
    keys[vk] |= 0x80;
  } else {
    keys[vk] &= static_cast<BYTE>(~0x80);
  }
}

WPARAM MouseKeyFlags(const BYTE* keys) {
  WPARAM flags = 0;
  if (keys[VK_LBUTTON] & 0x80) flags |= MK_LBUTTON;
  if (keys[VK_RBUTTON] & 0x80) flags |= MK_RBUTTON;
  if (keys[VK_SHIFT] & 0x80) flags |= MK_SHIFT;
  if (keys[VK_CONTROL] & 0x80) flags |= MK_CONTROL;
  return flags;
}

// On the window thread: the mouse input one event makes.
void DeliverMouse(HWND window, UINT kind, POINT client, int delta, bool forceDouble) {
  POINT screen = client;
  ::ClientToScreen(window, &screen);
  if (kind != WM_MOUSEWHEEL) ::SetCursorPos(screen.x, screen.y);
  int hit = HTNOWHERE;
  HWND target = MouseTarget(screen, &hit);
  if (kind != WM_MOUSEWHEEL) CheckTracking(target, hit, false);
  if (target == nullptr || !WindowAndAncestorsEnabled(target)) return;
  BYTE keys[256];
  ::GetKeyboardState(keys);
  if (kind == WM_LBUTTONDOWN || kind == WM_LBUTTONUP) SetKey(keys, VK_LBUTTON, kind == WM_LBUTTONDOWN);
  if (kind == WM_RBUTTONDOWN || kind == WM_RBUTTONUP) SetKey(keys, VK_RBUTTON, kind == WM_RBUTTONDOWN);
  ::SetKeyboardState(keys);
  if (kind == WM_MOUSEWHEEL) {
    ::PostMessageW(target, WM_MOUSEWHEEL, MAKEWPARAM(MouseKeyFlags(keys), static_cast<WORD>(static_cast<SHORT>(delta))),
                   MAKELPARAM(screen.x, screen.y));
    return;
  }
  const bool clientHit = hit == HTCLIENT;
  const bool press = kind == WM_LBUTTONDOWN || kind == WM_RBUTTONDOWN;
  if (press) {
    const DWORD now = ::GetTickCount();
    std::lock_guard<std::mutex> lock(g_mutex);
    ThreadRecord& record = RecordOf(::GetCurrentThreadId());
    const bool close = std::abs(screen.x - record.lastPressPoint.x) <= ::GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                      std::abs(screen.y - record.lastPressPoint.y) <= ::GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    const bool second = forceDouble || (record.lastPress == kind && record.lastPressWindow == target && close &&
                                        now - record.lastPressTime < ::GetDoubleClickTime());
    const bool classDouble = (::GetClassLongW(target, GCL_STYLE) & CS_DBLCLKS) != 0;
    if (second && (!clientHit || classDouble)) {
      kind += WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
      record.lastPress = 0;
    } else {
      record.lastPress = kind;
      record.lastPressWindow = target;
      record.lastPressPoint = screen;
      record.lastPressTime = now;
    }
  }
  const UINT raw = kind;
  bool eat = false;
  if (press) {
    HWND root = ::GetAncestor(target, GA_ROOT);
    if (root != ::GetActiveWindow() && ::IsWindowEnabled(root)) {
      LRESULT answer = ::SendMessageW(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(root), MAKELPARAM(hit, raw));
      eat = answer == MA_ACTIVATEANDEAT || answer == MA_NOACTIVATEANDEAT;
      if (answer != MA_NOACTIVATE && answer != MA_NOACTIVATEANDEAT) ::SetActiveWindow(root);
    }
  }
  ::SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(hit, raw));
  if (eat || !::IsWindow(target)) return;
  if (clientHit) {
    POINT inside = screen;
    ::ScreenToClient(target, &inside);
    ::PostMessageW(target, kind, MouseKeyFlags(keys), MAKELPARAM(inside.x, inside.y));
  } else {
    ::PostMessageW(target, kind - (WM_MOUSEMOVE - WM_NCMOUSEMOVE), static_cast<WPARAM>(hit),
                   MAKELPARAM(screen.x, screen.y));
  }
}

void DeliverKey(UINT vk, bool down) {
  BYTE keys[256];
  ::GetKeyboardState(keys);
  const bool wasDown = (keys[vk] & 0x80) != 0;
  SetKey(keys, vk, down);
  // The left-hand keys go with the generic ones, for those who look at either.
  if (vk == VK_SHIFT) SetKey(keys, VK_LSHIFT, down);
  if (vk == VK_CONTROL) SetKey(keys, VK_LCONTROL, down);
  if (vk == VK_MENU) SetKey(keys, VK_LMENU, down);
  ::SetKeyboardState(keys);
  const bool alt = (keys[VK_MENU] & 0x80) != 0;
  const bool ctrl = (keys[VK_CONTROL] & 0x80) != 0;
  HWND target = ::GetFocus();
  bool system = false;
  if (target == nullptr) {
    target = ::GetActiveWindow();
    system = true;
  }
  if (target == nullptr || !WindowAndAncestorsEnabled(target)) return;
  if ((alt && !ctrl) || vk == VK_MENU || vk == VK_F10) system = true;
  const UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
  const bool extended = vk == VK_LEFT || vk == VK_RIGHT || vk == VK_UP || vk == VK_DOWN || vk == VK_HOME ||
                        vk == VK_END || vk == VK_PRIOR || vk == VK_NEXT || vk == VK_DELETE || vk == VK_INSERT;
  DWORD data = 1 | (scan << 16) | (extended ? 1u << 24 : 0) | (alt ? 1u << 29 : 0);
  if (down) {
    if (wasDown) data |= 1u << 30;
  } else {
    data |= (1u << 30) | (1u << 31);
  }
  const UINT kind = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
  ::PostMessageW(target, kind, vk, static_cast<LPARAM>(data));
}

class Win32WindowDriver final : public IWindowDriver {
 public:
  void MouseMove(HWND window, POINT client) override { Mouse(window, WM_MOUSEMOVE, client, 0, false); }
  void LButtonDown(HWND window, POINT client) override { Mouse(window, WM_LBUTTONDOWN, client, 0, false); }
  void LButtonUp(HWND window, POINT client) override { Mouse(window, WM_LBUTTONUP, client, 0, false); }
  void LButtonDblClk(HWND window, POINT client) override { Mouse(window, WM_LBUTTONDOWN, client, 0, true); }
  void RButtonDown(HWND window, POINT client) override { Mouse(window, WM_RBUTTONDOWN, client, 0, false); }
  void RButtonUp(HWND window, POINT client) override { Mouse(window, WM_RBUTTONUP, client, 0, false); }
  void Wheel(HWND window, POINT client, int delta) override { Mouse(window, WM_MOUSEWHEEL, client, delta, false); }
  void MouseLeave(HWND window) override {
    Run(window, [window] {
      RECT area{};
      ::GetWindowRect(::GetAncestor(window, GA_ROOT), &area);
      const int width = ::GetSystemMetrics(SM_CXSCREEN);
      const int height = ::GetSystemMetrics(SM_CYSCREEN);
      const POINT corners[] = {{0, 0}, {width - 1, 0}, {0, height - 1}, {width - 1, height - 1}};
      for (const POINT& corner : corners) {
        if (!::PtInRect(&area, corner)) {
          ::SetCursorPos(corner.x, corner.y);
          break;
        }
      }
      CheckTracking(nullptr, HTNOWHERE, true);
    }, kIdleTimeout);
  }
  void KeyDown(HWND window, UINT virtualKey, bool shift) override {
    Run(window, [virtualKey, shift] {
      if (shift) DeliverKey(VK_SHIFT, true);
      DeliverKey(virtualKey & 0xFF, true);
    }, kIdleTimeout);
  }
  void KeyUp(HWND window, UINT virtualKey, bool shift) override {
    Run(window, [virtualKey, shift] {
      DeliverKey(virtualKey & 0xFF, false);
      if (shift) DeliverKey(VK_SHIFT, false);
    }, kIdleTimeout);
  }
  void Char(HWND window, wchar_t character) override {
    Run(window, [character] {
      HWND focus = ::GetFocus();
      if (focus != nullptr && WindowAndAncestorsEnabled(focus)) ::PostMessageW(focus, WM_CHAR, character, 1);
    }, kIdleTimeout);
  }

  bool Run(HWND window, const std::function<void()>& work, DWORD realTimeoutMs) override {
    if (window == nullptr || !::IsWindow(window)) return false;
    return RunOnThread(ThreadOfWindow(window), window, work, realTimeoutMs);
  }

  bool WaitIdle(HWND window, DWORD realTimeoutMs) override {
    const DWORD thread = ThreadOfWindow(window);
    if (thread == 0) return false;
    if (thread == ::GetCurrentThreadId()) {
      PumpCurrentThread();
      return true;
    }
    const DWORD start = ::GetTickCount();
    for (;;) {
      auto idle = std::make_shared<bool>(false);
      // Looked at while the thread takes our message: nothing else may be waiting then.
      bool ran = RunOnThread(thread, window, [idle] {
        *idle = HIWORD(::GetQueueStatus(QS_ALLINPUT)) == 0;
      }, Remaining(start, realTimeoutMs));
      if (ran && *idle) return true;
      if (Remaining(start, realTimeoutMs) == 0) return false;
      ::Sleep(2);
    }
  }

  void Advance(HWND window, DWORD milliseconds) override {
    const DWORD thread = ThreadOfWindow(window);
    if (thread == ::GetCurrentThreadId()) {
      const DWORD start = ::GetTickCount();
      while (Remaining(start, milliseconds) > 0) {
        PumpCurrentThread();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(Remaining(start, milliseconds), 10),
                                    QS_ALLINPUT);
      }
      PumpCurrentThread();
      return;
    }
    ::Sleep(milliseconds);
    WaitIdle(window, kIdleTimeout);
  }

  bool WaitFor(HWND window, const std::function<bool()>& condition, DWORD realTimeoutMs) override {
    const DWORD thread = ThreadOfWindow(window);
    if (thread == 0) return false;
    const DWORD start = ::GetTickCount();
    for (;;) {
      if (thread == ::GetCurrentThreadId()) {
        PumpCurrentThread();
        if (condition()) return true;
      } else if (WaitIdle(window, std::min<DWORD>(Remaining(start, realTimeoutMs), 100))) {
        auto result = std::make_shared<bool>(false);
        std::function<bool()> check = condition;
        if (RunOnThread(thread, window, [result, check] { *result = check(); }, Remaining(start, realTimeoutMs)) &&
            *result) {
          return true;
        }
      }
      if (Remaining(start, realTimeoutMs) == 0) return false;
      ::Sleep(10);
    }
  }

  std::unique_ptr<Bitmap> Capture(HWND window) override {
    auto result = std::make_shared<std::unique_ptr<Bitmap>>();
    Run(window, [window, result] { *result = CaptureHere(window); }, kIdleTimeout);
    return std::move(*result);
  }

 private:
  void Mouse(HWND window, UINT kind, POINT client, int delta, bool forceDouble) {
    Run(window, [=] { DeliverMouse(window, kind, client, delta, forceDouble); }, kIdleTimeout);
  }

  // On the window thread: paints what is pending, then reads the client area (child windows
  // included) off the window and clears what lies outside the window's region.
  static std::unique_ptr<Bitmap> CaptureHere(HWND window) {
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::GdiFlush();
    RECT client{};
    ::GetClientRect(window, &client);
    const int width = client.right;
    const int height = client.bottom;
    std::unique_ptr<Bitmap> out = CreateBitmap(width, height);
    if (!out) return nullptr;
    HDC source = ::GetDC(window);
    HDC memory = ::CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (section != nullptr && bits != nullptr) {
      HGDIOBJ old = ::SelectObject(memory, section);
      copied = ::BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY) != FALSE;
      ::GdiFlush();
      ::SelectObject(memory, old);
    }
    if (copied) {
      std::vector<bool> inside(static_cast<size_t>(width) * height, true);
      HRGN region = ::CreateRectRgn(0, 0, 0, 0);
      if (region != nullptr && ::GetWindowRgn(window, region) != ERROR) {
        // The region is in window coordinates; the pixels are the client area's.
        RECT outer{};
        ::GetWindowRect(window, &outer);
        POINT origin{0, 0};
        ::ClientToScreen(window, &origin);
        ::OffsetRgn(region, outer.left - origin.x, outer.top - origin.y);
        std::fill(inside.begin(), inside.end(), false);
        DWORD size = ::GetRegionData(region, 0, nullptr);
        std::vector<BYTE> data(size);
        if (size > 0 && ::GetRegionData(region, size, reinterpret_cast<RGNDATA*>(data.data())) == size) {
          auto* header = reinterpret_cast<RGNDATA*>(data.data());
          const RECT* rects = reinterpret_cast<const RECT*>(header->Buffer);
          for (DWORD i = 0; i < header->rdh.nCount; ++i) {
            for (int y = std::max<LONG>(rects[i].top, 0); y < std::min<LONG>(rects[i].bottom, height); ++y) {
              for (int x = std::max<LONG>(rects[i].left, 0); x < std::min<LONG>(rects[i].right, width); ++x) {
                inside[static_cast<size_t>(y) * width + x] = true;
              }
            }
          }
        }
      }
      if (region != nullptr) ::DeleteObject(region);
      uint8_t* to = out->LockPixels();
      const uint32_t* from = static_cast<const uint32_t*>(bits);
      for (int y = 0; y < height; ++y) {
        uint32_t* row = reinterpret_cast<uint32_t*>(to + static_cast<size_t>(y) * out->Stride());
        for (int x = 0; x < width; ++x) {
          row[x] = inside[static_cast<size_t>(y) * width + x] ? (from[static_cast<size_t>(y) * width + x] | 0xFF000000u) : 0;
        }
      }
      out->UnlockPixels();
    }
    if (section != nullptr) ::DeleteObject(section);
    ::DeleteDC(memory);
    ::ReleaseDC(window, source);
    return copied ? std::move(out) : nullptr;
  }
};

}  // namespace

IWindowDriver& WindowDriver() {
  static Win32WindowDriver driver;
  return driver;
}

}  // namespace rundix
