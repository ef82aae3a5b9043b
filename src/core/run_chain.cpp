// The chain of one run: detection, the work in the chosen mode, the summary
// in the log, the exit code and the restart-surviving state.
#include <windows.h>

#include "core/chainer_app.h"
#include "core/interboot_store.h"
#include "core/platform_seams.h"
#include "core/prereq_chainer.h"
#include "core/stable_numbers.h"
#include "platform/core/logger.h"
#include "ui/progress_dialog.h"
#include "ui/strings.h"
#include "util/unique_handle.h"
#include "util/version_resource.h"
#include "util/wide_format.h"

namespace {
DWORD WINAPI DetectAllWorker(void* parameter) {
  static_cast<ChainerConfig*>(parameter)->DetectAll();
  return 0;
}

// Runs the detection on a worker while this thread keeps its windows alive.
void DetectWhilePumpingMessages(ChainerConfig& config) {
  UniqueKernelHandle worker(CreateThread(nullptr, 0, DetectAllWorker, &config, 0, nullptr));
  if (!worker) {
    config.DetectAll();
    return;
  }
  HANDLE handle = worker.get();
  while (MsgWaitForMultipleObjectsEx(1, &handle, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
         WAIT_OBJECT_0 + 1) {
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  WaitForSingleObject(handle, INFINITE);
}

bool SomethingToInstall(const ChainerConfig& config) {
  for (const Prerequisite& record : config.prerequisites) {
    if (NeedsInstallation(record.state)) return true;
  }
  return false;
}

const wchar_t* YesNo(bool flag) {
  return flag ? L"true" : L"false";
}
}  // namespace

int32_t ChainerApp::RunChain(ChainerConfig& config) {
  InterbootStore store(config, &CopyStoredReturnValues);
  int32_t result = 0;
  if (config.prerequisites.empty()) return result;

  if (quiet_) {
    config.DetectAll();
  } else {
    ShowStatus(&progress_, LoadResString(IDS_SEARCHING));
    DetectWhilePumpingMessages(config);
  }
  if (!SomethingToInstall(config)) {
    LogLine(L"No prerequisite must be installed.");
    return result;
  }

  CloseStatus(&progress_);
  PrereqChainer chainer(config, archive_, progress_, store, GetPlatformSeams());
  const GeneralOptions& general = config.general;
  if (general.HasOption(L'q')) {
    LogLine(L"Starting installing prerequisites in silent mode.");
    chainer.silent = true;
    chainer.ReportSelection(nullptr);
    chainer.DownloadPrerequisites(nullptr);
    chainer.OpenSites(nullptr);
    chainer.InstallPrerequisites(nullptr);
    if (!chainer.reboot_required()) {
      chainer.RefreshSelection(nullptr);
      result = chainer.CheckMandatory(nullptr) ? 0 : 1;
    }
  } else if (general.HasOption(L'b')) {
    LogLine(L"Starting installing prerequisites in basic UI mode.");
    if (progress_.title.empty()) {
      if (progress_.product_name.empty())
        ReadProductName(progress_.version_file, &progress_.product_name);
      progress_.title = FormatResString(IDS_SETUP_TITLE, progress_.product_name.c_str());
    }
    chainer.ReportSelection(nullptr);
    result = RunProgressDialog(chainer, progress_) == kDialogMandatoryFailed ? 1 : 0;
  }

  LogLine(FormatW(L"After running prerequisites we have:  Reboot was required=%s",
              YesNo(chainer.reboot_required())));
  if (chainer.reboot_required()) {
    LogLine(FormatW(L"  Reboot was refused=%s", YesNo(chainer.reboot_refused())));
    if (!chainer.reboot_refused()) {
      LogLine(FormatW(L"  Reboot in Progress=%s", YesNo(chainer.session_ending)));
    }
  }
  if ((chainer.reboot_required() && !chainer.reboot_refused()) || chainer.session_ending) {
    result = kExitRebootPending;
    store.delete_at_end = false;
  }
  exit_code_ = result;
  return result;
}
