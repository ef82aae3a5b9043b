// Hashes the blocks of a transfer on a thread of its own, so that the next
// block is read from the network while the last one is hashed: hashing a
// large file inline costs about a third of the transfer's time.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "download/digests.h"
#include "util/unique_handle.h"

class DigestPipeline {
 public:
  DigestPipeline() = default;
  ~DigestPipeline();
  DigestPipeline(const DigestPipeline&) = delete;
  DigestPipeline& operator=(const DigestPipeline&) = delete;

  // Waits for the block in hand, then computes the given kinds from here on.
  void Start(uint32_t kinds);
  // Hands a block over. Its bytes must stay as they are until the next Add or
  // Settled returns: the caller reads into one buffer while the other is
  // hashed.
  void Add(const void* data, size_t size);
  // Waits until every block handed over is hashed; the digest is then exact.
  StreamDigest& Settled() const;

 private:
  static DWORD WINAPI Work(void* self);
  bool StartWorker();

  mutable StreamDigest digest_;
  UniqueKernelHandle worker_;
  UniqueKernelHandle block_ready_;  // auto-reset: a block (or the end) waits
  UniqueKernelHandle block_done_;   // auto-reset: the block is hashed
  const void* data_ = nullptr;
  size_t size_ = 0;
  mutable bool busy_ = false;  // a block was handed over and not yet waited for
  bool stop_ = false;
  bool no_worker_ = false;  // the thread could not be had: blocks are hashed inline
};
