// One native window wrapped by an object: class registration, creation with a pointer back
// to the object, every message routed to the object's KuHandleMessage, a modal loop,
// centring, icons, and subclassing of an existing window.
#pragma once

#include <string>

#include "ui/KuTypes.h"

namespace KUM {

class KuWindowWnd {
 public:
  KuWindowWnd() = default;
  virtual ~KuWindowWnd();
  KuWindowWnd(const KuWindowWnd&) = delete;
  KuWindowWnd& operator=(const KuWindowWnd&) = delete;

  virtual void KuShowWindow(bool show = true, bool takeFocus = true);
  virtual void Close();
  virtual const wchar_t* GetWindowClassName() const = 0;
  virtual const wchar_t* GetSuperClassName() const;
  virtual UINT GetClassStyle() const;
  virtual LRESULT KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void OnFinalMessage(HWND window);

  HWND GetHWND() const { return window_; }
  operator HWND() const { return window_; }

  HWND KuCreate(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
                int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT,
                HMENU menu = nullptr);
  HWND KuCreate(HWND parent, const wchar_t* title, DWORD style, DWORD exStyle, const RECT& rect,
                HMENU menu = nullptr);
  HWND Subclass(HWND window);
  void Unsubclass();
  LRESULT KuSendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  bool KuPostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  void CenterWindow(HWND reference = nullptr);
  void KuSetIcon(UINT resourceId);
  void ResizeClient(int cx = -1, int cy = -1);
  // Runs a modal loop until the window is gone; the owner is disabled meanwhile. Returns the
  // exit code of a WM_QUIT that ended it (posted again for the outer loop), else 0.
  UINT ShowModal();

 protected:
  bool RegisterWindowClass();
  bool RegisterSuperclass();
  LRESULT CallPrevious(UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK KuWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The variant for native controls: the object lives in the window property "WndX".
  static LRESULT CALLBACK KuControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Where a window keeps its object: the user data (KuWndProc) or a property (KuControlProc).
  enum class ObjectSlot { kUserData, kProperty };
  static LRESULT Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam, ObjectSlot slot);

  HWND window_ = nullptr;
  WNDPROC oldProc_ = nullptr;
  bool subclassed_ = false;
  HICON bigIcon_ = nullptr;
  HICON smallIcon_ = nullptr;
};

}  // namespace KUM
