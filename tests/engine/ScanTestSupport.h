// What the scan tests share: a context without a window, stand-ins for the panels and
// category entries, and the findings taken off the queue in push order.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "app/PendingFinding.h"
#include "engine/ScanContext.h"

namespace rundix::test {

class ScanHarness {
 public:
  explicit ScanHarness(Machine& machine, int32_t lastRepairTime = 0)
      : lastRepairTime(lastRepairTime), context{machine, queue, this->lastRepairTime} {}

  std::vector<PendingFinding> Drain() {
    std::vector<PendingFinding> out;
    queue.Drain([&](const PendingFinding& f) { out.push_back(f); });
    return out;
  }

  std::atomic<int32_t> lastRepairTime;
  PendingFindingQueue queue;
  ScanContext context;

  // Addresses that stand for a panel and a category entry; never looked into.
  CheckResult* panel = reinterpret_cast<CheckResult*>(&marks_[0]);
  LeftOption* category = reinterpret_cast<LeftOption*>(&marks_[1]);

 private:
  char marks_[2] = {0, 0};
};

inline std::vector<std::wstring> Texts(const std::vector<PendingFinding>& findings, int which) {
  std::vector<std::wstring> out;
  for (const auto& f : findings) {
    out.push_back(which == 1 ? f.text1 : which == 2 ? f.text2 : which == 3 ? f.text3 : f.text4);
  }
  return out;
}

}  // namespace rundix::test
