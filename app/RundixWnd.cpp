#include "app/RundixWnd.h"

#include "app/Messages.h"
#include "app/RundixApp.h"
#include "app/RundixDetailsWnd.h"
#include "engine/EventLogScan.h"
#include "engine/JunkFileScan.h"
#include "engine/RepairRun.h"
#include "engine/RuntimeCatalogue.h"
#include "engine/ScanContext.h"
#include "engine/SharedDllScan.h"
#include "net/RundixKefuWnd.h"
#include "net/RundixLoginWnd.h"
#include "net/ServiceApi.h"
#include "platform/MessagePost.h"
#include "platform/Text.h"
#include "ui/KuLoadResource.h"
#include "ui/KuProgress.h"
#include "views/CheckResult.h"
#include "views/CheckResultItem.h"
#include "views/LeftOption.h"
#include "views/RuntimeLibItem.h"
#include "views/ViewParts.h"

namespace KUM {
namespace {

// Control ids of the "Main" section.
enum MainId : UINT {
  kMinimise = 100,
  kClose = 101,
  kCustomerService = 102,
  kHomePage = 103,
  kScanButton = 104,
  kBanner = 106,
  kFirstErrorLink = 109,
  kLastErrorLink = 113,
  kScanPage = 114,
  kScanStatus = 115,
  kBackHome = 116,
  kFirstCategory = 117,
  kFirstPanel = 121,
  kDllPanel = 124,
  kProgressArea = 125,
  kProgressBar = 126,
  kProgressText = 127,
  kSummary = 128,
  kSummaryCount = 129,
  kRepairButton = 130,
  kRepairPage = 131,
  kRepairList = 132,
  kDonePage = 133,
  kDoneLink = 134,
  kLoginButton = 135,
};

constexpr UINT kTitleString = 103;
constexpr DWORD kChildWindowStyle = 0x86C80000;  // popup, clip, caption, system menu

struct CategoryText {
  UINT id;
  int icon;
  const wchar_t* title;
};
constexpr CategoryText kCategories[] = {
    {117, 112, L"应用程序崩溃扫描"},
    {118, 120, L"系统错误扫描"},
    {119, 121, L"垃圾文件扫描"},
    {120, 118, L"系统DLL扫描"},
};

struct PanelText {
  UINT id;
  const wchar_t* title;
  const wchar_t* subtitle;
  const wchar_t* note;
  const wchar_t* heading;
};
constexpr PanelText kPanels[] = {
    {121, L"崩溃的应用程序", L"发现Windows系统中存在运行不稳定的应用程序",
     L"以下为最近4个月发现崩溃的应用程序清单", L"第三方应用程序"},
    {122, L"Windows系统错误", L"Windows系统长时间运行过程中产生各种错误", L"以下为最近4个月的系统错误",
     L"内置Windows系统程序"},
    {123, L"系统垃圾文件", L"检测系统C盘所存储的临时文件，无效的缓存文件，清理后可提升电脑运行速度",
     L"以下为最近电脑产生的系统垃圾文件，请及时清理", L"临时文件"},
};

}  // namespace

RundixWnd::RundixWnd(rundix::Machine& machine)
    : machine_(machine),
      settings_(machine),
      downloadServer_(RundixApp::Instance().GetDownloadServer()),
      serviceHost_(RundixApp::Instance().GetServiceHost()) {}

RundixWnd::~RundixWnd() = default;

const wchar_t* RundixWnd::GetWindowClassName() const { return L"Rundix_WND_CLASS"; }
UINT RundixWnd::GetClassStyle() const { return CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS; }

template <typename T>
T* RundixWnd::Find(UINT id, UINT classId) {
  KuControl* control = paintManager_.FindControl(id);
  return control != nullptr ? static_cast<T*>(control->GetInterface(classId)) : nullptr;
}

void RundixWnd::Show(UINT id, bool visible) {
  if (KuControl* control = paintManager_.FindControl(id)) control->SetVisible(visible);
}

LRESULT RundixWnd::KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case rundix::UM_RESERVED: return 0;
    case rundix::UM_SCAN_DONE: OnScanDone(); return 0;
    case rundix::UM_REPAIR_STEP: return OnRepairStep();
    case rundix::UM_REPAIR_DONE: return OnRepairDone();
    default: return KuFramelessWindow::KuHandleMessage(message, wParam, lParam);
  }
}

void RundixWnd::OnFinalMessage(HWND) {
  if (gone_ != nullptr) *gone_ = true;
  if (RundixApp::Instance().GetMainWindow() == this) RundixApp::Instance().SetMainWindow(nullptr);
  delete this;
}

LRESULT RundixWnd::KuOnDestroy(UINT, WPARAM, LPARAM, bool& handled) {
  Ws().PostQuitMessage(0);
  handled = false;
  return 0;
}

LRESULT RundixWnd::KuOnCreate(UINT, WPARAM, LPARAM, bool&) {
  KuSetIcon(101);
  LONG_PTR style = Ws().GetWindowLongW(window_, GWL_STYLE);
  Ws().SetWindowLongW(window_, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_CAPTION));
  AttachSkin(L"100", "Main", &callback_);
  StartupReports();
  LoadSettings();
  return 0;
}

LRESULT RundixWnd::KuOnClose(UINT, WPARAM, LPARAM, bool& handled) {
  handled = DeferCloseToModal();
  return 0;
}

bool RundixWnd::DeferCloseToModal() {
  if (modal_ == nullptr || !Ws().IsWindow(modal_)) return false;
  closePending_ = true;
  Ws().PostMessageW(modal_, WM_CLOSE, 0, 0);
  return true;
}

void RundixWnd::RunModal(KuWindowWnd& dialog) {
  HWND outer = modal_;
  modal_ = dialog.GetHWND();
  dialog.ShowModal();
  modal_ = outer;
  if (closePending_ && modal_ == nullptr) {
    closePending_ = false;
    Ws().PostMessageW(window_, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
}

LRESULT RundixWnd::KuOnSysCommand(UINT, WPARAM wParam, LPARAM, bool& handled) {
  if (wParam == SC_CLOSE) {
    CloseMainWindow();
    return 0;
  }
  handled = false;
  return 0;
}

LRESULT RundixWnd::KuOnTimer(UINT, WPARAM wParam, LPARAM, bool& handled) {
  handled = false;
  if (wParam != kScanTimerId) return 0;
  ++scanTicks_;
  DrainPendingFindings();
  float percent = static_cast<float>(scanTicks_ / 10.0);
  if (KuControl* status = paintManager_.FindControl(kScanStatus)) {
    status->SetText(rundix::FormatWide(L"异常扫描中（ %0.1f %% ）", static_cast<double>(percent)));
  }
  if (KuControl* text = paintManager_.FindControl(kProgressText)) {
    text->SetText(rundix::FormatWide(L"扫描中（ %0.1f %% ）", static_cast<double>(percent)));
  }
  if (auto* bar = Find<KuProgress>(kProgressBar, UICLASS_PROGRESS)) {
    int value = scanTicks_ / 10;
    if (value != bar->GetValue()) bar->SetPos(value);
    bar->Invalidate();
  }
  return 0;
}

void RundixWnd::Notify(KuNotify& msg) {
  switch (msg.Type) {
    case UINOTIFY_WINDOWINIT: InitViews(); break;
    case UINOTIFY_CLICK: OnClick(msg); break;
    case UINOTIFY_CATEGORY:
      if (msg.pSender != nullptr) SelectCategory(msg.pSender->GetID());
      break;
    case UINOTIFY_REPORT: OpenReport(msg); break;
    default: break;
  }
}

void RundixWnd::InitViews() {
  for (const CategoryText& c : kCategories) {
    auto* entry = Find<LeftOption>(c.id, UICLASS_LEFTOPTION);
    if (entry == nullptr) continue;
    if (entry->GetIcon()) entry->GetIcon()->SetBkNormalImage(ResourceImage(c.icon));
    if (entry->GetTitle()) entry->GetTitle()->SetText(c.title);
    entry->SetCount(0);
  }
  if (auto* first = Find<LeftOption>(kFirstCategory, UICLASS_LEFTOPTION)) {
    if (first->GetMarker()) {
      first->GetMarker()->SetNormalBkColor(0xFF1196FF);
      first->GetMarker()->Invalidate();
    }
  }
  for (const PanelText& p : kPanels) {
    auto* panel = Find<CheckResult>(p.id, UICLASS_CHECKRESULT);
    if (panel == nullptr) continue;
    if (panel->GetTitle()) panel->GetTitle()->SetText(p.title);
    panel->SetSubtitle(p.subtitle);
    panel->SetNote(p.note);
    if (panel->GetListHeading()) panel->GetListHeading()->SetText(p.heading);
  }
  if (auto* dll = Find<CheckResult>(kDllPanel, UICLASS_CHECKRESULT)) {
    if (dll->GetTitle()) dll->GetTitle()->SetText(L"DLL异常扫描");
    dll->SetSubtitle(L"软件将自动扫描系统内所有的关键DLL文件");
    dll->SetNote(L"第三方软件在安装或运行期间可能会替换或删除系统原有的DLL，导致应用程序无法加载正确版本");
    dll->SetNote2(L"的DLL，而产生一系列的崩溃报错情况。");
    dll->ShowCheckList(L"正在扫描以下DLL");
    dll->SetFooter(L"DLL异常错误报告");
  }
  if (!settings_.AccountId().empty()) Show(kLoginButton, false);
  paintManager_.Invalidate();
}

void RundixWnd::OnClick(KuNotify& msg) {
  if (msg.pSender == nullptr) return;
  UINT id = msg.pSender->GetID();
  switch (id) {
    case kMinimise:
      Ws().SendMessageW(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      break;
    case kClose:
      CloseMainWindow();
      break;
    case kCustomerService:
    case kDoneLink:
      OpenCustomerService();
      break;
    case kScanButton:
      StartScan();
      break;
    case kBackHome:
      Show(kHomePage, true);
      Show(kScanPage, false);
      paintManager_.Invalidate();
      break;
    case kRepairButton:
      StartRepair();
      break;
    case kLoginButton:
      Login();
      break;
    default:
      if (id >= kFirstErrorLink && id <= kLastErrorLink) {
        // The banner shows the picture of the last error clicked.
        if (KuControl* banner = paintManager_.FindControl(kBanner)) {
          int picture = 107 + static_cast<int>(id - kFirstErrorLink);
          banner->SetNormalImage(rundix::FormatWide(L"res='%d' restype='PNG' dest='425,0,1099,350'", picture));
          banner->Invalidate();
        }
      }
      break;
  }
}

void RundixWnd::OpenReport(KuNotify& msg) {
  auto* row = msg.pSender != nullptr
                  ? static_cast<CheckResultItem*>(msg.pSender->GetInterface(UICLASS_CHECKRESULTITEM))
                  : nullptr;
  if (row == nullptr) return;
  KuControl* list = row->GetParent();
  KuControl* panel = list != nullptr ? list->GetParent() : nullptr;
  UINT panelId = panel != nullptr ? panel->GetID() : 0;
  bool listView = panelId >= kFirstPanel && panelId < kDllPanel;
  RundixDetailsWnd details(this, row);
  std::wstring title = KuLoadResource::Instance().LoadStr(kTitleString);
  if (details.KuCreate(window_, title.c_str(), kChildWindowStyle, 0, 0, 0, listView ? 750 : 554,
                       listView ? 600 : 264) == nullptr) {
    return;
  }
  RunModal(details);
}

void RundixWnd::StartupReports() {
  rundix::ReportAction(machine_, L"page", L"start", serviceHost_);
  rundix::ReportBackhaul(machine_, L"appstart", L"", serviceHost_);
}

void RundixWnd::CloseMainWindow() {
  if (DeferCloseToModal()) return;
  KuShowWindow(false, true);
  rundix::ReplaceWorker(repairWorker_);
  rundix::ReplaceWorker(scanWorker_);
  Close();
}

// --- The scan -----------------------------------------------------------------------------

bool RundixWnd::StartScan() {
  Show(kHomePage, false);
  Show(kScanPage, true);
  paintManager_.Invalidate();
  scanTicks_ = 0;
  Ws().SetTimer(window_, kScanTimerId, kScanTimerElapse);
  rundix::ReplaceWorker(scanWorker_);
  scanJob_.window = window_;
  for (UINT i = 0; i < 4; ++i) {
    scanJob_.panels[i] = Find<CheckResult>(kFirstPanel + i, UICLASS_CHECKRESULT);
    scanJob_.categories[i] = Find<LeftOption>(kFirstCategory + i, UICLASS_LEFTOPTION);
  }
  scanWorker_ = std::make_unique<rundix::WorkerThread>(this, &RundixWnd::ScanWorkerBody);
  return scanWorker_->Start();
}

void RundixWnd::ScanWorkerBody(void* owner) {
  auto* self = static_cast<RundixWnd*>(owner);
  const ScanJob job = self->scanJob_;
  rundix::ScanContext context{self->machine_, self->queue_, self->settings_.LastRepairTimeRef()};
  // Between the stages the window is asked to move to the next category, in order with the
  // findings; the worker never waits for it.
  auto select = [self](UINT id) {
    auto request = std::make_unique<rundix::PendingFinding>();
    request->kind = rundix::kSelectCategory;
    request->categoryId = id;
    self->queue_.Push(std::move(request));
  };
  rundix::EventLogScan(context, rundix::kApplicationLogName, job.panels[0], job.categories[0]);
  select(kFirstCategory + 1);
  rundix::EventLogScan(context, rundix::kSystemLogName, job.panels[1], job.categories[1]);
  select(kFirstCategory + 2);
  rundix::JunkFolderScan(context, job.panels[2], job.categories[2]);
  select(kFirstCategory + 3);
  rundix::SharedDllScan(context, job.panels[3], job.categories[3]);
  rundix::SystemMessagePoster().PostMessageW(job.window, rundix::UM_SCAN_DONE, 0, 0);
}

void RundixWnd::DrainPendingFindings() {
  queue_.Drain([this](rundix::PendingFinding& f) {
    switch (f.kind) {
      case rundix::kEventLogFinding:
      case rundix::kJunkFileFinding:
        if (f.panel != nullptr && f.category != nullptr) {
          f.panel->AddItem(f.text1, f.text2, f.kind == rundix::kEventLogFinding ? kCrashRow : kJunkRow,
                           f.text3, f.text4);
          f.category->SetCount(f.panel->GetTotalCount());
        }
        break;
      case rundix::kSharedDllFinding:
        if (f.panel != nullptr) {
          f.panel->AddCheckLine(L"文件正常 " + f.text1);
          if (f.category != nullptr) {
            f.panel->AddItem(f.text1, f.text2, kDllRow, f.text3, f.text4);
            f.category->SetCount(f.panel->GetTotalCount());
          }
        }
        break;
      case rundix::kSelectCategory:
        SelectCategory(f.categoryId);
        break;
      default:
        break;
    }
  });
}

void RundixWnd::SelectCategory(UINT id) {
  for (UINT i = 0; i < 4; ++i) {
    Show(kFirstPanel + i, id == kFirstCategory + i);
    if (auto* entry = Find<LeftOption>(kFirstCategory + i, UICLASS_LEFTOPTION)) {
      if (KuControl* marker = entry->GetMarker()) {
        marker->SetNormalBkColor(id == kFirstCategory + i ? 0xFF1196FF : 0);
        marker->Invalidate();
      }
    }
  }
  paintManager_.NeedUpdate();
  paintManager_.Invalidate();
}

void RundixWnd::OnScanDone() {
  DrainPendingFindings();
  Show(kScanStatus, false);
  Show(kBackHome, true);
  Show(kProgressArea, false);
  Show(kSummary, true);
  if (KuControl* repair = paintManager_.FindControl(kRepairButton)) repair->SetEnabled(true);
  if (KuControl* count = paintManager_.FindControl(kSummaryCount)) {
    uint32_t total = 0;
    for (UINT i = 0; i < 4; ++i) {
      if (auto* panel = Find<CheckResult>(kFirstPanel + i, UICLASS_CHECKRESULT)) total += panel->GetTotalCount();
    }
    count->SetText(rundix::FormatWide(L"%d", static_cast<int>(total)));
    count->NeedParentUpdate();
  }
  paintManager_.Invalidate();
  Ws().KillTimer(window_, kScanTimerId);
}

// --- The repair ---------------------------------------------------------------------------

bool RundixWnd::StartRepair() {
  Show(kScanPage, false);
  Show(kRepairPage, true);
  if (auto* list = Find<KuContainer>(kRepairList, UICLASS_CONTAINER)) {
    for (const std::wstring& name : rundix::DisplayNameList()) {
      auto* row = new RuntimeLibItem();
      row->SetManager(&paintManager_);
      row->Init();
      row->SetDisplayName(name);
      list->Add(row);
    }
  }
  paintManager_.Invalidate();
  rundix::ReplaceWorker(repairWorker_);
  repairWorker_ = std::make_unique<rundix::WorkerThread>(this, &RundixWnd::RepairWorkerBody);
  return repairWorker_->Start();
}

void RundixWnd::RepairWorkerBody(void* owner) {
  auto* self = static_cast<RundixWnd*>(owner);
  rundix::RepairRunContext context;
  context.machine = &self->machine_;
  context.window = self->window_;
  context.appDataFolder = self->settings_.AppDataFolder();
  context.server = self->downloadServer_;
  context.pins = RundixApp::Instance().GetInstallerPins();
  rundix::RunRepair(context);
}

LRESULT RundixWnd::OnRepairStep() {
  auto* list = Find<KuContainer>(kRepairList, UICLASS_CONTAINER);
  if (list == nullptr) return 0;
  if (static_cast<uint32_t>(list->GetCount()) > nextRow_) {
    KuControl* control = list->GetItemAt(static_cast<int>(nextRow_));
    if (auto* row = control ? static_cast<RuntimeLibItem*>(control->GetInterface(UICLASS_RUNTIMELIBITEM)) : nullptr) {
      row->SetDone();
    }
    ++nextRow_;
  } else {
    nextRow_ = 0;
  }
  return 0;
}

LRESULT RundixWnd::OnRepairDone() {
  SaveLastRepairTime();
  Show(kRepairPage, false);
  Show(kDonePage, true);
  paintManager_.Invalidate();
  return 0;
}

// --- Settings -----------------------------------------------------------------------------

void RundixWnd::LoadSettings() { settings_.LoadSettings(); }
void RundixWnd::SaveLastRepairTime() { settings_.SaveLastRepairTime(); }
void RundixWnd::SaveAccountId() { settings_.SaveAccountId(); }

}  // namespace KUM

namespace KUM {

void RundixWnd::OpenCustomerService() {
  RundixKefuWnd kefu(machine_);
  std::wstring title = KuLoadResource::Instance().LoadStr(kTitleString);
  if (kefu.KuCreate(window_, title.c_str(), kChildWindowStyle, 0, 0, 0, 450, 450) == nullptr) return;
  RunModal(kefu);
}

void RundixWnd::Login() {
  if (!settings_.AccountId().empty()) return;
  std::wstring id;
  {
    RundixLoginWnd login(this, machine_, serviceHost_);
    std::wstring title = KuLoadResource::Instance().LoadStr(kTitleString);
    if (login.KuCreate(window_, title.c_str(), kChildWindowStyle, 0, 0, 0, 500, 400) != nullptr) {
      RunModal(login);
    }
    id = login.GetAccountId();
  }
  settings_.SetAccountId(id);
  // Stored even when empty: the user closed the dialog without logging in.
  SaveAccountId();
  if (!id.empty()) {
    Show(kLoginButton, false);
    paintManager_.Invalidate();
  }
}

}  // namespace KUM
