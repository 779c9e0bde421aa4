// One per window: binds the control tree to the native window. It turns window messages into
// events for the right control (hit testing, hover, capture, focus, Tab navigation, timers),
// lays the tree out lazily, paints it double-buffered, answers the non-client questions of a
// borderless window, keeps the window's registries (fonts, default attribute lists, option
// groups, controls by name and id) and delivers notifications to listeners. A static message
// loop serves every paint manager of the process.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/KuControl.h"
#include "ui/KuEventUI.h"
#include "ui/KuTypes.h"

namespace KUM {

// The library's own window messages.
constexpr UINT UIMSG_POSTNOTIFY = 9029;        // 0x2345: a deferred notification
constexpr UINT UIMSG_DELAYED_CLEANUP = 0x8001;  // destroy the controls queued for cleanup

struct KuFontInfo {
  std::unique_ptr<Font> font;
  std::wstring faceName;
  int size = 0;
  bool bold = false;
  bool underline = false;
  bool italic = false;
  bool strikeout = false;
  rundix::FontMetrics tm;
};

// A listener of a window's notifications.
class INotify {
 public:
  virtual ~INotify() = default;
  virtual void Notify(KuNotify& msg) = 0;
  // Offered every message of the window before anything else; true consumes it.
  virtual bool PreMessageHandler(const MSG& msg) { return false; }
};

class IMessageFilterUI {
 public:
  virtual ~IMessageFilterUI() = default;
  virtual LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;
};

class KuPaintManager {
 public:
  KuPaintManager();
  ~KuPaintManager();
  KuPaintManager(const KuPaintManager&) = delete;
  KuPaintManager& operator=(const KuPaintManager&) = delete;

  void Init(HWND window);
  HWND GetPaintWindow() const { return window_; }
  // The canvas text is measured on.
  Canvas& GetPaintDC();
  KuControl* GetRoot() const { return root_; }
  KuControl* GetRootControl() const { return root_; }

  // Attaches a tree built for this window: focus and mouse references are cleared, a
  // previous root goes to delayed cleanup, and the tree is registered and initialised once.
  bool AttachDialog(KuControl* root);
  // Gives a subtree the manager, registers its names and ids and initialises it (Init).
  bool InitControls(KuControl* control);
  // The same without initialising: what KuContainer::Add does for a new child.
  void RegisterControls(KuControl* control);
  // Removes a control from every registry and reference (called by its destructor).
  void ReapObjects(KuControl* control);
  void AddDelayedCleanup(KuControl* control);

  bool AddNotifier(INotify* listener);
  bool RemoveNotifier(INotify* listener);
  bool AddMessageFilter(IMessageFilterUI* filter);
  bool RemoveMessageFilter(IMessageFilterUI* filter);
  void SendNotify(KuNotify& msg);
  void SendNotify(KuControl* sender, UINT type, WPARAM wParam = 0, LPARAM lParam = 0);
  void PostNotify(UINT type, LPARAM lParam);

  bool SetTimer(KuControl* control, UINT id, UINT elapse);
  bool KillTimer(KuControl* control, UINT id);
  void KillTimer(KuControl* control);  // every timer of the control
  void RemoveAllTimers();
  bool HasTimer(KuControl* control, UINT id) const;

  KuControl* GetFocus() const { return focus_; }
  void SetFocus(KuControl* control, bool focusWindow = true);
  bool SetNextTabControl(bool forward = true);
  KuControl* GetHover() const { return hover_; }
  KuControl* GetClick() const { return click_; }

  bool AddGroup(UINT group, KuControl* control);
  std::vector<KuControl*>* GetGroup(UINT group);
  bool RemoveGroup(UINT group, KuControl* control);
  void RemoveAllGroups();
  KuControl* GetGroupSelected(UINT group);
  const std::map<UINT, std::vector<KuControl*>>& Groups() const { return groups_; }

  void AddDefaultAttributeList(const std::wstring& name, const std::wstring& list);
  std::wstring GetDefaultAttributeList(const std::wstring& name) const;
  bool RemoveDefaultAttributeList(const std::wstring& name);
  void RemoveAllDefaultAttributeList();
  const std::map<std::wstring, std::wstring>& DefaultAttributeLists() const { return defaults_; }

  // Each id holds a font object of the system's, and a skin may come from a file: past
  // kMaxFonts ids a new one is refused (null); a known id may still be registered again.
  // The size is held to ±kMaxFontSize pixels.
  static constexpr size_t kMaxFonts = 256;
  static constexpr int kMaxFontSize = 2048;
  KuFontInfo* AddFont(const std::wstring& id, const std::wstring& face, int size, bool bold,
                      bool underline, bool italic, bool strikeout);
  // An unknown or empty id gives the default font.
  KuFontInfo* GetFont(const std::wstring& id);
  KuFontInfo* GetDefaultFont();
  void SetDefaultFont(KuFontInfo* font) { defaultFont_ = font; }
  void SetDefaultBoldFont(KuFontInfo* font) { defaultBoldFont_ = font; }
  void SetDefaultLinkFont(KuFontInfo* font) { defaultLinkFont_ = font; }
  KuFontInfo* GetDefaultBoldFont() const { return defaultBoldFont_; }
  KuFontInfo* GetDefaultLinkFont() const { return defaultLinkFont_; }
  void RemoveAllFont();
  // The registered fonts by id, in id order.
  const std::map<std::wstring, std::unique_ptr<KuFontInfo>>& Fonts() const { return fonts_; }

  KuControl* FindControl(const std::wstring& name) const;
  KuControl* FindControl(UINT id) const;
  KuControl* FindControl(POINT point) const;
  KuControl* FindControl(HWND child) const;
  // The control under a point, only when it belongs to this manager.
  KuControl* FindOwnControl(POINT point) const;

  void NeedUpdate() { updateNeeded_ = true; }
  bool IsUpdateNeeded() const { return updateNeeded_; }
  void Invalidate();
  void Invalidate(const RECT& rect);

  void SetCapture();
  void ReleaseCapture();
  bool IsCaptured() const { return captured_; }
  POINT GetMousePos() const { return lastMouse_; }

  // Window attributes.
  SIZE GetInitSize() const { return initSize_; }
  void SetInitSize(int cx, int cy) { initSize_ = SIZE{cx, cy}; }
  const RECT& GetCaptionRect() const { return caption_; }
  void SetCaptionRect(const RECT& rect) { caption_ = rect; }
  const RECT& GetSizeBox() const { return sizeBox_; }
  void SetSizeBox(const RECT& rect) { sizeBox_ = rect; }
  UINT GetSizeBoxRounder() const { return sizeBoxRounder_; }
  void SetSizeBoxRounder(UINT n) { sizeBoxRounder_ = n; }
  SIZE GetRoundCorner() const { return roundCorner_; }
  void SetRoundCorner(int cx, int cy) { roundCorner_ = SIZE{cx, cy}; }
  const std::wstring& GetRoundCornerImage() const { return roundCornerImage_; }
  void SetRoundCornerImage(const std::wstring& descriptor) { roundCornerImage_ = descriptor; }
  SIZE GetMinInfo() const { return minInfo_; }
  void SetMinWindow(int cx, int cy) { minInfo_ = SIZE{cx, cy}; }
  SIZE GetMaxInfo() const { return maxInfo_; }
  void SetMaxWindow(int cx, int cy) { maxInfo_ = SIZE{cx, cy}; }
  bool IsLayered() const { return layered_; }
  void SetLayeredWindow(bool on) { layered_ = on; }
  int GetLayeredWindowAlpha() const { return layeredAlpha_; }
  void SetLayeredWindowAlpha(int alpha) { layeredAlpha_ = alpha; }
  bool IsWindowFocus() const { return windowFocus_; }
  void SetWindowFocus(bool on) { windowFocus_ = on; }
  bool IsDrawTabFocusBorder() const { return drawTabFocusBorder_; }
  void SetDrawTabFocusBorder(bool on) { drawTabFocusBorder_ = on; }
  bool IsAlwaysDrawTabFocusBorder() const { return alwaysDrawTabFocusBorder_; }
  void SetAlwaysDrawTabFocusBorder(bool on) { alwaysDrawTabFocusBorder_ = on; }
  bool IsUseDefaultFocusBorder() const { return useDefaultFocusBorder_; }
  void SetUseDefaultFocusBorder(bool on) { useDefaultFocusBorder_ = on; }
  bool IsControlSpaceReturn() const { return controlSpaceReturn_; }
  void SetControlSpaceReturn(bool on) { controlSpaceReturn_ = on; }
  bool IsShowUpdateRect() const { return showUpdateRect_; }
  void SetShowUpdateRect(bool on) { showUpdateRect_ = on; }
  bool IsDropDrag() const { return dropDrag_; }
  void SetDropDrag(bool on) { dropDrag_ = on; }
  // The cursor the manager last chose for the window ("hand", "arrow", "ibeam"), or
  // "system" when it left the choice to the window system; for inspection tools.
  const wchar_t* LastCursor() const { return lastCursor_; }
  void NoteCursor(const wchar_t* name) { lastCursor_ = name; }

  static void MessageLoop();
  // One step of a message loop: the paint managers' pre-message handling, otherwise
  // TranslateMessage and DispatchMessageW.
  static void DispatchLoopMessage(const MSG& msg);
  static bool TranslateMessage(const MSG& msg);
  bool PreMessageHandler(const MSG& msg);
  bool MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // Key state bits (UIKEYSTATE_*) from the keyboard and mouse buttons.
  static UINT MapKeyState();

 private:
  void Paint();
  void RegisterSubtree(KuControl* control);
  void UnregisterSubtree(KuControl* control);
  void ApplyWindowRegion();
  LRESULT HitTest(LPARAM lParam, bool* handled);
  void TrackMouse(KuControl* control, POINT point);
  void HideTooltip();
  void ShowTooltip(KuControl* control);
  KuControl* NextTabStop(bool forward);
  void FireTimer(UINT windowTimerId);

  HWND window_ = nullptr;
  std::unique_ptr<Canvas> measure_;
  std::unique_ptr<Bitmap> offscreen_;
  KuControl* root_ = nullptr;
  KuControl* focus_ = nullptr;
  KuControl* hover_ = nullptr;
  KuControl* click_ = nullptr;
  KuControl* rightClick_ = nullptr;
  KuControl* keyDown_ = nullptr;
  KuControl* tooltipHover_ = nullptr;
  POINT lastMouse_{-1, -1};
  bool mouseTracking_ = false;
  bool ncMouseTracking_ = false;
  bool captured_ = false;
  bool sizeChanged_ = false;
  bool initPending_ = true;
  bool focusNeeded_ = false;
  bool updateNeeded_ = false;
  bool regionSet_ = false;
  std::vector<INotify*> notifiers_;
  std::vector<IMessageFilterUI*> filters_;
  struct TimerInfo {
    KuControl* control;
    UINT id;
    HWND window;
    UINT windowId;
    UINT elapse;
  };
  std::vector<TimerInfo> timers_;
  UINT timerCounter_ = 4096;
  std::map<UINT, std::vector<KuControl*>> groups_;
  std::map<std::wstring, std::wstring> defaults_;
  std::map<std::wstring, std::unique_ptr<KuFontInfo>> fonts_;
  KuFontInfo* defaultFont_ = nullptr;
  KuFontInfo* defaultBoldFont_ = nullptr;
  KuFontInfo* defaultLinkFont_ = nullptr;
  std::unique_ptr<KuFontInfo> systemFont_;
  std::map<std::wstring, KuControl*> names_;
  std::map<UINT, KuControl*> ids_;
  std::vector<KuControl*> delayedCleanup_;
  SIZE initSize_{0, 0};
  SIZE minInfo_{0, 0};
  SIZE maxInfo_{0, 0};
  RECT caption_{0, 0, 0, 0};
  RECT sizeBox_{0, 0, 0, 0};
  UINT sizeBoxRounder_ = 0;
  SIZE roundCorner_{0, 0};
  std::wstring roundCornerImage_;
  bool layered_ = false;
  int layeredAlpha_ = 255;
  bool windowFocus_ = true;
  bool drawTabFocusBorder_ = false;
  bool alwaysDrawTabFocusBorder_ = false;
  bool useDefaultFocusBorder_ = false;
  bool controlSpaceReturn_ = false;
  bool showUpdateRect_ = false;
  bool dropDrag_ = false;
  HWND tooltip_ = nullptr;
  const wchar_t* lastCursor_ = L"system";
  bool destroying_ = false;
  // Local control pointers of handlers that send events: cleared when the control goes, so
  // a handler never touches a control an event handler deleted.
  std::vector<KuControl**> watches_;
  friend class KuControlWatch;
};

}  // namespace KUM
