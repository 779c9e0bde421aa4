// The classic event-log API: open a log, read EVENTLOGRECORD buffers, close it. Buffers keep
// Windows' byte layout on both builds (little-endian, UTF-16LE strings, records padded to four
// bytes with their Length at the start and again at the end), and reads follow Windows'
// rules: only whole records, ERROR_INSUFFICIENT_BUFFER with the size of the next record when
// it does not fit, ERROR_HANDLE_EOF past the last one.
#pragma once

#include <string>
#include <vector>

#include "platform/UniqueHandle.h"
#include "platform/Win32Types.h"

#ifndef EVENTLOG_SEQUENTIAL_READ
#define EVENTLOG_SEQUENTIAL_READ 0x0001
#define EVENTLOG_SEEK_READ 0x0002
#define EVENTLOG_FORWARDS_READ 0x0004
#define EVENTLOG_BACKWARDS_READ 0x0008
#endif
#ifndef EVENTLOG_ERROR_TYPE
#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010
#endif

namespace rundix {

// Byte offsets of the EVENTLOGRECORD fields.
namespace eventlog_record {
inline constexpr DWORD kLength = 0;
inline constexpr DWORD kReserved = 4;  // the signature "LfLe"
inline constexpr DWORD kRecordNumber = 8;
inline constexpr DWORD kTimeGenerated = 12;
inline constexpr DWORD kTimeWritten = 16;
inline constexpr DWORD kEventId = 20;
inline constexpr DWORD kEventType = 24;  // 16 bits
inline constexpr DWORD kNumStrings = 26;  // 16 bits
inline constexpr DWORD kEventCategory = 28;  // 16 bits
inline constexpr DWORD kClosingRecordNumber = 32;
inline constexpr DWORD kStringOffset = 36;
inline constexpr DWORD kUserSidLength = 40;
inline constexpr DWORD kUserSidOffset = 44;
inline constexpr DWORD kDataLength = 48;
inline constexpr DWORD kDataOffset = 52;
inline constexpr DWORD kHeaderBytes = 56;  // the source name starts here
inline constexpr DWORD kSignature = 0x654C664C;
// The largest buffer ReadEventLogW accepts.
inline constexpr DWORD kMaxReadBytes = 0x7FFFF;
}  // namespace eventlog_record

class IEventLog {
 public:
  virtual ~IEventLog() = default;

  // Error code of the calling thread's last failed call (GetLastError).
  virtual DWORD GetLastError() = 0;
  // An empty server name is the local computer. Null on failure.
  virtual HANDLE OpenEventLogW(const std::wstring& server, const std::wstring& logName) = 0;
  // `offset` is the record number to start from for EVENTLOG_SEEK_READ and ignored otherwise.
  // On failure *bytesRead is 0; with ERROR_INSUFFICIENT_BUFFER *bytesNeeded is the size of
  // the next record.
  virtual BOOL ReadEventLogW(HANDLE log, DWORD flags, DWORD offset, void* buffer, DWORD bufferBytes,
                             DWORD* bytesRead, DWORD* bytesNeeded) = 0;
  virtual BOOL CloseEventLog(HANDLE log) = 0;
};

struct EventLogCloser {
  IEventLog* log = nullptr;
  bool operator()(HANDLE h) const { return log->CloseEventLog(h) != FALSE; }
};
using EventLogHandle = UniqueHandle<HANDLE, EventLogCloser>;

// Opens a log into an owner that closes it on every path; an invalid holder when it fails.
EventLogHandle OpenEventLog(IEventLog& log, const std::wstring& logName);

// The parts of one event a record is made of.
struct EventLogEntry {
  DWORD recordNumber = 0;
  DWORD timeGenerated = 0;
  DWORD timeWritten = 0;
  DWORD eventId = 0;
  WORD eventType = EVENTLOG_INFORMATION_TYPE;
  WORD eventCategory = 0;
  std::wstring sourceName;
  std::wstring computerName;
  std::vector<std::wstring> strings;
  std::vector<BYTE> data;
};

// One record in Windows' byte layout: the fixed header, the source and computer names, the
// insertion strings, the data, padding to four bytes and the Length again.
std::vector<BYTE> BuildEventLogRecord(const EventLogEntry& entry);

// Little-endian fields of a raw buffer; the caller keeps `offset` inside it.
inline DWORD ReadLeDword(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
         (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}
inline WORD ReadLeWord(const BYTE* p) {
  return static_cast<WORD>(p[0] | (p[1] << 8));
}

}  // namespace rundix
