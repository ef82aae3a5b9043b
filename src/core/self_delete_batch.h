// A hidden batch file that removes one locked file or folder once it is free
// and then deletes itself: for what this process cannot remove right now.
#pragma once
#include <cstdint>
#include <string>

// The text a batch file names path by between quotes, in code_page (cmd reads
// batch files in the OEM code page), every "%" doubled so that cmd does not
// expand it. Empty when the text would not name exactly this path: a character
// the code page lacks (it would become a "?" wildcard or a look-alike), or a
// "!", which cmd expands when delayed expansion is switched on for it.
std::string BatchPathText(const std::wstring& path, unsigned code_page);

// The batch file's text. target and batch are BatchPathText results.
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

  // An empty path clears the target. A path that does not exist, or that no
  // batch file can name exactly (neither its short form nor the path itself,
  // see BatchPathText), changes nothing: the latter is logged and left for a
  // later run rather than risk removing another file.
  void SetTarget(const std::wstring& path);
  void set_elevate(bool elevate) { elevate_ = elevate; }
  void set_is_folder(bool is_folder) { is_folder_ = is_folder; }
  void set_retry_count(uint32_t count) { retry_count_ = count; }
  // The target as the batch file names it (OEM code page); empty: nothing to do.
  const std::string& target_ansi() const { return target_ansi_; }

 private:
  void Run();

  std::string target_ansi_;
  std::wstring target_;
  bool elevate_ = false;
  bool is_folder_ = false;
  uint32_t retry_count_ = 0;
};
