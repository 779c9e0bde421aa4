// The repair page's row for one runtime package: a status icon, the package's name and a
// status text, "修复中..." until the package's turn is over, then a green "已完成".
#pragma once

#include <string>

#include "ui/KuContainer.h"

namespace KUM {

constexpr UINT UICLASS_RUNTIMELIBITEM = 25;

class RuntimeLibItem : public KuHorizontalLayout {
 public:
  RuntimeLibItem() = default;

  UINT GetClass() const override;
  KuControl* GetInterface(UINT id) override;
  const wchar_t* ClassName() const override;
  std::vector<UINT> InterfaceIds() const override;
  void Init() override;

  // Stores the package's name and shows it.
  void SetDisplayName(const std::wstring& name);
  const std::wstring& GetDisplayName() const { return displayName_; }
  void SetDone();
  bool IsDone() const { return done_; }

  KuControl* GetStatusIcon() const { return statusIcon_; }
  KuControl* GetNameLabel() const { return nameLabel_; }
  KuControl* GetStatusLabel() const { return statusLabel_; }

 private:
  std::wstring displayName_;
  bool done_ = false;
  KuControl* statusIcon_ = nullptr;
  KuControl* nameLabel_ = nullptr;
  KuControl* statusLabel_ = nullptr;
};

}  // namespace KUM
