// The simulated event logs must hand out records exactly as Windows does, or the scan's
// buffer handling is never really exercised.
#include <gtest/gtest.h>

#include <vector>

#include "platform/EventLog.h"
#include "platform/Text.h"
#include "platform/sim/SimEventLog.h"
#include "platform/sim/SimMachine.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

constexpr DWORD kForwards = EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ;

std::unique_ptr<SimMachine> Load(const test::TempDir& dir, const std::string& json) {
  std::string error;
  auto machine = SimMachine::FromJson(json, dir.path(), &error);
  EXPECT_TRUE(machine) << error;
  return machine;
}

EventLogEntry Entry(WORD type, DWORD time, std::wstring source) {
  EventLogEntry e;
  e.eventType = type;
  e.timeGenerated = time;
  e.timeWritten = time;
  e.sourceName = std::move(source);
  return e;
}

// The records of one read, split by their Length fields.
std::vector<std::vector<BYTE>> Split(const std::vector<BYTE>& buffer, DWORD bytes) {
  std::vector<std::vector<BYTE>> out;
  DWORD at = 0;
  while (at + 4 <= bytes) {
    DWORD length = ReadLeDword(buffer.data() + at);
    if (length == 0 || at + length > bytes) break;
    out.emplace_back(buffer.begin() + at, buffer.begin() + at + length);
    at += length;
  }
  return out;
}

TEST(SimEventLogRecords, KeepWindowsByteLayout) {
  EventLogEntry e = Entry(EVENTLOG_ERROR_TYPE, 1709618829, L"Application Error");
  e.recordNumber = 7;
  e.eventId = 1000;
  e.timeWritten = 1709618830;
  e.computerName = L"PC";
  e.strings = {L"app.exe", L"故障"};
  e.data = {1, 2, 3};
  std::vector<BYTE> r = BuildEventLogRecord(e);
  namespace f = eventlog_record;
  ASSERT_EQ(r.size() % 4, 0u);
  EXPECT_EQ(ReadLeDword(&r[f::kLength]), r.size());
  EXPECT_EQ(ReadLeDword(&r[r.size() - 4]), r.size());  // Length again at the end
  EXPECT_EQ(ReadLeDword(&r[f::kReserved]), f::kSignature);
  EXPECT_EQ(ReadLeDword(&r[f::kRecordNumber]), 7u);
  EXPECT_EQ(ReadLeDword(&r[f::kTimeGenerated]), 1709618829u);
  EXPECT_EQ(ReadLeDword(&r[f::kTimeWritten]), 1709618830u);
  EXPECT_EQ(ReadLeDword(&r[f::kEventId]), 1000u);
  EXPECT_EQ(ReadLeWord(&r[f::kEventType]), EVENTLOG_ERROR_TYPE);
  EXPECT_EQ(ReadLeWord(&r[f::kNumStrings]), 2u);
  EXPECT_EQ(WideFromUtf16Le(&r[f::kHeaderBytes], r.size() - f::kHeaderBytes), L"Application Error");
  size_t computer = f::kHeaderBytes + 2 * (e.sourceName.size() + 1);
  EXPECT_EQ(WideFromUtf16Le(&r[computer], r.size() - computer), L"PC");
  DWORD strings = ReadLeDword(&r[f::kStringOffset]);
  EXPECT_EQ(strings % 4, 0u);  // strings follow the (empty) SID at a four-byte boundary
  EXPECT_EQ(WideFromUtf16Le(&r[strings], r.size() - strings), L"app.exe");
  EXPECT_EQ(WideFromUtf16Le(&r[strings + 16], r.size() - strings - 16), L"故障");
  DWORD data = ReadLeDword(&r[f::kDataOffset]);
  EXPECT_EQ(ReadLeDword(&r[f::kDataLength]), 3u);
  EXPECT_EQ(r[data], 1);
  EXPECT_EQ(r[data + 2], 3);
}

TEST(SimEventLogReads, OnlyWholeRecordsAndTheSizeOfTheNextWhenItDoesNotFit) {
  test::TempDir dir;
  auto m = Load(dir, "{}");
  SimEventLog& sim = m->SimEvents();
  sim.AddRecords(L"Application", {Entry(EVENTLOG_ERROR_TYPE, 1, L"a"), Entry(EVENTLOG_ERROR_TYPE, 2, L"bb"),
                                  Entry(EVENTLOG_ERROR_TYPE, 3, std::wstring(300, L'c'))});
  DWORD size1 = static_cast<DWORD>(BuildEventLogRecord(Entry(1, 1, L"a")).size());
  DWORD size2 = static_cast<DWORD>(BuildEventLogRecord(Entry(1, 2, L"bb")).size());
  DWORD size3 = static_cast<DWORD>(BuildEventLogRecord(Entry(1, 3, std::wstring(300, L'c'))).size());
  IEventLog& log = m->EventLog();
  EventLogHandle h = OpenEventLog(log, L"Application");
  ASSERT_TRUE(h);

  // Room for the first two and half the third: two whole records.
  std::vector<BYTE> buffer(size1 + size2 + size3 / 2, 0xEE);
  DWORD read = 99, needed = 99;
  ASSERT_TRUE(log.ReadEventLogW(h.get(), kForwards, 0, buffer.data(), static_cast<DWORD>(buffer.size()),
                                &read, &needed));
  EXPECT_EQ(read, size1 + size2);
  auto records = Split(buffer, read);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(ReadLeDword(&records[1][eventlog_record::kTimeGenerated]), 2u);

  // The third does not fit: nothing is read, and the call says how much it needs.
  EXPECT_FALSE(log.ReadEventLogW(h.get(), kForwards, 0, buffer.data(), size3 - 4, &read, &needed));
  EXPECT_EQ(log.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(needed, size3);
  // Asked again with that size, the same record comes: none is lost.
  buffer.assign(needed, 0);
  ASSERT_TRUE(log.ReadEventLogW(h.get(), kForwards, 0, buffer.data(), needed, &read, &needed));
  EXPECT_EQ(read, size3);
  EXPECT_EQ(ReadLeDword(&buffer[eventlog_record::kTimeGenerated]), 3u);

  EXPECT_FALSE(log.ReadEventLogW(h.get(), kForwards, 0, buffer.data(), needed, &read, &needed));
  EXPECT_EQ(log.GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
  EXPECT_EQ(read, 0u);
  h.reset();
  EXPECT_EQ(sim.OpenHandleCount(), 0u);
}

TEST(SimEventLogReads, DirectionsSeeksAndBadCallsFollowWindows) {
  test::TempDir dir;
  auto m = Load(dir, "{}");
  m->SimEvents().AddRecords(L"System", {Entry(1, 10, L"x"), Entry(2, 20, L"y"), Entry(4, 30, L"z")});
  IEventLog& log = m->EventLog();
  std::vector<BYTE> buffer(4096);
  DWORD read = 0, needed = 0;
  auto times = [&](HANDLE h, DWORD flags, DWORD offset, DWORD size) {
    std::vector<DWORD> out;
    if (!log.ReadEventLogW(h, flags, offset, buffer.data(), size, &read, &needed)) return out;
    for (const auto& r : Split(buffer, read)) out.push_back(ReadLeDword(&r[eventlog_record::kTimeGenerated]));
    return out;
  };

  EventLogHandle back = OpenEventLog(log, L"system");  // names ignore case
  ASSERT_TRUE(back);
  DWORD one = static_cast<DWORD>(BuildEventLogRecord(Entry(1, 10, L"x")).size());
  EXPECT_EQ(times(back.get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, one), (std::vector<DWORD>{30}));
  EXPECT_EQ(times(back.get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, 4096),
            (std::vector<DWORD>{20, 10}));
  EXPECT_EQ(times(back.get(), EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 2, 4096), (std::vector<DWORD>{20, 30}));

  // Flags must name one way of reading and one direction; buffers are bounded.
  for (DWORD flags : {0u, static_cast<DWORD>(EVENTLOG_SEQUENTIAL_READ), static_cast<DWORD>(EVENTLOG_FORWARDS_READ),
                      kForwards | EVENTLOG_BACKWARDS_READ, kForwards | EVENTLOG_SEEK_READ}) {
    EXPECT_FALSE(log.ReadEventLogW(back.get(), flags, 0, buffer.data(), 4096, &read, &needed)) << flags;
    EXPECT_EQ(log.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << flags;
  }
  std::vector<BYTE> huge(eventlog_record::kMaxReadBytes + 1);
  EXPECT_FALSE(log.ReadEventLogW(back.get(), kForwards, 0, huge.data(), static_cast<DWORD>(huge.size()), &read,
                                 &needed));
  EXPECT_EQ(log.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(log.ReadEventLogW(back.get(), EVENTLOG_SEEK_READ | EVENTLOG_FORWARDS_READ, 9, buffer.data(), 4096,
                                 &read, &needed));
  EXPECT_EQ(log.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

  // A zero-sized buffer asks for the size of the next record.
  EventLogHandle fresh = OpenEventLog(log, L"System");
  EXPECT_FALSE(log.ReadEventLogW(fresh.get(), kForwards, 0, nullptr, 0, &read, &needed));
  EXPECT_EQ(log.GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, one);

  HANDLE bogus = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x77));
  EXPECT_FALSE(log.ReadEventLogW(bogus, kForwards, 0, buffer.data(), 4096, &read, &needed));
  EXPECT_EQ(log.GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(log.CloseEventLog(bogus));
}

TEST(SimEventLogOpen, UnknownNamesOpenApplicationAndDeniedLogsFail) {
  test::TempDir dir;
  auto m = Load(dir, R"({"event_logs":{
      "Application":[{"type":"error","time":100,"source":"only"}],
      "Security":null}})");
  IEventLog& log = m->EventLog();
  std::vector<BYTE> buffer(4096);
  DWORD read = 0, needed = 0;
  EventLogHandle other = OpenEventLog(log, L"No Such Log");
  ASSERT_TRUE(other);
  ASSERT_TRUE(log.ReadEventLogW(other.get(), kForwards, 0, buffer.data(), 4096, &read, &needed));
  EXPECT_EQ(WideFromUtf16Le(&buffer[eventlog_record::kHeaderBytes], read - eventlog_record::kHeaderBytes), L"only");

  EXPECT_FALSE(OpenEventLog(log, L"Security"));
  EXPECT_EQ(log.GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(log.OpenEventLogW(L"\\\\server", L"System"), nullptr);
  EXPECT_EQ(log.OpenEventLogW(L"", L""), nullptr);
  EXPECT_EQ(log.GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SimEventLogDescription, RecordsRawBytesAndBadEntries) {
  test::TempDir dir;
  auto m = Load(dir, R"({"event_logs":{"System":[
      {"type":"warning","time":5,"source":"Disk","event_id":51,"strings":["\\Device\\Harddisk0"],
       "category":3,"computer":"HOST","data_hex":"0A 0B"},
      {"raw_hex":"08 00 00 00 4C 66 4C 65"},
      {"type":16,"time":6,"source":"Audit"}]}})");
  EXPECT_EQ(m->SimEvents().RecordCount(L"System"), 3u);
  IEventLog& log = m->EventLog();
  EventLogHandle h = OpenEventLog(log, L"System");
  std::vector<BYTE> buffer(4096);
  DWORD read = 0, needed = 0;
  ASSERT_TRUE(log.ReadEventLogW(h.get(), kForwards, 0, buffer.data(), 4096, &read, &needed));
  namespace f = eventlog_record;
  DWORD first = ReadLeDword(&buffer[0]);
  EXPECT_EQ(ReadLeWord(&buffer[f::kEventType]), EVENTLOG_WARNING_TYPE);
  EXPECT_EQ(ReadLeDword(&buffer[f::kEventId]), 51u);
  EXPECT_EQ(ReadLeWord(&buffer[f::kEventCategory]), 3u);
  EXPECT_EQ(ReadLeDword(&buffer[f::kRecordNumber]), 1u);
  // The raw bytes come as they stand, right after the first record.
  EXPECT_EQ(ReadLeDword(&buffer[first]), 8u);
  EXPECT_EQ(ReadLeDword(&buffer[first + 4]), f::kSignature);
  EXPECT_EQ(ReadLeWord(&buffer[first + 8 + f::kEventType]), EVENTLOG_AUDIT_FAILURE);
  EXPECT_EQ(ReadLeDword(&buffer[first + 8 + f::kRecordNumber]), 2u);

  const char* bad[] = {
      R"({"event_logs":[]})",
      R"({"event_logs":{"System":{}}})",
      R"({"event_logs":{"System":[{"type":"fatal"}]}})",
      R"({"event_logs":{"System":[{"time":-1}]}})",
      R"({"event_logs":{"System":[{"time":4294967296}]}})",
      R"({"event_logs":{"System":[{"source":7}]}})",
      R"({"event_logs":{"System":[{"strings":"one"}]}})",
      R"({"event_logs":{"System":[{"raw_hex":"0G"}]}})",
      R"({"event_logs":{"System":[3]}})",
  };
  for (const char* json : bad) {
    std::string error;
    EXPECT_EQ(SimMachine::FromJson(json, dir.path(), &error), nullptr) << json;
    EXPECT_FALSE(error.empty()) << json;
  }
}

}  // namespace
}  // namespace rundix
