#include "net/ServiceApi.h"

#include <json/reader.h>
#include <json/value.h>

#include <cstdarg>
#include <cwchar>
#include <exception>
#include <vector>

#include "RundixConfig.h"
#include "engine/InternetTransfer.h"
#include "net/NyWinHttp.h"
#include "platform/Text.h"
#include "platform/CodePages.h"
#include "platform/Text.h"

namespace rundix {
namespace {

constexpr wchar_t kActionPath[] = L"/rundix/behavior/action?mac=%ls&channel=%ls&version=%ls&main=%ls&sub=%ls";
constexpr wchar_t kBackhaulPath[] =
    L"/rundix/behavior/backhaul?id=%ls&action=%ls&channel=%ls&version=%ls&key1=%ls";
constexpr wchar_t kQrCodePath[] = L"/rundix/api/loginqrcode?appid=%ls&time=%d";
constexpr wchar_t kQueryPath[] = L"/rundix/api/loginquery?ticket=%ls&time=%d";

std::wstring BaseUrl(const std::wstring& serviceHost) { return L"http://" + serviceHost; }

// A login reply is two levels deep. JsonCpp's reader recurses once per level up to its own
// limit of 1,000, which costs a hostile reply's reader stack and time for nothing.
constexpr int kMaxReplyNesting = 64;

// Counts brackets outside strings; a bracket in a comment only makes the count larger.
bool NestsDeeperThan(const std::string& json, int limit) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < json.size(); ++i) {
    char c = json[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > limit) return true;
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

// Parses a reply and steps into its `data` object; nothing unless `code` is the integer 200
// and `data` an object. JsonCpp's reader and its accessors throw on some inputs: nothing
// escapes from here.
std::optional<Json::Value> ReplyData(const std::string& body) {
  if (body.empty() || NestsDeeperThan(body, kMaxReplyNesting)) return std::nullopt;
  try {
    Json::Value root;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Json::Reader reader;
    bool parsed = reader.parse(body, root, true);
#pragma GCC diagnostic pop
    if (!parsed || !root.isObject()) return std::nullopt;
    Json::Value code = root.get("code", 0);
    if (!code.isInt() || code.asInt() != 200) return std::nullopt;
    Json::Value data = root.get("data", "");
    if (!data.isObject()) return std::nullopt;
    return data;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// A wanted string member: absent is fine (empty), present with another type is no answer.
bool ReadMember(const Json::Value& data, const char* name, std::wstring* out, bool* present) {
  *present = false;
  if (!data.isMember(name)) return true;
  const Json::Value& value = data[name];
  if (!value.isString()) return false;
  *out = WideFromUtf8(value.asCString());
  *present = true;
  return true;
}

}  // namespace

std::wstring DefaultServiceHost() { return RUNDIX_SERVICE_HOST; }

std::wstring BuildActionReportUrl(const std::wstring& serviceHost, const std::wstring& main,
                                  const std::wstring& sub) {
  return BaseUrl(serviceHost) +
         FormatWide(kActionPath, kReportMachineId, kReportChannel, kReportVersion, main.c_str(), sub.c_str());
}

std::wstring BuildBackhaulReportUrl(const std::wstring& serviceHost, const std::wstring& action,
                                    const std::wstring& key1) {
  return BaseUrl(serviceHost) +
         FormatWide(kBackhaulPath, kReportId, action.c_str(), kReportChannel, kReportVersion, key1.c_str());
}

std::wstring BuildLoginQrCodeUrl(const std::wstring& serviceHost, int32_t time) {
  return BaseUrl(serviceHost) + FormatWide(kQrCodePath, kLoginApplicationId, static_cast<int>(time));
}

std::wstring BuildLoginQueryUrl(const std::wstring& serviceHost, const std::wstring& ticket, int32_t time) {
  return BaseUrl(serviceHost) + FormatWide(kQueryPath, ticket.c_str(), static_cast<int>(time));
}

int32_t ServiceTime(Machine& machine) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(machine.Runtime().Time())));
}

void ReportAction(Machine& machine, const std::wstring& main, const std::wstring& sub,
                  const std::wstring& serviceHost) {
  RequestUrl(machine, AnsiFromWide(machine.CodePages(), BuildActionReportUrl(serviceHost, main, sub)));
}

void ReportBackhaul(Machine& machine, const std::wstring& action, const std::wstring& key1,
                    const std::wstring& serviceHost) {
  RequestUrl(machine, AnsiFromWide(machine.CodePages(), BuildBackhaulReportUrl(serviceHost, action, key1)));
}

std::optional<LoginQrCode> ReadLoginQrCodeReply(const std::string& body) {
  std::optional<Json::Value> data = ReplyData(body);
  if (!data) return std::nullopt;
  LoginQrCode reply;
  bool present = false;
  if (!ReadMember(*data, "code_url", &reply.codeUrl, &present)) return std::nullopt;
  if (!ReadMember(*data, "ticket", &reply.ticket, &present)) return std::nullopt;
  return reply;
}

std::optional<std::wstring> ReadLoginQueryReply(const std::string& body) {
  std::optional<Json::Value> data = ReplyData(body);
  if (!data) return std::nullopt;
  std::wstring openid;
  bool present = false;
  if (!ReadMember(*data, "openid", &openid, &present) || !present) return std::nullopt;
  return openid;
}

std::optional<LoginQrCode> RequestLoginQrCode(Machine& machine, const std::wstring& serviceHost) {
  KUM::NyWinHttp http(machine);
  if (!http.Request(http.CancelEvent(), BuildLoginQrCodeUrl(serviceHost, ServiceTime(machine)))) {
    return std::nullopt;
  }
  return ReadLoginQrCodeReply(http.GetResponseText());
}

std::optional<std::wstring> RequestLoginQuery(Machine& machine, const std::wstring& ticket,
                                              const std::wstring& serviceHost) {
  KUM::NyWinHttp http(machine);
  if (!http.Request(http.CancelEvent(), BuildLoginQueryUrl(serviceHost, ticket, ServiceTime(machine)))) {
    return std::nullopt;
  }
  return ReadLoginQueryReply(http.GetResponseText());
}

}  // namespace rundix
