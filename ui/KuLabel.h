// A container that shows text; the base of buttons and options. With `text_antialias` its text
// is drawn through an offscreen bitmap and blended with the text colour's coverage.
#pragma once

#include "ui/KuContainer.h"

namespace KUM {

class KuLabel : public KuContainer {
 public:
  KuLabel();

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void PaintText(Canvas& hdc) override;
  void SetAttribute(const std::wstring& name, const std::wstring& value) override;

  bool IsTextAntialias() const { return textAntialias_; }
  void SetTextAntialias(bool on);

 private:
  bool textAntialias_ = false;
};

}  // namespace KUM
