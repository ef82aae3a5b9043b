// A hidden batch file that removes one locked file or folder once it is free
// and then deletes itself: for what this process cannot remove right now.
#pragma once
#include <cstdint>
#include <string>

// The batch file's text. target and batch are in the ANSI code page (the
// target in its short form, so that any name survives the conversion).
// retry_count 0 retries until the target is gone; otherwise it gives up after
// that many attempts, 5 seconds apart.
std::string SelfDeleteBatchText(const std::string& target, const std::string& batch, bool is_folder,
                                uint32_t retry_count);

class SelfDeleteBatch {
 public:
  SelfDeleteBatch() = default;
  SelfDeleteBatch(const SelfDeleteBatch&) = delete;
  SelfDeleteBatch& operator=(const SelfDeleteBatch&) = delete;
  // Writes and starts the batch file, when there is a target.
  ~SelfDeleteBatch() { Run(); }

  // An empty path clears the target. A path whose short form cannot be had
  // (it does not exist) changes nothing.
  void SetTarget(const std::wstring& path);
  void set_elevate(bool elevate) { elevate_ = elevate; }
  void set_is_folder(bool is_folder) { is_folder_ = is_folder; }
  void set_retry_count(uint32_t count) { retry_count_ = count; }
  const std::string& target_ansi() const { return target_ansi_; }

 private:
  void Run();

  std::string target_ansi_;
  std::wstring target_;
  bool elevate_ = false;
  bool is_folder_ = false;
  uint32_t retry_count_ = 0;
};
