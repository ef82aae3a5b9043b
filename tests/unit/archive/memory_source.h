// Archive bytes held in memory, for the reader tests.
#pragma once
#include <cstring>
#include <vector>

#include "archive/byte_source.h"

class MemorySource : public IByteSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    std::memcpy(data, bytes_.data() + offset, size);
    return true;
  }
  uint64_t Size() const override { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};
