// The program's main window: a title bar over four pages (home, scan, repair, completion),
// the scan and repair workflows on worker threads, the report, login and customer-service
// windows, the settings, and the close flow that ends the process's message loop.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/PendingFinding.h"
#include "app/Settings.h"
#include "app/WorkerThread.h"
#include "platform/Machine.h"
#include "ui/KuFramelessWindow.h"
#include "views/DialogBuilderCallbackEx.h"

namespace KUM {

class CheckResult;
class LeftOption;

// Timer of the scan page's progress display.
constexpr UINT kScanTimerId = 1001;
constexpr UINT kScanTimerElapse = 50;

class RundixWnd : public KuFramelessWindow {
 public:
  explicit RundixWnd(rundix::Machine& machine);
  ~RundixWnd() override;

  const wchar_t* GetWindowClassName() const override;
  UINT GetClassStyle() const override;
  LRESULT KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnFinalMessage(HWND window) override;
  LRESULT KuOnDestroy(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT KuOnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT KuOnSysCommand(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT KuOnTimer(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  LRESULT KuOnClose(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void Notify(KuNotify& msg) override;

  void InitViews();
  void OnClick(KuNotify& msg);
  void OpenReport(KuNotify& msg);
  void StartupReports();
  void CloseMainWindow();

  // The scan workflow.
  bool StartScan();
  static void ScanWorkerBody(void* owner);
  void SelectCategory(UINT id);
  void DrainPendingFindings();
  void OnScanDone();

  // The repair workflow.
  bool StartRepair();
  static void RepairWorkerBody(void* owner);
  LRESULT OnRepairStep();
  LRESULT OnRepairDone();

  // The settings.
  void LoadSettings();
  void SaveLastRepairTime();
  void SaveAccountId();

  // The customer-service and login windows of the title bar.
  void OpenCustomerService();
  void Login();

  rundix::Machine& GetMachine() { return machine_; }
  rundix::SettingsStore& Settings() { return settings_; }
  rundix::PendingFindingQueue& Findings() { return queue_; }
  int32_t GetScanTicks() const { return scanTicks_; }
  uint32_t GetNextRowIndex() const { return nextRow_; }
  rundix::WorkerThread* GetScanWorker() const { return scanWorker_.get(); }
  rundix::WorkerThread* GetRepairWorker() const { return repairWorker_.get(); }
  // Set to true when the object deletes itself after its window is gone.
  void SetGoneFlag(bool* gone) { gone_ = gone; }
  // Where the service and the installer downloads are (taken from RundixApp when made).
  const std::wstring& GetServiceHost() const { return serviceHost_; }

 private:
  template <typename T>
  T* Find(UINT id, UINT classId);
  // Runs one of this window's dialogs modally. A close asked for meanwhile ends the dialog
  // first and runs once the dialog's loop has returned: the dialog's caller still uses this
  // object then.
  void RunModal(KuWindowWnd& dialog);
  bool DeferCloseToModal();
  void Show(UINT id, bool visible);
  // What the scan worker needs, fixed on the window thread before it starts.
  struct ScanJob {
    HWND window = nullptr;
    std::array<CheckResult*, 4> panels{};
    std::array<LeftOption*, 4> categories{};
  };

  rundix::Machine& machine_;
  rundix::SettingsStore settings_;
  rundix::PendingFindingQueue queue_;
  int32_t scanTicks_ = 0;
  uint32_t nextRow_ = 0;
  std::unique_ptr<rundix::WorkerThread> scanWorker_;
  std::unique_ptr<rundix::WorkerThread> repairWorker_;
  ScanJob scanJob_;
  DialogBuilderCallbackEx callback_;
  std::wstring downloadServer_;
  std::wstring serviceHost_;
  bool* gone_ = nullptr;
  HWND modal_ = nullptr;
  bool closePending_ = false;
};

}  // namespace KUM
