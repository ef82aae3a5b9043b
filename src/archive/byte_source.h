// Random-access reading of the bytes that hold an archive: the executable on
// Windows, a file or memory in the bundling tool and the tests.
#pragma once
#include <cstddef>
#include <cstdint>

class IByteSource {
 public:
  virtual ~IByteSource() = default;
  // Reads exactly size bytes at offset; false on a failure or a short read.
  virtual bool ReadAt(uint64_t offset, void* data, size_t size) = 0;
  virtual uint64_t Size() const = 0;
};

// A window [base, base + size) of another source, read from offset 0.
class WindowSource : public IByteSource {
 public:
  WindowSource(IByteSource& inner, uint64_t base, uint64_t size)
      : inner_(inner), base_(base), size_(size) {}
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    if (offset > size_ || size > size_ - offset) return false;
    return inner_.ReadAt(base_ + offset, data, size);
  }
  uint64_t Size() const override { return size_; }

 private:
  IByteSource& inner_;
  uint64_t base_;
  uint64_t size_;
};
