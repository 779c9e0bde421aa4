#include "platform/sim/SimEventLog.h"

#include <cstring>

#include "platform/Text.h"
#include "platform/sim/SimMachine.h"

namespace rundix {

namespace {

constexpr DWORD kRpcServerUnavailable = 1722;  // RPC_S_SERVER_UNAVAILABLE

bool EventTypeFromJson(const Json::Value& v, WORD* type) {
  if (v.isNull()) {
    *type = EVENTLOG_INFORMATION_TYPE;
    return true;
  }
  if (v.isIntegral()) {
    if (v.asInt64() < 0 || v.asInt64() > 0xFFFF) return false;
    *type = static_cast<WORD>(v.asInt());
    return true;
  }
  if (!v.isString()) return false;
  static const struct {
    const char* name;
    WORD type;
  } kTypes[] = {{"error", EVENTLOG_ERROR_TYPE},
                {"warning", EVENTLOG_WARNING_TYPE},
                {"information", EVENTLOG_INFORMATION_TYPE},
                {"audit_success", EVENTLOG_AUDIT_SUCCESS},
                {"audit_failure", EVENTLOG_AUDIT_FAILURE},
                {"success", EVENTLOG_SUCCESS}};
  for (const auto& t : kTypes) {
    if (v.asString() == t.name) {
      *type = t.type;
      return true;
    }
  }
  return false;
}

bool DwordFromJson(const Json::Value& v, DWORD fallback, DWORD* out) {
  if (v.isNull()) {
    *out = fallback;
    return true;
  }
  if (!v.isIntegral() || v.asInt64() < 0 || v.asInt64() > 0xFFFFFFFFLL) return false;
  *out = static_cast<DWORD>(v.asUInt64());
  return true;
}

// One record of the description; `where` names it in error messages.
bool EntryFromJson(const Json::Value& r, const std::string& where, EventLogEntry* entry,
                   std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = where + ": " + what;
    return false;
  };
  if (!r.isObject()) return fail("each record must be an object");
  if (!EventTypeFromJson(r["type"], &entry->eventType)) {
    return fail("\"type\" must be error, warning, information, audit_success, audit_failure or a number");
  }
  if (!DwordFromJson(r["time"], 0, &entry->timeGenerated)) return fail("\"time\" must be seconds since 1970");
  if (!DwordFromJson(r["time_written"], entry->timeGenerated, &entry->timeWritten)) {
    return fail("\"time_written\" must be seconds since 1970");
  }
  if (!DwordFromJson(r["event_id"], 0, &entry->eventId)) return fail("\"event_id\" must be a number");
  DWORD category = 0;
  if (!DwordFromJson(r["category"], 0, &category) || category > 0xFFFF) {
    return fail("\"category\" must be a 16-bit number");
  }
  entry->eventCategory = static_cast<WORD>(category);
  if (!r["source"].isNull() && !r["source"].isString()) return fail("\"source\" must be a string");
  entry->sourceName = WideFromUtf8(r.get("source", "").asString());
  if (!r["computer"].isNull() && !r["computer"].isString()) return fail("\"computer\" must be a string");
  entry->computerName = WideFromUtf8(r.get("computer", "RUNDIX-PC").asString());
  const Json::Value& strings = r["strings"];
  if (!strings.isNull() && !strings.isArray()) return fail("\"strings\" must be an array of strings");
  for (const auto& s : strings) {
    if (!s.isString()) return fail("\"strings\" must be an array of strings");
    entry->strings.push_back(WideFromUtf8(s.asString()));
  }
  if (r.isMember("data_hex") && !ParseHexBytes(r["data_hex"].asString(), &entry->data)) {
    return fail("\"data_hex\" is not hexadecimal bytes");
  }
  return true;
}

}  // namespace

// All records of one log back to back, as a read copies them out; unit i spans
// starts[i] .. starts[i + 1] (the last one to the end of the bytes).
struct SimEventLog::Log {
  bool openable = true;
  std::vector<BYTE> bytes;
  std::vector<size_t> starts;
  std::vector<DWORD> numbers;  // record number of each unit (0 for raw bytes)
  DWORD nextNumber = 1;

  size_t Count() const { return starts.size(); }
  size_t Start(size_t i) const { return starts[i]; }
  size_t Size(size_t i) const { return (i + 1 < starts.size() ? starts[i + 1] : bytes.size()) - starts[i]; }
};

// A handle's place in its log: units [0, cursor) lie behind a forward reader, and a backward
// reader goes on with cursor - 1.
struct SimEventLog::OpenLog {
  Log* log = nullptr;
  bool started = false;
  size_t cursor = 0;
};

SimEventLog::SimEventLog() {
  // Every Windows installation has these two.
  logs_[L"application"] = std::make_unique<Log>();
  logs_[L"system"] = std::make_unique<Log>();
}

SimEventLog::~SimEventLog() = default;

bool SimEventLog::Load(const Json::Value& eventLogs, std::string* error) {
  if (eventLogs.isNull()) return true;
  if (!eventLogs.isObject()) {
    if (error) *error = "\"event_logs\" must be an object of log names";
    return false;
  }
  for (const auto& name : eventLogs.getMemberNames()) {
    std::wstring logName = WideFromUtf8(name);
    const Json::Value& records = eventLogs[name];
    if (records.isNull()) {
      SetOpenable(logName, false);
      continue;
    }
    if (!records.isArray()) {
      if (error) *error = "event log \"" + name + "\" must be an array of records or null";
      return false;
    }
    std::vector<EventLogEntry> entries;
    for (Json::ArrayIndex i = 0; i < records.size(); ++i) {
      std::string where = "event log \"" + name + "\" record " + std::to_string(i);
      const Json::Value& r = records[i];
      if (r.isObject() && r.isMember("raw_hex")) {
        AddRecords(logName, entries);
        entries.clear();
        std::vector<BYTE> raw;
        if (!r["raw_hex"].isString() || !ParseHexBytes(r["raw_hex"].asString(), &raw)) {
          if (error) *error = where + ": \"raw_hex\" is not hexadecimal bytes";
          return false;
        }
        AddRawRecord(logName, std::move(raw));
        continue;
      }
      EventLogEntry entry;
      if (!EntryFromJson(r, where, &entry, error)) return false;
      entries.push_back(std::move(entry));
    }
    AddRecords(logName, entries);
  }
  return true;
}

DWORD SimEventLog::GetLastError() { return SimLastError(); }

SimEventLog::Log& SimEventLog::LogNamed(const std::wstring& name) {
  auto& slot = logs_[ToLowerWide(name)];
  if (!slot) slot = std::make_unique<Log>();
  return *slot;
}

const SimEventLog::Log* SimEventLog::FindLog(const std::wstring& name) const {
  auto it = logs_.find(ToLowerWide(name));
  return it == logs_.end() ? nullptr : it->second.get();
}

void SimEventLog::AppendUnit(Log& log, const BYTE* bytes, size_t size, DWORD recordNumber) {
  log.starts.push_back(log.bytes.size());
  log.numbers.push_back(recordNumber);
  log.bytes.insert(log.bytes.end(), bytes, bytes + size);
}

void SimEventLog::HoldOpens() {
  std::lock_guard<std::mutex> lock(mutex_);
  held_ = true;
}

void SimEventLog::ReleaseOpens() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = false;
  }
  released_.notify_all();
}

HANDLE SimEventLog::OpenEventLogW(const std::wstring& server, const std::wstring& logName) {
  if (!server.empty()) {
    SimLastError() = kRpcServerUnavailable;
    return nullptr;
  }
  if (logName.empty()) {
    SimLastError() = ERROR_INVALID_PARAMETER;
    return nullptr;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  released_.wait(lock, [this] { return !held_; });
  // Windows opens the Application log for a name it does not know.
  auto found = logs_.find(ToLowerWide(logName));
  Log* log = found != logs_.end() ? found->second.get() : &LogNamed(L"Application");
  if (!log->openable) {
    SimLastError() = ERROR_ACCESS_DENIED;
    return nullptr;
  }
  uintptr_t handle = nextHandle_;
  nextHandle_ += 4;
  open_[handle] = OpenLog{log, false, 0};
  SimLastError() = ERROR_SUCCESS;
  return reinterpret_cast<HANDLE>(handle);
}

BOOL SimEventLog::ReadEventLogW(HANDLE handle, DWORD flags, DWORD offset, void* buffer,
                                DWORD bufferBytes, DWORD* bytesRead, DWORD* bytesNeeded) {
  if (bytesRead) *bytesRead = 0;
  if (bytesNeeded) *bytesNeeded = 0;
  auto fail = [](DWORD error) {
    SimLastError() = error;
    return FALSE;
  };
  bool sequential = (flags & EVENTLOG_SEQUENTIAL_READ) != 0;
  bool seek = (flags & EVENTLOG_SEEK_READ) != 0;
  bool forwards = (flags & EVENTLOG_FORWARDS_READ) != 0;
  bool backwards = (flags & EVENTLOG_BACKWARDS_READ) != 0;
  if (sequential == seek || forwards == backwards) return fail(ERROR_INVALID_PARAMETER);
  if (bufferBytes > eventlog_record::kMaxReadBytes || (buffer == nullptr && bufferBytes != 0)) {
    return fail(ERROR_INVALID_PARAMETER);
  }

  std::lock_guard<std::mutex> lock(mutex_);
  auto it = open_.find(reinterpret_cast<uintptr_t>(handle));
  if (it == open_.end()) return fail(ERROR_INVALID_HANDLE);
  OpenLog& open = it->second;
  const Log& log = *open.log;
  if (open.cursor > log.Count()) open.cursor = log.Count();  // the log was cleared meanwhile

  // The first unit this read hands out.
  size_t first = 0;
  if (seek) {
    size_t found = log.Count();
    for (size_t i = 0; i < log.Count(); ++i) {
      if (log.numbers[i] == offset && offset != 0) {
        found = i;
        break;
      }
    }
    if (found == log.Count()) return fail(ERROR_INVALID_PARAMETER);
    first = found;
  } else if (forwards) {
    if (!open.started) open.cursor = 0;
    if (open.cursor >= log.Count()) return fail(ERROR_HANDLE_EOF);
    first = open.cursor;
  } else {
    if (!open.started) open.cursor = log.Count();
    if (open.cursor == 0) return fail(ERROR_HANDLE_EOF);
    first = open.cursor - 1;
  }
  open.started = true;

  // Only whole records: the first one must fit, and as many as fit follow it.
  if (log.Size(first) > bufferBytes) {
    if (bytesNeeded) *bytesNeeded = static_cast<DWORD>(log.Size(first));
    return fail(ERROR_INSUFFICIENT_BUFFER);
  }
  BYTE* out = static_cast<BYTE*>(buffer);
  size_t used = 0;
  if (forwards) {
    size_t last = first;  // one past the last unit that fits
    while (last < log.Count() && used + log.Size(last) <= bufferBytes) used += log.Size(last++);
    std::memcpy(out, log.bytes.data() + log.Start(first), used);
    open.cursor = last;
  } else {
    size_t next = first + 1;  // the unit below which the next one is read
    while (next > 0 && used + log.Size(next - 1) <= bufferBytes) {
      std::memcpy(out + used, log.bytes.data() + log.Start(next - 1), log.Size(next - 1));
      used += log.Size(next - 1);
      --next;
    }
    open.cursor = next;
  }
  if (bytesRead) *bytesRead = static_cast<DWORD>(used);
  SimLastError() = ERROR_SUCCESS;
  return TRUE;
}

BOOL SimEventLog::CloseEventLog(HANDLE handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (open_.erase(reinterpret_cast<uintptr_t>(handle)) == 0) {
    SimLastError() = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  return TRUE;
}

void SimEventLog::AddRecords(const std::wstring& logName, const std::vector<EventLogEntry>& entries) {
  if (entries.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  Log& log = LogNamed(logName);
  std::vector<BYTE> record;
  for (const auto& e : entries) {
    EventLogEntry numbered = e;
    if (numbered.recordNumber == 0) numbered.recordNumber = log.nextNumber;
    log.nextNumber = numbered.recordNumber + 1;
    record = BuildEventLogRecord(numbered);
    AppendUnit(log, record.data(), record.size(), numbered.recordNumber);
  }
}

void SimEventLog::AddRawRecord(const std::wstring& logName, std::vector<BYTE> bytes) {
  if (bytes.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  AppendUnit(LogNamed(logName), bytes.data(), bytes.size(), 0);
}

void SimEventLog::ClearLog(const std::wstring& logName) {
  std::lock_guard<std::mutex> lock(mutex_);
  Log& log = LogNamed(logName);
  log.bytes.clear();
  log.starts.clear();
  log.numbers.clear();
}

void SimEventLog::SetOpenable(const std::wstring& logName, bool openable) {
  std::lock_guard<std::mutex> lock(mutex_);
  LogNamed(logName).openable = openable;
}

size_t SimEventLog::RecordCount(const std::wstring& logName) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const Log* log = FindLog(logName);
  return log ? log->Count() : 0;
}

size_t SimEventLog::OpenHandleCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_.size();
}

std::unique_ptr<IEventLog> CreateSimEventLog(SimMachine& machine, std::string* error) {
  auto log = std::make_unique<SimEventLog>();
  if (!log->Load(machine.Description()["event_logs"], error)) return nullptr;
  return log;
}

SimEventLog& SimMachine::SimEvents() { return static_cast<SimEventLog&>(EventLog()); }

}  // namespace rundix
