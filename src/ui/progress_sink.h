// How downloads and installations report progress and ask whether to go on.
// The progress dialog implements it; silent runs pass no sink at all.
#pragma once
#include <cstdint>
#include <string>

#include "core/stable_numbers.h"  // the codes ReportError is given

class IProgressSink {
 public:
  virtual ~IProgressSink() = default;
  // The number of steps that follow (downloads, sites or setups).
  virtual void SetStepCount(uint64_t count, uint32_t high_word) = 0;
  virtual void Reserved2(uint32_t, uint32_t) {}
  // A transfer of total_size bytes to path begins.
  virtual void BeginTransfer(int32_t kind, uint64_t total_size, const std::wstring& path) = 0;
  virtual void Reserved4(uint32_t, uint32_t) {}
  // Kind 0: the whole work is done; kind 1: one downloaded file is complete.
  virtual void EndTransfer(int32_t kind, uint32_t value) = 0;
  virtual void AddBytes(uint64_t count) = 0;
  virtual bool IsCanceled() = 0;
  virtual bool IsPaused() = 0;
  // Shows a failure (text may be empty) and returns code.
  virtual int32_t ReportError(const std::wstring& text, uint32_t code, void* context) = 0;
  // Kind 9: text is the next step's caption and the step bar advances by one.
  virtual void SetStatus(const std::wstring& text, int32_t kind, uint32_t value) = 0;
};
