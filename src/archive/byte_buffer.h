// A fixed-size byte buffer that is not zeroed: the decoders write every byte
// before they read it, and clearing a megabyte per extracted file is wasted
// work (it dominated the fuzzing of small archives). Throws std::bad_alloc
// like the vector it replaces.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

class ByteBuffer {
 public:
  ByteBuffer() = default;
  explicit ByteBuffer(size_t size) : bytes_(new uint8_t[size]), size_(size) {}
  uint8_t* data() { return bytes_.get(); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
};
