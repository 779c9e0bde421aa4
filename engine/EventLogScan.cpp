#include "engine/EventLogScan.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "platform/Text.h"

namespace rundix {

namespace {

constexpr DWORD kInitialBufferBytes = 65536;
constexpr size_t kTimeTextChars = 64;
constexpr wchar_t kTimeFormat[] = L"%Y-%m-%d %H:%M:%S\n";
constexpr wchar_t kCrashTimePrefix[] = L"最近一次崩溃时间: ";

// Turns the records of one read into findings. Each record's Length is checked before it is
// trusted: one that is shorter than the fixed header, not a multiple of four or running past
// the bytes read ends the walk of this buffer, so a damaged log can neither loop nor lead the
// walk outside the buffer.
class RecordWalker {
 public:
  RecordWalker(const ScanContext& context, CheckResult* panel, LeftOption* category)
      : context_(context), panel_(panel), category_(category) {}

  void Walk(const BYTE* buffer, size_t bytes) {
    namespace r = eventlog_record;
    size_t at = 0;
    while (bytes - at >= r::kHeaderBytes) {
      const BYTE* record = buffer + at;
      DWORD length = ReadLeDword(record + r::kLength);
      if (length < r::kHeaderBytes || length % 4 != 0 || length > bytes - at) return;
      at += length;
      if (ReadLeWord(record + r::kEventType) != EVENTLOG_ERROR_TYPE) continue;
      DWORD generated = ReadLeDword(record + r::kTimeGenerated);
      if (generated < context_.LastRepairTime()) continue;
      Push(record, length, generated);
    }
  }

 private:
  void Push(const BYTE* record, DWORD length, DWORD generated) {
    namespace r = eventlog_record;
    // Neighbouring events often share their second; the text is made once for them.
    if (!haveTime_ || generated != lastTime_) {
      timeText_ = EventTimeText(context_.machine.Runtime(), generated);
      haveTime_ = true;
      lastTime_ = generated;
    }
    auto finding = std::make_unique<PendingFinding>();
    finding->panel = panel_;
    finding->category = category_;
    finding->kind = kEventLogFinding;
    // The source name ends at its terminator, and never beyond its own record.
    finding->text1 = WideFromUtf16Le(record + r::kHeaderBytes, length - r::kHeaderBytes);
    finding->text2 = kCrashTimePrefix + timeText_;
    finding->text3 = timeText_;
    context_.queue.Push(std::move(finding));
  }

  const ScanContext& context_;
  CheckResult* panel_;
  LeftOption* category_;
  bool haveTime_ = false;
  DWORD lastTime_ = 0;
  std::wstring timeText_;
};

}  // namespace

std::wstring EventTimeText(IRuntime& runtime, DWORD timeGenerated) {
  std::tm local{};
  if (!runtime.LocalTime(static_cast<int64_t>(timeGenerated), &local)) return {};
  return FormatTimeWide(kTimeFormat, local, kTimeTextChars);
}

void EventLogScan(const ScanContext& context, const std::wstring& logName, CheckResult* panel,
                  LeftOption* category) {
  IEventLog& events = context.machine.EventLog();
  std::vector<BYTE> buffer;
  try {
    buffer.resize(kInitialBufferBytes);
  } catch (const std::bad_alloc&) {
    return;
  }
  EventLogHandle log = OpenEventLog(events, logName);
  if (!log) return;

  RecordWalker walker(context, panel, category);
  for (;;) {
    DWORD read = 0;
    DWORD needed = 0;
    if (events.ReadEventLogW(log.get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0,
                             buffer.data(), static_cast<DWORD>(buffer.size()), &read, &needed)) {
      // A read that hands out nothing would be repeated for ever.
      if (read == 0) return;
      walker.Walk(buffer.data(), std::min<size_t>(read, buffer.size()));
      continue;
    }
    if (events.GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;  // the end of the log, too
    // The next record is larger than the buffer: grow to its size and read it again. A size
    // that would not help, or one no read may ask for, ends the scan rather than loop.
    if (needed <= buffer.size() || needed > eventlog_record::kMaxReadBytes) return;
    try {
      buffer.resize(needed);
    } catch (const std::bad_alloc&) {
      return;
    }
  }
}

}  // namespace rundix
