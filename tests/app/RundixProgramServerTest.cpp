// The whole program over a simulated machine, with a real rundix-server on loopback for its
// reports and downloads, driven like a user: start, the home page, a scan, the report
// windows, a repair, closing, and a second start. Captures of every page are kept under the
// build folder's artifacts/program/.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/RundixApp.h"
#include "platform/Text.h"
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
    server_ = std::make_unique<test::ServerProcess>(std::vector<std::string>{"--db", database_});
    ASSERT_TRUE(server_->running());
    std::string error;
    machine_ = SimMachine::FromFile(std::string(RUNDIX_TEST_DATA_DIR) + "/program/machine.json",
                                    sandbox_.path() + "/machine", &error);
    ASSERT_TRUE(machine_) << error;
  }
  void TearDown() override {
    session_.reset();
    SimClock::Instance().SetManual(false);
  }

  void Start() {
    session_ = std::make_unique<ProgramSession>(*machine_, server_->waddress());
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

  test::TempDir sandbox_;
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

}  // namespace
}  // namespace rundix
