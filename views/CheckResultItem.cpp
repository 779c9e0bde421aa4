#include "views/CheckResultItem.h"

#include "ui/KuPaintManager.h"
#include "views/ViewParts.h"

namespace KUM {

UINT CheckResultItem::GetClass() const { return UICLASS_CHECKRESULTITEM; }

KuControl* CheckResultItem::GetInterface(UINT id) {
  if (id == UICLASS_CHECKRESULTITEM || id == UICLASS_CONTAINER || id == UICLASS_CONTROL) return this;
  return nullptr;
}

const wchar_t* CheckResultItem::ClassName() const { return L"CheckResultItem"; }
std::vector<UINT> CheckResultItem::InterfaceIds() const {
  return {UICLASS_CHECKRESULTITEM, UICLASS_CONTAINER, UICLASS_CONTROL};
}

namespace {

const wchar_t* InitialCountText(int32_t kind) {
  switch (kind) {
    case kCrashRow: return L"崩溃次数：0";
    case kErrorRow: return L"错误";
    case kJunkRow: return L"可清理：0";
    default: return L"异常";
  }
}

}  // namespace

void CheckResultItem::Init() {
  PassWheelAndHover(this);
  SetFixedHeight(68);
  SetNormalBorderSize(1);
  SetNormalBorderColor(0xFFE6E6E6);
  SetNormalBkColor(0xFFF5F5F5);
  SetPadding(RECT{0, 0, 0, 5});

  rowIcon_ = AddPart(this, new KuControl());
  rowIcon_->SetFixedWidth(24);
  rowIcon_->SetFixedHeight(24);
  rowIcon_->SetPadding(RECT{30, 22, 15, 0});
  rowIcon_->SetBkNormalImage(ResourceImage(114));

  auto* column = AddPart(this, new KuVerticalLayout());
  column->SetPadding(RECT{0, 10, 10, 10});
  title_ = AddPart(column, new KuControl());
  title_->SetNormalFont(L"normal18");
  title_->SetNormalTextColor(0xFF000000);
  title_->SetTextStyle(DT_SINGLELINE | DT_VCENTER);
  detailLabel_ = AddPart(column, new KuControl());
  detailLabel_->SetNormalFont(L"normal16");
  detailLabel_->SetNormalTextColor(0xFF818181);
  detailLabel_->SetTextStyle(DT_SINGLELINE | DT_VCENTER);
  detailLabel_->SetVisible(false);

  statusIcon_ = AddPart(this, new KuControl());
  if (kind_ == kErrorRow) statusIcon_->SetBkNormalImage(ResourceImage(116));
  else if (kind_ == kJunkRow) statusIcon_->SetVisible(false);
  else statusIcon_->SetBkNormalImage(ResourceImage(119));
  statusIcon_->SetFixedWidth(24);
  statusIcon_->SetFixedHeight(24);
  statusIcon_->SetPadding(RECT{10, 22, 8, 0});

  countLabel_ = AddPart(this, new KuControl());
  countLabel_->SetTextStyle(DT_SINGLELINE | DT_VCENTER);
  countLabel_->SetFixedWidth(160);
  countLabel_->SetNormalFont(L"normal18");
  countLabel_->SetNormalTextColor(0xFF000000);
  countLabel_->SetText(InitialCountText(kind_));

  reportButton_ = new KuButton();
  reportButton_->SetControlDispatch(UIEVENT_SETCURSOR, true);
  reportButton_->SetControlDispatch(UIEVENT_ACTIVATE, true);
  reportButton_->SetControlFlags(UIFLAG_SETCURSOR, true);
  AddPart(this, reportButton_);
  reportButton_->SetPadding(RECT{0, 0, 45, 0});
  reportButton_->SetFixedWidth(70);
  reportButton_->SetNormalFont(L"underline16");
  reportButton_->SetNormalTextColor(0xFF0D3AFF);
  reportButton_->SetTextStyle(DT_SINGLELINE | DT_VCENTER);
  reportButton_->SetText(L"查看报告");

  KuHorizontalLayout::Init();
}

bool CheckResultItem::Activate(KuEventUI& event) {
  if (!IsVisible() || !IsEnabled()) return false;
  if (event.pSender == reportButton_ && reportButton_ != nullptr && manager_ != nullptr) {
    manager_->SendNotify(this, UINOTIFY_REPORT, 0, 0);
  }
  return true;
}

void CheckResultItem::OnLButtonDblClk(KuEventUI& event) {
  if (IsVisible() && IsEnabled() && event.pSender == reportButton_ && reportButton_ != nullptr &&
      manager_ != nullptr) {
    manager_->SendNotify(this, UINOTIFY_REPORT, 0, 0);
  }
}

void CheckResultItem::SetItemName(const std::wstring& name) {
  name_ = name;
  if (title_ != nullptr) title_->SetText(name);
}

void CheckResultItem::SetDetail(const std::wstring& detail) {
  detail_ = detail;
  if (detailLabel_ == nullptr) return;
  detailLabel_->SetText(detail);
  if (!detail.empty()) detailLabel_->SetVisible(true);
}

void CheckResultItem::AddEntry(const std::wstring& key, const std::wstring& value) {
  entries_.emplace(key, value);
  count_ = static_cast<uint32_t>(entries_.size());
  std::wstring n = std::to_wstring(count_);
  switch (kind_) {
    case kCrashRow:
      if (countLabel_) countLabel_->SetText(L"崩溃次数：" + n);
      break;
    case kErrorRow:
      if (countLabel_) countLabel_->SetText(L"错误");
      break;
    case kJunkRow:
      SetDetail(L"垃圾文件：" + n + L"项");
      if (countLabel_) countLabel_->SetText(L"可清理：" + n);
      break;
    default:
      if (countLabel_) countLabel_->SetText(L"异常");
      break;
  }
}

}  // namespace KUM
