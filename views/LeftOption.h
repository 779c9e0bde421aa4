// A scan category entry in the scan page's left column: a marker, an icon, a title and a
// count badge in a row. Activating it (a click anywhere on it) raises notification 28.
#pragma once

#include <cstdint>

#include "ui/KuButton.h"

namespace KUM {

constexpr UINT UICLASS_LEFTOPTION = 22;
constexpr UINT UINOTIFY_CATEGORY = 28;

class LeftOption : public KuButton {
 public:
  LeftOption() = default;

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void Init() override;
  bool Activate(KuEventUI& event) override;
  void OnLButtonDblClk(KuEventUI& event) override;

  // The badge shows the count; its width follows the text.
  void SetCount(uint32_t count);

  KuControl* GetMarker() const { return marker_; }
  KuControl* GetIcon() const { return icon_; }
  KuControl* GetTitle() const { return title_; }
  KuControl* GetBadge() const { return badge_; }

 private:
  bool Raise();

  KuControl* marker_ = nullptr;
  KuControl* icon_ = nullptr;
  KuControl* title_ = nullptr;
  KuControl* badge_ = nullptr;
};

}  // namespace KUM
