// A label that is a tab stop and reports clicks; it shows the hand cursor when its flags ask
// for the cursor, and a double click counts as a second press.
#pragma once

#include "ui/KuLabel.h"

namespace KUM {

class KuButton : public KuLabel {
 public:
  KuButton();

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void OnSetCursor(KuEventUI& event) override;
  void OnLButtonDblClk(KuEventUI& event) override;
};

}  // namespace KUM
