#include "ui/progress_dialog.h"

#include <windows.h>
#include <objbase.h>

#include "core/prereq_chainer.h"
#include "ui/progress_sink.h"
#include "util/unique_handle.h"

namespace {
// Stands where the dialog will be: the work knows a user is there (so a
// restart is asked for, not imposed), but nothing is drawn yet.
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

struct DialogWork {
  PrereqChainer* chainer;
  ProgressDialogEnd end;
};

ProgressDialogEnd FinishWork(PrereqChainer& chainer) {
  if (chainer.reboot_required()) return kDialogCancelled;
  chainer.RefreshSelection(nullptr);
  return chainer.CheckMandatory(nullptr) ? kDialogDone : kDialogMandatoryFailed;
}

DWORD WINAPI DialogWorker(void* parameter) {
  DialogWork* work = static_cast<DialogWork*>(parameter);
  const bool com = SUCCEEDED(CoInitialize(nullptr));
  PrereqChainer& chainer = *work->chainer;
  WindowlessSink sink;
  if (chainer.DownloadPrerequisites(&sink) == 0) chainer.OpenSites(&sink);
  chainer.InstallPrerequisites(&sink);
  // A failed or stopped installation is judged like a finished one, so that a
  // missing mandatory prerequisite always ends the run as a failure.
  work->end = FinishWork(chainer);
  if (com) CoUninitialize();
  return 0;
}
}  // namespace

// The dialog window itself comes with the progress user interface; until then
// the work runs on its worker thread and the caller waits for the end code.
ProgressDialogEnd RunProgressDialog(PrereqChainer& chainer, ProgressState&) {
  DialogWork work{&chainer, kDialogCancelled};
  UniqueKernelHandle worker(CreateThread(nullptr, 0, DialogWorker, &work, 0, nullptr));
  if (!worker) return kDialogCancelled;
  WaitForSingleObject(worker.get(), INFINITE);
  return work.end;
}
