// A progress bar: the status colour fills the part of the bar that the position reaches, and
// the normal image is drawn over it (cropped or stretched).
#pragma once

#include "ui/KuControl.h"

namespace KUM {

class KuProgress : public KuControl {
 public:
  KuProgress();

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void PaintStatusColor(Canvas& hdc) override;
  void PaintStatusImage(Canvas& hdc) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  int GetMinValue() const { return min_; }
  int GetMaxValue() const { return max_; }
  void SetRange(int a, int b);
  using KuControl::SetPos;
  int GetValue() const { return value_; }
  // The bar's position: clamped to the range; invalidates when it changes. Returns the new
  // position.
  int SetPos(int value);
  int GetStep() const { return step_; }
  void SetStep(int step);
  const RECT& GetForeInset() const { return foreInset_; }
  void SetForeInset(const RECT& inset);
  bool IsSourceCrop() const { return source_; }
  // The filled part of the bar.
  RECT GetBarRect() const;

 private:
  int min_ = 0;
  int max_ = 100;
  int value_ = 0;
  int step_ = 1;
  RECT foreInset_{0, 0, 0, 0};
  bool source_ = false;
};

}  // namespace KUM
