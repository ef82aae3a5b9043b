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
  // Packed Java archives that came out of the extraction are unpacked next:
  // from here on BeginFile names each unpacked file and AddBytes(1) counts it.
  virtual void BeginUnpacking(uint32_t files) { BeginExtraction(files); }
};
