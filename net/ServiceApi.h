// The Rundix service: fire-and-forget usage reports over the WinINet request routine, and the
// two QR-login calls over NyWinHttp with their JSON replies. Values go into the URLs as they
// stand: nothing is escaped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Machine.h"

namespace rundix {

// The fixed values of every call.
inline constexpr wchar_t kReportChannel[] = L"rundix_vorb";
inline constexpr wchar_t kReportVersion[] = L"1.0.0.1";
inline constexpr wchar_t kReportMachineId[] = L"";
inline constexpr wchar_t kReportId[] = L"";
inline constexpr wchar_t kLoginApplicationId[] = L"";

// The configured service host (and port), e.g. "127.0.0.1:18480".
std::wstring DefaultServiceHost();

// The four URLs: "http://" + host + the call's path and query. `time` is the calendar time's
// low 32 bits as a signed number.
std::wstring BuildActionReportUrl(const std::wstring& serviceHost, const std::wstring& main,
                                  const std::wstring& sub);
std::wstring BuildBackhaulReportUrl(const std::wstring& serviceHost, const std::wstring& action,
                                    const std::wstring& key1);
std::wstring BuildLoginQrCodeUrl(const std::wstring& serviceHost, int32_t time);
std::wstring BuildLoginQueryUrl(const std::wstring& serviceHost, const std::wstring& ticket, int32_t time);
// The calendar time as the URLs carry it.
int32_t ServiceTime(Machine& machine);

// Usage reports: the URL in the ANSI code page to RequestUrl; the outcome is ignored.
void ReportAction(Machine& machine, const std::wstring& main, const std::wstring& sub,
                  const std::wstring& serviceHost = DefaultServiceHost());
void ReportBackhaul(Machine& machine, const std::wstring& action, const std::wstring& key1,
                    const std::wstring& serviceHost = DefaultServiceHost());

// A QR-code reply: the image address and the login ticket, each empty when the reply lacks it.
struct LoginQrCode {
  std::wstring codeUrl;
  std::wstring ticket;
};

// The login replies as the login window reads them: nothing for an empty or malformed body,
// a root that is not an object, a `code` other than the integer 200, a `data` that is not an
// object, or a wanted member of the wrong type.
std::optional<LoginQrCode> ReadLoginQrCodeReply(const std::string& body);
// The `openid` of a login-query reply; nothing while the login is not confirmed.
std::optional<std::wstring> ReadLoginQueryReply(const std::string& body);

// The two calls made the login window's way: a fresh client, its own cancel event, no post
// data, the current time; nothing when the request fails or the reply gives no answer.
std::optional<LoginQrCode> RequestLoginQrCode(Machine& machine,
                                              const std::wstring& serviceHost = DefaultServiceHost());
std::optional<std::wstring> RequestLoginQuery(Machine& machine, const std::wstring& ticket,
                                              const std::wstring& serviceHost = DefaultServiceHost());

}  // namespace rundix
