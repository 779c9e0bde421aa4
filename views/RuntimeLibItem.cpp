#include "views/RuntimeLibItem.h"

#include "views/ViewParts.h"

namespace KUM {

UINT RuntimeLibItem::GetClass() const { return UICLASS_RUNTIMELIBITEM; }

KuControl* RuntimeLibItem::GetInterface(UINT id) {
  if (id == UICLASS_RUNTIMELIBITEM || id == UICLASS_CONTAINER || id == UICLASS_CONTROL) return this;
  return nullptr;
}

const wchar_t* RuntimeLibItem::ClassName() const { return L"RuntimeLibItem"; }
std::vector<UINT> RuntimeLibItem::InterfaceIds() const {
  return {UICLASS_RUNTIMELIBITEM, UICLASS_CONTAINER, UICLASS_CONTROL};
}

void RuntimeLibItem::Init() {
  PassWheelAndHover(this);
  SetFixedHeight(68);
  SetNormalBorderSize(1);
  SetNormalBorderColor(0xFFE6E6E6);
  SetNormalBkColor(0xFFF5F5F5);
  SetPadding(RECT{0, 0, 0, 5});

  statusIcon_ = AddPart(this, new KuControl());
  statusIcon_->SetFixedWidth(24);
  statusIcon_->SetFixedHeight(24);
  statusIcon_->SetPadding(RECT{30, 22, 15, 0});

  auto* column = AddPart(this, new KuVerticalLayout());
  column->SetPadding(RECT{0, 10, 10, 10});
  nameLabel_ = AddPart(column, new KuControl());
  nameLabel_->SetNormalFont(L"normal18");
  nameLabel_->SetNormalTextColor(0xFF000000);
  nameLabel_->SetTextStyle(DT_SINGLELINE | DT_VCENTER);

  statusLabel_ = AddPart(this, new KuControl());
  statusLabel_->SetText(L"修复中...");
  statusLabel_->SetTextStyle(DT_SINGLELINE | DT_VCENTER);
  statusLabel_->SetFixedWidth(160);
  statusLabel_->SetNormalFont(L"normal18");
  statusLabel_->SetNormalTextColor(0xFF000000);

  KuHorizontalLayout::Init();
}

void RuntimeLibItem::SetDisplayName(const std::wstring& name) {
  displayName_ = name;
  if (nameLabel_ != nullptr) nameLabel_->SetText(name);
}

void RuntimeLibItem::SetDone() {
  done_ = true;
  if (statusIcon_ != nullptr) statusIcon_->SetBkNormalImage(ResourceImage(114));
  if (statusLabel_ != nullptr) {
    statusLabel_->SetNormalTextColor(0xFF28C445);
    statusLabel_->SetText(L"已完成");
  }
}

}  // namespace KUM
