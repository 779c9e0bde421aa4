#include "tools/skin/SkinSession.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "platform/LocalFile.h"
#include "platform/Raster.h"
#include "platform/Resources.h"
#include "platform/Text.h"
#include "platform/WindowDriver.h"
#include "platform/WindowSystem.h"
#include "tools/skin/SkinJson.h"
#include "tools/skin/SkinSteps.h"
#include "ui/KuContainer.h"
#include "ui/KuDialogBuilder.h"
#include "ui/KuLoadResource.h"
#include "ui/KuOption.h"
#include "ui/KuProgress.h"
#include "ui/KuWindowImplBase.h"
#include "views/DialogBuilderCallbackEx.h"

namespace rundix::skin {

namespace {

using KUM::KuControl;

constexpr size_t kMaxSkinBytes = 16 * 1024 * 1024;
constexpr size_t kMaxStepsBytes = 16 * 1024 * 1024;
// A borderless window whose client area is the whole window, as the program's windows are
// once their caption is gone.
constexpr DWORD kPreviewStyle = WS_POPUP | WS_CLIPCHILDREN | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

// The skin file's bytes as the builder reads them: the source is edited as UTF-8 and stored
// as GBK, so text that is valid UTF-8 is converted; anything else is taken as GBK already.
std::string SkinBytesFromFile(const std::vector<uint8_t>& data) {
  std::string bytes(data.begin(), data.end());
  const std::wstring wide = WideFromUtf8(bytes);
  const bool replaced = wide.find(L'\uFFFD') != std::wstring::npos;
  const bool hadReplacement = bytes.find("\xEF\xBF\xBD") != std::string::npos;
  if (replaced && !hadReplacement) return bytes;  // not UTF-8: GBK as stored
  return KUM::KuSkinFromWide(wide);
}

bool ReadFile(const std::string& path, size_t maxBytes, std::vector<uint8_t>* data) {
  return ReadLocalFile(WideFromUtf8(path), maxBytes, data);
}

// The skin window: builds the section when it is created and tells every notification.
class SkinWindow : public KUM::KuWindowImplBase {
 public:
  SkinWindow(const SkinOptions& options, std::string skinBytes, JsonLines& out)
      : options_(options), skinBytes_(std::move(skinBytes)), out_(out) {}

  const wchar_t* GetWindowClassName() const override { return L"RundixSkin_WND_CLASS"; }
  UINT GetClassStyle() const override { return CS_DBLCLKS; }

  LRESULT KuOnCreate(UINT, WPARAM, LPARAM, bool& handled) override {
    handled = true;
    paintManager_.Init(GetHWND());
    if (!Build()) return -1;
    paintManager_.AddNotifier(this);
    return 0;
  }

  LRESULT KuOnDestroy(UINT, WPARAM, LPARAM, bool& handled) override {
    handled = false;  // the paint manager and the default procedure see it too
    WindowSystem().PostQuitMessage(0);
    return 0;
  }

  void Notify(KUM::KuNotify& msg) override {
    Json::Value n;
    n["type"] = msg.Type;
    n["sender"] = RefOf(msg.pSender, paintManager_.GetRoot());
    n["wParam"] = static_cast<Json::UInt64>(msg.wParam);
    Json::Value line;
    line["notify"] = n;
    out_.Write(line);
  }

  // Builds the section into the paint manager and attaches it; false (with the builder's
  // reason) when there is no root.
  bool Build() {
    KUM::KuDialogBuilder builder;
    KUM::IDialogBuilderCallback* callback = options_.app ? &appCallback_ : nullptr;
    const char* section = options_.section ? options_.section->c_str() : nullptr;
    KuControl* root = options_.builtin
                          ? builder.Create(L"100", section, KUM::UISKIN_RESOURCE, L"XML", callback, &paintManager_)
                          : builder.CreateFromBytes(skinBytes_, section, callback, &paintManager_);
    if (root == nullptr) {
      error_ = builder.GetLastError();
      if (error_.empty()) error_ = "the skin built no control";
      if (!options_.section) error_ += " (without --section the document's first element is built)";
      return false;
    }
    paintManager_.AttachDialog(root);
    size_ = ChooseSize();
    return true;
  }

  const std::string& Error() const { return error_; }
  SIZE Size() const { return size_; }

 private:
  SIZE ChooseSize() {
    if (options_.size) return *options_.size;
    const SIZE init = paintManager_.GetInitSize();
    if (init.cx > 0 && init.cy > 0) return init;
    const SIZE minimum = paintManager_.GetMinInfo();
    if (minimum.cx > 0 && minimum.cy > 0) return minimum;
    return kFallbackSize;
  }

  const SkinOptions& options_;
  std::string skinBytes_;
  JsonLines& out_;
  KUM::DialogBuilderCallbackEx appCallback_;
  std::string error_;
  SIZE size_ = kFallbackSize;
};

// The window on its own thread, which runs the library's message loop until the window goes.
class WindowThread {
 public:
  WindowThread(const SkinOptions& options, std::string skinBytes, JsonLines& out, bool onScreen)
      : window_(options, std::move(skinBytes), out), out_(out), onScreen_(onScreen) {}

  // Where a replacement window goes: where the one it replaces was (screen coordinates).
  void PlaceAt(POINT topLeft) { place_ = topLeft; }

  ~WindowThread() { Close(); }

  // Creates, sizes and shows the window (its first paint included); false with the reason.
  bool Open(std::string* error) {
    auto created = std::make_shared<std::promise<HWND>>();
    std::future<HWND> result = created->get_future();
    thread_ = std::thread([this, created] {
      HWND hwnd = window_.KuCreate(nullptr, L"rundix-skin", kPreviewStyle, 0, 0, 0, 100, 100);
      if (hwnd != nullptr) {
        IWindowSystem& ws = WindowSystem();
        const SIZE size = window_.Size();
        ws.SetWindowPos(hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (place_) {
          ws.SetWindowPos(hwnd, nullptr, place_->x, place_->y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        } else if (onScreen_) {
          window_.CenterWindow();
        }
        Json::Value line;
        line["window"] = WindowJson(window_.PaintManager());
        out_.Write(line);
        ws.ShowWindow(hwnd, SW_SHOW);
        ws.UpdateWindow(hwnd);
      }
      created->set_value(hwnd);
      if (hwnd != nullptr) KUM::KuPaintManager::MessageLoop();
      ended_ = true;
    });
    hwnd_ = result.get();
    if (hwnd_ == nullptr) {
      thread_.join();
      *error = window_.Error().empty() ? "the window could not be created" : window_.Error();
      return false;
    }
    WindowDriver().WaitIdle(hwnd_);
    return true;
  }

  // Destroys the window on its thread (unless it is gone) and ends the thread.
  void Close() {
    if (!thread_.joinable()) return;
    HWND hwnd = hwnd_;
    if (!ended_ && !WindowDriver().Run(hwnd, [hwnd] { WindowSystem().DestroyWindow(hwnd); })) {
      WindowSystem().PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    thread_.join();
  }

  HWND Hwnd() const { return hwnd_; }
  bool Ended() const { return ended_; }
  KUM::KuPaintManager& Manager() { return window_.PaintManager(); }

 private:
  SkinWindow window_;
  JsonLines& out_;
  bool onScreen_;
  std::optional<POINT> place_;
  HWND hwnd_ = nullptr;
  std::thread thread_;
  std::atomic<bool> ended_{false};
};

// Runs the steps through the window driver and the window thread.
class StepRunner {
 public:
  StepRunner(WindowThread& window, JsonLines& out, bool fields)
      : window_(&window), out_(out), fields_(fields) {}

  // The window that replaced the one the steps ran in.
  void Retarget(WindowThread& window) { window_ = &window; }

  // The tree and the manager's state, read on the window thread.
  void Dump() {
    OnWindow([this] {
      Json::Value tree;
      tree["tree"] = TreeJson(window_->Manager(), fields_);
      out_.Write(tree);
      Json::Value manager;
      manager["manager"] = ManagerJson(window_->Manager());
      out_.Write(manager);
    });
  }

  // False (after an error line) when a step cannot be carried out.
  bool Run(const Step& step) {
    IWindowDriver& d = WindowDriver();
    const HWND h = window_->Hwnd();
    const std::string& k = step.kind;
    if (k == "mouse_move") {
      d.MouseMove(h, step.pt);
    } else if (k == "lbutton_down") {
      d.LButtonDown(h, step.pt);
    } else if (k == "lbutton_up") {
      d.LButtonUp(h, step.pt);
    } else if (k == "lbutton_dblclk") {
      d.LButtonDblClk(h, step.pt);
    } else if (k == "wheel") {
      d.Wheel(h, step.pt, step.delta);
    } else if (k == "mouse_leave") {
      d.MouseLeave(h);
    } else if (k == "set_cursor") {
      // The pointer comes to the point (the system asks the window for its cursor on the
      // way), then the window is asked once more, as Windows does while the pointer rests.
      d.MouseMove(h, step.pt);
      OnWindow([h] {
        WindowSystem().SendMessageW(h, WM_SETCURSOR, reinterpret_cast<WPARAM>(h), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      });
    } else if (k == "key_down") {
      d.KeyDown(h, step.vk, step.shift);
      d.KeyUp(h, step.vk, step.shift);
    } else if (k == "char") {
      d.Char(h, step.ch);
    } else if (k == "advance") {
      d.Advance(h, step.ms);
    } else if (k == "maximize" || k == "restore") {
      const int command = k == "maximize" ? SW_MAXIMIZE : SW_RESTORE;
      OnWindow([h, command] { WindowSystem().ShowWindow(h, command); });
    } else if (k == "paint") {
      OnWindow([h] { WindowSystem().UpdateWindow(h); });
    } else if (k == "nchittest") {
      const POINT pt = step.pt;
      OnWindow([this, h, pt] {
        POINT screen = pt;
        WindowSystem().ClientToScreen(h, &screen);
        const LRESULT code = WindowSystem().SendMessageW(h, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
        Json::Value line;
        line["hittest"] = HitTestName(static_cast<long>(code));
        out_.Write(line);
      });
    } else if (k == "dump") {
      Dump();
    } else if (k == "call") {
      std::string error;
      OnWindow([this, &step, &error] { error = Call(step); });
      if (!error.empty()) {
        out_.Error(error);
        return false;
      }
    }
    d.WaitIdle(h);
    return true;
  }

 private:
  void OnWindow(const std::function<void()>& work) { WindowDriver().Run(window_->Hwnd(), work); }

  // On the window thread: one library call on a named control; the reason it cannot be made
  // otherwise.
  std::string Call(const Step& step) {
    KuControl* control = step.id != 0 ? window_->Manager().FindControl(step.id)
                                      : window_->Manager().FindControl(step.name);
    const std::string name = step.id != 0 ? "id " + std::to_string(step.id) : Utf8FromWide(step.name);
    if (control == nullptr) return "call " + step.method + ": no control \"" + name + "\"";
    const std::string& m = step.method;
    const Json::Value& a = step.args;
    auto* container = static_cast<KUM::KuContainer*>(control->GetInterface(KUM::UICLASS_CONTAINER));
    auto* option = static_cast<KUM::KuOption*>(control->GetInterface(KUM::UICLASS_OPTION));
    auto* progress = static_cast<KUM::KuProgress*>(control->GetInterface(KUM::UICLASS_PROGRESS));
    auto notA = [&](const char* what) { return "call " + m + ": \"" + name + "\" is not " + what; };
    if (m == "SetVisible") {
      control->SetVisible(a[0].asBool());
    } else if (m == "SetEnabled") {
      control->SetEnabled(a[0].asBool());
    } else if (m == "SetFocus") {
      control->SetFocus();
    } else if (m == "SetText") {
      control->SetText(WideFromUtf8(a[0].asString()));
    } else if (m == "Selected") {
      if (option == nullptr) return notA("an option");
      option->Selected(a[0].asBool());
    } else if (m == "SetRange" || m == "SetPos" || m == "SetStep") {
      if (progress == nullptr) return notA("a progress bar");
      if (m == "SetRange") progress->SetRange(a[0].asInt(), a[1].asInt());
      if (m == "SetPos") progress->SetPos(a[0].asInt());
      if (m == "SetStep") progress->SetStep(a[0].asInt());
    } else {
      if (container == nullptr) return notA("a container");
      if (m == "LineUp") container->LineUp();
      if (m == "LineDown") container->LineDown();
      if (m == "PageUp") container->PageUp();
      if (m == "PageDown") container->PageDown();
      if (m == "HomeUp") container->HomeUp();
      if (m == "EndDown") container->EndDown();
      if (m == "SetScrollPos") container->SetScrollPos(SIZE{a[0].asInt(), a[1].asInt()});
    }
    return {};
  }

  WindowThread* window_;
  JsonLines& out_;
  bool fields_;
};

// The window's pixels as shown: GDI's opaque drawing leaves the alpha byte undefined, so
// every pixel is written opaque.
bool WriteCapture(const Bitmap& shown, const std::string& path) {
  std::unique_ptr<Bitmap> copy = CreateBitmap(shown.Width(), shown.Height());
  if (!copy) return false;
  const uint8_t* from = shown.ReadPixels();
  uint8_t* to = copy->LockPixels();
  for (int y = 0; y < shown.Height(); ++y) {
    const uint8_t* s = from + static_cast<size_t>(y) * shown.Stride();
    uint8_t* t = to + static_cast<size_t>(y) * copy->Stride();
    for (int x = 0; x < shown.Width(); ++x) {
      t[4 * x] = s[4 * x];
      t[4 * x + 1] = s[4 * x + 1];
      t[4 * x + 2] = s[4 * x + 2];
      t[4 * x + 3] = 0xFF;
    }
  }
  copy->UnlockPixels();
  std::error_code ec;
  const std::filesystem::path file(path);
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  return WritePng(*copy, path);
}

// Windows, on screen: waits for the person to close the window. With --watch a changed skin
// file is built into a new window, as the program builds its windows, which then replaces the
// shown one; a skin that does not build leaves the shown one as it is.
void Present(std::unique_ptr<WindowThread>& window, StepRunner& runner, const SkinOptions& options,
             JsonLines& out) {
  std::vector<uint8_t> last;
  if (options.watch) ReadFile(options.skinPath, kMaxSkinBytes, &last);
  while (!window->Ended()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (!options.watch) continue;
    std::vector<uint8_t> now;
    if (!ReadFile(options.skinPath, kMaxSkinBytes, &now) || now == last) continue;
    last = now;
    auto next = std::make_unique<WindowThread>(options, SkinBytesFromFile(now), out, true);
    RECT shown{0, 0, 0, 0};
    if (WindowSystem().GetWindowRect(window->Hwnd(), &shown)) next->PlaceAt(POINT{shown.left, shown.top});
    std::string error;
    if (!next->Open(&error)) {
      out.Error(error);
      continue;
    }
    window->Close();
    window = std::move(next);
    runner.Retarget(*window);
    runner.Dump();
  }
}

}  // namespace

int RunSkinSession(const SkinOptions& options, std::ostream& stream) {
  JsonLines out(stream);
  std::string skinBytes;
  if (!options.builtin) {
    std::vector<uint8_t> data;
    if (!ReadFile(options.skinPath, kMaxSkinBytes, &data)) {
      out.Error("cannot read the skin file " + options.skinPath);
      return 1;
    }
    skinBytes = SkinBytesFromFile(data);
  }
  std::vector<Step> steps;
  if (!options.stepsPath.empty()) {
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadFile(options.stepsPath, kMaxStepsBytes, &data)) {
      out.Error("cannot read the steps file " + options.stepsPath);
      return 1;
    }
    if (!ParseSteps(std::string(data.begin(), data.end()), &steps, &error)) {
      out.Error(error);
      return 1;
    }
  }

  UseTestClock();
  KUM::KuLoadResource::Instance().SetResourceInstance(ProgramInstance());
  const bool onScreen = HasScreen() && options.pngPath.empty();
  auto window = std::make_unique<WindowThread>(options, std::move(skinBytes), out, onScreen);
  std::string error;
  if (!window->Open(&error)) {
    out.Error(error);
    return 1;
  }
  StepRunner runner(*window, out, options.fields);
  runner.Dump();
  for (const Step& step : steps) {
    if (window->Ended()) {
      out.Error("the window was closed before step " + step.kind);
      return 1;
    }
    if (!runner.Run(step)) return 1;
  }
  if (!options.pngPath.empty()) {
    std::unique_ptr<Bitmap> shown = WindowDriver().Capture(window->Hwnd());
    if (!shown || !WriteCapture(*shown, options.pngPath)) {
      out.Error("cannot write " + options.pngPath);
      return 1;
    }
  }
  if (onScreen) Present(window, runner, options, out);
  window->Close();
  return 0;
}

}  // namespace rundix::skin
