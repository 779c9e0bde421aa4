// A button with a selected state and an optional group: selecting one member of a group
// unselects the others; without a group a click toggles the state.
#pragma once

#include "ui/KuButton.h"

namespace KUM {

class KuOption : public KuButton {
 public:
  KuOption();
  ~KuOption() override;

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void SetManager(KuPaintManager* manager) override;
  bool Activate(KuEventUI& event) override;
  void SetEnabled(bool enabled) override;
  void PaintBkImage(Canvas& hdc) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  UINT GetGroup() const { return group_; }
  void SetGroup(UINT group);
  bool IsSelected() const { return selected_; }
  virtual void Selected(bool selected);

 private:
  // Unselects the other members of the option's group (each tells its own change).
  void UnselectOthers();

  UINT group_ = 0;
  bool selected_ = false;
};

}  // namespace KUM
