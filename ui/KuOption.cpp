#include "ui/KuOption.h"

#include <algorithm>

#include "ui/KuPaintManager.h"

namespace KUM {

KuOption::KuOption() = default;

KuOption::~KuOption() {
  if (manager_ != nullptr && group_ != 0) manager_->RemoveGroup(group_, this);
}

UINT KuOption::GetClass() const { return UICLASS_OPTION; }

KuControl* KuOption::GetInterface(UINT id) {
  if (id == UICLASS_OPTION) return this;
  return KuButton::GetInterface(id);
}

const wchar_t* KuOption::ClassName() const { return L"Option"; }

std::vector<UINT> KuOption::InterfaceIds() const {
  return {UICLASS_OPTION, UICLASS_BUTTON, UICLASS_LABEL, UICLASS_CONTAINER, UICLASS_CONTROL};
}

void KuOption::SetManager(KuPaintManager* manager) {
  // The group lives in the manager: an option that changes windows changes registries.
  if (group_ != 0 && manager != manager_) {
    if (manager_ != nullptr) manager_->RemoveGroup(group_, this);
    if (manager != nullptr) manager->AddGroup(group_, this);
  }
  KuButton::SetManager(manager);
}

void KuOption::SetGroup(UINT group) {
  if (group == group_) return;
  if (manager_ != nullptr) {
    if (group_ != 0) manager_->RemoveGroup(group_, this);
    if (group != 0) manager_->AddGroup(group, this);
  }
  group_ = group;
  // A selected option joining a group stays the group's only selected member.
  if (selected_ && manager_ != nullptr && group_ != 0) UnselectOthers();
}

void KuOption::UnselectOthers() {
  std::vector<KuControl*>* members = manager_->GetGroup(group_);
  if (members == nullptr) return;
  // Listeners told of a change may change the group; each member is looked up again.
  std::vector<KuControl*> snapshot = *members;
  for (KuControl* member : snapshot) {
    if (member == this) continue;
    members = manager_->GetGroup(group_);
    if (members == nullptr) return;
    if (std::find(members->begin(), members->end(), member) == members->end()) continue;
    auto* option = static_cast<KuOption*>(member->GetInterface(UICLASS_OPTION));
    if (option != nullptr) option->Selected(false);
  }
}

void KuOption::Selected(bool selected) {
  if (selected_ == selected) return;
  selected_ = selected;
  if (selected_) mouseState_ |= UISTATE_SELECTED;
  else mouseState_ &= ~UISTATE_SELECTED;
  if (manager_ == nullptr) {
    Invalidate();
    return;
  }
  if (selected_ && group_ != 0) UnselectOthers();
  manager_->SendNotify(this, UINOTIFY_SELECTCHANGED, selected_ ? 1 : 0, 0);
  Invalidate();
}

bool KuOption::Activate(KuEventUI& event) {
  if (!KuButton::Activate(event)) return false;
  // A selected member of a group stays selected when clicked again.
  if (group_ == 0) Selected(!selected_);
  else Selected(true);
  return true;
}

void KuOption::SetEnabled(bool enabled) {
  KuButton::SetEnabled(enabled);
  if (selected_) mouseState_ |= UISTATE_SELECTED;
}

void KuOption::PaintBkImage(Canvas& hdc) {
  // An option never shows a pushed background.
  mouseState_ &= ~UISTATE_PUSHED;
  if (selected_ && DrawStateImage(hdc, bkSelectedImage_)) return;
  KuButton::PaintBkImage(hdc);
}

void KuOption::SetAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"group") {
    SetGroup(static_cast<UINT>(ParseInt(value)));
  } else if (name == L"selected") {
    Selected(ParseBool(value));
  } else {
    KuButton::SetAttribute(name, value);
  }
}

}  // namespace KUM
