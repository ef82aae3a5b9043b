// The window that shows files being extracted from the embedded archive (or
// packed Java archives being unpacked) while the caller's thread does the
// work. It runs on a thread of its own, so it repaints and answers Cancel
// whatever the caller's thread is doing. Nothing is shown without an
// interactive interface; the work then simply goes on.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "archive/extraction_progress.h"
#include "ui/extraction_text.h"
#include "ui/progress_state.h"
#include "util/unique_handle.h"

class IProgressSink;
class TaskbarProgress;

class ExtractionDialog : public IExtractionProgress {
 public:
  // state gives the caption ("<product> Setup" when it has no title yet) and
  // the owner: the progress dialog, else the status window, when shown.
  // unpack: the unpacking texts. cancellable false disables Cancel and the
  // Close entry. outer: the progress dialog this one runs under, whose Cancel
  // stops the extraction too; may be none.
  ExtractionDialog(ProgressState& state, bool unpack, bool cancellable,
                   IProgressSink* outer = nullptr);
  // Ends a still open window (as finished) and waits for its thread.
  ~ExtractionDialog() override;
  ExtractionDialog(const ExtractionDialog&) = delete;
  ExtractionDialog& operator=(const ExtractionDialog&) = delete;

  // Shows the window on the first call, then starts the bar from 0.
  void BeginExtraction(uint64_t total_bytes) override;
  void BeginFile(const std::wstring& path) override;
  void AddBytes(uint64_t bytes) override;
  // Switches to the unpacking texts; the bar counts files from here on.
  void BeginUnpacking(uint32_t files) override;
  // Cancel was pressed here or in the outer dialog.
  bool IsCanceled() override;
  // Cancel was pressed in this window (without asking the outer dialog).
  bool cancelled_here() const { return cancelled_ != 0; }

 private:
  static DWORD WINAPI UiThread(void* parameter);
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Initialize(HWND dialog);
  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void ShowFileLine(const std::wstring& path);
  void End(INT_PTR code);

  std::wstring caption_;
  HWND owner_;
  ExtractionTexts texts_;
  bool cancellable_;
  IProgressSink* outer_;
  UniqueKernelHandle ready_;
  UniqueKernelHandle thread_;
  HWND dialog_ = nullptr;  // written before ready_ is signalled
  volatile LONG cancelled_ = 0;
  // The caller's side.
  uint64_t total_ = 0;
  uint64_t done_ = 0;
  uint32_t percent_ = 0;
  // The window's side.
  HWND root_ = nullptr;
  std::wstring line_;  // the whole text, for the tooltip when the control shows it shortened
  std::unique_ptr<TaskbarProgress> taskbar_;
  bool ended_ = false;
};
