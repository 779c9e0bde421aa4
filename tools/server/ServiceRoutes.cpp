// The Rundix service under /rundix/: usage reports stored in SQLite, and the QR login
// (loginqrcode, the QR image, the phone's confirm, loginquery). Replies are JSON objects with
// a "code"; a bad request gets one with code 400 and changes nothing.
#include <httplib.h>
#include <json/value.h>
#include <json/writer.h>

#include <ctime>
#include <iostream>
#include <memory>

#include "tools/server/ServerOptions.h"
#include "tools/server/ServiceQrCode.h"
#include "tools/server/ServiceReportStore.h"
#include "tools/server/ServiceTickets.h"

namespace rundix::server {
namespace {

// Confirmed logins kept at once; a ticket made costs nothing until it is confirmed.
constexpr size_t kMaxConfirmedLogins = 100000;

std::string RawQuery(const httplib::Request& req) {
  size_t q = req.target.find('?');
  return q == std::string::npos ? std::string() : req.target.substr(q + 1);
}

const std::string* FindParam(const QueryParameters& params, const std::string& name) {
  for (const auto& [n, v] : params) {
    if (n == name) return &v;
  }
  return nullptr;
}

// The time the program sends: a signed 32-bit decimal.
bool IsInt32(const std::string& text) {
  size_t digits = text.size() - (!text.empty() && text[0] == '-' ? 1 : 0);
  if (digits == 0 || digits > 10 || text.find_first_not_of("0123456789", text.size() - digits) != std::string::npos) {
    return false;
  }
  long long v = std::stoll(text);
  return v >= INT32_MIN && v <= INT32_MAX;
}

bool IsToken(const std::string& text) {
  return !text.empty() && text.size() <= 64 &&
         text.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-") ==
             std::string::npos;
}

void Reply(httplib::Response& res, int httpStatus, const Json::Value& body) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  res.status = httpStatus;
  // JSON is UTF-8 by definition; the plain type also lets the server compress it for
  // clients that accept gzip.
  res.set_content(Json::writeString(builder, body), "application/json");
}

void ReplyCode(httplib::Response& res, int httpStatus, int code, const std::string& message) {
  Json::Value body(Json::objectValue);
  body["code"] = code;
  body["msg"] = message;
  Reply(res, httpStatus, body);
}

Json::Value ReportJson(const StoredReport& report) {
  Json::Value line(Json::objectValue);
  line["id"] = static_cast<Json::Int64>(report.id);
  line["time"] = static_cast<Json::Int64>(report.time);
  line["endpoint"] = report.endpoint;
  // The raw query is kept as received; JSON gets it percent-encoded when it is not UTF-8.
  if (IsValidUtf8(report.query)) {
    line["query"] = report.query;
  } else {
    line["query"] = PercentEncode(report.query);
    line["query_encoding"] = kPercentEncoded;
  }
  line["params"] = Json::Value(Json::arrayValue);
  for (const auto& [name, value] : report.params) line["params"].append(ParamJson(name, value));
  return line;
}

class ServiceRoutes final : public RouteModule {
 public:
  ServiceRoutes(const ServerOptions& options, std::unique_ptr<ServiceReportStore> store)
      : options_(options),
        store_(std::move(store)),
        tickets_(options.ticketLifetimeSeconds, kMaxConfirmedLogins),
        publicBase_(options.publicBase.empty() ? "http://" + options.host + ":" + std::to_string(options.port)
                                               : options.publicBase) {
    while (!publicBase_.empty() && publicBase_.back() == '/') publicBase_.pop_back();
  }

  void Register(httplib::Server& server) override {
    server.Get("/rundix/behavior/action",
               [this](const httplib::Request& req, httplib::Response& res) { OnReport("action", req, res); });
    server.Get("/rundix/behavior/backhaul",
               [this](const httplib::Request& req, httplib::Response& res) { OnReport("backhaul", req, res); });
    server.Get("/rundix/api/loginqrcode",
               [this](const httplib::Request& req, httplib::Response& res) { OnQrCode(req, res); });
    server.Get("/rundix/api/loginquery",
               [this](const httplib::Request& req, httplib::Response& res) { OnQuery(req, res); });
    server.Get("/rundix/api/loginconfirm",
               [this](const httplib::Request& req, httplib::Response& res) { OnConfirm(req, res); });
    server.Get(R"(/rundix/qrcode/([0-9a-f]{32})\.png)",
               [this](const httplib::Request& req, httplib::Response& res) { OnQrImage(req, res); });
    // The stored reports for tests that cannot read the database (--test-routes).
    if (options_.testRoutes) {
      server.Get("/rundix-test/reports",
                 [this](const httplib::Request&, httplib::Response& res) { OnListReports(res); });
    }
  }

 private:
  // A report never fails the client: whatever its parameters, it is stored whole and
  // answered 200.
  void OnReport(const std::string& endpoint, const httplib::Request& req, httplib::Response& res) {
    std::string raw = RawQuery(req);
    std::string error;
    if (!store_->Add(static_cast<int64_t>(std::time(nullptr)), endpoint, raw, ParseQuery(raw), &error)) {
      std::cerr << "rundix-server: report not stored: " << error << "\n";
      ReplyCode(res, 200, 503, "not stored");
      return;
    }
    ReplyCode(res, 200, 200, "ok");
  }

  void OnQrCode(const httplib::Request& req, httplib::Response& res) {
    QueryParameters params = ParseQuery(RawQuery(req));
    const std::string* appid = FindParam(params, "appid");
    const std::string* time = FindParam(params, "time");
    if (!appid || !time) return ReplyCode(res, 400, 400, "appid and time are required");
    if (!IsInt32(*time)) return ReplyCode(res, 400, 400, "time must be a 32-bit number");
    std::string ticket = tickets_.Create(LoginTicketBook::Clock::now());
    Json::Value body(Json::objectValue);
    body["code"] = 200;
    body["data"]["code_url"] = publicBase_ + "/rundix/qrcode/" + ticket + ".png";
    body["data"]["ticket"] = ticket;
    Reply(res, 200, body);
  }

  void OnQrImage(const httplib::Request& req, httplib::Response& res) {
    std::string ticket = req.matches[1];
    std::string ignored;
    LoginTicketBook::State state = tickets_.Query(ticket, LoginTicketBook::Clock::now(), &ignored);
    if (state == LoginTicketBook::State::kUnknown) return ReplyCode(res, 404, 404, "unknown ticket");
    if (state == LoginTicketBook::State::kExpired) return ReplyCode(res, 410, 410, "ticket expired");
    std::optional<std::string> png = MakeQrCodePng(ConfirmUrl(ticket));
    if (!png) return ReplyCode(res, 500, 500, "no QR code");
    res.status = 200;
    res.set_content(*png, "image/png");
  }

  // Stands for the phone's scan: the address the QR code holds.
  void OnConfirm(const httplib::Request& req, httplib::Response& res) {
    QueryParameters params = ParseQuery(RawQuery(req));
    const std::string* ticket = FindParam(params, "ticket");
    const std::string* openid = FindParam(params, "openid");
    if (!ticket) return ReplyCode(res, 400, 400, "ticket is required");
    if (!IsToken(*ticket)) return ReplyCode(res, 400, 400, "malformed ticket");
    if (openid && !IsToken(*openid)) return ReplyCode(res, 400, 400, "malformed openid");
    std::string assigned;
    switch (tickets_.Confirm(*ticket, openid ? *openid : std::string(), LoginTicketBook::Clock::now(), &assigned)) {
      case LoginTicketBook::State::kUnknown: return ReplyCode(res, 404, 404, "unknown ticket");
      case LoginTicketBook::State::kExpired: return ReplyCode(res, 410, 410, "ticket expired");
      default: break;
    }
    Json::Value body(Json::objectValue);
    body["code"] = 200;
    body["data"]["openid"] = assigned;
    Reply(res, 200, body);
  }

  void OnQuery(const httplib::Request& req, httplib::Response& res) {
    QueryParameters params = ParseQuery(RawQuery(req));
    const std::string* ticket = FindParam(params, "ticket");
    const std::string* time = FindParam(params, "time");
    if (!ticket || !time) return ReplyCode(res, 400, 400, "ticket and time are required");
    if (!IsToken(*ticket)) return ReplyCode(res, 400, 400, "malformed ticket");
    if (!IsInt32(*time)) return ReplyCode(res, 400, 400, "time must be a 32-bit number");
    std::string openid;
    switch (tickets_.Query(*ticket, LoginTicketBook::Clock::now(), &openid)) {
      case LoginTicketBook::State::kUnknown: return ReplyCode(res, 404, 404, "unknown ticket");
      case LoginTicketBook::State::kExpired: return ReplyCode(res, 410, 410, "ticket expired");
      case LoginTicketBook::State::kPending: return ReplyCode(res, 200, 202, "waiting for the scan");
      case LoginTicketBook::State::kConfirmed: break;
    }
    Json::Value body(Json::objectValue);
    body["code"] = 200;
    body["data"]["openid"] = openid;
    Reply(res, 200, body);
  }

  void OnListReports(httplib::Response& res) {
    Json::Value list(Json::arrayValue);
    std::string error;
    if (!store_->ForEach([&](const StoredReport& report) { list.append(ReportJson(report)); }, &error)) {
      return ReplyCode(res, 500, 500, error);
    }
    Json::Value body(Json::objectValue);
    body["code"] = 200;
    body["data"] = list;
    Reply(res, 200, body);
  }

  std::string ConfirmUrl(const std::string& ticket) const {
    return publicBase_ + "/rundix/api/loginconfirm?ticket=" + ticket;
  }

  ServerOptions options_;
  std::unique_ptr<ServiceReportStore> store_;
  LoginTicketBook tickets_;
  std::string publicBase_;
};

}  // namespace

std::unique_ptr<RouteModule> CreateServiceRoutes(const ServerOptions& options, std::string* error) {
  auto store = std::make_unique<ServiceReportStore>();
  if (!store->Open(options.database, false, error)) return nullptr;
  return std::make_unique<ServiceRoutes>(options, std::move(store));
}

int PrintReports(const ServerOptions& options) {
  if (options.database.empty() || options.database == ":memory:") {
    std::cerr << "rundix-server: --reports needs the database file (--db FILE)\n";
    return 2;
  }
  ServiceReportStore store;
  std::string error;
  if (!store.Open(options.database, true, &error)) {
    std::cerr << "rundix-server: " << error << "\n";
    return 1;
  }
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  bool ok = store.ForEach(
      [&](const StoredReport& report) { std::cout << Json::writeString(builder, ReportJson(report)) << "\n"; },
      &error);
  std::cout.flush();
  if (!ok) {
    std::cerr << "rundix-server: " << error << "\n";
    return 1;
  }
  return 0;
}

}  // namespace rundix::server
