// What extraction reports while it works; the extraction dialog implements it.
// Silent runs pass none.
#pragma once
#include <cstdint>
#include <string>

class IExtractionProgress {
 public:
  virtual ~IExtractionProgress() = default;
  // Total bytes of the entries about to be extracted.
  virtual void BeginExtraction(uint64_t total_bytes) = 0;
  // The file that is being written now (its final path).
  virtual void BeginFile(const std::wstring& path) = 0;
  virtual void AddBytes(uint64_t bytes) = 0;
  // Polled between pieces; true stops the extraction (ERROR_CANCELLED).
  virtual bool IsCanceled() = 0;
};
