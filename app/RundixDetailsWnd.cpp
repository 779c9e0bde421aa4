#include "app/RundixDetailsWnd.h"

#include "app/RundixWnd.h"
#include "platform/Text.h"
#include "views/CheckResultItem.h"
#include "views/ViewParts.h"

namespace KUM {
namespace {

enum DetailsId : UINT {
  kClose = 100,
  kFileView = 101,
  kFileName = 102,
  kFileRepair = 103,
  kListView = 104,
  kListTitle = 105,
  kListSubtitle = 106,
  kListRepair = 107,
  kListCaption = 108,
  kListCount = 109,
  kList = 110,
};

constexpr UINT kDllPanel = 124;

}  // namespace

RundixDetailsWnd::RundixDetailsWnd(RundixWnd* main, CheckResultItem* row) : row_(row), main_(main) {}
RundixDetailsWnd::~RundixDetailsWnd() = default;

const wchar_t* RundixDetailsWnd::GetWindowClassName() const { return L"RundixDetails_WND_CLASS"; }

LRESULT RundixDetailsWnd::KuOnCreate(UINT, WPARAM, LPARAM, bool&) {
  AttachSkin(L"100", "Details", &callback_);
  CenterWindow();
  return 0;
}

void RundixDetailsWnd::Notify(KuNotify& msg) {
  if (msg.Type == UINOTIFY_WINDOWINIT) {
    FillReport();
    return;
  }
  if (msg.Type != UINOTIFY_CLICK || msg.pSender == nullptr) return;
  switch (msg.pSender->GetID()) {
    case kClose:
      Close();
      break;
    case kFileRepair:
    case kListRepair:
      if (main_ != nullptr) main_->StartRepair();
      Close();
      break;
    default:
      break;
  }
}

void RundixDetailsWnd::FillReport() {
  CenterWindow();
  if (row_ == nullptr) return;
  KuControl* list = row_->GetParent();
  KuControl* panel = list != nullptr ? list->GetParent() : nullptr;
  UINT p = panel != nullptr ? panel->GetID() : 0;
  auto find = [this](UINT id) { return paintManager_.FindControl(id); };
  if (KuControl* c = find(kFileView)) c->SetVisible(p == kDllPanel);
  if (KuControl* c = find(kListView)) c->SetVisible(p != kDllPanel);

  std::wstring count = rundix::FormatWide(L"%d", static_cast<int>(row_->GetEntryCount()));
  if (p == 121 || p == 122) {
    if (KuControl* c = find(kListTitle)) c->SetText(row_->GetItemName());
    if (KuControl* c = find(kListSubtitle)) c->SetText(L"扫描分析Windows事件日志，系统异常的严重程度。");
    if (KuControl* c = find(kListCaption)) c->SetText(L"异常清单");
    if (KuControl* c = find(kListCount)) c->SetText(count);
  } else if (p == 123) {
    if (KuControl* c = find(kListTitle)) c->SetText(L"系统垃圾文件");
    if (KuControl* c = find(kListSubtitle)) c->SetText(L"扫描分析系统注册表，修复及清除异常的注册表数据。");
    if (KuControl* c = find(kListCaption)) c->SetText(row_->GetItemName());
    if (KuControl* c = find(kListCount)) c->SetText(count);
  } else if (p == kDllPanel) {
    if (KuControl* c = find(kFileName)) c->SetText(row_->GetItemName());
  }

  if (p < 121 || p > 123) return;
  auto* lines = static_cast<KuContainer*>(find(kList) ? find(kList)->GetInterface(UICLASS_CONTAINER) : nullptr);
  if (lines == nullptr) return;
  // A copy: the scan may add entries to the row while the report is open.
  const std::map<std::wstring, std::wstring> entries = row_->GetEntries();
  for (const auto& entry : entries) {
    auto* line = new KuControl();
    PassWheelAndHover(line);
    line->SetBkNormalImage(L"res='117' restype='PNG' dest='10,10,40,40'");
    line->SetText(entry.first);
    line->SetTextStyle(DT_SINGLELINE | DT_VCENTER);
    line->SetNormalTextPadding(RECT{50, 0, 0, 0});
    line->SetFixedHeight(50);
    line->SetNormalBorderColor(0xFFE6E6E6);
    line->SetNormalBorderSize(2);
    line->SetRoundCorner(SIZE{5, 5});
    line->SetNormalFont(L"normal16");
    line->SetNormalTextColor(0xFF000000);
    line->SetManager(&paintManager_);
    lines->Add(line);
  }
}

}  // namespace KUM
