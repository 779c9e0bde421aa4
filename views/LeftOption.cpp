#include "views/LeftOption.h"

#include "ui/KuPaintManager.h"
#include "views/ViewParts.h"

namespace KUM {

UINT LeftOption::GetClass() const { return UICLASS_LEFTOPTION; }

KuControl* LeftOption::GetInterface(UINT id) {
  if (id == UICLASS_LEFTOPTION || id == UICLASS_CONTAINER || id == UICLASS_CONTROL) return this;
  return nullptr;
}

const wchar_t* LeftOption::ClassName() const { return L"LeftOption"; }
std::vector<UINT> LeftOption::InterfaceIds() const {
  return {UICLASS_LEFTOPTION, UICLASS_CONTAINER, UICLASS_CONTROL};
}

void LeftOption::Init() {
  PassWheelAndHover(this);
  SetControlFlags(UIFLAG_SETCURSOR, true);
  SetFixedHeight(60);
  SetHotBkColor(0xFFDFDFDF);
  // A button lays its children on one origin; the entry reads as a row.
  SetLayoutType(UILAYOUT_HORIZONTAL);

  // The parts hand the cursor and activation to the entry, so a click anywhere on it counts.
  auto part = [this](KuControl* c) {
    c->SetControlDispatch(UIEVENT_SETCURSOR, true);
    c->SetControlDispatch(UIEVENT_ACTIVATE, true);
    c->SetControlFlags(UIFLAG_SETCURSOR, true);
    return AddPart(this, c);
  };

  marker_ = part(new KuControl());
  marker_->SetNormalBkColor(0);
  marker_->SetFixedWidth(5);
  marker_->SetNormalTextPadding(RECT{0, 7, 0, 0});

  icon_ = part(new KuControl());
  icon_->SetPadding(RECT{10, 17, 10, 13});
  icon_->SetFixedWidth(26);
  icon_->SetFixedHeight(26);

  title_ = part(new KuControl());
  title_->SetNormalTextColor(0xFF222222);
  title_->SetSelectedTextColor(0xFF1196FF);
  title_->SetTextStyle(DT_SINGLELINE | DT_VCENTER);
  title_->SetNormalFont(L"normal18");

  badge_ = part(new KuControl());
  badge_->SetNormalTextColor(0xFF000000);
  badge_->SetNormalBkColor(0xFFFFC853);
  badge_->SetFixedHeight(30);
  badge_->SetTextStyle(DT_SINGLELINE | DT_VCENTER | DT_CENTER);
  badge_->SetSelfAdaption(true);
  badge_->SetPadding(RECT{0, 15, 10, 0});
  badge_->SetNormalTextPadding(RECT{10, 0, 10, 0});
  badge_->SetNormalFont(L"normal18");

  KuButton::Init();
}

bool LeftOption::Raise() {
  if (!IsVisible() || !IsEnabled()) return false;
  if (manager_ != nullptr) manager_->SendNotify(this, UINOTIFY_CATEGORY, 0, 0);
  return true;
}

bool LeftOption::Activate(KuEventUI&) { return Raise(); }

void LeftOption::OnLButtonDblClk(KuEventUI&) { Raise(); }

void LeftOption::SetCount(uint32_t count) {
  if (badge_ != nullptr) badge_->SetText(std::to_wstring(count));
  NeedUpdate();
  if (manager_ != nullptr) manager_->NeedUpdate();
  Invalidate();
}

}  // namespace KUM
