#include "ui/progress_dialog.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <memory>

#include "core/prereq_chainer.h"
#include "core/stable_numbers.h"
#include "download/credential_store.h"
#include "ui/dialog_support.h"
#include "ui/progress_sink.h"
#include "ui/strings.h"
#include "ui/taskbar_progress.h"
#include "ui/window_registry.h"
#include "util/unique_handle.h"

#ifndef PBM_SETSTATE
#define PBM_SETSTATE (WM_USER + 16)
#endif
#ifndef PBST_ERROR
#define PBST_ERROR 2
#endif

namespace {
// Messages from the worker: everything that touches the window or the
// taskbar runs on the dialog's own thread.
constexpr UINT kSetSteps = WM_APP + 1;    // wparam: the step total
constexpr UINT kNextStep = WM_APP + 2;    // lparam: the step's text
constexpr UINT kShowError = WM_APP + 3;   // lparam: the text or none
constexpr UINT kBarVisible = WM_APP + 4;  // wparam: show or hide
constexpr UINT kEnd = WM_APP + 5;         // wparam: the end code
// wparam: where to put whether the user gave credentials; lparam: the store.
constexpr UINT kAskCredentials = WM_APP + 6;

ProgressDialogEnd FinishWork(PrereqChainer& chainer) {
  if (chainer.reboot_required()) return kDialogCancelled;
  chainer.RefreshSelection(nullptr);
  return chainer.CheckMandatory(nullptr) ? kDialogDone : kDialogMandatoryFailed;
}

// The work of the dialog's worker: downloads, sites, installation. After
// Cancel nothing more is started: the window is gone, and the user expects
// neither a site nor a setup. A failed or stopped installation is judged like
// a finished one, so that a missing mandatory prerequisite always ends the
// run as a failure.
ProgressDialogEnd DoWork(PrereqChainer& chainer, IProgressSink& sink) {
  const bool com = SUCCEEDED(CoInitialize(nullptr));
  if (chainer.DownloadPrerequisites(&sink) == 0 && !sink.IsCanceled()) chainer.OpenSites(&sink);
  // 1602 also comes from a Cancel of the extraction dialog, which this
  // dialog's flag does not see.
  const bool cancelled =
      sink.IsCanceled() || chainer.InstallPrerequisites(&sink) == kInstallUserExit;
  const ProgressDialogEnd end = cancelled ? kDialogCancelled : FinishWork(chainer);
  if (com) CoUninitialize();
  return end;
}

// For when no dialog can be shown (no desktop): the work still runs and a
// user is still assumed, so a restart is asked for, not imposed.
class WindowlessSink : public IProgressSink {
 public:
  void SetStepCount(uint64_t, uint32_t) override {}
  void BeginTransfer(int32_t, uint64_t, const std::wstring&) override {}
  void EndTransfer(int32_t, uint32_t) override {}
  void AddBytes(uint64_t) override {}
  bool IsCanceled() override { return false; }
  bool IsPaused() override { return false; }
  int32_t ReportError(const std::wstring&, uint32_t code, void*) override {
    return static_cast<int32_t>(code);
  }
  void SetStatus(const std::wstring&, int32_t, uint32_t) override {}
};

class ProgressDialog : public IProgressSink {
 public:
  ProgressDialog(PrereqChainer& chainer, ProgressState& state) : chainer_(chainer), state_(state) {}

  // Modal; returns once the dialog has ended and the worker has stopped.
  // kDialogCancelled with *shown false when no dialog could be created.
  ProgressDialogEnd Run(bool* shown) {
    const INT_PTR result =
        DialogBoxParamW(WindowRegistry::Instance(), MAKEINTRESOURCEW(IDD_PROGRESS),
                        GetActiveWindow(), &Procedure, reinterpret_cast<LPARAM>(this));
    *shown = result > 0;
    if (worker_) WaitForSingleObject(worker_.get(), INFINITE);
    return *shown ? static_cast<ProgressDialogEnd>(result) : kDialogCancelled;
  }

  void SetStepCount(uint64_t count, uint32_t) override {
    SendMessageW(dialog_, kSetSteps, static_cast<WPARAM>(count), 0);
  }
  void BeginTransfer(int32_t, uint64_t, const std::wstring&) override {}
  // Only the end of the whole work ends the dialog; a finished download
  // (kind 1) leaves it open.
  void EndTransfer(int32_t kind, uint32_t) override {
    if (kind == 0) PostMessageW(dialog_, kEnd, static_cast<WPARAM>(FinishWork(chainer_)), 0);
  }
  void AddBytes(uint64_t) override {}
  bool IsCanceled() override { return cancelled_ != 0; }
  bool IsPaused() override { return false; }
  int32_t ReportError(const std::wstring& text, uint32_t code, void* context) override {
    // A server or proxy that wants a login: the user is asked, on the
    // dialog's thread so that the question is owned by the dialog.
    if (code == kDownloadNeedCredentials && context) {
      bool given = false;
      if (!IsCanceled()) {
        SendMessageW(dialog_, kAskCredentials, reinterpret_cast<WPARAM>(&given),
                     reinterpret_cast<LPARAM>(context));
      }
      return given ? ERROR_RETRY : static_cast<int32_t>(code);
    }
    SendMessageW(dialog_, kShowError, 0, text.empty() ? 0 : reinterpret_cast<LPARAM>(text.c_str()));
    // A visible flash of the bar; the user is not asked anything.
    SendMessageW(dialog_, kBarVisible, FALSE, 0);
    Sleep(200);
    SendMessageW(dialog_, kBarVisible, TRUE, 0);
    return static_cast<int32_t>(code);
  }
  void SetStatus(const std::wstring& text, int32_t kind, uint32_t) override {
    if (kind == 9) SendMessageW(dialog_, kNextStep, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }

 private:
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
      SetWindowLongPtrW(dialog, GWLP_USERDATA, lparam);
      return reinterpret_cast<ProgressDialog*>(lparam)->Initialize(dialog);
    }
    auto* self = reinterpret_cast<ProgressDialog*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
    return self ? self->Handle(message, wparam, lparam) : FALSE;
  }

  INT_PTR Initialize(HWND dialog) {
    dialog_ = dialog;
    WindowRegistry::Add(dialog);
    SetProgramIcons(dialog);
    CenterOnOwner(dialog);
    SetWindowTextW(dialog, state_.title.c_str());
    state_.dialog = dialog;  // the owner of the extraction dialog
    SetDlgItemTextW(dialog, IDC_PROGRESS_TEXT, LoadResString(IDS_PREPARING).c_str());
    root_ = RootWindowOf(dialog);
    taskbar_.reset(new TaskbarProgress());
    worker_.reset(CreateThread(nullptr, 0, &Worker, this, 0, nullptr));
    if (!worker_) EndDialog(dialog, kDialogCancelled);
    return TRUE;
  }

  static DWORD WINAPI Worker(void* parameter) {
    auto* self = static_cast<ProgressDialog*>(parameter);
    const ProgressDialogEnd end = DoWork(self->chainer_, *self);
    PostMessageW(self->dialog_, kEnd, static_cast<WPARAM>(end), 0);
    return 0;
  }

  INT_PTR Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    HWND bar = GetDlgItem(dialog_, IDC_PROGRESS_BAR);
    switch (message) {
      case kSetSteps:
        total_ = wparam;
        step_ = 0;
        SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(wparam)));
        SendMessageW(bar, PBM_SETPOS, 0, 0);
        return TRUE;
      case kNextStep:
        SetDlgItemTextW(dialog_, IDC_PROGRESS_TEXT, reinterpret_cast<const wchar_t*>(lparam));
        ++step_;
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(step_), 0);
        taskbar_->SetValue(root_, step_, total_);
        return TRUE;
      case kShowError:
        if (lparam)
          SetDlgItemTextW(dialog_, IDC_PROGRESS_TEXT, reinterpret_cast<const wchar_t*>(lparam));
        SendMessageW(bar, PBM_SETSTATE, PBST_ERROR, 0);
        taskbar_->SetError(root_);
        return TRUE;
      case kAskCredentials:
        *reinterpret_cast<bool*>(wparam) =
            !ended_ && reinterpret_cast<CredentialStore*>(lparam)->AskUser(dialog_);
        return TRUE;
      case kBarVisible:
        ShowWindow(bar, wparam ? SW_SHOW : SW_HIDE);
        return TRUE;
      case kEnd:
        taskbar_->Clear(root_);
        if (!ended_) EndDialog(dialog_, static_cast<INT_PTR>(wparam));
        ended_ = true;
        return TRUE;
      case WM_COMMAND:
        if (LOWORD(wparam) == IDCANCEL) {
          // The worker sees the flag at its next poll; the caller waits for it.
          InterlockedExchange(&cancelled_, 1);
          taskbar_->Clear(root_);
          if (!ended_) EndDialog(dialog_, kDialogCancelled);
          ended_ = true;
          return TRUE;
        }
        return FALSE;
      case WM_ENDSESSION:
        if (wparam) chainer_.session_ending = true;
        return FALSE;
      case WM_DESTROY:
        state_.dialog = nullptr;
        WindowRegistry::Remove(dialog_);
        return FALSE;
    }
    return FALSE;
  }

  PrereqChainer& chainer_;
  ProgressState& state_;
  HWND dialog_ = nullptr;
  HWND root_ = nullptr;
  UniqueKernelHandle worker_;
  volatile LONG cancelled_ = 0;
  bool ended_ = false;
  uint64_t step_ = 0;
  uint64_t total_ = 0;
  std::unique_ptr<TaskbarProgress> taskbar_;
};

DWORD WINAPI WindowlessWorker(void* parameter) {
  auto* chainer = static_cast<PrereqChainer*>(parameter);
  WindowlessSink sink;
  const ProgressDialogEnd end = DoWork(*chainer, sink);
  return static_cast<DWORD>(end);
}
}  // namespace

ProgressDialogEnd RunProgressDialog(PrereqChainer& chainer, ProgressState& progress) {
  EnsureTitle(&progress);
  const bool com = SUCCEEDED(CoInitialize(nullptr));  // for the taskbar list
  ProgressDialogEnd end = kDialogCancelled;
  bool shown = false;
  {
    ProgressDialog dialog(chainer, progress);
    end = dialog.Run(&shown);
  }
  if (!shown) {
    UniqueKernelHandle worker(CreateThread(nullptr, 0, &WindowlessWorker, &chainer, 0, nullptr));
    DWORD code = kDialogCancelled;
    if (worker && WaitForSingleObject(worker.get(), INFINITE) == WAIT_OBJECT_0) {
      GetExitCodeThread(worker.get(), &code);
    }
    end = static_cast<ProgressDialogEnd>(code);
  }
  if (com) CoUninitialize();
  return end;
}
