// The MD5 and SHA-256 digests a prerequisite's file is checked against,
// computed from its bytes in the order they are written or read. Pure code on
// the LZMA SDK's hashes, shared with the bundling tool.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" {
#include "Md5.h"
#include "Sha256.h"
}

// Which digests to compute, as bits.
constexpr uint32_t kDigestMd5 = 1;
constexpr uint32_t kDigestSha256 = 2;

// Lowercase hexadecimal digests of a file's bytes; empty where not computed.
struct FileDigests {
  std::string md5;     // 32 characters
  std::string sha256;  // 64 characters
};

// Accumulates the chosen digests of bytes given in order.
class StreamDigest {
 public:
  StreamDigest() { Start(0); }
  // Forgets what was hashed and computes the given kinds from here on.
  void Start(uint32_t kinds);
  void Update(const void* data, size_t size);
  uint32_t kinds() const { return kinds_; }
  // How many bytes have been hashed since Start.
  uint64_t size() const { return size_; }
  // The digests of those bytes (the state stays, more bytes may follow).
  FileDigests Digests() const;

 private:
  uint32_t kinds_ = 0;
  uint64_t size_ = 0;
  CMd5 md5_;
  CSha256 sha256_;
};

// True for exactly 64 hexadecimal digits (either case): the only SHA256
// value a file can match.
bool IsSha256Text(const std::wstring& text);
