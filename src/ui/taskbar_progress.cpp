#include "ui/taskbar_progress.h"

#include <shobjidl.h>

namespace {
const CLSID kTaskbarList = {
    0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
const IID kTaskbarList3 = {
    0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};
}  // namespace

TaskbarProgress::TaskbarProgress() {
  void* list = nullptr;
  if (SUCCEEDED(
          CoCreateInstance(kTaskbarList, nullptr, CLSCTX_INPROC_SERVER, kTaskbarList3, &list))) {
    list_ = static_cast<ITaskbarList3*>(list);
    if (FAILED(list_->HrInit())) {
      list_->Release();
      list_ = nullptr;
    }
  }
}

TaskbarProgress::~TaskbarProgress() {
  if (list_) list_->Release();
}

void TaskbarProgress::SetValue(HWND window, uint64_t done, uint64_t total) {
  if (list_ && window) list_->SetProgressValue(window, done, total);
}
void TaskbarProgress::SetNormal(HWND window) {
  if (list_ && window) list_->SetProgressState(window, TBPF_NORMAL);
}
void TaskbarProgress::SetError(HWND window) {
  if (list_ && window) list_->SetProgressState(window, TBPF_ERROR);
}
void TaskbarProgress::Clear(HWND window) {
  if (list_ && window) list_->SetProgressState(window, TBPF_NOPROGRESS);
}
