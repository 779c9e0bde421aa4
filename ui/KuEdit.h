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

  void Init(KuEdit* owner);
  RECT CalPos() const;

  const wchar_t* GetWindowClassName() const override;
  const wchar_t* GetSuperClassName() const override;
  void OnFinalMessage(HWND window) override;
  LRESULT KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  LRESULT OnKillFocus(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnEditChanged(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

  KuEdit* owner_ = nullptr;
  HBRUSH brush_ = nullptr;
  ARGB brushColour_ = 0;
  bool initialised_ = false;
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
  void OnMouseEnter(KuEventUI& event) override;
  void OnMouseLeave(KuEventUI& event) override;
  void SetEnabled(bool enabled) override;
  void SetText(const std::wstring& text) override;
  void SetPos(RECT rect) override;
  void SetVisible(bool visible) override;
  void SetInsetVisible(bool visible) override;
  void PaintStatusImage(Canvas& hdc) override;
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
