// The base of every element of a window's control tree: geometry, the look of each
// interaction state, text, identity, and the switches that decide which events a control
// reports to the window and which it hands on to its parent.
#pragma once

#include <bitset>
#include <string>
#include <vector>

#include "ui/KuEventUI.h"
#include "ui/KuTypes.h"

namespace KUM {

// Class ids, answered by GetClass and GetInterface.
enum KuClassId : UINT {
  UICLASS_CONTROL = 1,
  UICLASS_MENU = 2,
  UICLASS_MENUELEMENT = 3,
  UICLASS_CONTAINER = 4,
  UICLASS_BUTTON = 5,
  UICLASS_LABEL = 6,
  UICLASS_PROGRESS = 7,
  UICLASS_EDIT = 8,
  UICLASS_OPTION = 9,
  UICLASS_RICHEDIT = 10,
  UICLASS_SCROLLBAR = 11,
};

// Mouse-state bits.
enum KuMouseState : UINT {
  UISTATE_FOCUSED = 0x01,
  UISTATE_SELECTED = 0x02,
  UISTATE_DISABLED = 0x04,
  UISTATE_HOT = 0x08,
  UISTATE_PUSHED = 0x10,
  UISTATE_CAPTURED = 0x40,
};

// Control flag switches.
enum KuControlFlag : int {
  UIFLAG_SETCURSOR = 1,
  UIFLAG_ENTERROLLTEXT = 2,
  UIFLAG_TABSTOP = 3,
  UIFLAG_FOCUSABLE = 4,
};

// Float format bits (`format`).
enum KuFloatFormat : UINT {
  UIFORMAT_TOP = 0x01,
  UIFORMAT_RIGHT = 0x02,
  UIFORMAT_BOTTOM = 0x04,
  UIFORMAT_TOPMOST = 0x08,
  UIFORMAT_CENTER = 0x10,
  UIFORMAT_VCENTER = 0x20,
};

// FindControl flags.
enum KuFindFlag : UINT {
  UIFIND_ALL = 0x00000000,
  UIFIND_VISIBLE = 0x00000001,
  UIFIND_ENABLED = 0x00000002,
  UIFIND_HITTEST = 0x00000004,
  UIFIND_TOP_FIRST = 0x00000008,
  UIFIND_ME_FIRST = 0x80000000,
};

// Text-roll animation timer of a control (0x2003) and the range of ids the paint manager
// clears when a control goes.
constexpr UINT kTextRollTimerId = 0x2003;

using FINDCONTROLPROC = KuControl* (*)(KuControl* control, void* data);

class KuControl {
 public:
  KuControl();
  virtual ~KuControl();
  KuControl(const KuControl&) = delete;
  KuControl& operator=(const KuControl&) = delete;

  virtual int GetX() const;
  virtual int GetY() const;
  virtual int GetWidth() const;
  virtual int GetHeight() const;
  virtual bool GetControlFlags(int n) const;
  virtual void SetControlFlags(int n, bool on);
  virtual bool GetControlNotify(int n) const;
  virtual void SetControlNotify(int n, bool on);
  virtual bool GetControlDispatch(int n) const;
  virtual void SetControlDispatch(int n, bool on);
  virtual UINT GetClass() const;
  virtual KuControl* GetInterface(UINT id);
  virtual KuControl* FindControl(FINDCONTROLPROC proc, void* data, UINT flags);
  virtual void Event(KuEventUI& event);
  virtual void OnMouseEnter(KuEventUI& event);
  virtual void OnMouseHover(KuEventUI& event);
  virtual void OnMouseLeave(KuEventUI& event);
  virtual void OnMouseMove(KuEventUI& event);
  virtual void OnMouseWheel(KuEventUI& event);
  virtual void OnSetFocus(KuEventUI& event);
  virtual void OnKillFocus(KuEventUI& event);
  virtual void OnSetCursor(KuEventUI& event);
  virtual void OnTimer(KuEventUI& event);
  virtual void OnContextMenu(KuEventUI& event);
  virtual void OnRButtonDown(KuEventUI& event);
  virtual void OnLButtonDown(KuEventUI& event);
  virtual void OnLButtonUp(KuEventUI& event);
  virtual void OnLButtonDblClk(KuEventUI& event);
  virtual void OnKeyDown(KuEventUI& event);
  virtual void OnKeyUp(KuEventUI& event);
  virtual void OnChar(KuEventUI& event);
  virtual void OnSysKeyDown(KuEventUI& event);
  virtual bool Activate(KuEventUI& event);
  virtual bool DrawImage(Canvas& hdc, const std::wstring& descriptor,
                         const std::wstring& modify = {});
  virtual RECT GetPadding() const;
  virtual void SetPadding(const RECT& padding);
  virtual SIZE EstimateSize(SIZE available);
  virtual void DoPaint(Canvas& hdc, const RECT& paint);
  virtual void PaintBkColor(Canvas& hdc);
  virtual void PaintStatusColor(Canvas& hdc);
  virtual void PaintBkImage(Canvas& hdc);
  virtual void PaintStatusImage(Canvas& hdc);
  virtual void PaintText(Canvas& hdc);
  virtual void PaintBorder(Canvas& hdc);
  virtual const RECT& GetPos() const;
  virtual void SetPos(RECT rect);
  virtual const RECT& GetCut() const;
  virtual void SetCut(const RECT& cut);
  virtual bool IsVisible() const;
  virtual void SetVisible(bool visible);
  virtual bool IsInsetVisible() const;
  virtual void SetInsetVisible(bool visible);
  virtual void SetParent(KuControl* parent);
  virtual KuControl* GetParent() const;
  virtual int GetFixedWidth() const;
  virtual void SetFixedWidth(int width);
  virtual int GetFixedHeight() const;
  virtual void SetFixedHeight(int height);
  virtual SIZE GetFixedXY() const;
  virtual void SetFixedXY(SIZE xy);
  virtual int GetMinWidth() const;
  virtual void SetMinWidth(int width);
  virtual int GetMaxWidth() const;
  virtual void SetMaxWidth(int width);
  virtual int GetMinHeight() const;
  virtual void SetMinHeight(int height);
  virtual int GetMaxHeight() const;
  virtual void SetMaxHeight(int height);
  virtual bool IsEnabled() const;
  virtual void SetEnabled(bool enabled);
  virtual bool IsSelfAdaption() const;
  virtual void SetSelfAdaption(bool on);
  virtual KuPaintManager* GetManager() const;
  virtual void SetManager(KuPaintManager* manager);
  virtual void Init();
  virtual bool IsFloat() const;
  virtual void SetFloat(bool on);
  virtual bool IsAbsFloat() const;
  virtual void SetAbsFloat(bool on);
  virtual bool IsRelFloat() const;
  virtual void SetRelFloat(bool on);
  virtual std::wstring GetTooltip() const;
  virtual void SetTooltip(const std::wstring& text);
  virtual std::wstring GetText() const;
  virtual void SetText(const std::wstring& text);
  virtual std::wstring GetName() const;
  virtual void SetName(const std::wstring& name);
  virtual UINT GetID() const;
  virtual void SetID(UINT id);
  virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
  virtual bool IsFocused() const;
  virtual void SetFocus();
  virtual std::wstring GetUserData() const;
  virtual void SetUserData(const std::wstring& data);
  virtual void* GetData() const;
  virtual void SetData(void* data);
  virtual unsigned long GetTag() const;
  virtual void SetTag(unsigned long tag);
  virtual wchar_t GetShortcut() const;
  virtual void SetShortcut(wchar_t ch);
  virtual void SetNormalTextColor(ARGB colour);
  virtual ARGB GetNormalTextColor() const;
  virtual void SetHotTextColor(ARGB colour);
  virtual ARGB GetHotTextColor() const;
  virtual void SetPushedTextColor(ARGB colour);
  virtual ARGB GetPushedTextColor() const;
  virtual void SetSelectedTextColor(ARGB colour);
  virtual ARGB GetSelectedTextColor() const;
  virtual void SetDisabledTextColor(ARGB colour);
  virtual ARGB GetDisabledTextColor() const;
  virtual void SetWnd(HWND window);
  // The element name this class is built from ("Control", "Button", ...).
  virtual const wchar_t* ClassName() const;
  // Every interface id GetInterface answers, for inspection tools.
  virtual std::vector<UINT> InterfaceIds() const;

  // --- Non-virtual operations ------------------------------------------------------------
  // Invalidates the control's rectangle, or that of the nearest ancestor that is not waiting
  // for layout itself.
  void Invalidate();
  // Marks this control for layout (and the manager).
  void NeedUpdate();
  // Marks the parent (or this control without one) and the manager for layout.
  void NeedParentUpdate();
  bool IsUpdateNeeded() const { return updateNeeded_; }
  KuControl* ApplyAttributeList(const std::wstring& list);

  UINT GetMouseState() const { return mouseState_; }
  void SetMouseState(UINT state) { mouseState_ = state; }
  UINT GetTextStyle() const { return textStyle_; }
  void SetTextStyle(UINT style);
  UINT GetFloatFormat() const { return floatFormat_; }
  void SetFloatFormat(UINT format) { floatFormat_ = format; }
  int GetRowHeight() const { return rowHeight_; }
  void SetRowHeight(int height) { rowHeight_ = height; }
  HWND GetWnd() const { return wnd_; }

  bool IsCaption() const { return caption_; }
  void SetCaption(bool on) { caption_ = on; }
  bool IsCapture() const { return capture_; }
  void SetCapture(bool on) { capture_ = on; }
  bool IsSpaceReturn() const { return spaceReturn_; }
  void SetSpaceReturn(bool on) { spaceReturn_ = on; }
  bool IsHtmlText() const { return htmlText_; }
  void SetHtmlText(bool on) { htmlText_ = on; }
  bool IsCustomTooltip() const { return customTooltip_; }
  void SetCustomTooltip(bool on) { customTooltip_ = on; }
  bool IsHasBeenHover() const { return hasBeenHover_; }
  void SetHasBeenHover(bool on) { hasBeenHover_ = on; }
  int GetTooltipDelayTime() const { return tooltipDelay_; }
  void SetTooltipDelayTime(int ms) { tooltipDelay_ = ms; }
  const RECT& GetHoverCut() const { return hoverCut_; }
  void SetHoverCut(const RECT& cut) { hoverCut_ = cut; }
  SIZE GetRoundCorner() const { return roundCorner_; }
  void SetRoundCorner(SIZE corner);
  const RECT& GetPaintRect() const { return paintRect_; }
  // The item rectangle shrunk by the cut: where hit tests find the control.
  RECT GetHitRect() const;
  // The text-roll offset while the animation runs.
  int GetRollOffset() const { return rollOffset_; }

  // State colours. Setters invalidate when the value changes.
  void SetNormalBkColor(ARGB c) { SetColour(normalBk_, c); }
  ARGB GetNormalBkColor() const { return normalBk_; }
  void SetHotBkColor(ARGB c) { SetColour(hotBk_, c); }
  ARGB GetHotBkColor() const { return hotBk_; }
  void SetPushedBkColor(ARGB c) { SetColour(pushedBk_, c); }
  ARGB GetPushedBkColor() const { return pushedBk_; }
  void SetSelectedBkColor(ARGB c) { SetColour(selectedBk_, c); }
  ARGB GetSelectedBkColor() const { return selectedBk_; }
  void SetFocusedBkColor(ARGB c) { SetColour(focusedBk_, c); }
  ARGB GetFocusedBkColor() const { return focusedBk_; }
  void SetDisabledBkColor(ARGB c) { SetColour(disabledBk_, c); }
  ARGB GetDisabledBkColor() const { return disabledBk_; }
  void SetStatusColor(ARGB c) { SetColour(status_, c); }
  ARGB GetStatusColor() const { return status_; }
  void SetNormalBorderColor(ARGB c) { SetColour(normalBorder_, c); }
  ARGB GetNormalBorderColor() const { return normalBorder_; }
  void SetHotBorderColor(ARGB c) { SetColour(hotBorder_, c); }
  ARGB GetHotBorderColor() const { return hotBorder_; }
  void SetSelectedBorderColor(ARGB c) { SetColour(selectedBorder_, c); }
  ARGB GetSelectedBorderColor() const { return selectedBorder_; }
  void SetFocusBorderColor(ARGB c) { SetColour(focusBorder_, c); }
  ARGB GetFocusBorderColor() const { return focusBorder_; }
  void SetNormalBorderSize(int n) { normalBorderSize_ = n; Invalidate(); }
  int GetNormalBorderSize() const { return normalBorderSize_; }
  void SetHotBorderSize(int n) { hotBorderSize_ = n; Invalidate(); }
  int GetHotBorderSize() const { return hotBorderSize_; }
  void SetSelectedBorderSize(int n) { selectedBorderSize_ = n; Invalidate(); }
  int GetSelectedBorderSize() const { return selectedBorderSize_; }
  void SetFocusBorderSize(int n) { focusBorderSize_ = n; Invalidate(); }
  int GetFocusBorderSize() const { return focusBorderSize_; }

  // State fonts (font ids of the manager) and text paddings.
  void SetNormalFont(const std::wstring& id) { normalFont_ = id; Invalidate(); }
  const std::wstring& GetNormalFont() const { return normalFont_; }
  void SetHotFont(const std::wstring& id) { hotFont_ = id; Invalidate(); }
  const std::wstring& GetHotFont() const { return hotFont_; }
  void SetPushedFont(const std::wstring& id) { pushedFont_ = id; Invalidate(); }
  const std::wstring& GetPushedFont() const { return pushedFont_; }
  void SetSelectedFont(const std::wstring& id) { selectedFont_ = id; Invalidate(); }
  const std::wstring& GetSelectedFont() const { return selectedFont_; }
  void SetDisabledFont(const std::wstring& id) { disabledFont_ = id; Invalidate(); }
  const std::wstring& GetDisabledFont() const { return disabledFont_; }
  void SetNormalTextPadding(const RECT& r) { normalTextPadding_ = r; Invalidate(); }
  const RECT& GetNormalTextPadding() const { return normalTextPadding_; }
  void SetHotTextPadding(const RECT& r) { hotTextPadding_ = r; Invalidate(); }
  const RECT& GetHotTextPadding() const { return hotTextPadding_; }
  void SetPushedTextPadding(const RECT& r) { pushedTextPadding_ = r; Invalidate(); }
  const RECT& GetPushedTextPadding() const { return pushedTextPadding_; }
  void SetSelectedTextPadding(const RECT& r) { selectedTextPadding_ = r; Invalidate(); }
  const RECT& GetSelectedTextPadding() const { return selectedTextPadding_; }
  void SetDisabledTextPadding(const RECT& r) { disabledTextPadding_ = r; Invalidate(); }
  const RECT& GetDisabledTextPadding() const { return disabledTextPadding_; }

  // Status images and background images (image descriptors).
  void SetNormalImage(const std::wstring& s) { SetImage(normalImage_, s); }
  const std::wstring& GetNormalImage() const { return normalImage_; }
  void SetHotImage(const std::wstring& s) { SetImage(hotImage_, s); }
  const std::wstring& GetHotImage() const { return hotImage_; }
  void SetPushedImage(const std::wstring& s) { SetImage(pushedImage_, s); }
  const std::wstring& GetPushedImage() const { return pushedImage_; }
  void SetFocusedImage(const std::wstring& s) { SetImage(focusedImage_, s); }
  const std::wstring& GetFocusedImage() const { return focusedImage_; }
  void SetDisabledImage(const std::wstring& s) { SetImage(disabledImage_, s); }
  const std::wstring& GetDisabledImage() const { return disabledImage_; }
  void SetSelectedImage(const std::wstring& s) { SetImage(selectedImage_, s); }
  const std::wstring& GetSelectedImage() const { return selectedImage_; }
  void SetBkNormalImage(const std::wstring& s) { SetImage(bkNormalImage_, s); }
  const std::wstring& GetBkNormalImage() const { return bkNormalImage_; }
  void SetBkHotImage(const std::wstring& s) { SetImage(bkHotImage_, s); }
  const std::wstring& GetBkHotImage() const { return bkHotImage_; }
  void SetBkPushedImage(const std::wstring& s) { SetImage(bkPushedImage_, s); }
  const std::wstring& GetBkPushedImage() const { return bkPushedImage_; }
  void SetBkFocusedImage(const std::wstring& s) { SetImage(bkFocusedImage_, s); }
  const std::wstring& GetBkFocusedImage() const { return bkFocusedImage_; }
  void SetBkDisabledImage(const std::wstring& s) { SetImage(bkDisabledImage_, s); }
  const std::wstring& GetBkDisabledImage() const { return bkDisabledImage_; }
  void SetBkSelectedImage(const std::wstring& s) { SetImage(bkSelectedImage_, s); }
  const std::wstring& GetBkSelectedImage() const { return bkSelectedImage_; }

  // The value parsers the attribute vocabulary uses, shared with the derived classes.
  static int ParseInt(const std::wstring& value);
  static RECT ParseRect(const std::wstring& value);
  static SIZE ParseSize(const std::wstring& value);
  static ARGB ParseColour(const std::wstring& value);
  static bool ParseBool(const std::wstring& value) { return value == L"true"; }

 protected:
  // Forwards the event to the parent when dispatch switch `n` is on.
  void Forward(int n, KuEventUI& event, void (KuControl::*handler)(KuEventUI&));
  // Sends a notification of type `n` when notify switch `n` is on.
  void NotifyIf(int n, const KuEventUI& event);
  // The padding, colour and font of the text in the current state.
  const RECT& StateTextPadding() const;
  ARGB StateTextColour() const;
  const std::wstring& StateFont() const;
  // Draws one image of a state list; clears the descriptor when it cannot be drawn.
  bool DrawStateImage(Canvas& hdc, std::wstring& descriptor);
  void StartTextRoll();
  void StopTextRoll();

  KuPaintManager* manager_ = nullptr;
  KuControl* parent_ = nullptr;
  HWND wnd_ = nullptr;
  std::wstring name_;
  UINT id_ = 0;
  std::wstring text_;
  std::wstring tooltip_;
  std::wstring userData_;
  void* data_ = nullptr;
  unsigned long tag_ = 0;
  wchar_t shortcut_ = 0;
  RECT item_{0, 0, 0, 0};
  RECT paintRect_{0, 0, 0, 0};
  RECT padding_{0, 0, 0, 0};
  SIZE fixedXY_{0, 0};
  int fixedWidth_ = 0;
  int fixedHeight_ = 0;
  int minWidth_ = 0;
  int maxWidth_ = 0;
  int minHeight_ = 0;
  int maxHeight_ = 0;
  RECT cut_{0, 0, 0, 0};
  RECT hoverCut_{0, 0, 0, 0};
  bool visible_ = true;
  bool insetVisible_ = true;
  bool enabled_ = true;
  bool focused_ = false;
  bool float_ = false;
  bool absFloat_ = false;
  bool relFloat_ = false;
  bool selfAdaption_ = false;
  bool caption_ = false;
  bool capture_ = false;
  bool spaceReturn_ = false;
  bool htmlText_ = false;
  bool customTooltip_ = false;
  bool hasBeenHover_ = false;
  int tooltipDelay_ = 0;
  bool updateNeeded_ = false;
  UINT mouseState_ = 0;

  ARGB normalBk_ = 0, hotBk_ = 0, pushedBk_ = 0, selectedBk_ = 0, focusedBk_ = 0,
       disabledBk_ = 0;
  ARGB status_ = 0;
  ARGB normalText_ = 0xFF000000, hotText_ = 0, pushedText_ = 0, selectedText_ = 0,
       disabledText_ = 0;
  ARGB normalBorder_ = 0, hotBorder_ = 0, selectedBorder_ = 0, focusBorder_ = 0;
  int normalBorderSize_ = 1, hotBorderSize_ = 1, selectedBorderSize_ = 1, focusBorderSize_ = 1;
  SIZE roundCorner_{0, 0};
  std::wstring normalFont_, hotFont_, pushedFont_, selectedFont_, disabledFont_;
  RECT normalTextPadding_{0, 0, 0, 0}, hotTextPadding_{0, 0, 0, 0},
      pushedTextPadding_{0, 0, 0, 0}, selectedTextPadding_{0, 0, 0, 0},
      disabledTextPadding_{0, 0, 0, 0};
  std::wstring normalImage_, hotImage_, pushedImage_, focusedImage_, disabledImage_,
      selectedImage_;
  std::wstring bkNormalImage_, bkHotImage_, bkPushedImage_, bkFocusedImage_, bkDisabledImage_,
      bkSelectedImage_;
  UINT textStyle_ = 0;
  int rowHeight_ = 0;
  UINT floatFormat_ = 0;
  std::bitset<8> flags_;
  std::bitset<32> notify_;
  std::bitset<24> dispatch_;
  bool rolling_ = false;
  int rollOffset_ = 0;

 private:
  void SetColour(ARGB& field, ARGB value);
  void SetImage(std::wstring& field, const std::wstring& value);
};

}  // namespace KUM
