#include "net/RundixLoginWnd.h"

#include "app/Messages.h"
#include "engine/InternetTransfer.h"
#include "net/ServiceApi.h"
#include "platform/Crypto.h"
#include "platform/FileSystem.h"
#include "platform/MessagePost.h"
#include "platform/Text.h"
#include "ui/KuLoadResource.h"
#include "views/ViewParts.h"

namespace KUM {
namespace {

enum LoginId : UINT {
  kClose = 100,
  kCode = 103,
  kFallbackRow = 105,
  kFallbackLogin = 107,
};

constexpr int kFallbackPicture = 131;
constexpr DWORD kPollInterval = 1500;
// A QR image is small; anything larger is not one.
constexpr size_t kMaxQrImageBytes = 4u * 1024 * 1024;

}  // namespace

RundixLoginWnd::RundixLoginWnd(KuWindowWnd* owner, rundix::Machine& machine, std::wstring serviceHost)
    : owner_(owner), machine_(machine), serviceHost_(std::move(serviceHost)) {}

RundixLoginWnd::~RundixLoginWnd() {
  rundix::ReplaceWorker(qrThread_);
  StopPolling();
  std::wstring file;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    file = downloadedFile_;
  }
  if (!file.empty()) {
    KuLoadResource::Instance().RemoveImage(file);
    machine_.Files().DeleteFileW(file);
  }
}

const wchar_t* RundixLoginWnd::GetWindowClassName() const { return L"RundixLogin_WND_CLASS"; }

LRESULT RundixLoginWnd::KuOnCreate(UINT, WPARAM, LPARAM, bool&) {
  AttachSkin(L"100", "Login", &callback_);
  qrThread_ = std::make_unique<rundix::WorkerThread>(this, &RundixLoginWnd::QrThreadBody);
  qrThread_->Start();
  return 0;
}

LRESULT RundixLoginWnd::KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case rundix::UM_QRCODE_FAILED: OnQrCodeFailed(); return 0;
    case rundix::UM_QRCODE_READY: OnQrCodeReady(); return 0;
    case rundix::UM_LOGIN_OK: Close(); return 0;
    default: return KuFramelessWindow::KuHandleMessage(message, wParam, lParam);
  }
}

void RundixLoginWnd::Notify(KuNotify& msg) {
  if (msg.Type == UINOTIFY_WINDOWINIT) {
    CenterWindow();
    return;
  }
  if (msg.Type != UINOTIFY_CLICK || msg.pSender == nullptr) return;
  switch (msg.pSender->GetID()) {
    case kClose:
      Close();
      break;
    case kFallbackLogin: {
      // The verification code is not looked at.
      std::wstring id = MakeFallbackAccountId();
      {
        std::lock_guard<std::mutex> lock(mutex_);
        accountId_ = id;
      }
      Close();
      break;
    }
    default:
      break;
  }
}

std::wstring RundixLoginWnd::GetAccountId() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return accountId_;
}

std::wstring RundixLoginWnd::MakeFallbackAccountId() {
  rundix::GuidValue guid;
  std::wstring text;
  if (rundix::CreateGuid(&guid)) {
    text = rundix::FormatWide(L"%08x%04x%04x%02x%02x%02x%02x%02x%02x%02x%02x", guid.data1, guid.data2,
                              guid.data3, guid.data4[0], guid.data4[1], guid.data4[2], guid.data4[3],
                              guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  }
  std::string utf8 = rundix::Utf8FromWide(text);
  rundix::Md5 md5;
  md5.Update(utf8.data(), utf8.size());
  std::string hex = md5.FinishHex();
  std::wstring id;
  for (char c : hex) id.push_back(static_cast<wchar_t>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c));
  return id;
}

void RundixLoginWnd::QrThreadBody(void* owner) {
  auto* self = static_cast<RundixLoginWnd*>(owner);
  rundix::Machine& machine = self->machine_;
  HWND window = self->window_;
  rundix::ReportAction(machine, L"page", L"login", self->serviceHost_);

  std::wstring address;
  if (auto reply = rundix::RequestLoginQrCode(machine, self->serviceHost_)) {
    std::lock_guard<std::mutex> lock(self->mutex_);
    if (!reply->codeUrl.empty()) address = reply->codeUrl;
    if (!reply->ticket.empty()) self->ticket_ = reply->ticket;
  }

  std::wstring shown;
  std::unique_ptr<KuImageInfo> image;
  if (!address.empty()) {
    rundix::IFileSystem& files = machine.Files();
    std::wstring placeholder = files.GetTempFileNameW(files.GetTempPathW(MAX_PATH + 1), L"tet");
    if (!placeholder.empty()) {
      std::wstring png = placeholder + L".png";
      bool downloaded = rundix::DownloadUrlToFile(machine, address, png);
      files.DeleteFileW(placeholder);
      // The image is untrusted: only what the hardened decoder accepts is shown.
      if (downloaded) {
        auto bytes = rundix::ReadWholeFile(files, png, kMaxQrImageBytes);
        if (bytes) {
          image = KuDecodeImage(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size(), 0);
        }
      }
      if (image) {
        shown = png;
      } else {
        files.DeleteFileW(png);
      }
    }
  }

  std::lock_guard<std::mutex> lock(self->mutex_);
  if (!shown.empty()) {
    self->imagePath_ = shown;
    self->downloadedFile_ = shown;
    self->image_ = std::move(image);
    rundix::SystemMessagePoster().PostMessageW(window, rundix::UM_QRCODE_READY, 0, 0);
  } else {
    self->ticket_.clear();
    rundix::SystemMessagePoster().PostMessageW(window, rundix::UM_QRCODE_FAILED, 0, 0);
  }
}

void RundixLoginWnd::PollThreadBody(void* owner) {
  auto* self = static_cast<RundixLoginWnd*>(owner);
  HWND window = self->window_;
  std::wstring ticket;
  {
    std::lock_guard<std::mutex> lock(self->mutex_);
    ticket = self->ticket_;
  }
  for (;;) {
    if (self->stop_.load() != 0) return;
    self->machine_.Runtime().Sleep(kPollInterval);
    auto openid = rundix::RequestLoginQuery(self->machine_, ticket, self->serviceHost_);
    if (!openid) continue;
    {
      std::lock_guard<std::mutex> lock(self->mutex_);
      self->accountId_ = *openid;
    }
    rundix::ReportAction(self->machine_, L"page", L"loginsucc", self->serviceHost_);
    rundix::SystemMessagePoster().PostMessageW(window, rundix::UM_LOGIN_OK, 0, 0);
    return;
  }
}

void RundixLoginWnd::OnQrCodeFailed() {
  if (KuControl* code = paintManager_.FindControl(kCode)) {
    code->SetNormalImage(ResourceImage(kFallbackPicture));
    code->SetText(L"");
    code->SetVisible(true);
  }
  if (KuControl* row = paintManager_.FindControl(kFallbackRow)) row->SetVisible(true);
  paintManager_.NeedUpdate();
  paintManager_.Invalidate();
}

void RundixLoginWnd::OnQrCodeReady() {
  std::wstring path;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    path = imagePath_;
    if (image_) KuLoadResource::Instance().AddImageInfo(path, std::move(image_));
  }
  if (KuControl* code = paintManager_.FindControl(kCode)) {
    if (!path.empty()) {
      code->SetNormalImage(L"file='" + path + L"'");
      code->SetText(L"");
    }
    code->SetVisible(!path.empty());
  }
  paintManager_.NeedUpdate();
  paintManager_.Invalidate();
  StartPolling();
}

void RundixLoginWnd::StartPolling() {
  StopPolling();
  pollThread_ = std::make_unique<rundix::WorkerThread>(this, &RundixLoginWnd::PollThreadBody);
  pollThread_->Start();
}

void RundixLoginWnd::StopPolling() {
  if (!pollThread_) return;
  stop_ = 1;
  rundix::ReplaceWorker(pollThread_);
  stop_ = 0;
}

}  // namespace KUM
