#include "platform/MessagePost.h"
#include "platform/WindowSystem.h"

namespace rundix {
namespace {

// Workers reach their window through the headless window system, as they do through USER32.
class SimMessagePoster final : public IMessagePoster {
 public:
  BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return WindowSystem().PostMessageW(window, message, wParam, lParam);
  }
};

}  // namespace

IMessagePoster& SystemMessagePoster() {
  static SimMessagePoster poster;
  return poster;
}

}  // namespace rundix
