#include "app/PendingFinding.h"

namespace rundix {

PendingFindingQueue::PendingFindingQueue() : lock_(std::make_unique<CriticalSection>()) {}
PendingFindingQueue::~PendingFindingQueue() = default;

void PendingFindingQueue::Push(std::unique_ptr<PendingFinding> finding) {
  if (!finding) return;
  CriticalSectionLock lock(*lock_);
  items_.push_back(std::move(finding));
}

size_t PendingFindingQueue::Size() const {
  CriticalSectionLock lock(*lock_);
  return items_.size();
}

}  // namespace rundix
