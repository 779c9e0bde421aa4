// An edit box: draws its text itself and opens a native single-line edit window over itself
// while it is being edited (KuEditWnd, a superclass of the system's "Edit").
#pragma once

#include "ui/KuContainer.h"
#include "ui/KuWindowWnd.h"

namespace KUM {

class KuEdit;

class KuEditWnd : public KuWindowWnd {
 public:
  KuEditWnd() = default;
  ~KuEditWnd() override;

  // Creates the native window over the edit and gives it the focus. False when it cannot be
  // created; the object is then the caller's to delete.
  bool Init(KuEdit* owner);
  // The edit's item rectangle shrunk by its normal text padding.
  RECT CalPos() const;

  const wchar_t* GetWindowClassName() const override;
  const wchar_t* GetSuperClassName() const override;
  void OnFinalMessage(HWND window) override;
  LRESULT KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  LRESULT OnKillFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnEditChanged(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

  LRESULT OnCtlColor(WPARAM wParam);

  friend class KuEdit;  // an edit going away detaches its window first

  KuEdit* owner_ = nullptr;
  HBRUSH brush_ = nullptr;
  ARGB brushColour_ = 0;
  // Text changes count only once the window shows the edit's text.
  bool initialised_ = false;
  // While KuCreate runs a failed creation must not delete the object under Init.
  bool creating_ = false;
};

class KuEdit : public KuContainer {
 public:
  KuEdit();
  ~KuEdit() override;

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void OnSetCursor(KuEventUI& event) override;
  void OnLButtonDown(KuEventUI& event) override;
  void OnRButtonDown(KuEventUI& event) override;
  void SetEnabled(bool enabled) override;
  void SetText(const std::wstring& text) override;
  void SetPos(RECT rect) override;
  void SetVisible(bool visible) override;
  void SetInsetVisible(bool visible) override;
  void PaintText(Canvas& hdc) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  bool IsReadOnly() const { return readOnly_; }
  void SetReadOnly(bool on);
  bool IsNumberOnly() const { return numberOnly_; }
  void SetNumberOnly(bool on) { numberOnly_ = on; }
  bool IsMultiLine() const { return multiLine_; }
  void SetMultiLine(bool on) { multiLine_ = on; }
  bool IsPasswordMode() const { return password_; }
  void SetPasswordMode(bool on);
  wchar_t GetPasswordChar() const { return passwordChar_; }
  void SetPasswordChar(wchar_t ch);
  int GetMaxChar() const { return maxChar_; }
  void SetMaxChar(int count);
  ARGB GetNativeEditBkColor() const { return nativeBk_; }
  void SetNativeEditBkColor(ARGB colour);
  // The open native window, or null.
  KuEditWnd* GetNativeWindow() const { return window_; }

 private:
  friend class KuEditWnd;
  // Opens the native window when the edit has the focus and none is open; true when one is
  // open afterwards.
  bool OpenNativeWindow();
  // Ends editing: the native window loses the focus to the paint manager's window, which
  // closes it.
  void EndEditing();

  KuEditWnd* window_ = nullptr;
  bool readOnly_ = false;
  bool numberOnly_ = false;
  bool multiLine_ = false;
  bool password_ = false;
  wchar_t passwordChar_ = L'*';
  int maxChar_ = 255;
  ARGB nativeBk_ = 0xFFFFFFFF;
};

}  // namespace KUM
