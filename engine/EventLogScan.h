// The event-log scans: every error event of a log from the last repair on becomes one finding
// (the event's source, when it happened) on the pending-findings queue.
#pragma once

#include <string>

#include "engine/ScanContext.h"

namespace rundix {

inline constexpr wchar_t kApplicationLogName[] = L"Application";
inline constexpr wchar_t kSystemLogName[] = L"System";

// Reads the whole named log, oldest records first, and pushes one kind-0 finding for each
// error record generated at or after the last repair time. A log that cannot be opened gives
// nothing; a read that fails ends the scan with what was pushed so far.
void EventLogScan(const ScanContext& context, const std::wstring& logName, CheckResult* panel,
                  LeftOption* category);

// "2024-03-05 14:07:09\n": the moment in local time, as the findings show it. Empty when the
// moment cannot be converted.
std::wstring EventTimeText(IRuntime& runtime, DWORD timeGenerated);

}  // namespace rundix
