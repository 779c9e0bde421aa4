#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "app/WorkerThread.h"

namespace rundix {
namespace {

TEST(WorkerThreads, ABodyThatThrowsEndsWithExitCodeOneAndClearsRunning) {
  WorkerThread worker(nullptr, [](void*) { throw std::runtime_error("boom"); });
  ASSERT_TRUE(worker.Start());
  ASSERT_EQ(WaitForHandle(worker.Handle(), INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(worker.ExitCode(&code));
  EXPECT_EQ(code, 1u);
  EXPECT_FALSE(worker.IsRunning());
}

TEST(WorkerThreads, TheBodyGetsItsOwnerAndEndsWithZero) {
  std::atomic<int> owner{0};
  WorkerThread worker(&owner, [](void* o) { static_cast<std::atomic<int>*>(o)->store(42); });
  ASSERT_TRUE(worker.Start());
  EXPECT_NE(worker.ThreadId(), 0u);
  ASSERT_EQ(WaitForHandle(worker.Handle(), INFINITE), WAIT_OBJECT_0);
  DWORD code = STILL_ACTIVE;
  ASSERT_TRUE(worker.ExitCode(&code));
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(owner.load(), 42);
  EXPECT_FALSE(worker.IsRunning());
  // The ended thread's record keeps its handle until it is closed.
  EXPECT_TRUE(worker.HasHandle());
  worker.Close();
  EXPECT_FALSE(worker.HasHandle());
  EXPECT_EQ(worker.ThreadId(), 0u);
}

TEST(WorkerThreads, ARecordWithoutBodyStartsNoThread) {
  WorkerThread worker(nullptr, nullptr);
  EXPECT_FALSE(worker.Start());
  EXPECT_FALSE(worker.HasHandle());
  EXPECT_EQ(worker.Handle(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(worker.ThreadId(), 0u);
  EXPECT_FALSE(worker.IsRunning());
}

TEST(WorkerThreads, ReplacingWaitsForTheRunToEndThenReleasesTheRecord) {
  std::atomic<bool> release{false};
  std::atomic<bool> finished{false};
  struct Gate {
    std::atomic<bool>* release;
    std::atomic<bool>* finished;
  } gate{&release, &finished};
  auto slot = std::make_unique<WorkerThread>(&gate, [](void* g) {
    auto* gate = static_cast<Gate*>(g);
    while (!gate->release->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    gate->finished->store(true);
  });
  ASSERT_TRUE(slot->Start());
  EXPECT_TRUE(slot->IsRunning());
  std::thread releaser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    release = true;
  });
  ReplaceWorker(slot);
  EXPECT_TRUE(finished.load());  // the wait ended only after the body had finished
  EXPECT_EQ(slot, nullptr);
  releaser.join();

  std::unique_ptr<WorkerThread> empty;
  ReplaceWorker(empty);  // nothing to wait for
  EXPECT_EQ(empty, nullptr);
}

// A body that runs until the test opens its gate.
struct Gate {
  std::atomic<bool> open{false};
  std::atomic<int> runs{0};
  std::atomic<bool> finished{false};
};

void GatedBody(void* g) {
  auto* gate = static_cast<Gate*>(g);
  gate->runs.fetch_add(1);
  while (!gate->open.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  gate->finished = true;
}

TEST(WorkerThreads, ReleasingARecordWaitsUntilItsThreadHasEnded) {
  Gate gate;
  auto worker = std::make_unique<WorkerThread>(&gate, GatedBody);
  ASSERT_TRUE(worker->Start());
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.open = true;
  });
  // The thread clears the record's running flag as it ends: the record must still be there.
  worker.reset();
  EXPECT_TRUE(gate.finished.load());
  opener.join();
}

TEST(WorkerThreads, StartingARecordWhoseThreadRunsIsRefused) {
  Gate gate;
  WorkerThread worker(&gate, GatedBody);
  ASSERT_TRUE(worker.Start());
  HANDLE first = worker.Handle();
  DWORD firstId = worker.ThreadId();
  EXPECT_FALSE(worker.Start());
  EXPECT_EQ(worker.Handle(), first) << "the running thread's handle is kept";
  EXPECT_EQ(worker.ThreadId(), firstId);
  EXPECT_TRUE(worker.IsRunning());
  gate.open = true;
  ASSERT_EQ(WaitForHandle(worker.Handle(), INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(gate.runs.load(), 1) << "no second thread ran";
  // Once the thread has ended the record may start again.
  gate.finished = false;
  ASSERT_TRUE(worker.Start());
  ASSERT_EQ(WaitForHandle(worker.Handle(), INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(gate.runs.load(), 2);
  EXPECT_FALSE(worker.IsRunning());
}

TEST(WorkerThreads, ClosingARunningRecordWaitsForItsThread) {
  Gate gate;
  WorkerThread worker(&gate, GatedBody);
  ASSERT_TRUE(worker.Start());
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.open = true;
  });
  worker.Close();
  EXPECT_TRUE(gate.finished.load());
  EXPECT_FALSE(worker.HasHandle());
  EXPECT_FALSE(worker.IsRunning());
  opener.join();
}

}  // namespace
}  // namespace rundix
