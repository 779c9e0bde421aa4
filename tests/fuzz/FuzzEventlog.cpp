// The event-log scan over raw read buffers from a hostile log. The input is a script of
// reads: a control byte per read picks "hand out the next bytes" (how many, from the next
// two bytes) or "the next record needs N bytes" (N from the next four), until the input ends.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "app/PendingFinding.h"
#include "engine/EventLogScan.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

class ScriptedEventLog final : public rundix::IEventLog {
 public:
  ScriptedEventLog(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  DWORD GetLastError() override { return lastError_; }
  HANDLE OpenEventLogW(const std::wstring&, const std::wstring&) override {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x4C4F47));
  }
  BOOL ReadEventLogW(HANDLE, DWORD, DWORD, void* buffer, DWORD bufferBytes, DWORD* bytesRead,
                     DWORD* bytesNeeded) override {
    *bytesRead = 0;
    *bytesNeeded = 0;
    if (at_ >= size_ || ++reads_ > 10000) {
      lastError_ = ERROR_HANDLE_EOF;
      return FALSE;
    }
    uint8_t control = data_[at_++];
    if (control & 1) {
      DWORD needed = 0;
      for (int i = 0; i < 4 && at_ < size_; ++i) needed = (needed << 8) | data_[at_++];
      *bytesNeeded = needed;
      lastError_ = ERROR_INSUFFICIENT_BUFFER;
      return FALSE;
    }
    size_t want = 0;
    for (int i = 0; i < 2 && at_ < size_; ++i) want = (want << 8) | data_[at_++];
    // The platform fills at most the buffer; a hostile count may still claim more.
    size_t take = std::min({want, size_ - at_, static_cast<size_t>(bufferBytes)});
    std::memcpy(buffer, data_ + at_, take);
    at_ += take;
    *bytesRead = (control & 2) ? static_cast<DWORD>(want) : static_cast<DWORD>(take);
    return TRUE;
  }
  BOOL CloseEventLog(HANDLE) override { return TRUE; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  int reads_ = 0;
  DWORD lastError_ = 0;
};

// The shared machine with the scripted log in place of its own.
class ScriptedMachine final : public rundix::Machine {
 public:
  ScriptedMachine(rundix::Machine& base, rundix::IEventLog& log) : base_(base), log_(log) {}
  rundix::IRegistry& Registry() override { return base_.Registry(); }
  rundix::IFileSystem& Files() override { return base_.Files(); }
  rundix::IProfile& Profile() override { return base_.Profile(); }
  rundix::IRuntime& Runtime() override { return base_.Runtime(); }
  rundix::ISystemInfo& System() override { return base_.System(); }
  rundix::IEventLog& EventLog() override { return log_; }
  rundix::IInternet& Internet() override { return base_.Internet(); }
  rundix::IWinHttp& WinHttp() override { return base_.WinHttp(); }
  rundix::ICodePages& CodePages() override { return base_.CodePages(); }

 private:
  rundix::Machine& base_;
  rundix::IEventLog& log_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptedEventLog log(data, size);
  ScriptedMachine machine(rundix::fuzz::SharedMachine(), log);
  rundix::PendingFindingQueue queue;
  std::atomic<int32_t> lastRepair{0};
  rundix::ScanContext context{machine, queue, lastRepair};
  rundix::EventLogScan(context, rundix::kApplicationLogName, nullptr, nullptr);
  return 0;
}
