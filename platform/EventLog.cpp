#include "platform/EventLog.h"

#include "platform/Text.h"

namespace rundix {

namespace {

void PutDword(std::vector<BYTE>& out, size_t at, DWORD value) {
  out[at] = static_cast<BYTE>(value & 0xFF);
  out[at + 1] = static_cast<BYTE>((value >> 8) & 0xFF);
  out[at + 2] = static_cast<BYTE>((value >> 16) & 0xFF);
  out[at + 3] = static_cast<BYTE>(value >> 24);
}

void PutWord(std::vector<BYTE>& out, size_t at, WORD value) {
  out[at] = static_cast<BYTE>(value & 0xFF);
  out[at + 1] = static_cast<BYTE>(value >> 8);
}

void AppendString(std::vector<BYTE>& out, const std::wstring& text) {
  std::vector<uint8_t> bytes = Utf16LeFromWide(text);
  out.insert(out.end(), bytes.begin(), bytes.end());
  out.push_back(0);
  out.push_back(0);
}

void PadToDword(std::vector<BYTE>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

}  // namespace

EventLogHandle OpenEventLog(IEventLog& log, const std::wstring& logName) {
  return EventLogHandle(log.OpenEventLogW(std::wstring(), logName), EventLogCloser{&log});
}

std::vector<BYTE> BuildEventLogRecord(const EventLogEntry& entry) {
  namespace r = eventlog_record;
  std::vector<BYTE> out(r::kHeaderBytes, 0);
  AppendString(out, entry.sourceName);
  AppendString(out, entry.computerName);
  // No user SID; its offset still points where one would start, as Windows writes it.
  PadToDword(out);
  DWORD sidOffset = static_cast<DWORD>(out.size());
  DWORD stringOffset = static_cast<DWORD>(out.size());
  for (const auto& s : entry.strings) AppendString(out, s);
  DWORD dataOffset = static_cast<DWORD>(out.size());
  out.insert(out.end(), entry.data.begin(), entry.data.end());
  PadToDword(out);
  out.resize(out.size() + 4, 0);
  DWORD length = static_cast<DWORD>(out.size());

  PutDword(out, r::kLength, length);
  PutDword(out, r::kReserved, r::kSignature);
  PutDword(out, r::kRecordNumber, entry.recordNumber);
  PutDword(out, r::kTimeGenerated, entry.timeGenerated);
  PutDword(out, r::kTimeWritten, entry.timeWritten);
  PutDword(out, r::kEventId, entry.eventId);
  PutWord(out, r::kEventType, entry.eventType);
  PutWord(out, r::kNumStrings, static_cast<WORD>(entry.strings.size()));
  PutWord(out, r::kEventCategory, entry.eventCategory);
  PutDword(out, r::kClosingRecordNumber, 0);
  PutDword(out, r::kStringOffset, stringOffset);
  PutDword(out, r::kUserSidLength, 0);
  PutDword(out, r::kUserSidOffset, sidOffset);
  PutDword(out, r::kDataLength, static_cast<DWORD>(entry.data.size()));
  PutDword(out, r::kDataOffset, dataOffset);
  PutDword(out, length - 4, length);
  return out;
}

}  // namespace rundix
