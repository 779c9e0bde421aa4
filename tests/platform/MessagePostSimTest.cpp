#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/MessagePost.h"

namespace rundix {
namespace {

// Until the headless window system exists, the system poster keeps what it was given, in
// order, from any thread.
TEST(SystemMessagePoster, RecordsPostsFromEveryThreadInOrderPerThread) {
  auto* recorder = dynamic_cast<RecordingMessagePoster*>(&SystemMessagePoster());
  ASSERT_NE(recorder, nullptr);
  recorder->Clear();
  const HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x2020));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([=] {
      for (int i = 0; i < 100; ++i) SystemMessagePoster().PostMessageW(window, 2030, static_cast<WPARAM>(t), i);
    });
  }
  for (auto& thread : threads) thread.join();
  auto messages = recorder->Messages();
  ASSERT_EQ(messages.size(), 400u);
  LPARAM next[4] = {0, 0, 0, 0};
  for (const PostedMessage& m : messages) {
    EXPECT_EQ(m.window, window);
    EXPECT_EQ(m.message, 2030u);
    ASSERT_LT(m.wParam, 4u);
    EXPECT_EQ(m.lParam, next[m.wParam]++);
  }
  recorder->Clear();
  EXPECT_TRUE(recorder->Messages().empty());
}

}  // namespace
}  // namespace rundix
