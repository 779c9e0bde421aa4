#include "platform/MessagePost.h"

namespace rundix {
namespace {

class Win32MessagePoster final : public IMessagePoster {
 public:
  BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    return ::PostMessageW(window, message, wParam, lParam);
  }
};

}  // namespace

IMessagePoster& SystemMessagePoster() {
  static Win32MessagePoster poster;
  return poster;
}

}  // namespace rundix
