// Scan findings on their way from the scan worker to the window thread. The worker pushes one
// record at a time under the queue's lock; the window thread drains the queue on its timer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Threads.h"

namespace KUM {
class CheckResult;  // result panel of one category
class LeftOption;   // category entry whose count follows its panel
}  // namespace KUM

namespace rundix {

using KUM::CheckResult;
using KUM::LeftOption;

enum FindingKind : int32_t {
  kEventLogFinding = 0,
  kJunkFileFinding = 1,
  kSharedDllFinding = 2,
  // Not a finding: the scan asks the window to select the category entry `categoryId`
  // between two stages, in order with the findings around it, without waiting for it.
  kSelectCategory = 3,
};

struct PendingFinding {
  CheckResult* panel = nullptr;
  LeftOption* category = nullptr;  // may be null
  int32_t kind = kEventLogFinding;
  std::wstring text1;  // row name and grouping key
  std::wstring text2;  // detail line
  std::wstring text3;  // key of the entry added to the row
  std::wstring text4;  // value of that entry
  uint32_t categoryId = 0;  // kSelectCategory only
};

class PendingFindingQueue {
 public:
  PendingFindingQueue();
  ~PendingFindingQueue();
  PendingFindingQueue(const PendingFindingQueue&) = delete;
  PendingFindingQueue& operator=(const PendingFindingQueue&) = delete;

  // Appends under the lock, held for the append alone. A null record is ignored.
  void Push(std::unique_ptr<PendingFinding> finding);

  // Hands every queued record to `apply` in arrival order, holding the lock for the whole
  // drain, and destroys each one after it has been applied.
  template <typename Apply>
  void Drain(Apply&& apply) {
    CriticalSectionLock lock(*lock_);
    for (auto& finding : items_) apply(*finding);
    items_.clear();
  }

  size_t Size() const;

 private:
  std::unique_ptr<CriticalSection> lock_;
  std::vector<std::unique_ptr<PendingFinding>> items_;
};

}  // namespace rundix
