// The UI library's small owned buffer: a size and a data block. Resizing keeps the first
// min(old, new) elements; a resize to the same size does nothing; Clear frees the block.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>

namespace KUM {

template <typename T>
class KuBuffer {
 public:
  KuBuffer() = default;
  explicit KuBuffer(unsigned size) { Resize(size); }
  KuBuffer(const KuBuffer& other) { *this = other; }
  KuBuffer& operator=(const KuBuffer& other) {
    if (this != &other) {
      Clear();
      Resize(other.size_);
      if (size_ > 0) std::copy(other.data_.get(), other.data_.get() + size_, data_.get());
    }
    return *this;
  }
  KuBuffer(KuBuffer&& other) noexcept : size_(other.size_), data_(std::move(other.data_)) { other.size_ = 0; }
  KuBuffer& operator=(KuBuffer&& other) noexcept {
    if (this != &other) {
      data_ = std::move(other.data_);
      size_ = other.size_;
      other.size_ = 0;
    }
    return *this;
  }

  unsigned GetSize() const { return size_; }
  bool IsEmpty() const { return size_ == 0; }
  T* GetData() { return data_.get(); }
  const T* GetData() const { return data_.get(); }

  // New elements are value-initialised (zero for bytes).
  void Resize(unsigned size) {
    if (size == size_) return;
    if (size == 0) {
      Clear();
      return;
    }
    std::unique_ptr<T[]> block(new T[size]());
    if (data_) std::copy(data_.get(), data_.get() + std::min(size, size_), block.get());
    data_ = std::move(block);
    size_ = size;
  }

  // Takes over `size` elements copied from `data`.
  void Assign(const T* data, unsigned size) {
    Clear();
    Resize(size);
    if (size > 0) std::copy(data, data + size, data_.get());
  }

  void Clear() {
    data_.reset();
    size_ = 0;
  }

 private:
  unsigned size_ = 0;
  std::unique_ptr<T[]> data_;
};

}  // namespace KUM
