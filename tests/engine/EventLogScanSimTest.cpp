// The event-log scan over simulated logs: which records count, what a finding says, and how
// the scan copes with records larger than its buffer and with damaged buffers.
#include <gtest/gtest.h>

#include "engine/EventLogScan.h"
#include "platform/sim/SimEventLog.h"
#include "platform/sim/SimMachine.h"
#include "tests/engine/ScanTestSupport.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

using test::Texts;

class EventLogScanSim : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    // 2024-03-05 14:07:09 at UTC+8 is 06:07:09 UTC.
    machine_ = SimMachine::FromJson(R"({"time_zone_minutes":480})", dir_.path(), &error);
    ASSERT_TRUE(machine_) << error;
  }

  static EventLogEntry Event(WORD type, DWORD time, std::wstring source) {
    EventLogEntry e;
    e.eventType = type;
    e.timeGenerated = time;
    e.timeWritten = time;
    e.sourceName = std::move(source);
    e.computerName = L"PC";
    return e;
  }

  std::vector<PendingFinding> Scan(const std::wstring& logName, int32_t lastRepairTime = 0) {
    test::ScanHarness harness(*machine_, lastRepairTime);
    EventLogScan(harness.context, logName, harness.panel, harness.category);
    auto findings = harness.Drain();
    for (const auto& f : findings) {
      EXPECT_EQ(f.kind, kEventLogFinding);
      EXPECT_EQ(f.panel, harness.panel);
      EXPECT_EQ(f.category, harness.category);
      EXPECT_TRUE(f.text4.empty());
    }
    EXPECT_EQ(machine_->SimEvents().OpenHandleCount(), 0u);
    return findings;
  }

  SimEventLog& Logs() { return machine_->SimEvents(); }

  test::TempDir dir_;
  std::unique_ptr<SimMachine> machine_;
};

constexpr DWORD k20240305 = 1709618829;  // 2024-03-05 06:07:09 UTC

TEST_F(EventLogScanSim, EveryErrorEventBecomesAFindingWithItsLocalTime) {
  Logs().AddRecords(L"Application", {Event(EVENTLOG_ERROR_TYPE, k20240305, L"Application Error"),
                                     Event(EVENTLOG_WARNING_TYPE, k20240305, L"warning"),
                                     Event(EVENTLOG_INFORMATION_TYPE, k20240305, L"information"),
                                     Event(EVENTLOG_AUDIT_SUCCESS, k20240305, L"audit"),
                                     Event(EVENTLOG_AUDIT_FAILURE, k20240305, L"audit failure"),
                                     Event(EVENTLOG_SUCCESS, k20240305, L"success"),
                                     Event(EVENTLOG_ERROR_TYPE, 0, L"应用程序错误")});
  Logs().AddRecords(L"System", {Event(EVENTLOG_ERROR_TYPE, k20240305 + 60, L"disk")});

  auto app = Scan(L"Application");
  ASSERT_EQ(app.size(), 2u);
  EXPECT_EQ(app[0].text1, L"Application Error");
  EXPECT_EQ(app[0].text3, L"2024-03-05 14:07:09\n");
  EXPECT_EQ(app[0].text2, L"最近一次崩溃时间: 2024-03-05 14:07:09\n");
  EXPECT_EQ(app[1].text1, L"应用程序错误");
  EXPECT_EQ(app[1].text3, L"1970-01-01 08:00:00\n");

  auto system = Scan(L"System");
  ASSERT_EQ(system.size(), 1u);
  EXPECT_EQ(system[0].text3, L"2024-03-05 14:08:09\n");
}

TEST_F(EventLogScanSim, TheRepairTimeItselfCountsAndASecondBeforeDoesNot) {
  const DWORD t = k20240305;
  Logs().AddRecords(L"Application", {Event(1, t - 1, L"before"), Event(1, t, L"at"), Event(1, t - 3600, L"old"),
                                     Event(1, t + 1, L"after"),
                                     // Past 2038 the time is only larger when read unsigned.
                                     Event(1, 0x90000000u, L"far")});
  EXPECT_EQ(Texts(Scan(L"Application", static_cast<int32_t>(t)), 1),
            (std::vector<std::wstring>{L"at", L"after", L"far"}));
  EXPECT_EQ(Scan(L"Application", 0).size(), 5u);
}

TEST_F(EventLogScanSim, ThreeEventsOfOneSourceGiveThreeFindings) {
  Logs().AddRecords(L"Application", {Event(1, k20240305, L"Crashy"), Event(1, k20240305 + 1, L"Crashy"),
                                     Event(1, k20240305 + 2, L"Crashy")});
  auto findings = Scan(L"Application");
  EXPECT_EQ(Texts(findings, 1), (std::vector<std::wstring>(3, L"Crashy")));
  EXPECT_EQ(findings[2].text3, L"2024-03-05 14:07:11\n");
}

TEST_F(EventLogScanSim, ARecordLargerThanTheBufferIsReadAfterGrowingIt) {
  // Enough small records to fill most of the first 64 KiB read, then one of about 100 KiB.
  std::vector<EventLogEntry> records;
  for (int i = 0; i < 500; ++i) records.push_back(Event(1, k20240305, L"small" + std::to_wstring(i)));
  EventLogEntry big = Event(1, k20240305, L"big");
  big.data.assign(100000, 0xAB);
  records.push_back(big);
  records.push_back(Event(1, k20240305, L"after big"));
  for (int i = 0; i < 500; ++i) records.push_back(Event(1, k20240305, L"tail" + std::to_wstring(i)));
  Logs().AddRecords(L"Application", records);

  auto texts = Texts(Scan(L"Application"), 1);
  ASSERT_EQ(texts.size(), records.size());
  for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(texts[i], records[i].sourceName) << i;
}

TEST_F(EventLogScanSim, ALogThatCannotBeOpenedGivesNothing) {
  Logs().AddRecords(L"System", {Event(1, k20240305, L"hidden")});
  Logs().SetOpenable(L"System", false);
  EXPECT_TRUE(Scan(L"System").empty());
}

// Damaged buffers: the walk stops at the first record it cannot trust, keeps what came
// before it, and the scan goes on with the next read.
TEST_F(EventLogScanSim, DamagedRecordsEndTheWalkOfTheirBufferSafely) {
  auto raw = [](DWORD length, size_t bytes) {
    std::vector<BYTE> r = BuildEventLogRecord(Event(1, k20240305, L"damaged"));
    r.resize(bytes, 0);
    r[0] = static_cast<BYTE>(length & 0xFF);
    r[1] = static_cast<BYTE>((length >> 8) & 0xFF);
    r[2] = static_cast<BYTE>((length >> 16) & 0xFF);
    r[3] = static_cast<BYTE>(length >> 24);
    return r;
  };
  struct Case {
    const char* what;
    std::vector<BYTE> bytes;
  };
  std::vector<Case> cases = {
      {"a zero Length", raw(0, 64)},
      {"a Length inside the header", raw(8, 64)},
      {"a Length that is no multiple of four", raw(66, 68)},
      {"a Length past the bytes read", raw(4096, 64)},
      {"a Length past the end of a huge claim", raw(0xFFFFFFFCu, 64)},
      {"a tail shorter than a header", std::vector<BYTE>(12, 0x41)},
  };
  EventLogEntry big = Event(1, k20240305, L"later read");
  big.data.assign(70000, 0);  // cannot share the first read
  for (const auto& c : cases) {
    Logs().ClearLog(L"Application");
    Logs().AddRecords(L"Application", {Event(1, k20240305, L"first")});
    Logs().AddRawRecord(L"Application", c.bytes);
    Logs().AddRecords(L"Application", {Event(1, k20240305, L"lost with the damaged buffer"), big});
    EXPECT_EQ(Texts(Scan(L"Application"), 1), (std::vector<std::wstring>{L"first", L"later read"})) << c.what;
  }
}

TEST_F(EventLogScanSim, ASourceNameIsNeverReadPastItsRecord) {
  // A 64-byte record whose name has no terminator: the name stops at the record's end, and
  // the next record is read as its own.
  std::vector<BYTE> r(64, 0);
  r[0] = 64;
  r[eventlog_record::kEventType] = EVENTLOG_ERROR_TYPE;
  r[eventlog_record::kTimeGenerated] = 1;
  for (size_t i = eventlog_record::kHeaderBytes; i < 64; i += 2) r[i] = 'N';
  Logs().AddRawRecord(L"Application", r);
  Logs().AddRecords(L"Application", {Event(1, 2, L"next")});
  EXPECT_EQ(Texts(Scan(L"Application"), 1), (std::vector<std::wstring>{L"NNNN", L"next"}));
}

}  // namespace
}  // namespace rundix
