#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/MessagePost.h"
#include "platform/WindowDriver.h"
#include "tests/support/TestWindows.h"

namespace rundix {
namespace {

// Workers reach a window through the headless window system's PostMessageW: every post
// arrives, in each worker's order, on the window's own thread.
TEST(SystemMessagePoster, PostsFromEveryThreadReachTheWindowInOrderPerThread) {
  test::MessageLog log;
  HWND window = nullptr;
  test::WindowThread thread([&] { window = test::CreateTestWindow(test::TestWindowDesc{}, test::Logging(log)); });
  std::vector<std::thread> workers;
  for (int t = 0; t < 4; ++t) {
    workers.emplace_back([=] {
      for (int i = 0; i < 100; ++i) {
        EXPECT_TRUE(SystemMessagePoster().PostMessageW(window, 2030, static_cast<WPARAM>(t), i));
      }
    });
  }
  for (auto& worker : workers) worker.join();
  ASSERT_TRUE(WindowDriver().WaitFor(window, [&] { return log.Count(window, 2030) == 400; }));
  LPARAM next[4] = {0, 0, 0, 0};
  for (const test::LoggedMessage& m : log.Of(window, {2030})) {
    ASSERT_LT(m.wParam, 4u);
    EXPECT_EQ(m.lParam, next[m.wParam]++);
  }
}

TEST(SystemMessagePoster, APostToNoWindowFails) {
  const HWND made_up = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x2020));
  EXPECT_FALSE(SystemMessagePoster().PostMessageW(made_up, 2030, 0, 0));
  HWND gone = test::CreateTestWindow(test::TestWindowDesc{});
  WindowSystem().DestroyWindow(gone);
  EXPECT_FALSE(SystemMessagePoster().PostMessageW(gone, 2030, 0, 0));
}

}  // namespace
}  // namespace rundix
