#include "download/digest_pipeline.h"

DigestPipeline::~DigestPipeline() {
  if (!worker_) return;
  Settled();
  stop_ = true;
  SetEvent(block_ready_.get());
  WaitForSingleObject(worker_.get(), INFINITE);
}

void DigestPipeline::Start(uint32_t kinds) {
  Settled().Start(kinds);
}

void DigestPipeline::Add(const void* data, size_t size) {
  StreamDigest& digest = Settled();
  if (digest.kinds() == 0 || size == 0) return;
  if (!StartWorker()) {
    digest.Update(data, size);
    return;
  }
  data_ = data;
  size_ = size;
  busy_ = true;
  SetEvent(block_ready_.get());
}

StreamDigest& DigestPipeline::Settled() const {
  if (busy_) {
    WaitForSingleObject(block_done_.get(), INFINITE);
    busy_ = false;
  }
  return digest_;
}

bool DigestPipeline::StartWorker() {
  if (worker_) return true;
  if (no_worker_) return false;
  block_ready_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  block_done_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (block_ready_ && block_done_) worker_.reset(CreateThread(nullptr, 0, &Work, this, 0, nullptr));
  no_worker_ = !worker_;
  return !no_worker_;
}

DWORD WINAPI DigestPipeline::Work(void* parameter) {
  DigestPipeline* self = static_cast<DigestPipeline*>(parameter);
  for (;;) {
    WaitForSingleObject(self->block_ready_.get(), INFINITE);
    if (self->stop_) return 0;
    self->digest_.Update(self->data_, self->size_);
    SetEvent(self->block_done_.get());
  }
}
