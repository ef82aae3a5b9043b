// A file read at any offset (64-bit offsets on Linux and Windows), for the
// archive and bundle readers the tool shares with the chainer.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "archive/byte_source.h"

class FileSource : public IByteSource {
 public:
  explicit FileSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
    if (file_ && std::fseek(file_, 0, SEEK_END) == 0) size_ = Tell();
  }
  ~FileSource() override {
    if (file_) std::fclose(file_);
  }
  bool ok() const { return file_ != nullptr; }
  bool ReadAt(uint64_t offset, void* data, size_t size) override {
    if (!file_ || offset > size_ || size > size_ - offset || !Seek(offset)) return false;
    return std::fread(data, 1, size, file_) == size;
  }
  uint64_t Size() const override { return size_; }

 private:
#ifdef _WIN32
  bool Seek(uint64_t offset) {
    return _fseeki64(file_, static_cast<int64_t>(offset), SEEK_SET) == 0;
  }
  uint64_t Tell() {
    return static_cast<uint64_t>(_ftelli64(file_));
  }
#else
  bool Seek(uint64_t offset) {
    return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
  }
  uint64_t Tell() {
    return static_cast<uint64_t>(ftello(file_));
  }
#endif
  FILE* file_;
  uint64_t size_ = 0;
};
