// Posting a message to a window, as the workers reach their window: PostMessageW, never a
// send, so a worker never waits for the window thread. Windows: USER32. Linux: the headless
// window system. Tests that only want to see what was posted pass a RecordingMessagePoster.
#pragma once

#include <mutex>
#include <vector>

#include "platform/Win32Types.h"

namespace rundix {

class IMessagePoster {
 public:
  virtual ~IMessagePoster() = default;
  virtual BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// One posted message, as a recording poster keeps it.
struct PostedMessage {
  HWND window = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Keeps every posted message in order; any thread may post.
class RecordingMessagePoster final : public IMessagePoster {
 public:
  BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(PostedMessage{window, message, wParam, lParam});
    return TRUE;
  }
  std::vector<PostedMessage> Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<PostedMessage> messages_;
};

// The process's own poster: the window system's PostMessageW.
IMessagePoster& SystemMessagePoster();

}  // namespace rundix
