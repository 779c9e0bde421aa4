// The title bar's dialogs over the whole program: the QR-code login (service down, a code
// that cannot be fetched or is no image, a code shown, polled and confirmed, the fallback id,
// closing during polling) and the customer-service window opening the chat page.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cwchar>
#include <fstream>
#include <mutex>
#include <regex>
#include <thread>

#include "RundixConfig.h"
#include "net/RundixLoginWnd.h"
#include "platform/Text.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimRegistry.h"
#include "tests/support/ProgramSession.h"
#include "tests/support/TestMachine.h"
#include "ui/KuPaintManager.h"

namespace rundix {
namespace {

using test::ManagerOf;
using test::ProgramSession;

constexpr wchar_t kLoginClass[] = L"RundixLogin_WND_CLASS";
constexpr wchar_t kKefuClass[] = L"RundixKefu_WND_CLASS";
constexpr wchar_t kIni[] = L"C:\\Users\\user\\AppData\\Roaming\\RUNDIX\\pcdat.ini";

// Serves the QR images the service's code addresses point at: a real PNG, damaged bytes or
// an image too large to be one, and remembers the tickets asked for.
class QrImageServer {
 public:
  enum class Image { kGood, kCorrupt, kHuge };
  explicit QrImageServer(Image image) {
    std::string body;
    if (image == Image::kGood) {
      std::ifstream in(std::string(RUNDIX_TEST_DATA_DIR) + "/../../res/images/131.png", std::ios::binary);
      body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else if (image == Image::kCorrupt) {
      body = "\x89PNG\r\n\x1a\n this is not an image at all";
    } else {
      // A PNG header declaring 60000 x 60000 pixels.
      body = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\xea\x60\0\0\xea\x60\x08\x06\0\0\0", 29) +
             std::string(64, '\0');
    }
    server_.Get(R"(/rundix/qrcode/(.+)\.png)", [this, body](const httplib::Request& request, httplib::Response& response) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        tickets_.push_back(request.matches[1]);
      }
      response.set_content(body, "image/png");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~QrImageServer() {
    server_.stop();
    thread_.join();
  }
  std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> tickets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return tickets_;
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::string> tickets_;
};

class DialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SimClock::Instance().SetManual(true);
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

  void StartService(const std::string& publicBase = "") {
    database_ = sandbox_.path() + "/reports.db";
    std::vector<std::string> args{"--db", database_};
    if (!publicBase.empty()) {
      args.push_back("--public-base");
      args.push_back(publicBase);
    }
    server_ = std::make_unique<test::ServerProcess>(args);
    ASSERT_TRUE(server_->running());
  }

  void Start(const std::wstring& service) {
    session_ = std::make_unique<ProgramSession>(*machine_, service);
    ASSERT_TRUE(session_->started());
  }

  // Presses the login button and waits for the dialog.
  HWND OpenLogin() {
    session_->Click(135);
    return WaitForWindow(kLoginClass);
  }

  HWND WaitForWindow(const wchar_t* className) {
    for (int i = 0; i < 1000; ++i) {
      HWND h = WindowSystem().FindWindowW(className, nullptr);
      if (h != nullptr) {
        WindowDriver().WaitIdle(h);
        return h;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
  }

  bool WaitGone(HWND window) {
    return session_->WaitFor([&] { return !WindowSystem().IsWindow(window); });
  }

  bool LoginVisible(HWND login, UINT id) {
    bool visible = false;
    WindowDriver().Run(login, [&] {
      if (auto* c = ManagerOf(login)->FindControl(id)) visible = c->IsVisible();
    });
    return visible;
  }

  std::wstring CodeImage(HWND login) {
    std::wstring image;
    WindowDriver().Run(login, [&] { image = ManagerOf(login)->FindControl(103)->GetNormalImage(); });
    return image;
  }

  std::wstring StoredPhone() {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!machine_->SimReg().GetValue(L"HKCU\\SOFTWARE\\Rundix", L"phone", &type, &data)) return L"<none>";
    return WideFromUtf16Le(data.data(), data.size());
  }

  size_t Queries() {
    size_t n = 0;
    for (const auto& e : machine_->Journal().EventsOfKind("winhttp_send")) {
      if (e.subject.find(L"loginquery") != std::wstring::npos) ++n;
    }
    return n;
  }

  // Moves the clock on in small steps until the polling thread has sent `count` queries:
  // it goes back to sleep on the clock only after each reply, so one big step could pass it.
  bool AdvanceUntilQueries(size_t count) {
    for (int i = 0; i < 600; ++i) {
      if (Queries() >= count) return true;
      session_->Advance(50);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return Queries() >= count;
  }

  static bool IsUpperHex32(const std::wstring& id) {
    return id.size() == 32 && std::all_of(id.begin(), id.end(), [](wchar_t c) {
             return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
           });
  }

  test::TempDir sandbox_;
  std::string database_;
  std::unique_ptr<test::ServerProcess> server_;
  std::unique_ptr<SimMachine> machine_;
  std::unique_ptr<ProgramSession> session_;
};

TEST_F(DialogsTest, ServiceDownShowsTheFallbackAndTheButtonMakesAnId) {
  Start(L"127.0.0.1:1");
  HWND login = OpenLogin();
  ASSERT_NE(login, nullptr);
  RECT r{0, 0, 0, 0};
  WindowSystem().GetWindowRect(login, &r);
  EXPECT_EQ(r.right - r.left, 500);
  EXPECT_EQ(r.bottom - r.top, 400);
  ASSERT_TRUE(WindowDriver().WaitFor(login, [&] { return ManagerOf(login)->FindControl(105)->IsVisible(); }));
  EXPECT_EQ(CodeImage(login), L"res='131' restype='PNG'");
  auto shot = session_->Capture(login);
  ASSERT_TRUE(shot);
  session_->Save(*shot, "login-fallback");
  // No code, no polling, however long the user waits.
  session_->Advance(5000);
  EXPECT_EQ(Queries(), 0u);

  session_->Click(107, login);
  ASSERT_TRUE(WaitGone(login));
  session_->WaitIdle();
  std::wstring first = StoredPhone();
  EXPECT_TRUE(IsUpperHex32(first)) << Utf8FromWide(first);
  EXPECT_FALSE(session_->Visible(135));
  auto ini = ReadWholeFile(machine_->Files(), kIni);
  ASSERT_TRUE(ini);
  EXPECT_NE(ini->find("phone=" + Utf8FromWide(first)), std::string::npos);
}

TEST_F(DialogsTest, EveryFallbackIdIsNew) {
  std::wstring a = KUM::RundixLoginWnd::MakeFallbackAccountId();
  std::wstring b = KUM::RundixLoginWnd::MakeFallbackAccountId();
  EXPECT_TRUE(IsUpperHex32(a));
  EXPECT_TRUE(IsUpperHex32(b));
  EXPECT_NE(a, b);
}

TEST_F(DialogsTest, ACodeThatIsNoImageFallsBack) {
  for (auto kind : {QrImageServer::Image::kCorrupt, QrImageServer::Image::kHuge}) {
    QrImageServer images(kind);
    StartService(images.base());
    Start(server_->waddress());
    HWND login = OpenLogin();
    ASSERT_NE(login, nullptr);
    ASSERT_TRUE(WindowDriver().WaitFor(login, [&] { return ManagerOf(login)->FindControl(105)->IsVisible(); }));
    EXPECT_EQ(images.tickets().size(), 1u);
    EXPECT_EQ(CodeImage(login), L"res='131' restype='PNG'");
    session_->Advance(3000);
    EXPECT_EQ(Queries(), 0u);
    // Nothing of the refused download is left in the temporary folder.
    FindData data;
    HANDLE find = machine_->Files().FindFirstFileW(L"C:\\Users\\user\\AppData\\Local\\Temp\\tet*", &data);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE);
    if (find != INVALID_HANDLE_VALUE) machine_->Files().FindClose(find);
    session_->Click(100, login);
    ASSERT_TRUE(WaitGone(login));
    session_.reset();
    server_.reset();
  }
}

TEST_F(DialogsTest, UnreachableCodeAddressFallsBack) {
  StartService("http://127.0.0.1:1");
  Start(server_->waddress());
  HWND login = OpenLogin();
  ASSERT_NE(login, nullptr);
  ASSERT_TRUE(WindowDriver().WaitFor(login, [&] { return ManagerOf(login)->FindControl(105)->IsVisible(); }));
  EXPECT_EQ(CodeImage(login), L"res='131' restype='PNG'");
}

TEST_F(DialogsTest, ACodeIsShownPolledAndConfirmed) {
  QrImageServer images(QrImageServer::Image::kGood);
  StartService(images.base());
  Start(server_->waddress());
  HWND login = OpenLogin();
  ASSERT_NE(login, nullptr);
  ASSERT_TRUE(WindowDriver().WaitFor(login, [&] { return CodeImage(login).rfind(L"file='", 0) == 0; }));
  EXPECT_TRUE(LoginVisible(login, 103));
  EXPECT_FALSE(LoginVisible(login, 105));
  auto shot = session_->Capture(login);
  ASSERT_TRUE(shot);
  session_->Save(*shot, "login-code");

  // Each 1.5 s of the clock one query; without a confirmation the dialog stays.
  ASSERT_TRUE(AdvanceUntilQueries(1));
  ASSERT_TRUE(AdvanceUntilQueries(2));
  EXPECT_TRUE(WindowSystem().IsWindow(login));

  ASSERT_EQ(images.tickets().size(), 1u);
  httplib::Client client("127.0.0.1", server_->port());
  auto confirmed = client.Get(("/rundix/api/loginconfirm?ticket=" + images.tickets()[0]).c_str());
  ASSERT_TRUE(confirmed);
  EXPECT_EQ(confirmed->status, 200);
  for (int i = 0; i < 40 && WindowSystem().IsWindow(login); ++i) {
    session_->Advance(1500);
    session_->WaitFor([&] { return !WindowSystem().IsWindow(login); }, 2000);
  }
  EXPECT_FALSE(WindowSystem().IsWindow(login));
  session_->WaitIdle();
  EXPECT_FALSE(session_->Visible(135));
  std::wstring id = StoredPhone();
  EXPECT_FALSE(id.empty());
  EXPECT_NE(id, L"<none>");
  // The login was reported, and the downloaded image is gone with the dialog.
  std::vector<Json::Value> reports = test::StoredReports(database_);
  bool loginsucc = std::any_of(reports.begin(), reports.end(), [](const Json::Value& r) {
    return r["query"].asString().find("sub=loginsucc") != std::string::npos;
  });
  EXPECT_TRUE(loginsucc);
  FindData data;
  HANDLE find = machine_->Files().FindFirstFileW(L"C:\\Users\\user\\AppData\\Local\\Temp\\tet*", &data);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) machine_->Files().FindClose(find);
}

TEST_F(DialogsTest, ClosingDuringPollingStoresAnEmptyIdAndEndsThePolling) {
  QrImageServer images(QrImageServer::Image::kGood);
  StartService(images.base());
  Start(server_->waddress());
  HWND login = OpenLogin();
  ASSERT_NE(login, nullptr);
  ASSERT_TRUE(WindowDriver().WaitFor(login, [&] { return CodeImage(login).rfind(L"file='", 0) == 0; }));
  ASSERT_TRUE(AdvanceUntilQueries(1));
  session_->Click(100, login);
  // The polling thread is asleep on the clock: the dialog's end waits for it, so the clock is
  // moved on until the window thread is back in its loop.
  bool back = false;
  for (int i = 0; i < 100 && !back; ++i) {
    SimClock::Instance().Advance(100);
    back = WindowDriver().WaitIdle(session_->Main(), 50);
  }
  ASSERT_TRUE(back);
  ASSERT_TRUE(WaitGone(login));
  session_->WaitIdle();
  size_t queries = Queries();
  session_->Advance(6000);
  EXPECT_LE(Queries(), queries + 1);
  EXPECT_EQ(StoredPhone(), L"");
  EXPECT_TRUE(session_->Visible(135));
}

// Alt+F4 or the taskbar closing the program while a dialog is up ends the dialog first and
// then the program: the dialog's caller still runs after the dialog's loop returns.
TEST_F(DialogsTest, ClosingTheProgramWhileADialogIsOpenEndsBoth) {
  for (const wchar_t* which : {kKefuClass, kLoginClass}) {
    SCOPED_TRACE(testing::Message() << "dialog " << std::string(which, which + wcslen(which)));
    Start(L"127.0.0.1:1");
    session_->Click(which == kKefuClass ? 102 : 135);
    HWND dialog = WaitForWindow(which);
    ASSERT_NE(dialog, nullptr);
    WindowSystem().PostMessageW(session_->Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(session_->WaitEnded(20000));
    EXPECT_FALSE(WindowSystem().IsWindow(dialog));
    if (which == kLoginClass) EXPECT_EQ(StoredPhone(), L"");
    session_.reset();
  }
}

TEST_F(DialogsTest, CustomerServiceOpensTheChatPageOnEveryPress) {
  Start(L"127.0.0.1:1");
  session_->Click(102);
  HWND kefu = WaitForWindow(kKefuClass);
  ASSERT_NE(kefu, nullptr);
  RECT r{0, 0, 0, 0};
  WindowSystem().GetWindowRect(kefu, &r);
  EXPECT_EQ(r.right - r.left, 450);
  EXPECT_EQ(r.bottom - r.top, 450);
  auto shot = session_->Capture(kefu);
  ASSERT_TRUE(shot);
  session_->Save(*shot, "kefu");
  session_->Click(102, kefu);
  session_->Click(102, kefu);
  session_->WaitIdle();
  auto opens = machine_->Journal().EventsOfKind("shell_execute");
  ASSERT_EQ(opens.size(), 2u);
  EXPECT_EQ(opens[0].subject, RUNDIX_KEFU_URL);
  EXPECT_EQ(opens[0].detail, L"open");
  EXPECT_TRUE(WindowSystem().IsWindow(kefu));
  session_->Click(100, kefu);
  ASSERT_TRUE(WaitGone(kefu));
  EXPECT_TRUE(WindowSystem().IsWindowEnabled(session_->Main()));
}

}  // namespace
}  // namespace rundix
