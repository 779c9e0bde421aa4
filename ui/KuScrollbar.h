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
  void Event(KuEventUI& event) override;
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
  bool GetShowButton1() const { return showButton1_; }
  void SetShowButton1(bool show);
  bool GetShowButton2() const { return showButton2_; }
  void SetShowButton2(bool show);
  const RECT& GetInset() const { return barInset_; }
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
  void PaintPart(Canvas& hdc, const RECT& part, UINT state, std::wstring& normal,
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
