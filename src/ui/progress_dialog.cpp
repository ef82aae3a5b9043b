#include "ui/progress_dialog.h"

#include <windows.h>
#include <objbase.h>

#include "core/prereq_chainer.h"
#include "util/unique_handle.h"

namespace {
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
  if (chainer.DownloadPrerequisites(nullptr) == 0) chainer.OpenSites(nullptr);
  chainer.InstallPrerequisites(nullptr);
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
