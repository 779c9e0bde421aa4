#include "platform/MessagePost.h"

namespace rundix {

// Stands in for the window system's PostMessageW until the headless window system exists;
// what it records is what the window would have received.
IMessagePoster& SystemMessagePoster() {
  static RecordingMessagePoster poster;
  return poster;
}

}  // namespace rundix
