// The usage reports the service has received, kept in SQLite: one row per report with its
// time, endpoint, raw query and parsed parameters, written in one statement so a report is
// stored whole or not at all.
#pragma once

#include <json/value.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace rundix::server {

using QueryParameters = std::vector<std::pair<std::string, std::string>>;

// Splits a raw query at '&' and each part at its first '=', decoding %XX escapes. A '+' stays
// a plus: the program puts its values into the URL as they stand.
QueryParameters ParseQuery(const std::string& rawQuery);

// Parameters are kept as the bytes received. JSON holds only UTF-8, so a pair with a name or
// value that is not valid UTF-8 is written percent-encoded, marked by a third element.
inline constexpr const char* kPercentEncoded = "percent-encoded";
bool IsValidUtf8(const std::string& text);
std::string PercentEncode(const std::string& bytes);
Json::Value ParamJson(const std::string& name, const std::string& value);
// False when `pair` is not one of ParamJson's forms.
bool ParamFromJson(const Json::Value& pair, std::string* name, std::string* value);

struct StoredReport {
  int64_t id = 0;
  int64_t time = 0;
  std::string endpoint;
  std::string query;
  QueryParameters params;
};

class ServiceReportStore {
 public:
  ServiceReportStore() = default;
  ~ServiceReportStore();
  ServiceReportStore(const ServiceReportStore&) = delete;
  ServiceReportStore& operator=(const ServiceReportStore&) = delete;

  // ":memory:" or a file, created when missing (unless readOnly). False and a message in
  // `error` when it cannot be opened or is not a report database.
  bool Open(const std::string& path, bool readOnly, std::string* error);
  bool Add(int64_t time, const std::string& endpoint, const std::string& rawQuery,
           const QueryParameters& params, std::string* error);
  // Every report in the order received; false when the database cannot be read.
  bool ForEach(const std::function<void(const StoredReport&)>& visit, std::string* error);

 private:
  std::mutex mutex_;
  sqlite3* db_ = nullptr;
};

}  // namespace rundix::server
