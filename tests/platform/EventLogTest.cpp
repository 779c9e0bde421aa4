// The event-log calls against the simulated machine on Linux and the real API under Wine (whose
// logs are empty): open, read forwards to the end, close.
#include <gtest/gtest.h>

#include <vector>

#include "platform/EventLog.h"
#include "tests/support/TestMachine.h"

namespace rundix {
namespace {

TEST(EventLog, ReadsTheApplicationLogForwardsToItsEnd) {
  auto host = test::MakeTestMachine();
  IEventLog& log = host->machine().EventLog();
  EventLogHandle h = OpenEventLog(log, L"Application");
  ASSERT_TRUE(h) << "error " << log.GetLastError();

  std::vector<BYTE> buffer(65536);
  DWORD error = ERROR_SUCCESS;
  for (int reads = 0; reads < 100000; ++reads) {
    DWORD read = 0, needed = 0;
    if (!log.ReadEventLogW(h.get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                           static_cast<DWORD>(buffer.size()), &read, &needed)) {
      error = log.GetLastError();
      if (error == ERROR_INSUFFICIENT_BUFFER && needed > buffer.size()) {
        buffer.resize(needed);
        continue;
      }
      break;
    }
    // Whatever a read hands out is whole records, each framed by its Length.
    ASSERT_LE(read, buffer.size());
    DWORD at = 0;
    while (at < read) {
      ASSERT_LE(at + eventlog_record::kHeaderBytes, read);
      DWORD length = ReadLeDword(&buffer[at]);
      ASSERT_GE(length, eventlog_record::kHeaderBytes);
      ASSERT_LE(at + length, read);
      EXPECT_EQ(ReadLeDword(&buffer[at + length - 4]), length);
      at += length;
    }
  }
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_HANDLE_EOF));
  EXPECT_TRUE(h.reset());
}

}  // namespace
}  // namespace rundix
