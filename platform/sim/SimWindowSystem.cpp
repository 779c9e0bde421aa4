#include "platform/sim/SimWindowSystem.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cwctype>

#include "platform/Resources.h"
#include "platform/sim/SimClock.h"

namespace rundix {

IWindowSystem& WindowSystem() { return sim::SimWindowSystem::Instance(); }

namespace sim {

const wchar_t kEditClassName[] = L"Edit";
const wchar_t kTooltipClassName[] = L"tooltips_class32";

LRESULT EditWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT TooltipWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

namespace {

constexpr DWORD kErrorClassDoesNotExist = 1411;
constexpr DWORD kErrorInvalidIndex = 1413;
constexpr int kGwlHInstance = -6;
constexpr int kGwlHwndParent = -8;

thread_local DWORD t_lastError = 0;

std::wstring Lower(const wchar_t* text) {
  std::wstring lower;
  for (; text && *text; ++text) lower.push_back(static_cast<wchar_t>(std::towlower(*text)));
  return lower;
}

bool IsAtom(const wchar_t* name) { return reinterpret_cast<uintptr_t>(name) < 0x10000; }

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) return RECT{0, 0, 0, 0};
  return r;
}

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT Union(const RECT& a, const RECT& b) {
  if (Empty(a)) return b;
  if (Empty(b)) return a;
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

RECT Offset(RECT r, int dx, int dy) {
  r.left += dx;
  r.right += dx;
  r.top += dy;
  r.bottom += dy;
  return r;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

bool RangeAdmits(UINT min, UINT max, UINT message) {
  return (min == 0 && max == 0) || (message >= min && message <= max);
}

uint64_t ClockNow() { return SimClock::Instance().Now64(); }

}  // namespace

// Frees the windows of a thread that ends, as Windows does, so that nothing of a finished
// test or tool lingers in the next one.
struct ThreadExitHook {
  bool armed = false;
  ~ThreadExitHook() {
    if (armed) SimWindowSystem::Instance().ThreadExiting(std::this_thread::get_id());
  }
};
namespace {
thread_local ThreadExitHook t_exitHook;
}  // namespace

SimWindowSystem& SimWindowSystem::Instance() {
  // Never destroyed: threads may still end (and free their windows) during process exit.
  static SimWindowSystem* instance = new SimWindowSystem();
  return *instance;
}

SimWindowSystem::SimWindowSystem() {
  RegisterSystemClasses();
  windowBrush_ = static_cast<HBRUSH>(NewObjectHandle());
  brushes_[windowBrush_] = RGB(255, 255, 255);
  clockListener_ = SimClock::Instance().AddListener([this] {
    std::lock_guard<std::mutex> lock(mutex_);
    WakeAllLocked();
    idle_.notify_all();
  });
}

void SimWindowSystem::RegisterSystemClasses() {
  auto add = [this](const wchar_t* name, WNDPROC proc, UINT style, int cursor) {
    auto windowClass = std::make_shared<WindowClass>();
    windowClass->name = name;
    windowClass->info.style = style;
    windowClass->info.lpfnWndProc = proc;
    windowClass->info.lpszClassName = windowClass->name.c_str();
    windowClass->info.hCursor = LoadCursorW(cursor);
    windowClass->atom = nextAtom_++;
    windowClass->system = true;
    systemClasses_[Lower(name)] = windowClass;
  };
  add(kEditClassName, &EditWindowProc, CS_DBLCLKS, kCursorIBeam);
  add(kTooltipClassName, &TooltipWindowProc, CS_DBLCLKS, kCursorArrow);
}

HANDLE SimWindowSystem::NewObjectHandle() {
  nextObject_ += 4;
  return reinterpret_cast<HANDLE>(nextObject_);
}

DWORD SimWindowSystem::GetLastError() { return t_lastError; }
DWORD SimWindowSystem::GetTickCount() { return SimClock::Instance().Now(); }
void SimWindowSystem::SetLastErrorValue(DWORD error) { t_lastError = error; }

// --- Queues and threads ----------------------------------------------------------------------

ThreadQueue& SimWindowSystem::CurrentQueueLocked() {
  const std::thread::id id = std::this_thread::get_id();
  auto it = queues_.find(id);
  if (it != queues_.end()) return *it->second;
  t_exitHook.armed = true;
  auto queue = std::make_unique<ThreadQueue>();
  queue->thread = id;
  ThreadQueue& result = *queue;
  queues_[id] = std::move(queue);
  return result;
}

ThreadQueue* SimWindowSystem::QueueOfThreadLocked(std::thread::id thread) {
  auto it = queues_.find(thread);
  return it == queues_.end() ? nullptr : it->second.get();
}

void SimWindowSystem::ThreadExiting(std::thread::id thread) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThreadQueue* queue = QueueOfThreadLocked(thread);
  if (queue == nullptr) return;
  std::vector<HWND> owned;
  for (auto& entry : windows_) {
    if (entry.second->queue == queue) owned.push_back(entry.first);
  }
  for (HWND handle : owned) {
    if (Window* window = FindLocked(handle)) FreeWindowLocked(*window);
  }
  for (auto& work : queue->work) work->state = Work::kCancelled;
  queues_.erase(thread);
  idle_.notify_all();
}

void SimWindowSystem::WakeLocked(ThreadQueue& queue) { queue.wake.notify_all(); }

void SimWindowSystem::WakeAllLocked() {
  for (auto& entry : queues_) entry.second->wake.notify_all();
}

// --- Lookups -----------------------------------------------------------------------------

Window* SimWindowSystem::FindLocked(HWND window) {
  if (window == nullptr) return nullptr;
  auto it = windows_.find(window);
  return it == windows_.end() ? nullptr : it->second.get();
}

bool SimWindowSystem::IsOwnThreadLocked(const Window& window) const {
  return window.queue != nullptr && window.queue->thread == std::this_thread::get_id();
}

RECT SimWindowSystem::ScreenRectLocked(const Window& window) {
  if (window.parent == nullptr) return window.rect;
  Window* parent = FindLocked(window.parent);
  if (parent == nullptr) return window.rect;
  POINT origin = ClientOriginLocked(*parent);
  return Offset(window.rect, origin.x, origin.y);
}

POINT SimWindowSystem::ClientOriginLocked(const Window& window) {
  RECT screen = ScreenRectLocked(window);
  return POINT{screen.left + window.client.left, screen.top + window.client.top};
}

bool SimWindowSystem::IsDescendantLocked(HWND ancestor, HWND window) {
  Window* w = FindLocked(window);
  while (w != nullptr && w->parent != nullptr) {
    if (w->parent == ancestor) return true;
    w = FindLocked(w->parent);
  }
  return false;
}

bool SimWindowSystem::IsVisibleLocked(const Window& window) {
  const Window* w = &window;
  while (w != nullptr) {
    if (!(w->style & WS_VISIBLE)) return false;
    w = w->parent ? FindLocked(w->parent) : nullptr;
  }
  return true;
}

bool SimWindowSystem::IsEnabledTreeLocked(const Window& window) {
  const Window* w = &window;
  while (w != nullptr) {
    if (w->style & WS_DISABLED) return false;
    w = (w->style & WS_CHILD) && w->parent ? FindLocked(w->parent) : nullptr;
  }
  return true;
}

HWND SimWindowSystem::RootLocked(HWND window) {
  Window* w = FindLocked(window);
  while (w != nullptr && w->parent != nullptr) {
    Window* parent = FindLocked(w->parent);
    if (parent == nullptr) break;
    w = parent;
  }
  return w ? w->handle : nullptr;
}

bool SimWindowSystem::MatchesFilterLocked(HWND messageWindow, HWND filter) {
  if (filter == nullptr) return true;
  return messageWindow == filter || IsDescendantLocked(filter, messageWindow);
}

Bitmap* SimWindowSystem::PixelsLocked(Window& window) { return window.pixels.get(); }

// --- Classes -----------------------------------------------------------------------------

ATOM SimWindowSystem::RegisterClassW(const WNDCLASSW& windowClass) {
  if (windowClass.lpszClassName == nullptr || IsAtom(windowClass.lpszClassName) ||
      *windowClass.lpszClassName == 0 || windowClass.lpfnWndProc == nullptr) {
    t_lastError = ERROR_INVALID_PARAMETER;
    return 0;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  const std::wstring key = Lower(windowClass.lpszClassName);
  if (classes_.count(key)) {
    t_lastError = ERROR_CLASS_ALREADY_EXISTS;
    return 0;
  }
  auto entry = std::make_shared<WindowClass>();
  entry->name = windowClass.lpszClassName;
  entry->info = windowClass;
  entry->info.lpszClassName = entry->name.c_str();
  entry->info.lpszMenuName = nullptr;
  entry->atom = nextAtom_++;
  classes_[key] = entry;
  return entry->atom;
}

BOOL SimWindowSystem::GetClassInfoW(HINSTANCE instance, const wchar_t* className,
                                    WNDCLASSW* windowClass) {
  if (className == nullptr || windowClass == nullptr) {
    t_lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<WindowClass> found;
  auto lookup = [&](std::map<std::wstring, std::shared_ptr<WindowClass>>& table) {
    for (auto& entry : table) {
      if (IsAtom(className) ? entry.second->atom == reinterpret_cast<uintptr_t>(className)
                            : entry.first == Lower(className)) {
        found = entry.second;
        return;
      }
    }
  };
  // A null instance asks for the system's classes only, as USER32 does.
  if (instance != nullptr) lookup(classes_);
  if (!found) lookup(systemClasses_);
  if (!found) {
    t_lastError = kErrorClassDoesNotExist;
    return FALSE;
  }
  *windowClass = found->info;
  return TRUE;
}

// --- Creation ----------------------------------------------------------------------------

HWND SimWindowSystem::CreateWindowExW(DWORD exStyle, const wchar_t* className,
                                      const wchar_t* title, DWORD style, int x, int y, int width,
                                      int height, HWND parent, HMENU menu, HINSTANCE instance,
                                      void* param) {
  HWND handle = nullptr;
  const DWORD requestedStyle = style;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::shared_ptr<WindowClass> windowClass;
    for (auto* table : {&classes_, &systemClasses_}) {
      if (windowClass || className == nullptr) break;
      for (auto& entry : *table) {
        if (IsAtom(className) ? entry.second->atom == reinterpret_cast<uintptr_t>(className)
                              : entry.first == Lower(className)) {
          windowClass = entry.second;
          break;
        }
      }
    }
    if (!windowClass) {
      t_lastError = ERROR_CANNOT_FIND_WND_CLASS;
      return nullptr;
    }
    Window* parentWindow = FindLocked(parent);
    if (parent != nullptr && parentWindow == nullptr) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return nullptr;
    }
    const bool child = (style & WS_CHILD) != 0;
    if (child && parentWindow == nullptr) {
      t_lastError = ERROR_TLW_WITH_WSCHILD;
      return nullptr;
    }
    // An overlapped window always has a caption.
    if (!(style & (WS_CHILD | WS_POPUP))) style |= WS_CAPTION | WS_CLIPSIBLINGS;
    if (!child && !(style & WS_POPUP)) {
      if (x == CW_USEDEFAULT) {
        int cascade = static_cast<int>(topLevel_.size() % 8) * 26;
        x = 26 + cascade;
        y = 26 + cascade;
      }
      if (width == CW_USEDEFAULT) {
        width = kScreenWidth * 3 / 4;
        height = kScreenHeight * 3 / 4;
      }
    } else {
      if (x == CW_USEDEFAULT) x = y = 0;
      if (width == CW_USEDEFAULT) width = height = 0;
    }
    width = std::max(width, 0);
    height = std::max(height, 0);

    auto window = std::make_shared<Window>();
    nextHandle_ += 2;
    handle = reinterpret_cast<HWND>(nextHandle_);
    window->handle = handle;
    window->windowClass = windowClass;
    window->proc = windowClass->info.lpfnWndProc;
    window->style = style & ~WS_VISIBLE & ~(WS_MINIMIZE | WS_MAXIMIZE);
    window->exStyle = exStyle;
    window->instance = instance;
    window->queue = &CurrentQueueLocked();
    window->rect = RECT{x, y, x + width, y + height};
    window->client = RECT{0, 0, width, height};
    window->normalRect = window->rect;
    if (child) {
      window->parent = parent;
      window->id = reinterpret_cast<LONG_PTR>(menu);
      // Later children go below earlier ones: the first child is the top of the z-order.
      parentWindow->children.push_back(handle);
    } else {
      window->owner = parent ? RootLocked(parent) : nullptr;
      topLevel_.insert(topLevel_.begin(), handle);
    }
    windows_[handle] = window;
    windowThreads_[handle] = std::this_thread::get_id();
  }

  CREATESTRUCTW create{};
  create.lpCreateParams = param;
  create.hInstance = instance;
  create.hMenu = menu;
  create.hwndParent = parent;
  create.cy = height;
  create.cx = width;
  create.y = y;
  create.x = x;
  create.style = static_cast<LONG>(requestedStyle);
  create.lpszName = title;
  create.lpszClass = className;
  create.dwExStyle = exStyle;

  // Windows asks the size limits of sizable and overlapped windows before anything else.
  if ((style & WS_THICKFRAME) || !(style & (WS_POPUP | WS_CHILD))) {
    MINMAXINFO limits = QueryMinMaxInfo(handle);
    std::lock_guard<std::mutex> lock(mutex_);
    if (Window* w = FindLocked(handle)) {
      int cx = std::clamp<int>(Width(w->rect), std::min(limits.ptMinTrackSize.x, limits.ptMaxTrackSize.x),
                               limits.ptMaxTrackSize.x);
      int cy = std::clamp<int>(Height(w->rect), std::min(limits.ptMinTrackSize.y, limits.ptMaxTrackSize.y),
                               limits.ptMaxTrackSize.y);
      w->rect.right = w->rect.left + cx;
      w->rect.bottom = w->rect.top + cy;
      w->client = RECT{0, 0, cx, cy};
      w->normalRect = w->rect;
      create.cx = cx;
      create.cy = cy;
    }
  }

  if (!Send(handle, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
    if (IsWindow(handle)) {
      Send(handle, WM_NCDESTROY, 0, 0);
      std::lock_guard<std::mutex> lock(mutex_);
      if (Window* w = FindLocked(handle)) FreeWindowLocked(*w);
    }
    return nullptr;
  }

  RECT calc{0, 0, 0, 0};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Window* w = FindLocked(handle)) calc = w->rect;
  }
  RECT windowRect = calc;
  Send(handle, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&calc));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(handle);
    if (w == nullptr) return nullptr;
    calc.right = std::max(calc.right, calc.left);
    calc.bottom = std::max(calc.bottom, calc.top);
    w->client = Offset(calc, -windowRect.left, -windowRect.top);
    ResizePixelsLocked(*w);
  }

  if (Send(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    if (IsWindow(handle)) DestroyWindow(handle);
    return nullptr;
  }
  if (!IsWindow(handle)) return nullptr;

  RECT client{0, 0, 0, 0};
  POINT clientOrigin{0, 0};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Window* w = FindLocked(handle)) {
      client = w->client;
      clientOrigin = POINT{w->rect.left + w->client.left, w->rect.top + w->client.top};
    }
  }
  Send(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(Width(client), Height(client)));
  Send(handle, WM_MOVE, 0, MAKELPARAM(clientOrigin.x, clientOrigin.y));
  if (!IsWindow(handle)) return nullptr;

  const bool visible = (requestedStyle & WS_VISIBLE) != 0;
  if (requestedStyle & WS_MINIMIZE) {
    Minimise(handle, visible ? SW_SHOWMINNOACTIVE : -1);
  } else if (requestedStyle & WS_MAXIMIZE) {
    Maximise(handle, visible ? SW_SHOWMAXIMIZED : -1);
  }
  if (visible && IsWindow(handle)) ShowWindowInternal(handle, SW_SHOW);
  return IsWindow(handle) ? handle : nullptr;
}

// --- Destruction -------------------------------------------------------------------------

BOOL SimWindowSystem::DestroyWindow(HWND handle) {
  bool child = false;
  bool visible = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(handle);
    if (w == nullptr) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return FALSE;
    }
    if (!IsOwnThreadLocked(*w)) {
      t_lastError = ERROR_ACCESS_DENIED;
      return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    child = (w->style & WS_CHILD) != 0;
    visible = (w->style & WS_VISIBLE) != 0;
  }
  // Hidden first: only child windows hear of it through WM_SHOWWINDOW.
  if (visible) {
    if (child) {
      ShowWindowInternal(handle, SW_HIDE);
    } else {
      SetWindowPosInternal(handle, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOACTIVATE | SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE,
                           false);
    }
  }
  if (!IsWindow(handle)) return TRUE;
  // The windows it owns go first.
  if (!child) {
    for (;;) {
      HWND owned = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        for (HWND top : topLevel_) {
          Window* w = FindLocked(top);
          if (w == nullptr || w->owner != handle || w->destroying) continue;
          if (IsOwnThreadLocked(*w)) {
            owned = top;
            break;
          }
          w->owner = nullptr;
        }
      }
      if (owned == nullptr) break;
      DestroyWindow(owned);
    }
  }
  HideForDestroy(handle);
  SendDestroyMessages(handle);
  if (!IsWindow(handle)) return TRUE;
  SendNcDestroyMessages(handle);
  return TRUE;
}

// What hiding leaves to do before WM_DESTROY: another window becomes active, the focus and
// the capture leave the tree.
void SimWindowSystem::HideForDestroy(HWND handle) {
  HWND activate = nullptr;
  bool wasActive = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(handle);
    if (w == nullptr) return;
    if (w->queue->active == handle) {
      wasActive = true;
      activate = NextActivationCandidateLocked(handle);
    }
    // A destroyed window loses the capture without being told.
    if (capture_ != nullptr && (capture_ == handle || IsDescendantLocked(handle, capture_))) capture_ = nullptr;
  }
  if (wasActive) SetActiveWindow(activate, false);
  FocusAwayFrom(handle);
}

void SimWindowSystem::SendDestroyMessages(HWND handle) {
  Send(handle, WM_DESTROY, 0, 0);
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(handle);
    if (w == nullptr) return;
    children = w->children;
  }
  for (HWND child : children) {
    bool alive = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* c = FindLocked(child);
      alive = c != nullptr;
      if (c) c->destroying = true;
    }
    if (alive) SendDestroyMessages(child);
  }
}

void SimWindowSystem::SendNcDestroyMessages(HWND handle) {
  std::vector<HWND> children;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(handle);
    if (w == nullptr) return;
    children = w->children;
  }
  for (HWND child : children) SendNcDestroyMessages(child);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(handle);
    if (w == nullptr) return;
    RemoveTimersLocked(handle);
  }
  Send(handle, WM_NCDESTROY, 0, 0);
  std::lock_guard<std::mutex> lock(mutex_);
  if (Window* w = FindLocked(handle)) FreeWindowLocked(*w);
}

void SimWindowSystem::RemoveTimersLocked(HWND handle) {
  for (auto& entry : queues_) {
    auto& timers = entry.second->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [handle](const Timer& t) { return t.window == handle; }),
                 timers.end());
  }
}

void SimWindowSystem::FreeWindowLocked(Window& window) {
  const HWND handle = window.handle;
  // Children that are still there (a thread ending) go with it.
  std::vector<HWND> children = window.children;
  for (HWND child : children) {
    if (Window* c = FindLocked(child)) FreeWindowLocked(*c);
  }
  RemoveTimersLocked(handle);
  if (window.parent != nullptr) {
    if (Window* parent = FindLocked(window.parent)) {
      auto& list = parent->children;
      list.erase(std::remove(list.begin(), list.end(), handle), list.end());
    }
  } else {
    topLevel_.erase(std::remove(topLevel_.begin(), topLevel_.end(), handle), topLevel_.end());
  }
  for (auto& entry : windows_) {
    if (entry.second->owner == handle) entry.second->owner = nullptr;
  }
  if (capture_ == handle) capture_ = nullptr;
  if (tracked_ == handle) {
    tracked_ = nullptr;
    trackFlags_ = 0;
  }
  if (pointerWindow_ == handle) pointerWindow_ = nullptr;
  for (auto& entry : queues_) {
    ThreadQueue& queue = *entry.second;
    if (queue.focus == handle) queue.focus = nullptr;
    if (queue.active == handle) queue.active = nullptr;
    if (queue.lastPressWindow == handle) queue.lastPress = 0;
    queue.posted.erase(std::remove_if(queue.posted.begin(), queue.posted.end(),
                                      [handle](const MSG& m) { return m.hwnd == handle; }),
                       queue.posted.end());
  }
  for (auto it = deviceContexts_.begin(); it != deviceContexts_.end();) {
    it = it->second.window == handle ? deviceContexts_.erase(it) : std::next(it);
  }
  window.freed = true;
  windows_.erase(handle);  // `window` is gone from here on
}

BOOL SimWindowSystem::IsWindow(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindLocked(window) != nullptr;
}

// --- Showing, activation, focus ------------------------------------------------------------

BOOL SimWindowSystem::ShowWindow(HWND window, int command) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return FALSE;
    }
    if (!IsOwnThreadLocked(*w)) {
      t_lastError = ERROR_ACCESS_DENIED;
      return FALSE;
    }
  }
  return ShowWindowInternal(window, command);
}

BOOL SimWindowSystem::ShowWindowInternal(HWND window, int command) {
  bool wasVisible = false;
  bool child = false;
  bool minimised = false;
  bool maximised = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) return FALSE;
    wasVisible = (w->style & WS_VISIBLE) != 0;
    child = (w->style & WS_CHILD) != 0;
    minimised = (w->style & WS_MINIMIZE) != 0;
    maximised = (w->style & WS_MAXIMIZE) != 0;
  }
  switch (command) {
    case SW_HIDE:
      if (!wasVisible) return FALSE;
      Send(window, WM_SHOWWINDOW, FALSE, 0);
      SetWindowPosInternal(window, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE,
                           false);
      return TRUE;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
    case 11:  // SW_FORCEMINIMIZE
      Minimise(window, command);
      return wasVisible;
    case SW_MAXIMIZE:
      Maximise(window, command);
      return wasVisible;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWNOACTIVATE:
      if (minimised || maximised) {
        Restore(window, command);
        return wasVisible;
      }
      break;
    default:
      break;
  }
  const bool activate = !child && command != SW_SHOWNOACTIVATE && command != SW_SHOWNA &&
                        command != 7 && command != 4;
  if (!wasVisible) {
    Send(window, WM_SHOWWINDOW, TRUE, 0);
    SetWindowPosInternal(window, nullptr, 0, 0, 0, 0,
                         SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE |
                             (activate ? 0 : SWP_NOACTIVATE | SWP_NOZORDER),
                         false);
  }
  if (activate && IsWindow(window)) SetActiveWindow(window, false);
  return wasVisible;
}

MINMAXINFO SimWindowSystem::DefaultMinMaxInfo(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  MINMAXINFO info{};
  Window* w = FindLocked(window);
  RECT area{0, 0, kScreenWidth, kScreenHeight - kTaskbarHeight};
  DWORD style = 0;
  DWORD exStyle = 0;
  if (w != nullptr) {
    style = w->style;
    exStyle = w->exStyle;
    if (w->parent != nullptr) {
      if (Window* parent = FindLocked(w->parent)) area = RECT{0, 0, Width(parent->client), Height(parent->client)};
    }
  }
  RECT insets = FrameInsets(style, exStyle, false);
  info.ptMaxSize = POINT{Width(area) + insets.left + insets.right,
                         Height(area) + insets.left + insets.right};
  info.ptMaxPosition = POINT{area.left - insets.left, area.top - insets.left};
  info.ptMinTrackSize = POINT{kMinTrackWidth, kMinTrackHeight};
  info.ptMaxTrackSize = POINT{kScreenWidth + 12, kScreenHeight + 12};
  return info;
}

MINMAXINFO SimWindowSystem::QueryMinMaxInfo(HWND window) {
  MINMAXINFO info = DefaultMinMaxInfo(window);
  Send(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  return info;
}

void SimWindowSystem::Minimise(HWND window, int command) {
  bool visible = false;
  bool wasActive = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) return;
    visible = (w->style & WS_VISIBLE) != 0;
    wasActive = w->queue->active == window;
    if (!(w->style & WS_MINIMIZE)) {
      w->restoreToMaximized = (w->style & WS_MAXIMIZE) != 0;
      w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
    }
  }
  const bool show = command != -1;
  if (show && !visible) Send(window, WM_SHOWWINDOW, TRUE, 0);
  SetWindowPosInternal(window, nullptr, kIconicPosition, kIconicPosition, kIconicWidth,
                       kIconicHeight,
                       SWP_NOZORDER | SWP_NOACTIVATE | (show && !visible ? SWP_SHOWWINDOW : 0),
                       true);
  if (!show || !IsWindow(window)) return;
  if (command == SW_SHOWMINIMIZED) {
    SetActiveWindow(window, false);
  } else if (wasActive) {
    HWND next;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      next = NextActivationCandidateLocked(window);
    }
    SetActiveWindow(next, false);
  }
}

void SimWindowSystem::Maximise(HWND window, int command) {
  MINMAXINFO info = QueryMinMaxInfo(window);
  bool visible = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) return;
    visible = (w->style & WS_VISIBLE) != 0;
    w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
  }
  const int cx = std::min(info.ptMaxSize.x, info.ptMaxTrackSize.x);
  const int cy = std::min(info.ptMaxSize.y, info.ptMaxTrackSize.y);
  const bool show = command != -1;
  if (show && !visible) Send(window, WM_SHOWWINDOW, TRUE, 0);
  SetWindowPosInternal(window, nullptr, info.ptMaxPosition.x, info.ptMaxPosition.y,
                       std::max(cx, 0), std::max(cy, 0),
                       SWP_NOZORDER | SWP_NOACTIVATE | (show && !visible ? SWP_SHOWWINDOW : 0),
                       true);
  if (show && IsWindow(window)) {
    bool child = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(window);
      child = w && (w->style & WS_CHILD);
    }
    if (!child) SetActiveWindow(window, false);
  }
}

void SimWindowSystem::Restore(HWND window, int command) {
  bool toMaximized = false;
  bool visible = false;
  bool child = false;
  RECT target{0, 0, 0, 0};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) return;
    visible = (w->style & WS_VISIBLE) != 0;
    child = (w->style & WS_CHILD) != 0;
    toMaximized = (w->style & WS_MINIMIZE) && w->restoreToMaximized;
    w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
    w->restoreToMaximized = false;
    target = w->normalRect;
  }
  if (toMaximized) {
    Maximise(window, SW_SHOWMAXIMIZED);
    return;
  }
  if (!visible) Send(window, WM_SHOWWINDOW, TRUE, 0);
  SetWindowPosInternal(window, nullptr, target.left, target.top, Width(target), Height(target),
                       SWP_NOZORDER | SWP_NOACTIVATE | (visible ? 0 : SWP_SHOWWINDOW), true);
  if (!child && command != SW_SHOWNOACTIVATE && IsWindow(window)) SetActiveWindow(window, false);
}

HWND SimWindowSystem::NextActivationCandidateLocked(HWND leaving) {
  Window* w = FindLocked(leaving);
  if (w == nullptr) return nullptr;
  auto usable = [&](Window* c) {
    return c != nullptr && c->handle != leaving && c->queue == w->queue && !c->destroying &&
           (c->style & WS_VISIBLE) && !(c->style & (WS_DISABLED | WS_MINIMIZE)) &&
           c->owner != leaving;
  };
  if (Window* owner = FindLocked(w->owner); usable(owner)) return owner->handle;
  for (HWND top : topLevel_) {
    Window* c = FindLocked(top);
    if (usable(c) && c->windowClass && Lower(c->windowClass->name.c_str()) != Lower(kTooltipClassName)) {
      return top;
    }
  }
  return nullptr;
}

void SimWindowSystem::SetActiveWindow(HWND window, bool byClick) {
  HWND old = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ThreadQueue& queue = CurrentQueueLocked();
    old = queue.active;
    if (old == window) return;
    if (window != nullptr) {
      Window* w = FindLocked(window);
      if (w == nullptr || w->queue != &queue || (w->style & WS_CHILD)) return;
      topLevel_.erase(std::remove(topLevel_.begin(), topLevel_.end(), window), topLevel_.end());
      topLevel_.insert(topLevel_.begin(), window);
    }
    queue.active = window;
  }
  if (old != nullptr && IsWindow(old)) {
    Send(old, WM_NCACTIVATE, FALSE, 0);
    Send(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(old) ? 1 : 0),
         reinterpret_cast<LPARAM>(window));
  }
  if (window != nullptr && IsWindow(window)) {
    Send(window, WM_NCACTIVATE, TRUE, 0);
    Send(window, WM_ACTIVATE, MAKEWPARAM(byClick ? WA_CLICKACTIVE : WA_ACTIVE, IsIconic(window) ? 1 : 0),
         reinterpret_cast<LPARAM>(old));
  }
  // The focus ends up inside the active window (or nowhere).
  HWND focusTo = nullptr;
  bool change = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ThreadQueue& queue = CurrentQueueLocked();
    if (queue.active != window) return;
    Window* w = FindLocked(window);
    if (window == nullptr || w == nullptr) {
      change = queue.focus != nullptr;
    } else if (queue.focus == nullptr || RootLocked(queue.focus) != window) {
      change = true;
      focusTo = (w->style & WS_MINIMIZE) ? nullptr : window;
    }
  }
  if (!change) return;
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ThreadQueue& queue = CurrentQueueLocked();
    previous = queue.focus;
    queue.focus = focusTo;
  }
  if (previous != nullptr && IsWindow(previous)) Send(previous, WM_KILLFOCUS, reinterpret_cast<WPARAM>(focusTo), 0);
  if (focusTo != nullptr && GetFocus() == focusTo) Send(focusTo, WM_SETFOCUS, reinterpret_cast<WPARAM>(previous), 0);
}

HWND SimWindowSystem::SetFocus(HWND window) {
  HWND root = nullptr;
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ThreadQueue& queue = CurrentQueueLocked();
    previous = queue.focus;
    if (window != nullptr) {
      Window* w = FindLocked(window);
      if (w == nullptr) {
        t_lastError = ERROR_INVALID_WINDOW_HANDLE;
        return nullptr;
      }
      if (w->queue != &queue) {
        t_lastError = ERROR_ACCESS_DENIED;
        return nullptr;
      }
      // Neither a disabled nor a minimised window (or one inside them) takes the focus.
      for (Window* c = w; c != nullptr; c = (c->style & WS_CHILD) ? FindLocked(c->parent) : nullptr) {
        if (c->style & (WS_DISABLED | WS_MINIMIZE)) return nullptr;
      }
      root = RootLocked(window);
      if (queue.focus == window) return previous;
    } else if (previous == nullptr) {
      return nullptr;
    }
  }
  if (root != nullptr && root != GetActiveWindowOfThread()) SetActiveWindow(root, false);
  HWND old = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ThreadQueue& queue = CurrentQueueLocked();
    if (window != nullptr && !FindLocked(window)) return previous;
    old = queue.focus;
    if (old == window) return previous;
    queue.focus = window;
  }
  if (old != nullptr && IsWindow(old)) Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(window), 0);
  if (window != nullptr && GetFocus() == window) Send(window, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return previous;
}

HWND SimWindowSystem::GetActiveWindowOfThread() {
  std::lock_guard<std::mutex> lock(mutex_);
  return CurrentQueueLocked().active;
}

HWND SimWindowSystem::GetFocus() {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = queues_.find(std::this_thread::get_id());
  return it == queues_.end() ? nullptr : it->second->focus;
}

void SimWindowSystem::FocusAwayFrom(HWND handle) {
  HWND target = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(handle);
    if (w == nullptr) return;
    HWND focus = w->queue->focus;
    if (focus == nullptr || !(focus == handle || IsDescendantLocked(handle, focus))) return;
    if (w->style & WS_CHILD) {
      Window* parent = FindLocked(w->parent);
      if (parent != nullptr && parent->queue == w->queue) target = parent->handle;
    }
  }
  if (target == nullptr || SetFocus(target) == nullptr) {
    // The parent could not take it: nobody has the focus.
    HWND stillFocused = GetFocus();
    if (stillFocused == handle || (stillFocused && [&] {
          std::lock_guard<std::mutex> lock(mutex_);
          return IsDescendantLocked(handle, stillFocused);
        }())) {
      SetFocus(nullptr);
    }
  }
}

BOOL SimWindowSystem::IsWindowVisible(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  return w != nullptr && IsVisibleLocked(*w);
}

BOOL SimWindowSystem::IsIconic(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  return w != nullptr && (w->style & WS_MINIMIZE) != 0;
}

BOOL SimWindowSystem::IsZoomed(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  return w != nullptr && (w->style & WS_MAXIMIZE) != 0;
}

BOOL SimWindowSystem::EnableWindow(HWND window, BOOL enable) {
  bool wasDisabled = false;
  bool own = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return FALSE;
    }
    wasDisabled = (w->style & WS_DISABLED) != 0;
    own = IsOwnThreadLocked(*w);
    if (enable == !wasDisabled) return wasDisabled;
    if (enable || !own) {
      if (enable) w->style &= ~WS_DISABLED;
      else w->style |= WS_DISABLED;
    }
  }
  if (!own) return wasDisabled;
  if (enable) {
    Send(window, WM_ENABLE, TRUE, 0);
    return wasDisabled;
  }
  Send(window, WM_CANCELMODE, 0, 0);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Window* w = FindLocked(window)) w->style |= WS_DISABLED;
  }
  // A disabled window cannot keep the focus.
  HWND focus = GetFocus();
  bool inside = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    inside = focus != nullptr && (focus == window || IsDescendantLocked(window, focus));
  }
  if (inside) SetFocus(nullptr);
  Send(window, WM_ENABLE, FALSE, 0);
  return wasDisabled;
}

BOOL SimWindowSystem::IsWindowEnabled(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  return w != nullptr && !(w->style & WS_DISABLED);
}

// --- Window data -------------------------------------------------------------------------

LONG_PTR SimWindowSystem::GetWindowLongW(HWND window, int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr) {
    t_lastError = ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  switch (index) {
    case GWL_STYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE: return static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
    case GWLP_USERDATA: return w->userData;
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_ID: return w->id;
    case kGwlHInstance: return reinterpret_cast<LONG_PTR>(w->instance);
    case kGwlHwndParent: return reinterpret_cast<LONG_PTR>(w->parent ? w->parent : w->owner);
    default:
      t_lastError = kErrorInvalidIndex;
      return 0;
  }
}

LONG_PTR SimWindowSystem::SetWindowLongW(HWND window, int index, LONG_PTR value) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr) {
    t_lastError = ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  LONG_PTR previous = 0;
  switch (index) {
    case GWL_STYLE: {
      previous = static_cast<LONG_PTR>(static_cast<LONG>(w->style));
      const bool wasVisible = (w->style & WS_VISIBLE) != 0;
      w->style = static_cast<DWORD>(value);
      if (!wasVisible && (w->style & WS_VISIBLE)) InvalidateLocked(*w, nullptr, true, true);
      break;
    }
    case GWL_EXSTYLE:
      previous = static_cast<LONG_PTR>(static_cast<LONG>(w->exStyle));
      w->exStyle = static_cast<DWORD>(value);
      break;
    case GWLP_USERDATA:
      previous = w->userData;
      w->userData = value;
      break;
    case GWLP_WNDPROC:
      if (value == 0) {
        t_lastError = ERROR_INVALID_PARAMETER;
        return 0;
      }
      previous = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWL_ID:
      previous = w->id;
      w->id = value;
      break;
    default:
      t_lastError = kErrorInvalidIndex;
      return 0;
  }
  return previous;
}

BOOL SimWindowSystem::GetWindowRect(HWND window, RECT* rect) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr || rect == nullptr) {
    t_lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  *rect = ScreenRectLocked(*w);
  return TRUE;
}

BOOL SimWindowSystem::GetClientRect(HWND window, RECT* rect) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr || rect == nullptr) {
    t_lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  *rect = RECT{0, 0, Width(w->client), Height(w->client)};
  return TRUE;
}

BOOL SimWindowSystem::ClientToScreen(HWND window, POINT* point) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr || point == nullptr) return FALSE;
  POINT origin = ClientOriginLocked(*w);
  point->x += origin.x;
  point->y += origin.y;
  return TRUE;
}

BOOL SimWindowSystem::ScreenToClient(HWND window, POINT* point) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr || point == nullptr) return FALSE;
  POINT origin = ClientOriginLocked(*w);
  point->x -= origin.x;
  point->y -= origin.y;
  return TRUE;
}

RECT SimWindowSystem::FrameInsets(DWORD style, DWORD exStyle, bool menu) {
  int border = 0;
  if (style & WS_THICKFRAME) {
    border = kFrameWidth;
  } else if ((style & WS_DLGFRAME) || (exStyle & 0x0001 /* WS_EX_DLGMODALFRAME */)) {
    border = kDialogFrameWidth;
  } else if (style & WS_BORDER) {
    border = kBorderWidth;
  }
  RECT insets{border, border, border, border};
  if ((style & WS_CAPTION) == WS_CAPTION) {
    insets.top += (exStyle & WS_EX_TOOLWINDOW) ? kCaptionHeight - 6 : kCaptionHeight;
  }
  if (menu) insets.top += kMenuHeight;
  if (exStyle & 0x0200 /* WS_EX_CLIENTEDGE */) {
    insets.left += 2;
    insets.top += 2;
    insets.right += 2;
    insets.bottom += 2;
  }
  return insets;
}

BOOL SimWindowSystem::AdjustWindowRectEx(RECT* rect, DWORD style, BOOL menu, DWORD exStyle) {
  if (rect == nullptr) return FALSE;
  RECT insets = FrameInsets(style, exStyle, menu != FALSE);
  rect->left -= insets.left;
  rect->top -= insets.top;
  rect->right += insets.right;
  rect->bottom += insets.bottom;
  return TRUE;
}

HWND SimWindowSystem::GetParent(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr) return nullptr;
  if (w->style & WS_CHILD) return w->parent;
  return (w->style & WS_POPUP) ? w->owner : nullptr;
}

HWND SimWindowSystem::GetOwner(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  return w ? w->owner : nullptr;
}

HWND SimWindowSystem::FindWindowW(const wchar_t* className, const wchar_t* title) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (className == nullptr) return nullptr;
  const std::wstring wanted = Lower(className);
  for (const auto& [handle, w] : windows_) {
    if (w->freed || w->destroying || (w->style & WS_CHILD) || !w->windowClass) continue;
    if (Lower(w->windowClass->name.c_str()) != wanted) continue;
    if (title != nullptr && w->text != title) continue;
    return handle;
  }
  return nullptr;
}

BOOL SimWindowSystem::SetWindowTextW(HWND window, const std::wstring& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return FALSE;
    }
    if (!IsOwnThreadLocked(*w)) {
      w->text = text;
      return TRUE;
    }
  }
  return Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

std::wstring SimWindowSystem::GetWindowTextW(HWND window) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) return std::wstring();
    if (!IsOwnThreadLocked(*w)) return w->text;
  }
  LRESULT length = Send(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return std::wstring();
  std::wstring buffer(static_cast<size_t>(length) + 1, L'\0');
  LRESULT copied = Send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  buffer.resize(static_cast<size_t>(std::clamp<LRESULT>(copied, 0, length)));
  return buffer;
}

BOOL SimWindowSystem::SetPropW(HWND window, const wchar_t* name, HANDLE value) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr || name == nullptr) return FALSE;
  w->props[Lower(name)] = value;
  return TRUE;
}

HANDLE SimWindowSystem::GetPropW(HWND window, const wchar_t* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr || name == nullptr) return nullptr;
  auto it = w->props.find(Lower(name));
  return it == w->props.end() ? nullptr : it->second;
}

HANDLE SimWindowSystem::RemovePropW(HWND window, const wchar_t* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr || name == nullptr) return nullptr;
  auto it = w->props.find(Lower(name));
  if (it == w->props.end()) return nullptr;
  HANDLE value = it->second;
  w->props.erase(it);
  return value;
}

// --- Position and size -------------------------------------------------------------------

BOOL SimWindowSystem::SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width,
                                   int height, UINT flags) {
  return SetWindowPosInternal(window, insertAfter, x, y, width, height, flags, false);
}

BOOL SimWindowSystem::MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPosInternal(window, nullptr, x, y, width, height,
                              SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW), false);
}

BOOL SimWindowSystem::SetWindowPosInternal(HWND window, HWND insertAfter, int x, int y, int cx,
                                           int cy, UINT flags, bool stateChanged) {
  WINDOWPOS pos{};
  RECT oldRect{0, 0, 0, 0};
  RECT oldClient{0, 0, 0, 0};
  bool minimised = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return FALSE;
    }
    if (!IsOwnThreadLocked(*w)) {
      t_lastError = ERROR_ACCESS_DENIED;
      return FALSE;
    }
    oldRect = w->rect;
    oldClient = w->client;
    minimised = (w->style & WS_MINIMIZE) != 0;
    if (flags & SWP_NOMOVE) {
      x = oldRect.left;
      y = oldRect.top;
    }
    if (flags & SWP_NOSIZE) {
      cx = Width(oldRect);
      cy = Height(oldRect);
    }
    pos = WINDOWPOS{window, insertAfter, x, y, std::max(cx, 0), std::max(cy, 0), flags};
  }
  if (!(flags & 0x0400 /* SWP_NOSENDCHANGING */)) {
    Send(window, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&pos));
  }
  pos.cx = std::max(pos.cx, 0);
  pos.cy = std::max(pos.cy, 0);
  const RECT newRect{pos.x, pos.y, pos.x + pos.cx, pos.y + pos.cy};
  const bool sized = Width(newRect) != Width(oldRect) || Height(newRect) != Height(oldRect);
  const bool moved = newRect.left != oldRect.left || newRect.top != oldRect.top;
  RECT newClient = oldClient;
  if (minimised) {
    newClient = RECT{0, 0, 0, 0};
  } else if (sized || (flags & SWP_FRAMECHANGED) || stateChanged) {
    NCCALCSIZE_PARAMS params{};
    params.rgrc[0] = newRect;
    params.rgrc[1] = oldRect;
    params.rgrc[2] = Offset(oldClient, oldRect.left, oldRect.top);
    params.lppos = &pos;
    Send(window, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
    RECT calc = params.rgrc[0];
    calc.right = std::max(calc.right, calc.left);
    calc.bottom = std::max(calc.bottom, calc.top);
    newClient = Offset(calc, -newRect.left, -newRect.top);
  }
  bool hiding = false;
  bool sendChanged = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) return FALSE;
    const bool wasVisible = (w->style & WS_VISIBLE) != 0;
    w->rect = newRect;
    w->client = newClient;
    if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normalRect = newRect;
    bool showing = false;
    if ((flags & SWP_SHOWWINDOW) && !wasVisible) {
      w->style |= WS_VISIBLE;
      showing = true;
    } else if ((flags & SWP_HIDEWINDOW) && wasVisible) {
      w->style &= ~WS_VISIBLE;
      hiding = true;
    }
    bool zChanged = false;
    if (!(flags & SWP_NOZORDER)) {
      std::vector<HWND>* list = &topLevel_;
      if (w->parent != nullptr) {
        if (Window* parent = FindLocked(w->parent)) list = &parent->children;
      }
      std::vector<HWND> before = *list;
      list->erase(std::remove(list->begin(), list->end(), window), list->end());
      if (insertAfter == HWND_BOTTOM) {
        list->push_back(window);
      } else {
        auto at = std::find(list->begin(), list->end(), insertAfter);
        list->insert(insertAfter == HWND_TOP || at == list->end() ? list->begin() : at + 1, window);
      }
      zChanged = before != *list;
    }
    const bool clientResized = Width(newClient) != Width(oldClient) || Height(newClient) != Height(oldClient);
    const bool clientMoved = newRect.left + newClient.left != oldRect.left + oldClient.left ||
                             newRect.top + newClient.top != oldRect.top + oldClient.top;
    if (clientResized) ResizePixelsLocked(*w);
    if ((clientResized || showing || (flags & SWP_FRAMECHANGED)) && !(flags & SWP_NOREDRAW)) {
      InvalidateLocked(*w, nullptr, true, true);
    }
    if (!sized) pos.flags |= SWP_NOSIZE;
    if (!moved) pos.flags |= SWP_NOMOVE;
    if (!zChanged) pos.flags |= SWP_NOZORDER;
    if (!clientResized) pos.flags |= kSwpNoClientSize;
    if (!clientMoved) pos.flags |= kSwpNoClientMove;
    if (stateChanged) pos.flags |= kSwpStateChanged;
    if (!showing) pos.flags &= ~SWP_SHOWWINDOW;
    if (!hiding) pos.flags &= ~SWP_HIDEWINDOW;
    const UINT noChange = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | kSwpNoClientSize | kSwpNoClientMove;
    sendChanged = (pos.flags & (noChange | SWP_FRAMECHANGED | SWP_SHOWWINDOW | SWP_HIDEWINDOW |
                                kSwpStateChanged)) != noChange;
  }
  if (sendChanged) Send(window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
  if (hiding) {
    // Hidden, it is no longer active and the focus leaves it; the capture stays, as in USER32.
    HWND activate = nullptr;
    bool wasActive = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(window);
      if (w == nullptr) return TRUE;
      if (w->queue->active == window) {
        wasActive = true;
        activate = NextActivationCandidateLocked(window);
      }
    }
    if (wasActive) SetActiveWindow(activate, false);
    FocusAwayFrom(window);
  }
  return TRUE;
}

void SimWindowSystem::ResizePixelsLocked(Window& window) {
  const int width = Width(window.client);
  const int height = Height(window.client);
  if (width <= 0 || height <= 0) {
    window.pixels.reset();
    return;
  }
  if (window.pixels && window.pixels->Width() == width && window.pixels->Height() == height) return;
  std::unique_ptr<Bitmap> fresh = CreateBitmap(width, height);
  if (!fresh) {
    window.pixels.reset();
    return;
  }
  uint8_t* target = fresh->LockPixels();
  const int stride = fresh->Stride();
  // Unpainted pixels show the system's window colour, as an erased window would.
  for (int y = 0; y < height; ++y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(target + static_cast<size_t>(y) * stride);
    std::fill(row, row + width, 0xFFFFFFFFu);
  }
  if (window.pixels) {
    const uint8_t* source = window.pixels->ReadPixels();
    const int copyWidth = std::min(width, window.pixels->Width());
    const int copyHeight = std::min(height, window.pixels->Height());
    for (int y = 0; y < copyHeight; ++y) {
      std::memcpy(target + static_cast<size_t>(y) * stride,
                  source + static_cast<size_t>(y) * window.pixels->Stride(),
                  static_cast<size_t>(copyWidth) * 4);
    }
  }
  fresh->UnlockPixels();
  window.pixels = std::move(fresh);
}

// --- Messages ----------------------------------------------------------------------------

LRESULT SimWindowSystem::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr || !IsOwnThreadLocked(*w)) return 0;
    proc = w->proc;
  }
  return proc ? proc(window, message, wParam, lParam) : 0;
}

LRESULT SimWindowSystem::SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return 0;
    }
    if (!IsOwnThreadLocked(*w)) {
      t_lastError = ERROR_ACCESS_DENIED;
      return 0;
    }
  }
  return Send(window, message, wParam, lParam);
}

BOOL SimWindowSystem::PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThreadQueue* queue = nullptr;
  if (window == nullptr) {
    queue = &CurrentQueueLocked();
  } else {
    Window* w = FindLocked(window);
    if (w == nullptr) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return FALSE;
    }
    queue = w->queue;
  }
  queue->posted.push_back(MSG{window, message, wParam, lParam, static_cast<DWORD>(ClockNow()), cursor_});
  WakeLocked(*queue);
  return TRUE;
}

void SimWindowSystem::PostQuitMessage(int exitCode) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThreadQueue& queue = CurrentQueueLocked();
  queue.quit = true;
  queue.quitCode = exitCode;
  WakeLocked(queue);
}

bool SimWindowSystem::PaintCandidateInLocked(Window& window) {
  if (!(window.style & WS_VISIBLE) || (window.style & WS_MINIMIZE)) return false;
  return window.hasUpdate;
}

Window* SimWindowSystem::PaintCandidateLocked(ThreadQueue& queue, HWND filter) {
  std::function<Window*(HWND)> search = [&](HWND handle) -> Window* {
    Window* w = FindLocked(handle);
    if (w == nullptr || !(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE)) return nullptr;
    if (w->queue == &queue && w->hasUpdate && MatchesFilterLocked(handle, filter)) return w;
    for (HWND child : w->children) {
      if (Window* found = search(child)) return found;
    }
    return nullptr;
  };
  for (auto it = topLevel_.rbegin(); it != topLevel_.rend(); ++it) {
    if (Window* found = search(*it)) return found;
  }
  return nullptr;
}

bool SimWindowSystem::HasAvailableLocked(ThreadQueue& queue, HWND filter, UINT min, UINT max,
                                         uint64_t now) {
  if (!queue.work.empty() || queue.quit) return true;
  for (const MSG& m : queue.posted) {
    if (m.hwnd == nullptr ? filter == nullptr
                          : (MatchesFilterLocked(m.hwnd, filter) && RangeAdmits(min, max, m.message))) {
      return true;
    }
  }
  if (!queue.input.empty() && filter == nullptr) return true;
  if (RangeAdmits(min, max, WM_PAINT) && PaintCandidateLocked(queue, filter)) return true;
  if (RangeAdmits(min, max, WM_TIMER)) {
    for (const Timer& t : queue.timers) {
      if (t.due <= now && MatchesFilterLocked(t.window, filter)) return true;
    }
  }
  if (tracked_ != nullptr && (trackFlags_ & TME_HOVER)) {
    Window* w = FindLocked(tracked_);
    if (w && w->queue == &queue && hoverStart_ + hoverTime_ <= now) return true;
  }
  return false;
}

bool SimWindowSystem::RunPendingWorkLocked(std::unique_lock<std::mutex>& lock, ThreadQueue& queue) {
  while (!queue.work.empty()) {
    std::shared_ptr<Work> item = queue.work.front();
    queue.work.pop_front();
    if (item->state != Work::kPending) continue;
    item->state = Work::kRunning;
    lock.unlock();
    item->work();
    lock.lock();
    item->state = Work::kDone;
    idle_.notify_all();
    return true;
  }
  return false;
}

void SimWindowSystem::CheckHoverLocked(ThreadQueue& queue, uint64_t now) {
  if (tracked_ == nullptr || !(trackFlags_ & TME_HOVER)) return;
  Window* w = FindLocked(tracked_);
  if (w == nullptr || w->queue != &queue || hoverStart_ + hoverTime_ > now) return;
  const bool nonClient = (trackFlags_ & TME_NONCLIENT) != 0;
  POINT origin = ClientOriginLocked(*w);
  MSG hover{tracked_, nonClient ? static_cast<UINT>(WM_NCMOUSEHOVER) : static_cast<UINT>(WM_MOUSEHOVER),
            nonClient ? static_cast<WPARAM>(pointerHit_) : MouseKeyFlagsLocked(queue),
            nonClient ? MAKELPARAM(cursor_.x, cursor_.y)
                      : MAKELPARAM(cursor_.x - origin.x, cursor_.y - origin.y),
            static_cast<DWORD>(now), cursor_};
  queue.posted.push_back(hover);
  // Hover is reported once; leave tracking stays.
  trackFlags_ &= ~TME_HOVER;
  if (!(trackFlags_ & TME_LEAVE)) {
    tracked_ = nullptr;
    trackFlags_ = 0;
  }
}

SimWindowSystem::Fetch SimWindowSystem::FetchLocked(std::unique_lock<std::mutex>& lock,
                                                    ThreadQueue& queue, MSG* message, HWND filter,
                                                    UINT min, UINT max, bool remove) {
  const uint64_t now = ClockNow();
  // Posted messages first.
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    bool match = it->hwnd == nullptr ? filter == nullptr
                                     : MatchesFilterLocked(it->hwnd, filter) && RangeAdmits(min, max, it->message);
    if (!match) continue;
    *message = *it;
    if (remove) queue.posted.erase(it);
    return Fetch::kMessage;
  }
  // Then input, which becomes a message only now (hit testing sends messages).
  if (!queue.input.empty() && filter == nullptr) {
    if (!remove) {
      if (PreviewInputLocked(queue, queue.input.front(), message)) return Fetch::kMessage;
    } else {
      RawInput input = queue.input.front();
      queue.input.pop_front();
      return ProcessInput(lock, queue, input, message) ? Fetch::kMessage : Fetch::kRetry;
    }
  }
  // The quit request comes after them, whatever the filter.
  if (queue.quit) {
    *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0,
                   static_cast<DWORD>(now), cursor_};
    if (remove) queue.quit = false;
    return Fetch::kMessage;
  }
  if (RangeAdmits(min, max, WM_PAINT)) {
    if (Window* w = PaintCandidateLocked(queue, filter)) {
      *message = MSG{w->handle, WM_PAINT, 0, 0, static_cast<DWORD>(now), cursor_};
      return Fetch::kMessage;
    }
  }
  if (RangeAdmits(min, max, WM_TIMER)) {
    Timer* due = nullptr;
    for (Timer& t : queue.timers) {
      if (t.due <= now && MatchesFilterLocked(t.window, filter) && (due == nullptr || t.due < due->due)) due = &t;
    }
    if (due != nullptr) {
      *message = MSG{due->window, WM_TIMER, due->id, 0, static_cast<DWORD>(now), cursor_};
      // However late, one message; the period starts again from now.
      if (remove) due->due = now + due->elapse;
      return Fetch::kMessage;
    }
  }
  return Fetch::kNothing;
}

BOOL SimWindowSystem::GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
  if (message == nullptr) {
    t_lastError = ERROR_INVALID_PARAMETER;
    return -1;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (window != nullptr && FindLocked(window) == nullptr) {
    t_lastError = ERROR_INVALID_WINDOW_HANDLE;
    return -1;
  }
  ThreadQueue& queue = CurrentQueueLocked();
  for (;;) {
    if (RunPendingWorkLocked(lock, queue)) continue;
    CheckHoverLocked(queue, ClockNow());
    Fetch fetched = FetchLocked(lock, queue, message, window, filterMin, filterMax, true);
    if (fetched == Fetch::kMessage) {
      ++queue.retrieved;
      idle_.notify_all();
      return message->message != WM_QUIT;
    }
    if (fetched == Fetch::kRetry) continue;
    queue.waiting = true;
    queue.waitWindow = window;
    queue.waitMin = filterMin;
    queue.waitMax = filterMax;
    idle_.notify_all();
    if (SimClock::Instance().IsManual()) {
      queue.wake.wait(lock);
    } else {
      const uint64_t now = ClockNow();
      std::optional<uint64_t> next;
      for (const Timer& t : queue.timers) {
        if (!next || t.due < *next) next = t.due;
      }
      if (tracked_ != nullptr && (trackFlags_ & TME_HOVER)) {
        Window* w = FindLocked(tracked_);
        if (w && w->queue == &queue && (!next || hoverStart_ + hoverTime_ < *next)) next = hoverStart_ + hoverTime_;
      }
      if (next) {
        queue.wake.wait_for(lock, std::chrono::milliseconds(*next > now ? *next - now : 0));
      } else {
        queue.wake.wait(lock);
      }
    }
    queue.waiting = false;
  }
}

BOOL SimWindowSystem::PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax,
                                   bool remove) {
  if (message == nullptr) return FALSE;
  std::unique_lock<std::mutex> lock(mutex_);
  ThreadQueue& queue = CurrentQueueLocked();
  for (;;) {
    if (RunPendingWorkLocked(lock, queue)) continue;
    CheckHoverLocked(queue, ClockNow());
    Fetch fetched = FetchLocked(lock, queue, message, window, filterMin, filterMax, remove);
    if (fetched == Fetch::kRetry) continue;
    if (fetched == Fetch::kMessage && remove) {
      ++queue.retrieved;
      idle_.notify_all();
    }
    return fetched == Fetch::kMessage;
  }
}

LRESULT SimWindowSystem::DispatchMessageW(const MSG* message) {
  if (message == nullptr || message->hwnd == nullptr) return 0;
  WNDPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(message->hwnd);
    if (w == nullptr || !IsOwnThreadLocked(*w)) return 0;
    proc = w->proc;
  }
  return proc ? proc(message->hwnd, message->message, message->wParam, message->lParam) : 0;
}

LRESULT SimWindowSystem::CallWindowProcW(WNDPROC procedure, HWND window, UINT message,
                                         WPARAM wParam, LPARAM lParam) {
  return procedure ? procedure(window, message, wParam, lParam) : 0;
}

// --- Timers ------------------------------------------------------------------------------

UINT_PTR SimWindowSystem::SetTimer(HWND window, UINT_PTR id, UINT elapse) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThreadQueue* queue = nullptr;
  if (window == nullptr) {
    queue = &CurrentQueueLocked();
    bool known = false;
    for (const Timer& t : queue->timers) known = known || (t.window == nullptr && t.id == id);
    if (!known) id = 0x7FFF0000 + queue->nextThreadTimer++;
  } else {
    Window* w = FindLocked(window);
    if (w == nullptr || w->destroying) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return 0;
    }
    queue = w->queue;
  }
  elapse = std::clamp<UINT>(elapse, kMinTimerElapse, 0x7FFFFFFF);
  const uint64_t due = ClockNow() + elapse;
  bool found = false;
  for (Timer& t : queue->timers) {
    if (t.window == window && t.id == id) {
      t.elapse = elapse;
      t.due = due;
      found = true;
    }
  }
  if (!found) queue->timers.push_back(Timer{window, id, elapse, due});
  WakeLocked(*queue);
  return id == 0 ? 1 : id;
}

BOOL SimWindowSystem::KillTimer(HWND window, UINT_PTR id) {
  std::lock_guard<std::mutex> lock(mutex_);
  ThreadQueue* queue = nullptr;
  if (window == nullptr) {
    queue = &CurrentQueueLocked();
  } else if (Window* w = FindLocked(window)) {
    queue = w->queue;
  }
  if (queue == nullptr) {
    t_lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  auto& timers = queue->timers;
  auto it = std::find_if(timers.begin(), timers.end(),
                         [&](const Timer& t) { return t.window == window && t.id == id; });
  if (it == timers.end()) return FALSE;
  timers.erase(it);
  return TRUE;
}

// --- Painting ----------------------------------------------------------------------------

void SimWindowSystem::InvalidateLocked(Window& window, const RECT* rect, bool erase, bool children) {
  const RECT client{0, 0, Width(window.client), Height(window.client)};
  const RECT area = rect ? Intersect(*rect, client) : client;
  if (Empty(area)) return;
  window.update = window.hasUpdate ? Union(window.update, area) : area;
  window.hasUpdate = true;
  window.erase = window.erase || erase;
  if (children && !(window.style & WS_CLIPCHILDREN)) {
    for (HWND handle : window.children) {
      Window* child = FindLocked(handle);
      if (child == nullptr || !(child->style & WS_VISIBLE)) continue;
      const int dx = child->rect.left + child->client.left;
      const int dy = child->rect.top + child->client.top;
      RECT inChild = Offset(area, -dx, -dy);
      InvalidateLocked(*child, &inChild, erase, true);
    }
  }
  WakeLocked(*window.queue);
}

BOOL SimWindowSystem::InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (window == nullptr) {
    for (HWND top : topLevel_) {
      if (Window* w = FindLocked(top)) InvalidateLocked(*w, nullptr, erase != FALSE, true);
    }
    return TRUE;
  }
  Window* w = FindLocked(window);
  if (w == nullptr) {
    t_lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  InvalidateLocked(*w, rect, erase != FALSE, true);
  return TRUE;
}

BOOL SimWindowSystem::GetUpdateRect(HWND window, RECT* rect, BOOL erase) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr || !w->hasUpdate) {
    if (rect) *rect = RECT{0, 0, 0, 0};
    return FALSE;
  }
  if (rect) *rect = w->update;
  return TRUE;
}

BOOL SimWindowSystem::UpdateWindow(HWND window) {
  std::vector<HWND> order;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return FALSE;
    }
    std::function<void(Window&)> collect = [&](Window& node) {
      if (!(node.style & WS_VISIBLE) || !IsOwnThreadLocked(node)) return;
      order.push_back(node.handle);
      for (HWND child : node.children) {
        if (Window* c = FindLocked(child)) collect(*c);
      }
    };
    collect(*w);
  }
  for (HWND handle : order) {
    bool needs = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Window* w = FindLocked(handle);
      needs = w != nullptr && w->hasUpdate && IsVisibleLocked(*w) && !(w->style & WS_MINIMIZE);
    }
    if (needs) Send(handle, WM_PAINT, 0, 0);
  }
  return TRUE;
}

bool SimWindowSystem::BeginPaint(HWND window, PaintInfo* paint) {
  if (paint == nullptr) return false;
  HDC hdc = nullptr;
  bool erase = false;
  RECT area{0, 0, 0, 0};
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr || !IsOwnThreadLocked(*w)) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return false;
    }
    if (w->hasUpdate) area = w->update;
    erase = w->erase;
    w->hasUpdate = false;
    w->erase = false;
    w->update = RECT{0, 0, 0, 0};
    hdc = static_cast<HDC>(NewObjectHandle());
    deviceContexts_[hdc] = DeviceContext{window};
  }
  BOOL mustErase = FALSE;
  if (erase) mustErase = Send(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) == 0;
  paint->hdc = hdc;
  paint->fErase = mustErase;
  paint->rcPaint = area;
  return true;
}

void SimWindowSystem::EndPaint(HWND window, const PaintInfo& paint) { ReleaseDeviceContext(paint.hdc); }

HDC SimWindowSystem::CreateDeviceContext(HWND window) {
  std::lock_guard<std::mutex> lock(mutex_);
  HDC hdc = static_cast<HDC>(NewObjectHandle());
  deviceContexts_[hdc] = DeviceContext{window};
  return hdc;
}

void SimWindowSystem::ReleaseDeviceContext(HDC hdc) {
  std::lock_guard<std::mutex> lock(mutex_);
  deviceContexts_.erase(hdc);
}

std::optional<DeviceContext> SimWindowSystem::DeviceContextOf(HDC hdc) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = deviceContexts_.find(hdc);
  if (it == deviceContexts_.end()) return std::nullopt;
  return it->second;
}

void SimWindowSystem::PresentBitmap(HWND window, const PaintInfo& paint, const Bitmap& source,
                                    const RECT& rect) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr || !w->pixels) return;
  Bitmap& target = *w->pixels;
  RECT area = Intersect(rect, RECT{0, 0, source.Width(), source.Height()});
  area = Intersect(area, RECT{0, 0, target.Width(), target.Height()});
  // Drawing on a paint's device context stays inside the paint's area.
  auto dc = deviceContexts_.find(paint.hdc);
  if (dc != deviceContexts_.end() && dc->second.window == window) area = Intersect(area, paint.rcPaint);
  if (Empty(area)) return;
  const uint8_t* from = source.ReadPixels();
  uint8_t* to = target.LockPixels();
  for (int y = area.top; y < area.bottom; ++y) {
    const uint32_t* in = reinterpret_cast<const uint32_t*>(from + static_cast<size_t>(y) * source.Stride()) + area.left;
    uint32_t* out = reinterpret_cast<uint32_t*>(to + static_cast<size_t>(y) * target.Stride()) + area.left;
    // The screen keeps no alpha: what shows is the colour as it stands, opaque.
    for (int x = 0; x < Width(area); ++x) out[x] = in[x] | 0xFF000000u;
  }
  target.UnlockPixels();
}

// --- Capture, focus, keys, cursor --------------------------------------------------------

HWND SimWindowSystem::SetCapture(HWND window) {
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(window);
    if (w == nullptr || !IsOwnThreadLocked(*w)) {
      t_lastError = ERROR_INVALID_WINDOW_HANDLE;
      return nullptr;
    }
    previous = capture_;
    capture_ = window;
    Window* old = FindLocked(previous);
    if (old == nullptr || !IsOwnThreadLocked(*old)) previous = nullptr;
  }
  if (previous != nullptr && previous != window) {
    Send(previous, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(window));
  }
  return previous;
}

BOOL SimWindowSystem::ReleaseCapture() {
  HWND previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    Window* w = FindLocked(capture_);
    if (w == nullptr || !IsOwnThreadLocked(*w)) return TRUE;
    previous = capture_;
    capture_ = nullptr;
  }
  Send(previous, WM_CAPTURECHANGED, 0, 0);
  // Windows moves the mouse where it stands, so the window under it hears of the pointer.
  std::lock_guard<std::mutex> lock(mutex_);
  RawInput move;
  move.kind = RawInput::kMouse;
  move.message = WM_MOUSEMOVE;
  move.screen = cursor_;
  move.window = previous;
  QueueInputForPointLocked(move);
  return TRUE;
}

HWND SimWindowSystem::GetCapture() {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(capture_);
  return w != nullptr && IsOwnThreadLocked(*w) ? capture_ : nullptr;
}

SHORT SimWindowSystem::GetKeyState(int virtualKey) {
  if (virtualKey < 0 || virtualKey > 255) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  const BYTE state = CurrentQueueLocked().keys[virtualKey];
  int result = 0;
  if (state & 0x80) result |= 0xFF80;
  if (state & 0x01) result |= 0x0001;
  return static_cast<SHORT>(result);
}

BOOL SimWindowSystem::GetCursorPos(POINT* point) {
  if (point == nullptr) return FALSE;
  std::lock_guard<std::mutex> lock(mutex_);
  *point = cursor_;
  return TRUE;
}

BOOL SimWindowSystem::TrackMouseEvent(TRACKMOUSEEVENT* track) {
  if (track == nullptr || track->cbSize != sizeof(TRACKMOUSEEVENT)) {
    t_lastError = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (track->dwFlags & TME_QUERY) {
    track->dwFlags = tracked_ ? trackFlags_ : 0;
    track->hwndTrack = tracked_;
    track->dwHoverTime = hoverTime_;
    return TRUE;
  }
  Window* w = FindLocked(track->hwndTrack);
  if (w == nullptr) {
    t_lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  const bool nonClient = (track->dwFlags & TME_NONCLIENT) != 0;
  if (track->dwFlags & TME_CANCEL) {
    if (tracked_ == track->hwndTrack && ((trackFlags_ & TME_NONCLIENT) != 0) == nonClient) {
      trackFlags_ &= ~(track->dwFlags & (TME_HOVER | TME_LEAVE));
      if (!(trackFlags_ & (TME_HOVER | TME_LEAVE))) {
        tracked_ = nullptr;
        trackFlags_ = 0;
      }
    }
    return TRUE;
  }
  const bool over = pointerWindow_ == track->hwndTrack &&
                    (nonClient ? pointerHit_ != HTCLIENT : pointerHit_ == HTCLIENT);
  if (!over) {
    // Not under the pointer: the leave comes at once.
    if (track->dwFlags & TME_LEAVE) {
      w->queue->posted.push_back(MSG{track->hwndTrack,
                                     nonClient ? static_cast<UINT>(WM_NCMOUSELEAVE) : static_cast<UINT>(WM_MOUSELEAVE),
                                     0, 0, static_cast<DWORD>(ClockNow()), cursor_});
      WakeLocked(*w->queue);
    }
    return TRUE;
  }
  const bool same = tracked_ == track->hwndTrack && ((trackFlags_ & TME_NONCLIENT) != 0) == nonClient;
  trackFlags_ = (same ? trackFlags_ : 0) | (track->dwFlags & (TME_HOVER | TME_LEAVE | TME_NONCLIENT));
  tracked_ = track->hwndTrack;
  if (track->dwFlags & TME_HOVER) {
    hoverTime_ = (track->dwHoverTime == HOVER_DEFAULT || track->dwHoverTime == 0) ? kHoverTime
                                                                                  : track->dwHoverTime;
    hoverStart_ = ClockNow();
    hoverPoint_ = cursor_;
    WakeLocked(*w->queue);
  }
  return TRUE;
}

HCURSOR SimWindowSystem::LoadCursorW(int cursorId) {
  const bool known = (cursorId >= 32512 && cursorId <= 32516) || (cursorId >= 32640 && cursorId <= 32651);
  if (!known) {
    t_lastError = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = cursors_.find(cursorId);
  if (it != cursors_.end()) return it->second;
  HCURSOR cursor = static_cast<HCURSOR>(NewObjectHandle());
  cursors_[cursorId] = cursor;
  cursorIds_[cursor] = cursorId;
  return cursor;
}

HCURSOR SimWindowSystem::SetCursor(HCURSOR cursor) {
  std::lock_guard<std::mutex> lock(mutex_);
  HCURSOR previous = currentCursor_;
  currentCursor_ = cursor;
  return previous;
}

HICON SimWindowSystem::LoadIconResource(HINSTANCE instance, int id, int cx, int cy) {
  if (id <= 0 || !FindResourceBytes(instance, L"ICON", static_cast<UINT>(id))) {
    t_lastError = 1813;  // ERROR_RESOURCE_TYPE_NOT_FOUND
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  HICON icon = static_cast<HICON>(NewObjectHandle());
  icons_[icon] = true;
  return icon;
}

BOOL SimWindowSystem::DestroyIcon(HICON icon) {
  std::lock_guard<std::mutex> lock(mutex_);
  return icons_.erase(icon) ? TRUE : FALSE;
}

// --- Shape and screen --------------------------------------------------------------------

BOOL SimWindowSystem::SetWindowRgn(HWND window, const WindowRegion* region, BOOL redraw) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr) {
    t_lastError = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  if (region != nullptr) {
    w->region = region->Pixels();
  } else {
    w->region.reset();
  }
  if (redraw) InvalidateLocked(*w, nullptr, true, true);
  return TRUE;
}

bool SimWindowSystem::WindowRegionContains(HWND window, POINT point) {
  std::lock_guard<std::mutex> lock(mutex_);
  Window* w = FindLocked(window);
  if (w == nullptr) return false;
  return !w->region || w->region->Contains(point.x, point.y);
}

BOOL SimWindowSystem::GetMonitorWorkArea(HWND window, RECT* work, RECT* monitor) {
  if (work) *work = RECT{0, 0, kScreenWidth, kScreenHeight - kTaskbarHeight};
  if (monitor) *monitor = RECT{0, 0, kScreenWidth, kScreenHeight};
  return TRUE;
}

BOOL SimWindowSystem::GetWorkArea(RECT* work) {
  if (work == nullptr) return FALSE;
  *work = RECT{0, 0, kScreenWidth, kScreenHeight - kTaskbarHeight};
  return TRUE;
}

int SimWindowSystem::GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return kScreenWidth;
    case SM_CYSCREEN: return kScreenHeight;
    case SM_CYCAPTION: return kCaptionHeight;
    case SM_CXBORDER:
    case SM_CYBORDER: return kBorderWidth;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return kDialogFrameWidth;
    case SM_CXICON:
    case SM_CYICON: return 32;
    case SM_CYMENU: return kMenuHeight;
    case SM_CXFRAME:
    case SM_CYFRAME: return kFrameWidth;
    case SM_CXMINTRACK: return kMinTrackWidth;
    case SM_CYMINTRACK: return kMinTrackHeight;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return kDoubleClickWidth;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CXMAXTRACK: return kScreenWidth + 12;
    case SM_CYMAXTRACK: return kScreenHeight + 12;
    default: return 0;
  }
}

// --- Device contexts and brushes ---------------------------------------------------------

COLORREF SimWindowSystem::SetTextColor(HDC hdc, COLORREF colour) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = deviceContexts_.find(hdc);
  if (it == deviceContexts_.end()) return 0xFFFFFFFF;  // CLR_INVALID
  COLORREF previous = it->second.textColour;
  it->second.textColour = colour;
  return previous;
}

int SimWindowSystem::SetBkMode(HDC hdc, int mode) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = deviceContexts_.find(hdc);
  if (it == deviceContexts_.end() || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int previous = it->second.backMode;
  it->second.backMode = mode;
  return previous;
}

HBRUSH SimWindowSystem::CreateSolidBrush(COLORREF colour) {
  std::lock_guard<std::mutex> lock(mutex_);
  HBRUSH brush = static_cast<HBRUSH>(NewObjectHandle());
  brushes_[brush] = colour & 0x00FFFFFF;
  return brush;
}

BOOL SimWindowSystem::DeleteSolidBrush(HBRUSH brush) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (brush == windowBrush_) return TRUE;  // stock objects survive deletion
  return brushes_.erase(brush) ? TRUE : FALSE;
}

std::optional<COLORREF> SimWindowSystem::BrushColour(HBRUSH brush) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = brushes_.find(brush);
  if (it != brushes_.end()) return it->second;
  // A system colour index + 1, as a class background names them.
  const uintptr_t index = reinterpret_cast<uintptr_t>(brush);
  if (index == 5 + 1) return RGB(255, 255, 255);    // COLOR_WINDOW
  if (index == 15 + 1) return RGB(240, 240, 240);   // COLOR_BTNFACE
  return std::nullopt;
}

}  // namespace sim
}  // namespace rundix
