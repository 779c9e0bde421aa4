// The whole program over a simulated machine, with a real rundix-server on loopback for its
// reports and downloads, driven like a user: start, the home page, a scan, the report
// windows, a repair, closing, and a second start. Captures of every page are kept under the
// build folder's artifacts/program/.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/RundixApp.h"
#include "engine/RuntimeCatalogue.h"
#include "platform/Text.h"
#include "platform/sim/SimSystemInfo.h"
#include "tests/engine/ServedFiles.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimRegistry.h"
#include "tests/support/PixelCheck.h"
#include "tests/support/ProgramSession.h"
#include "tests/support/TestMachine.h"
#include "ui/KuPaintManager.h"
#include "platform/sim/SimEventLog.h"
#include "ui/KuProgress.h"
#include "views/CheckResult.h"
#include "views/CheckResultItem.h"
#include "views/LeftOption.h"
#include "views/RuntimeLibItem.h"

namespace rundix {
namespace {

using test::ProgramSession;
using test::ManagerOf;

constexpr ARGB kBlue = 0xFF0D3AFF;
constexpr ARGB kWhite = 0xFFFFFFFF;

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SimClock::Instance().SetManual(true);
    database_ = sandbox_.path() + "/reports.db";
    unsigned seed = 1;
    for (const RuntimePackage& p : BuildCatalogue()) {
      files_.PutPinned(Utf8FromWide(p.fileName), test::PatternBytes(3000 + seed, seed), pins_);
      ++seed;
    }
    server_ = std::make_unique<test::ServerProcess>(
        std::vector<std::string>{"--db", database_, "--files", files_.folder()});
    ASSERT_TRUE(server_->running());
    std::string error;
    machine_ = SimMachine::FromFile(std::string(RUNDIX_TEST_DATA_DIR) + "/program/machine.json",
                                    sandbox_.path() + "/machine", &error);
    ASSERT_TRUE(machine_) << error;
  }
  void TearDown() override {
    // The real clock first: a test that failed half-way may leave a worker asleep on the
    // test clock, and closing the program waits for its workers.
    SimClock::Instance().SetManual(false);
    session_.reset();
  }

  void Start() {
    session_ = std::make_unique<ProgramSession>(*machine_, server_->waddress(), &pins_);
    ASSERT_TRUE(session_->started());
  }

  // Lets the clock run in steps of one scan tick until `done` holds (workers sleep on it).
  bool AdvanceUntil(const std::function<bool()>& done, int maxTicks = 2000) {
    for (int i = 0; i < maxTicks; ++i) {
      bool ok = false;
      session_->Run([&] { ok = done(); });
      if (ok) return true;
      session_->Advance(50);
    }
    return false;
  }

  template <typename T>
  T* Find(UINT id, UINT classId) {
    KUM::KuControl* c = session_->Window()->PaintManager().FindControl(id);
    return c != nullptr ? static_cast<T*>(c->GetInterface(classId)) : nullptr;
  }

  // The registry's last repair time (0 when none is stored).
  DWORD StoredRepairTime() {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!machine_->SimReg().GetValue(L"HKCU\\SOFTWARE\\Rundix", L"last_xiufu_time", &type, &data) ||
        data.size() != 4) {
      return 0;
    }
    return static_cast<DWORD>(data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24));
  }

  // The page shown: exactly one of the four is visible.
  UINT Page() {
    UINT shown = 0;
    int count = 0;
    for (UINT id : {103u, 114u, 131u, 133u}) {
      if (session_->Visible(id)) {
        shown = id;
        ++count;
      }
    }
    return count == 1 ? shown : 0;
  }

  std::unique_ptr<Bitmap> Shot(const std::string& name, HWND window = nullptr) {
    auto bitmap = session_->Capture(window);
    EXPECT_NE(bitmap, nullptr);
    if (bitmap) session_->Save(*bitmap, name);
    return bitmap;
  }

  // Scans to its end (the program's own clock keeps running while the workers sleep).
  void ScanToTheEnd() {
    session_->Click(104);
    ASSERT_TRUE(AdvanceUntil([&] { return session_->Window()->PaintManager().FindControl(128)->IsVisible(); }));
  }

  // The report button of the first row of a panel.
  void OpenReportOfFirstRow(UINT panelId) {
    RECT button{0, 0, 0, 0};
    session_->Run([&] {
      auto* panel = Find<KUM::CheckResult>(panelId, KUM::UICLASS_CHECKRESULT);
      auto* row = static_cast<KUM::CheckResultItem*>(panel->GetFindingList()->GetItemAt(0));
      button = row->GetReportButton()->GetPos();
    });
    session_->ClickAt(session_->Main(), POINT{(button.left + button.right) / 2, (button.top + button.bottom) / 2});
  }

  HWND WaitForReport() {
    HWND report = nullptr;
    for (int i = 0; i < 500 && report == nullptr; ++i) {
      session_->WaitIdle();
      report = WindowSystem().FindWindowW(L"RundixDetails_WND_CLASS", nullptr);
      if (report == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (report != nullptr) WindowDriver().WaitIdle(report);
    return report;
  }

  test::TempDir sandbox_;
  test::ServedFiles files_;
  InstallerPins pins_;
  std::string database_;
  std::unique_ptr<test::ServerProcess> server_;
  std::unique_ptr<SimMachine> machine_;
  std::unique_ptr<ProgramSession> session_;
};

TEST_F(ProgramTest, StartsOnTheHomePageAfterBothStartupReports) {
  Start();
  EXPECT_EQ(Page(), 103u);
  RECT window{0, 0, 0, 0};
  WindowSystem().GetWindowRect(session_->Main(), &window);
  EXPECT_EQ(window.right - window.left, 1100);
  EXPECT_EQ(window.bottom - window.top, 824);

  std::vector<Json::Value> reports = test::StoredReports(database_);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0]["endpoint"].asString(), "action");
  EXPECT_EQ(reports[0]["query"].asString(), "mac=&channel=rundix_vorb&version=1.0.0.1&main=page&sub=start");
  EXPECT_EQ(reports[1]["endpoint"].asString(), "backhaul");
  EXPECT_EQ(reports[1]["query"].asString(), "id=&action=appstart&channel=rundix_vorb&version=1.0.0.1&key1=");
  // The reports went out before the settings were read: before the folder of the INI file.
  auto events = machine_->Journal().Events();
  auto firstUrl = std::find_if(events.begin(), events.end(), [](const SimEvent& e) { return e.kind == "open_url"; });
  auto folder = std::find_if(events.begin(), events.end(), [](const SimEvent& e) {
    return e.kind == "create_directory" && e.subject.find(L"RUNDIX") != std::wstring::npos;
  });
  ASSERT_NE(firstUrl, events.end());
  ASSERT_NE(folder, events.end());
  EXPECT_LT(firstUrl - events.begin(), folder - events.begin());

  auto home = Shot("home");
  ASSERT_TRUE(home);
  RECT scan = session_->RectOf(104);
  EXPECT_TRUE(test::ColourNear(test::PixelAt(*home, scan.left + 6, scan.top + (scan.bottom - scan.top) / 2), kBlue, 8));
  EXPECT_TRUE(test::ColourNear(test::PixelAt(*home, 600, 120), kWhite, 4));
  // Not logged in: the login button is there.
  EXPECT_TRUE(session_->Visible(135));
}

TEST_F(ProgramTest, StartsAndScansWithTheServiceDown) {
  session_ = std::make_unique<ProgramSession>(*machine_, L"127.0.0.1:1", &pins_);
  ASSERT_TRUE(session_->started());
  EXPECT_EQ(Page(), 103u);
  EXPECT_TRUE(test::StoredReports(database_).empty());
  ScanToTheEnd();
  EXPECT_EQ(Page(), 114u);
}

TEST_F(ProgramTest, BannerShowsThePictureOfTheLastErrorClicked) {
  Start();
  session_->Click(113);
  session_->WaitIdle();
  std::wstring image;
  session_->Run([&] { image = session_->Window()->PaintManager().FindControl(106)->GetNormalImage(); });
  EXPECT_EQ(image, L"res='111' restype='PNG' dest='425,0,1099,350'");
  session_->Click(109);
  session_->WaitIdle();
  session_->Run([&] { image = session_->Window()->PaintManager().FindControl(106)->GetNormalImage(); });
  EXPECT_EQ(image, L"res='107' restype='PNG' dest='425,0,1099,350'");
  // The empty button at the foot changes nothing.
  session_->Click(105);
  EXPECT_EQ(Page(), 103u);
}

TEST_F(ProgramTest, ScanFillsThePanelsAndEndsWithTheTotal) {
  Start();
  // A slow machine: the first stage waits until the test lets it go.
  machine_->SimEvents().HoldOpens();
  session_->Click(104);
  session_->WaitIdle();
  EXPECT_EQ(Page(), 114u);
  // Three seconds: sixty ticks of 0.1 per cent each.
  session_->Advance(3000);
  EXPECT_EQ(session_->Window()->GetScanTicks(), 60);
  EXPECT_EQ(session_->Text(115), L"异常扫描中（ 6.0 % ）");
  EXPECT_EQ(session_->Text(127), L"扫描中（ 6.0 % ）");
  int bar = -1;
  session_->Run([&] { bar = Find<KUM::KuProgress>(126, KUM::UICLASS_PROGRESS)->GetValue(); });
  EXPECT_EQ(bar, 6);
  EXPECT_FALSE(session_->Window()->PaintManager().FindControl(130)->IsEnabled());
  Shot("scan-running");
  machine_->SimEvents().ReleaseOpens();

  ASSERT_TRUE(session_->WaitFor([&] { return session_->Window()->PaintManager().FindControl(128)->IsVisible(); }));
  EXPECT_EQ(session_->Window()->GetScanTicks(), 60);
  EXPECT_EQ(session_->Text(127), L"扫描中（ 6.0 % ）");
  EXPECT_FALSE(session_->Visible(115));
  EXPECT_TRUE(session_->Visible(116));
  EXPECT_FALSE(session_->Visible(125));

  uint32_t crash = 0, errors = 0, junk = 0, dll = 0;
  std::wstring badge117;
  bool repairEnabled = false;
  session_->Run([&] {
    crash = Find<KUM::CheckResult>(121, KUM::UICLASS_CHECKRESULT)->GetTotalCount();
    errors = Find<KUM::CheckResult>(122, KUM::UICLASS_CHECKRESULT)->GetTotalCount();
    junk = Find<KUM::CheckResult>(123, KUM::UICLASS_CHECKRESULT)->GetTotalCount();
    dll = Find<KUM::CheckResult>(124, KUM::UICLASS_CHECKRESULT)->GetTotalCount();
    badge117 = Find<KUM::LeftOption>(117, KUM::UICLASS_LEFTOPTION)->GetBadge()->GetText();
    repairEnabled = session_->Window()->PaintManager().FindControl(130)->IsEnabled();
  });
  // Five error events in Application, one in System; four junk files; two runtime DLLs of
  // the shared-DLL table while no repair is recorded.
  EXPECT_EQ(crash, 5u);
  EXPECT_EQ(errors, 1u);
  EXPECT_EQ(junk, 4u);
  EXPECT_EQ(dll, 2u);
  EXPECT_EQ(badge117, L"5");
  EXPECT_EQ(session_->Text(129), std::to_wstring(crash + errors + junk + dll));
  EXPECT_TRUE(repairEnabled);
  // The last stage selected the DLL category.
  EXPECT_TRUE(session_->Visible(124));
  EXPECT_FALSE(session_->Visible(121));
  Shot("scan-done");

  // Back home and the category switch.
  session_->Click(119);
  session_->WaitIdle();
  EXPECT_TRUE(session_->Visible(123));
  EXPECT_FALSE(session_->Visible(124));
  session_->Click(116);
  session_->WaitIdle();
  EXPECT_EQ(Page(), 103u);
}

TEST_F(ProgramTest, ProgressTextsGoPastAHundredWhileTheBarStopsAtItsEnd) {
  Start();
  machine_->SimEvents().HoldOpens();
  session_->Click(104);
  session_->Advance(1005 * 50);
  EXPECT_EQ(session_->Text(115), L"异常扫描中（ 100.5 % ）");
  int bar = -1;
  session_->Run([&] { bar = Find<KUM::KuProgress>(126, KUM::UICLASS_PROGRESS)->GetValue(); });
  EXPECT_EQ(bar, 100);
  machine_->SimEvents().ReleaseOpens();
  EXPECT_TRUE(session_->WaitFor([&] { return session_->Window()->PaintManager().FindControl(128)->IsVisible(); }));
}

TEST_F(ProgramTest, ReportWindowsShowTheEntriesOrTheFile) {
  Start();
  ScanToTheEnd();
  // A crash row: the 750 × 600 list view with the row's entries in ascending key order.
  session_->Click(117);
  session_->WaitIdle();
  OpenReportOfFirstRow(121);
  HWND report = WaitForReport();
  ASSERT_NE(report, nullptr);
  RECT r{0, 0, 0, 0};
  WindowSystem().GetWindowRect(report, &r);
  EXPECT_EQ(r.right - r.left, 750);
  EXPECT_EQ(r.bottom - r.top, 600);
  EXPECT_FALSE(WindowSystem().IsWindowEnabled(session_->Main()));
  std::vector<std::wstring> keys;
  std::wstring title, count;
  bool listShown = false, fileShown = true;
  WindowDriver().Run(report, [&] {
    KUM::KuPaintManager* m = ManagerOf(report);
    auto* list = static_cast<KUM::KuContainer*>(m->FindControl(110)->GetInterface(KUM::UICLASS_CONTAINER));
    for (int i = 0; i < list->GetCount(); ++i) keys.push_back(list->GetItemAt(i)->GetText());
    title = m->FindControl(105)->GetText();
    count = m->FindControl(109)->GetText();
    listShown = m->FindControl(104)->IsVisible();
    fileShown = m->FindControl(101)->IsVisible();
  });
  EXPECT_TRUE(listShown);
  EXPECT_FALSE(fileShown);
  EXPECT_EQ(title, L"Application Error");
  EXPECT_EQ(count, L"3");
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  Shot("report-crash", report);
  // The close button closes the report only; the main window is usable again.
  session_->Click(100, report);
  ASSERT_TRUE(session_->WaitFor([&] { return !WindowSystem().IsWindow(report); }));
  EXPECT_TRUE(WindowSystem().IsWindowEnabled(session_->Main()));
  EXPECT_EQ(Page(), 114u);

  // A DLL row: the 554 × 264 file view with the DLL's name.
  session_->Click(120);
  session_->WaitIdle();
  OpenReportOfFirstRow(124);
  report = WaitForReport();
  ASSERT_NE(report, nullptr);
  WindowSystem().GetWindowRect(report, &r);
  EXPECT_EQ(r.right - r.left, 554);
  EXPECT_EQ(r.bottom - r.top, 264);
  std::wstring name;
  WindowDriver().Run(report, [&] {
    KUM::KuPaintManager* m = ManagerOf(report);
    name = m->FindControl(102)->GetText();
    fileShown = m->FindControl(101)->IsVisible();
  });
  EXPECT_TRUE(fileShown);
  EXPECT_EQ(name, L"MSVCR100.dll");
  Shot("report-dll", report);
  session_->Click(100, report);
  ASSERT_TRUE(session_->WaitFor([&] { return !WindowSystem().IsWindow(report); }));
}

TEST_F(ProgramTest, RepairMarksNineteenRowsStoresTheTimeAndRunsTheInstallers) {
  Start();
  ScanToTheEnd();
  // Held at the third installer, for a look at the repair page under way.
  machine_->SimSystem().HoldInstaller(L"2010_vcredist_x86.exe");
  session_->Click(130);
  ASSERT_TRUE(machine_->SimSystem().WaitUntilHeld(L"2010_vcredist_x86.exe", 30000));
  ASSERT_TRUE(AdvanceUntil([&] { return session_->Window()->GetNextRowIndex() >= 2; }));
  EXPECT_EQ(Page(), 131u);
  auto underWay = Shot("repair");
  ASSERT_TRUE(underWay);
  machine_->SimSystem().ReleaseInstaller(L"2010_vcredist_x86.exe");
  int rows = 0;
  session_->Run([&] {
    rows = Find<KUM::KuContainer>(132, KUM::UICLASS_CONTAINER)->GetCount();
  });
  EXPECT_EQ(rows, 19);
  ASSERT_TRUE(AdvanceUntil([&] { return session_->Window()->PaintManager().FindControl(133)->IsVisible(); }, 20000));
  EXPECT_EQ(Page(), 133u);
  std::vector<std::wstring> states;
  session_->Run([&] {
    auto* list = Find<KUM::KuContainer>(132, KUM::UICLASS_CONTAINER);
    for (int i = 0; i < list->GetCount(); ++i) {
      states.push_back(static_cast<KUM::RuntimeLibItem*>(list->GetItemAt(i))->GetStatusLabel()->GetText());
    }
  });
  EXPECT_EQ(states, std::vector<std::wstring>(19, L"已完成"));
  Shot("done");
  // The repair time, in the registry and in the INI file (the machine's clock is fixed).
  EXPECT_EQ(StoredRepairTime(), 1710000000u);
  auto ini = test::ReadWholeFile(machine_->Files(), L"C:\\Users\\user\\AppData\\Roaming\\RUNDIX\\pcdat.ini");
  ASSERT_TRUE(ini);
  EXPECT_NE(ini->find("last_xiufu_time=1710000000"), std::string::npos);
  // Every installer was missing, verified and run with its switch.
  auto runs = machine_->SimSystem().Executions();
  EXPECT_EQ(runs.size(), 19u);
  bool sawSwitch = std::any_of(runs.begin(), runs.end(), [](const auto& e) {
    return e.path.find(L"2012_vcredist_x86.exe") != std::wstring::npos && e.parameters == L"/quiet /norestart";
  });
  EXPECT_TRUE(sawSwitch);

  // A second start: only newer events and files count, and no DLL rows come any more.
  session_.reset();
  Start();
  ScanToTheEnd();
  uint32_t crash = 0, junk = 0, dll = 0;
  size_t checkLines = 0;
  session_->Run([&] {
    crash = Find<KUM::CheckResult>(121, KUM::UICLASS_CHECKRESULT)->GetTotalCount();
    junk = Find<KUM::CheckResult>(123, KUM::UICLASS_CHECKRESULT)->GetTotalCount();
    auto* panel = Find<KUM::CheckResult>(124, KUM::UICLASS_CHECKRESULT);
    dll = panel->GetTotalCount();
    checkLines = static_cast<size_t>(panel->GetCheckList()->GetCount());
  });
  EXPECT_EQ(crash, 1u);
  EXPECT_EQ(junk, 1u);
  EXPECT_EQ(dll, 0u);
  EXPECT_EQ(checkLines, 3u);
}

TEST_F(ProgramTest, ClosingDuringARepairHidesAtOnceAndEndsAfterTheWorker) {
  Start();
  ScanToTheEnd();
  machine_->SimSystem().HoldInstaller(L"2010_vcredist_x86.exe");
  session_->Click(130);
  ASSERT_TRUE(machine_->SimSystem().WaitUntilHeld(L"2010_vcredist_x86.exe", 30000));
  session_->Click(101);
  // The window is hidden at once; the loop goes on until the run is over.
  for (int i = 0; i < 200 && WindowSystem().IsWindowVisible(session_->Main()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(WindowSystem().IsWindowVisible(session_->Main()));
  EXPECT_FALSE(session_->Ended());
  machine_->SimSystem().ReleaseInstaller(L"2010_vcredist_x86.exe");
  // The remaining downloads sleep on the clock now and then.
  for (int i = 0; i < 2000 && !session_->Ended(); ++i) {
    SimClock::Instance().Advance(50);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(session_->WaitEnded());
  EXPECT_EQ(session_->ExitCode(), 0);
  EXPECT_EQ(machine_->SimSystem().Executions().size(), 19u);
  // The run's last messages were posted before the close flow's WM_CLOSE, so they were
  // handled first: the finished run's time is stored.
  EXPECT_EQ(StoredRepairTime(), 1710000000u);
}

TEST_F(ProgramTest, ClosingDuringAScanEndsWhenTheStagesAreDone) {
  Start();
  machine_->SimEvents().HoldOpens();
  session_->Click(104);
  session_->WaitIdle();
  WindowSystem().PostMessageW(session_->Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
  for (int i = 0; i < 200 && WindowSystem().IsWindowVisible(session_->Main()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_FALSE(WindowSystem().IsWindowVisible(session_->Main()));
  EXPECT_FALSE(session_->Ended());
  machine_->SimEvents().ReleaseOpens();
  ASSERT_TRUE(session_->WaitEnded());
  EXPECT_EQ(session_->ExitCode(), 0);
}

TEST_F(ProgramTest, RepairFromAReportWhileTheScanStillRuns) {
  Start();
  // Stop the scan in its third stage: the junk walk waits on a listing.
  machine_->SimEvents().HoldOpens();
  session_->Click(104);
  session_->WaitIdle();
  machine_->SimEvents().ReleaseOpens();
  ASSERT_TRUE(session_->WaitFor([&] { return Find<KUM::CheckResult>(121, KUM::UICLASS_CHECKRESULT)->GetTotalCount() > 0; }));
  session_->Click(117);
  session_->WaitIdle();
  OpenReportOfFirstRow(121);
  HWND report = WaitForReport();
  ASSERT_NE(report, nullptr);
  session_->Click(107, report);
  ASSERT_TRUE(session_->WaitFor([&] { return !WindowSystem().IsWindow(report); }));
  EXPECT_EQ(Page(), 131u);
  ASSERT_TRUE(AdvanceUntil([&] { return session_->Window()->PaintManager().FindControl(133)->IsVisible(); }, 20000));
  // The scan ran to its end behind the repair page.
  EXPECT_TRUE(session_->WaitFor([&] { return session_->Window()->PaintManager().FindControl(130)->IsEnabled(); }));
}

}  // namespace
}  // namespace rundix
