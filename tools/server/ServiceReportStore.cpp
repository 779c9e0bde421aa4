#include "tools/server/ServiceReportStore.h"

#include <json/reader.h>
#include <json/value.h>
#include <json/writer.h>
#include <sqlite3.h>

#include <memory>
#include <sstream>

namespace rundix::server {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int hi = HexValue(text[i + 1]);
      int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string ParamsToJson(const QueryParameters& params) {
  Json::Value list(Json::arrayValue);
  for (const auto& [name, value] : params) list.append(ParamJson(name, value));
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, list);
}

QueryParameters ParamsFromJson(const std::string& text) {
  QueryParameters params;
  Json::Value list;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::istringstream in(text);
  try {
    if (!Json::parseFromStream(builder, in, &list, &errors) || !list.isArray()) return params;
  } catch (const Json::Exception&) {  // a database from elsewhere may nest past the stack limit
    return params;
  }
  for (const Json::Value& pair : list) {
    std::string name, value;
    if (ParamFromJson(pair, &name, &value)) params.emplace_back(std::move(name), std::move(value));
  }
  return params;
}

struct StatementCloser {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

std::string Column(sqlite3_stmt* s, int column) {
  const unsigned char* text = sqlite3_column_text(s, column);
  int bytes = sqlite3_column_bytes(s, column);
  return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(bytes)) : std::string();
}

}  // namespace

bool IsValidUtf8(const std::string& text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
      length = 2, code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      length = 3, code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      length = 4, code = c & 0x07;
    } else {
      return false;
    }
    if (n - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string PercentEncode(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
        c == '.' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

Json::Value ParamJson(const std::string& name, const std::string& value) {
  Json::Value pair(Json::arrayValue);
  if (IsValidUtf8(name) && IsValidUtf8(value)) {
    pair.append(name);
    pair.append(value);
  } else {
    pair.append(PercentEncode(name));
    pair.append(PercentEncode(value));
    pair.append(kPercentEncoded);
  }
  return pair;
}

bool ParamFromJson(const Json::Value& pair, std::string* name, std::string* value) {
  if (!pair.isArray() || pair.size() < 2 || pair.size() > 3 || !pair[0].isString() || !pair[1].isString()) {
    return false;
  }
  *name = pair[0].asString();
  *value = pair[1].asString();
  if (pair.size() == 3) {
    if (pair[2].asString() != kPercentEncoded) return false;
    *name = PercentDecode(*name);
    *value = PercentDecode(*value);
  }
  return true;
}

QueryParameters ParseQuery(const std::string& rawQuery) {
  QueryParameters params;
  size_t start = 0;
  while (start < rawQuery.size()) {
    size_t end = rawQuery.find('&', start);
    if (end == std::string::npos) end = rawQuery.size();
    std::string part = rawQuery.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    size_t eq = part.find('=');
    std::string name = PercentDecode(part.substr(0, eq));
    std::string value = eq == std::string::npos ? std::string() : PercentDecode(part.substr(eq + 1));
    params.emplace_back(std::move(name), std::move(value));
  }
  return params;
}

ServiceReportStore::~ServiceReportStore() {
  if (db_) sqlite3_close(db_);
}

bool ServiceReportStore::Open(const std::string& path, bool readOnly, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  int flags = readOnly ? SQLITE_OPEN_READONLY : (SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
  flags |= SQLITE_OPEN_FULLMUTEX;
  if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) {
    if (error) *error = "cannot open the report database " + path + ": " + (db_ ? sqlite3_errmsg(db_) : "");
    return false;
  }
  sqlite3_busy_timeout(db_, 5000);
  const char* schema =
      "CREATE TABLE IF NOT EXISTS reports ("
      " id INTEGER PRIMARY KEY AUTOINCREMENT,"
      " time INTEGER NOT NULL,"
      " endpoint TEXT NOT NULL,"
      " query TEXT NOT NULL,"
      " params TEXT NOT NULL)";
  const char* check = "SELECT id, time, endpoint, query, params FROM reports LIMIT 0";
  char* message = nullptr;
  if (sqlite3_exec(db_, readOnly ? check : schema, nullptr, nullptr, &message) != SQLITE_OK) {
    if (error) *error = "not a report database " + path + ": " + (message ? message : "");
    sqlite3_free(message);
    return false;
  }
  return true;
}

bool ServiceReportStore::Add(int64_t time, const std::string& endpoint, const std::string& rawQuery,
                             const QueryParameters& params, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!db_) return false;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_, "INSERT INTO reports (time, endpoint, query, params) VALUES (?, ?, ?, ?)", -1, &raw,
                         nullptr) != SQLITE_OK) {
    if (error) *error = sqlite3_errmsg(db_);
    return false;
  }
  Statement insert(raw);
  std::string json = ParamsToJson(params);
  sqlite3_bind_int64(raw, 1, time);
  sqlite3_bind_text(raw, 2, endpoint.data(), static_cast<int>(endpoint.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 3, rawQuery.data(), static_cast<int>(rawQuery.size()), SQLITE_TRANSIENT);
  sqlite3_bind_text(raw, 4, json.data(), static_cast<int>(json.size()), SQLITE_TRANSIENT);
  if (sqlite3_step(raw) != SQLITE_DONE) {
    if (error) *error = sqlite3_errmsg(db_);
    return false;
  }
  return true;
}

bool ServiceReportStore::ForEach(const std::function<void(const StoredReport&)>& visit, std::string* error) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!db_) return false;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db_, "SELECT id, time, endpoint, query, params FROM reports ORDER BY id", -1, &raw,
                         nullptr) != SQLITE_OK) {
    if (error) *error = sqlite3_errmsg(db_);
    return false;
  }
  Statement select(raw);
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
    StoredReport report;
    report.id = sqlite3_column_int64(raw, 0);
    report.time = sqlite3_column_int64(raw, 1);
    report.endpoint = Column(raw, 2);
    report.query = Column(raw, 3);
    report.params = ParamsFromJson(Column(raw, 4));
    visit(report);
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = sqlite3_errmsg(db_);
    return false;
  }
  return true;
}

}  // namespace rundix::server
