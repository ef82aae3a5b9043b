// The progress on the taskbar button (Windows 7 and later). On older systems
// the shell has no such list and every call does nothing.
#pragma once
#include <windows.h>

#include <cstdint>

struct ITaskbarList3;

class TaskbarProgress {
 public:
  TaskbarProgress();  // on a thread where COM is initialised
  ~TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  bool available() const { return list_ != nullptr; }
  void SetValue(HWND window, uint64_t done, uint64_t total);
  void SetNormal(HWND window);
  void SetError(HWND window);
  void Clear(HWND window);

 private:
  ITaskbarList3* list_ = nullptr;
};
