// The one application object: reads the configuration beside the executable,
// waits for Windows Installer to be idle and runs the chain. Its destruction
// removes what the run leaves behind.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "archive/embedded_archive.h"
#include "core/chainer_config.h"
#include "core/cleanup.h"
#include "ui/progress_state.h"

class ChainerApp {
 public:
  ChainerApp() = default;
  ~ChainerApp();
  ChainerApp(const ChainerApp&) = delete;
  ChainerApp& operator=(const ChainerApp&) = delete;

  // One run. The result is informational (1 when the Windows Installer wait
  // failed, 0 without a configuration file, else the chain's result); the
  // process exit code is exit_code().
  int32_t Run();
  // A line about how the program started, logged once the log is chosen.
  void set_start_note(const std::wstring& note) { start_note_ = note; }
  // The chain on a loaded configuration: 0, 1 or -1.
  int32_t RunChain(ChainerConfig& config);

  int32_t exit_code() const { return exit_code_; }
  const std::wstring& module_path() const { return module_path_; }
  const std::wstring& config_path() const { return config_path_; }
  const std::vector<std::wstring>& files_to_delete() const { return files_to_delete_; }
  const PowerShellCleanup& script_cleanup() const { return script_cleanup_; }

 private:
  // Fills the cleanup lists from section PREREQ_CHAINER.
  void CollectCleanup(const IniDocument& document);
  // Removes the collected files and emptied folders; keeps for the script
  // only what it can still remove.
  void DeleteCollected();
  // The end-of-run removal (collected files, cleanup script, extracted
  // files), once: by the destructor, or by a crash before it.
  void CleanUpOnce();
  static void CleanUpAfterCrash(void* app);
  std::wstring ExtractionFolderFor(const ChainerConfig& config);

  int32_t exit_code_ = 0;
  long cleaned_up_ = 0;
  bool quiet_ = false;
  EmbeddedArchive archive_;
  ProgressState progress_;
  std::vector<std::wstring> files_to_delete_;
  PowerShellCleanup script_cleanup_;
  std::wstring module_path_;
  std::wstring start_note_;
  std::wstring config_path_;
  std::wstring module_dir_;
  std::wstring cleanup_folder_;
};

// Reads the configuration file: the first two bytes (the byte-order mark) are
// skipped unread and the rest is taken as UTF-16LE. A trailing odd byte is
// dropped. False when the file cannot be opened or read; an empty text then.
bool ReadConfigurationText(const std::wstring& path, uint32_t size, std::wstring* text);
