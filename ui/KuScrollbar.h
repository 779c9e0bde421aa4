// A container's scroll bar: buttons at the ends, a thumb sized by the visible share of the
// content, a track; pressing repeats on a timer, dragging the thumb scrolls the owner.
#pragma once

#include "ui/KuControl.h"

namespace KUM {

class KuContainer;

class KuScrollbar : public KuControl {
 public:
  static constexpr UINT kRepeatTimerId = 10;
  static constexpr UINT kRepeatElapse = 50;

  KuScrollbar();

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void SetEnabled(bool enabled) override;
  void SetVisible(bool visible) override;
  void SetFocus() override;
  void SetPos(RECT rect) override;
  void OnLButtonDown(KuEventUI& event) override;
  void OnLButtonUp(KuEventUI& event) override;
  void OnLButtonDblClk(KuEventUI& event) override;
  void OnMouseMove(KuEventUI& event) override;
  void OnMouseEnter(KuEventUI& event) override;
  void OnMouseLeave(KuEventUI& event) override;
  void OnTimer(KuEventUI& event) override;
  void DoPaint(Canvas& hdc, const RECT& paint) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  KuContainer* GetOwner() const { return owner_; }
  void SetOwner(KuContainer* owner) { owner_ = owner; }
  bool IsHorizontal() const { return horizontal_; }
  void SetHorizontal(bool horizontal);
  int GetScrollRange() const { return range_; }
  void SetScrollRange(int range);
  int GetScrollPos() const { return pos_; }
  void SetScrollPos(int pos);
  int GetLineSize() const { return lineSize_; }
  void SetLineSize(int size) { lineSize_ = size; }
  // The default thickness before a style sets one.
  static constexpr int kDefaultThickness = 16;
  // The default look without images: thumb fill, its corner, and the button outlines.
  static constexpr ARGB kThumbColour = 0xFFB8E0FF;
  static constexpr int kThumbCorner = 5;
  static constexpr ARGB kButtonOutline = 0xFF85E4FF;
  static constexpr int kButtonOutlineWidth = 2;
  bool GetShowButton1() const { return showButton1_; }
  void SetShowButton1(bool show);
  bool GetShowButton2() const { return showButton2_; }
  void SetShowButton2(bool show);
  const RECT& GetInset() const { return barInset_; }
  void SetInset(const RECT& inset);
  const RECT& GetThumbRect() const { return thumb_; }
  const RECT& GetButton1Rect() const { return button1_; }
  const RECT& GetButton2Rect() const { return button2_; }

  // Images of the parts per state (image descriptors).
  std::wstring button1Normal, button1Hot, button1Pushed, button1Disabled;
  std::wstring button2Normal, button2Hot, button2Pushed, button2Disabled;
  std::wstring thumbNormal, thumbHot, thumbPushed, thumbDisabled;
  std::wstring railNormal, railHot, railPushed, railDisabled;
  std::wstring bkNormal, bkHot, bkPushed, bkDisabled;

 private:
  void ScrollLine(bool forward);
  void ScrollPage(bool forward);
  // Moves the owner (or the bar alone) to `pos` on the bar's axis.
  void ScrollTo(int pos);
  // The hot bits of the buttons and the thumb for a pointer at `pt`; true when one changed.
  bool UpdateHot(POINT pt, bool inside);
  // The movement of a drag turned into a change of position.
  int DragOffset(POINT pt) const;
  // Draws the first image of a part that works, by state; false when none drew.
  bool PaintPart(Canvas& hdc, const RECT& part, UINT state, std::wstring& normal,
                 std::wstring& hot, std::wstring& pushed, std::wstring& disabled);

  KuContainer* owner_ = nullptr;
  bool horizontal_ = false;
  int range_ = 100;
  int pos_ = 0;
  int lineSize_ = 8;
  bool showButton1_ = true;
  bool showButton2_ = true;
  RECT barInset_{0, 0, 0, 0};
  RECT button1_{0, 0, 0, 0};
  RECT button2_{0, 0, 0, 0};
  RECT thumb_{0, 0, 0, 0};
  UINT button1State_ = 0;
  UINT button2State_ = 0;
  UINT thumbState_ = 0;
  POINT lastMouse_{0, 0};
  int lastScrollPos_ = 0;
  int lastScrollOffset_ = 0;
  int scrollRepeatDelay_ = 0;
  bool trackHeld_ = false;
};

}  // namespace KUM
