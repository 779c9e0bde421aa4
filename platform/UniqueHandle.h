// One move-only owner for every OS handle the program holds. The closer is a small value
// (often carrying the interface that made the handle), so the same template serves registry
// keys, find handles, files and kernel objects on both builds.
#pragma once

#include <utility>

namespace rundix {

template <typename H, typename Closer>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  UniqueHandle(H handle, Closer closer, H invalid = H{})
      : handle_(handle), invalid_(invalid), closer_(std::move(closer)) {}
  ~UniqueHandle() { reset(); }

  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept
      : handle_(other.handle_), invalid_(other.invalid_), closer_(std::move(other.closer_)) {
    other.handle_ = other.invalid_;
  }
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.handle_;
      invalid_ = other.invalid_;
      closer_ = std::move(other.closer_);
      other.handle_ = other.invalid_;
    }
    return *this;
  }

  H get() const { return handle_; }
  bool valid() const { return handle_ != invalid_; }
  explicit operator bool() const { return valid(); }

  // Gives up ownership without closing.
  H release() {
    H h = handle_;
    handle_ = invalid_;
    return h;
  }
  // Closes the handle now; returns what the closer said (true when there was nothing to close).
  bool reset() {
    if (!valid()) return true;
    H h = handle_;
    handle_ = invalid_;
    return closer_(h);
  }

 private:
  H handle_{};
  H invalid_{};
  Closer closer_{};
};

}  // namespace rundix
