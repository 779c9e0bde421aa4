#include "tests/support/TestWindows.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>

#include "platform/WindowDriver.h"

namespace rundix::test {
namespace {

std::mutex g_handlersMutex;
std::map<HWND, std::shared_ptr<WindowHandler>> g_handlers;
std::condition_variable g_finished;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  IWindowSystem& system = WindowSystem();
  std::shared_ptr<WindowHandler> handler;
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* given = static_cast<std::shared_ptr<WindowHandler>*>(create->lpCreateParams);
    if (given != nullptr && *given) {
      std::lock_guard<std::mutex> lock(g_handlersMutex);
      g_handlers[window] = *given;
    }
  }
  {
    std::lock_guard<std::mutex> lock(g_handlersMutex);
    auto it = g_handlers.find(window);
    if (it != g_handlers.end()) handler = it->second;
  }
  std::optional<LRESULT> answer;
  if (handler && *handler) answer = (*handler)(window, message, wParam, lParam);
  LRESULT result = answer ? *answer : system.DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    std::lock_guard<std::mutex> lock(g_handlersMutex);
    g_handlers.erase(window);
  }
  return result;
}

}  // namespace

std::wstring TestWindowClass(UINT classStyle) {
  static std::mutex mutex;
  static std::map<UINT, std::wstring> registered;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = registered.find(classStyle);
  if (it != registered.end()) return it->second;
  std::wstring name = L"RundixTestWindow" + std::to_wstring(classStyle);
  WNDCLASSW windowClass{};
  windowClass.style = classStyle;
  windowClass.lpfnWndProc = &TestWindowProc;
  windowClass.hCursor = WindowSystem().LoadCursorW(kCursorArrow);
  windowClass.lpszClassName = name.c_str();
  WindowSystem().RegisterClassW(windowClass);
  registered[classStyle] = name;
  return name;
}

HWND CreateTestWindow(const TestWindowDesc& desc, WindowHandler handler) {
  auto shared = std::make_shared<WindowHandler>(std::move(handler));
  const std::wstring className = desc.className.empty() ? TestWindowClass() : desc.className;
  HWND window = WindowSystem().CreateWindowExW(
      desc.exStyle, className.c_str(), desc.title.c_str(), desc.style, desc.x, desc.y, desc.width,
      desc.height, desc.parent, reinterpret_cast<HMENU>(desc.id), nullptr, &shared);
  return window;
}

void MessageLog::Add(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.push_back(LoggedMessage{window, message, wParam, lParam});
}

std::vector<LoggedMessage> MessageLog::All() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<LoggedMessage> MessageLog::Of(HWND window, std::initializer_list<UINT> kinds) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LoggedMessage> result;
  for (const LoggedMessage& m : messages_) {
    if (window != nullptr && m.window != window) continue;
    bool wanted = kinds.size() == 0;
    for (UINT kind : kinds) wanted = wanted || kind == m.message;
    if (wanted) result.push_back(m);
  }
  return result;
}

std::vector<UINT> MessageLog::Kinds(HWND window, std::initializer_list<UINT> kinds) const {
  std::vector<UINT> result;
  for (const LoggedMessage& m : Of(window, kinds)) result.push_back(m.message);
  return result;
}

size_t MessageLog::Count(HWND window, UINT message) const { return Of(window, {message}).size(); }

void MessageLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.clear();
}

WindowHandler Logging(MessageLog& log, WindowHandler next) {
  return [&log, next](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
    log.Add(window, message, wParam, lParam);
    if (next) return next(window, message, wParam, lParam);
    return std::nullopt;
  };
}

WindowThread::WindowThread(std::function<void()> setup) {
  std::mutex started;
  std::condition_variable ready;
  bool done = false;
  thread_ = std::thread([&, setup] {
    TestWindowDesc desc;
    desc.style = WS_POPUP;
    desc.width = desc.height = 10;
    HWND anchor = CreateTestWindow(desc);
    if (setup) setup();
    {
      // Told under the lock: the waiting constructor owns `ready` and may return at once.
      std::lock_guard<std::mutex> lock(started);
      anchor_ = anchor;
      done = true;
      ready.notify_all();
    }
    IWindowSystem& system = WindowSystem();
    MSG message{};
    BOOL got;
    while ((got = system.GetMessageW(&message, nullptr, 0, 0)) != 0 && got != -1) {
      system.TranslateMessage(&message);
      system.DispatchMessageW(&message);
    }
    if (system.IsWindow(anchor)) system.DestroyWindow(anchor);
    std::lock_guard<std::mutex> lock(mutex_);
    exitCode_ = static_cast<int>(message.wParam);
    finished_ = true;
    g_finished.notify_all();
  });
  std::unique_lock<std::mutex> lock(started);
  ready.wait(lock, [&] { return done; });
}

WindowThread::~WindowThread() { Stop(); }

bool WindowThread::Run(const std::function<void()>& work) { return WindowDriver().Run(anchor_, work); }

void WindowThread::Stop() {
  if (!thread_.joinable()) return;
  if (!ExitCode()) WindowDriver().Run(anchor_, [] { WindowSystem().PostQuitMessage(0); });
  thread_.join();
}

std::optional<int> WindowThread::ExitCode() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!finished_) return std::nullopt;
  return exitCode_;
}

bool WindowThread::Join(DWORD milliseconds) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!g_finished.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return finished_; })) return false;
  lock.unlock();
  if (thread_.joinable()) thread_.join();
  return true;
}

}  // namespace rundix::test
