// The records the library passes around: an event for one control (built by the paint
// manager from a window message) and a notification for the window's listeners.
#pragma once

#include "ui/KuTypes.h"

namespace KUM {

// Event types; also the numbers of the dispatch switches (19, activate, is dispatch only).
enum KuEventType : UINT {
  UIEVENT_KEYDOWN = 1,
  UIEVENT_KEYUP = 2,
  UIEVENT_CHAR = 3,
  UIEVENT_SYSKEYDOWN = 4,
  UIEVENT_MOUSEMOVE = 5,
  UIEVENT_MOUSELEAVE = 6,
  UIEVENT_MOUSEENTER = 7,
  UIEVENT_MOUSEHOVER = 8,
  UIEVENT_MOUSEWHEEL = 9,
  UIEVENT_LBUTTONDOWN = 10,
  UIEVENT_LBUTTONUP = 11,
  UIEVENT_RBUTTONDOWN = 12,
  UIEVENT_LBUTTONDBLCLK = 13,
  UIEVENT_CONTEXTMENU = 14,
  UIEVENT_KILLFOCUS = 15,
  UIEVENT_SETFOCUS = 16,
  UIEVENT_SETCURSOR = 17,
  UIEVENT_TIMER = 18,
  UIEVENT_ACTIVATE = 19,
};

// Notification types; the control-raised ones are also the notify switch numbers. Types
// from 28 up belong to the application's controls.
enum KuNotifyType : UINT {
  UINOTIFY_WINDOWINIT = 1,
  UINOTIFY_WINDOWSIZE = 2,
  UINOTIFY_CLICK = 3,
  UINOTIFY_MOUSEENTER = 4,
  UINOTIFY_MOUSEHOVER = 5,
  UINOTIFY_MOUSELEAVE = 6,
  UINOTIFY_SETFOCUS = 8,
  UINOTIFY_KILLFOCUS = 9,
  UINOTIFY_LBUTTONDOWN = 10,
  UINOTIFY_LBUTTONUP = 11,
  UINOTIFY_RBUTTONDOWN = 12,
  UINOTIFY_CONTEXTMENU = 13,
  UINOTIFY_SELECTCHANGED = 14,
  UINOTIFY_RETURN = 15,
  UINOTIFY_UP = 16,
  UINOTIFY_DOWN = 17,
  UINOTIFY_TEXTCHANGED = 19,
};

// Modifier bits of an event's key state.
enum KuKeyState : UINT {
  UIKEYSTATE_RBUTTON = 0x01,
  UIKEYSTATE_LBUTTON = 0x02,
  UIKEYSTATE_SHIFT = 0x04,
  UIKEYSTATE_CONTROL = 0x08,
  UIKEYSTATE_ALT = 0x20,
};

struct KuEventUI {
  UINT Type = 0;
  KuControl* pOther = nullptr;   // mouseleave: the control the pointer moved to
  KuControl* pSender = nullptr;  // the control that first handled a forwarded event
  DWORD dwTimestamp = 0;
  POINT ptMouse{0, 0};
  wchar_t chKey = 0;
  UINT wKeyState = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

struct KuNotify {
  UINT Type = 0;
  KuControl* pSender = nullptr;
  DWORD dwTimestamp = 0;
  POINT ptMouse{0, 0};
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

}  // namespace KUM
