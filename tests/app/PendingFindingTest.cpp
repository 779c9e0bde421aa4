#include <gtest/gtest.h>

#include <thread>

#include "app/PendingFinding.h"

namespace rundix {
namespace {

std::unique_ptr<PendingFinding> Finding(int32_t kind, std::wstring text1) {
  auto f = std::make_unique<PendingFinding>();
  f->kind = kind;
  f->text1 = std::move(text1);
  return f;
}

TEST(PendingFindings, TwoStagesBetweenDrainsComeOutInPushOrder) {
  PendingFindingQueue queue;
  queue.Push(Finding(kEventLogFinding, L"Application Error"));
  queue.Push(Finding(kEventLogFinding, L"Service Control Manager"));
  queue.Push(Finding(kJunkFileFinding, L"C:\\Temp\\"));
  queue.Push(nullptr);  // ignored
  std::vector<std::wstring> seen;
  queue.Drain([&](const PendingFinding& f) { seen.push_back(f.text1); });
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"Application Error", L"Service Control Manager", L"C:\\Temp\\"}));
  EXPECT_EQ(queue.Size(), 0u);
  seen.clear();
  queue.Drain([&](const PendingFinding& f) { seen.push_back(f.text1); });
  EXPECT_TRUE(seen.empty());
}

TEST(PendingFindings, PushesFromWorkersDuringDrainsAreNeitherLostNorReordered) {
  PendingFindingQueue queue;
  constexpr int kPerWorker = 5000;
  auto pusher = [&](int32_t kind) {
    for (int i = 0; i < kPerWorker; ++i) queue.Push(Finding(kind, std::to_wstring(i)));
  };
  std::thread a(pusher, 1), b(pusher, 2);
  std::vector<int> next(3, 0);
  int total = 0;
  bool ordered = true;
  while (total < 2 * kPerWorker) {
    queue.Drain([&](const PendingFinding& f) {
      ordered = ordered && f.text1 == std::to_wstring(next[f.kind]);
      ++next[f.kind];
      ++total;
    });
  }
  a.join();
  b.join();
  EXPECT_TRUE(ordered);
  EXPECT_EQ(next[1], kPerWorker);
  EXPECT_EQ(next[2], kPerWorker);
}

}  // namespace
}  // namespace rundix
