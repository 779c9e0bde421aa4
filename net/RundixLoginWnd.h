// The QR-code login dialog: asks the service for a login code, shows its image for the user
// to scan with the phone, and polls until the scan is confirmed. Without a code it shows a
// fallback picture and a verification-code row whose button makes a local account id. Two
// worker threads do the network work and reach the window only by posting messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "app/WorkerThread.h"
#include "platform/Machine.h"
#include "ui/KuFramelessWindow.h"
#include "views/DialogBuilderCallbackEx.h"

namespace KUM {

struct KuImageInfo;

class RundixLoginWnd : public KuFramelessWindow {
 public:
  // `owner` is the main window; `serviceHost` where the service is ("host:port").
  RundixLoginWnd(KuWindowWnd* owner, rundix::Machine& machine, std::wstring serviceHost);
  // Stops and joins both threads, forgets the QR image and removes its file.
  ~RundixLoginWnd() override;

  const wchar_t* GetWindowClassName() const override;
  LRESULT KuHandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  LRESULT KuOnCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
  void Notify(KuNotify& msg) override;

  // The result: the service's openid, the fallback id, or empty.
  std::wstring GetAccountId() const;

  // The fallback account id: a fresh GUID as 32 lower-case hex digits, its UTF-8 bytes
  // hashed with MD5, written as 32 upper-case hex digits.
  static std::wstring MakeFallbackAccountId();

 private:
  static void QrThreadBody(void* owner);
  static void PollThreadBody(void* owner);
  void OnQrCodeFailed();
  void OnQrCodeReady();
  void StartPolling();
  void StopPolling();

  KuWindowWnd* owner_;
  rundix::Machine& machine_;
  std::wstring serviceHost_;
  std::unique_ptr<rundix::WorkerThread> qrThread_;
  std::unique_ptr<rundix::WorkerThread> pollThread_;
  // Written by the window thread, read by the polling thread.
  std::atomic<int32_t> stop_{0};
  // Written by the workers, read by the window thread after their messages.
  mutable std::mutex mutex_;
  std::wstring imagePath_;
  std::wstring ticket_;
  std::wstring accountId_;
  // The QR image as the QR thread decoded it; the window thread hands it to the cache.
  std::unique_ptr<KuImageInfo> image_;
  // The downloaded image file, removed when the dialog ends.
  std::wstring downloadedFile_;
  DialogBuilderCallbackEx callback_;
};

}  // namespace KUM
