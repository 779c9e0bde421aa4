// A control that owns an ordered list of children and lays them out in its rectangle: a
// vertical stack, a horizontal row or a normal (overlapping) placement, with insets, child
// padding, float children and up to two scroll bars.
#pragma once

#include <vector>

#include "ui/KuControl.h"

namespace KUM {

class KuScrollbar;

enum KuLayoutType : int {
  UILAYOUT_NORMAL = 0,
  UILAYOUT_HORIZONTAL = 1,
  UILAYOUT_VERTICAL = 2,
};

class KuContainer : public KuControl {
 public:
  KuContainer();
  ~KuContainer() override;

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  KuControl* FindControl(FINDCONTROLPROC proc, void* data, UINT flags) override;
  void OnMouseWheel(KuEventUI& event) override;
  void OnKeyDown(KuEventUI& event) override;
  void DoPaint(Canvas& hdc, const RECT& paint) override;
  void SetPos(RECT rect) override;
  void SetVisible(bool visible) override;
  void SetInsetVisible(bool visible) override;
  void SetParent(KuControl* parent) override;
  void SetManager(KuPaintManager* manager) override;
  void Init() override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  virtual KuControl* GetItemAt(int index) const;
  virtual int GetItemIndex(KuControl* control) const;
  virtual bool SetItemIndex(KuControl* control, int index);
  virtual bool SetIndexItem(int index, KuControl* control);
  virtual int GetCount() const;
  virtual bool Add(KuControl* control);
  virtual bool AddAt(KuControl* control, int index);
  virtual bool Remove(KuControl* control);
  virtual bool RemoveAt(int index);
  virtual void RemoveAll();
  virtual bool IsAutoDestroy() const;
  virtual void SetAutoDestroy(bool on);
  virtual RECT GetInset() const;
  virtual void SetInset(const RECT& inset);
  virtual int GetChildPadding() const;
  virtual void EnableScrollBar(bool vertical, bool horizontal);
  virtual void SetChildPadding(int padding);
  virtual KuScrollbar* GetVerticalScrollbar() const;
  virtual KuScrollbar* GetHorizontalScrollbar() const;
  virtual SIZE GetScrollPos() const;
  virtual SIZE GetScrollRange() const;
  virtual void SetScrollPos(SIZE pos);
  virtual void LineUp();
  virtual void LineDown();
  virtual void PageUp();
  virtual void PageDown();
  virtual void HomeUp();
  virtual void EndDown();
  virtual void LineLeft();
  virtual void LineRight();
  virtual void PageLeft();
  virtual void PageRight();
  virtual void HomeLeft();
  virtual void EndRight();
  virtual void SetLayoutType(int type);
  virtual int GetLayoutType() const;
  virtual void SetFloatPos(KuControl* control, const RECT& parentRect);
  virtual void ProcessScrollbar(const RECT& rect, int cxRequired, int cyRequired);

  bool IsAlwaysShowVScroll() const { return alwaysShowVScroll_; }
  const std::wstring& GetVScrollbarStyle() const { return vScrollStyle_; }
  const std::wstring& GetHScrollbarStyle() const { return hScrollStyle_; }
  // The default attribute list a scroll bar made by EnableScrollBar gets.
  void SetVScrollbarStyle(const std::wstring& name) { vScrollStyle_ = name; }
  void SetHScrollbarStyle(const std::wstring& name) { hScrollStyle_ = name; }
  // The item rectangle shrunk by the inset and the visible scroll bars.
  RECT GetInnerRect() const;

 protected:
  // The three layouts; the vertical and horizontal ones share one routine over an axis.
  void LayoutStack(bool vertical);
  void LayoutNormal();
  // Gives `control` and its subtree the manager and registers their names and ids.
  void AttachChild(KuControl* control);
  void DestroyChild(KuControl* control);

  std::vector<KuControl*> items_;
  bool autoDestroy_ = true;
  RECT inset_{0, 0, 0, 0};
  int childPadding_ = 0;
  int layoutType_ = UILAYOUT_NORMAL;
  bool alwaysShowVScroll_ = false;
  KuScrollbar* vScroll_ = nullptr;
  KuScrollbar* hScroll_ = nullptr;
  std::wstring vScrollStyle_;
  std::wstring hScrollStyle_;
};

// A container that always stacks its children top to bottom.
class KuVerticalLayout : public KuContainer {
 public:
  KuVerticalLayout();
  const wchar_t* ClassName() const override;
  void SetPos(RECT rect) override;
};

// A container that always lines its children up left to right.
class KuHorizontalLayout : public KuContainer {
 public:
  KuHorizontalLayout();
  const wchar_t* ClassName() const override;
  void SetPos(RECT rect) override;
};

}  // namespace KUM
