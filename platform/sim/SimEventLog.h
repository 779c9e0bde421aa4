// The simulated event logs: each log's records as Windows would hand them out, built from the
// description's "event_logs" or supplied by tests in bulk, read with ReadEventLogW's rules.
#pragma once

#include <json/value.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/EventLog.h"

namespace rundix {

class SimEventLog final : public IEventLog {
 public:
  SimEventLog();
  ~SimEventLog() override;

  // The description's "event_logs" object: log name -> array of records, or null for a log
  // that cannot be opened.
  bool Load(const Json::Value& eventLogs, std::string* error);

  DWORD GetLastError() override;
  HANDLE OpenEventLogW(const std::wstring& server, const std::wstring& logName) override;
  BOOL ReadEventLogW(HANDLE log, DWORD flags, DWORD offset, void* buffer, DWORD bufferBytes,
                     DWORD* bytesRead, DWORD* bytesNeeded) override;
  BOOL CloseEventLog(HANDLE log) override;

  // For tests and benchmarks. Records are appended after the log's last one; an entry whose
  // record number is 0 gets the next number of the log.
  void AddRecords(const std::wstring& logName, const std::vector<EventLogEntry>& entries);
  // Bytes that one read hands out exactly as they stand, taking the place of one record
  // (Length field and all): a damaged log.
  void AddRawRecord(const std::wstring& logName, std::vector<BYTE> bytes);
  void ClearLog(const std::wstring& logName);
  // A log that OpenEventLogW refuses (ERROR_ACCESS_DENIED), or allows again.
  void SetOpenable(const std::wstring& logName, bool openable);
  // While held, OpenEventLogW waits: a test keeps a scan in its first stage as long as it
  // needs (a slow machine).
  void HoldOpens();
  void ReleaseOpens();
  size_t RecordCount(const std::wstring& logName) const;
  size_t OpenHandleCount() const;

 private:
  struct Log;
  struct OpenLog;
  Log& LogNamed(const std::wstring& name);  // made when missing; caller holds the lock
  const Log* FindLog(const std::wstring& name) const;
  void AppendUnit(Log& log, const BYTE* bytes, size_t size, DWORD recordNumber);

  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
  std::map<std::wstring, std::unique_ptr<Log>> logs_;  // by lower-case name
  std::map<uintptr_t, OpenLog> open_;
  uintptr_t nextHandle_ = 0x3000;
};

}  // namespace rundix
