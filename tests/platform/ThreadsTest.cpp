#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/Threads.h"

namespace rundix {
namespace {

unsigned WINAPI CountAndReturnSeven(void* arg) {
  static_cast<std::atomic<int>*>(arg)->fetch_add(1);
  return 7;
}

TEST(KernelThreads, StartSuspendedAndReportExitCode) {
  std::atomic<int> runs{0};
  DWORD id = 0;
  KernelHandle thread(BeginThreadSuspended(&CountAndReturnSeven, &runs, &id), KernelHandleCloser{},
                      nullptr);
  ASSERT_TRUE(thread.valid());
  EXPECT_NE(id, 0u);
  // Suspended: it has not run and has not ended.
  EXPECT_EQ(WaitForHandle(thread.get(), 50), WAIT_TIMEOUT);
  EXPECT_EQ(runs.load(), 0);
  DWORD code = 0;
  ASSERT_TRUE(GetThreadExitCode(thread.get(), &code));
  EXPECT_EQ(code, STILL_ACTIVE);

  EXPECT_NE(ResumeThreadHandle(thread.get()), static_cast<DWORD>(-1));
  EXPECT_EQ(WaitForHandle(thread.get(), INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(runs.load(), 1);
  ASSERT_TRUE(GetThreadExitCode(thread.get(), &code));
  EXPECT_EQ(code, 7u);
}

TEST(KernelEvents, ManualResetStaysSignalledAutoResetDoesNot) {
  KernelHandle manual(CreateEventHandle(true, false), KernelHandleCloser{}, nullptr);
  KernelHandle autoReset(CreateEventHandle(false, true), KernelHandleCloser{}, nullptr);
  ASSERT_TRUE(manual.valid() && autoReset.valid());

  EXPECT_EQ(WaitForHandle(manual.get(), 0), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEventHandle(manual.get()));
  EXPECT_EQ(WaitForHandle(manual.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForHandle(manual.get(), 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEventHandle(manual.get()));
  EXPECT_EQ(WaitForHandle(manual.get(), 0), WAIT_TIMEOUT);

  EXPECT_EQ(WaitForHandle(autoReset.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForHandle(autoReset.get(), 0), WAIT_TIMEOUT);
}

TEST(CriticalSections, ExcludeOtherThreadsAndMayBeEnteredAgainByTheirOwner) {
  CriticalSection section;
  long counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      CriticalSectionLock outer(section);
      CriticalSectionLock inner(section);  // the owner enters again
      long seen = counter;
      counter = seen + 1;
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000);
}

}  // namespace
}  // namespace rundix
