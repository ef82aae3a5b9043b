#include "install/setup_launcher.h"

#include <windows.h>

#include "core/stable_numbers.h"
#include "install/launch_rules.h"
#include "install/process_launch.h"
#include "platform/core/exception_handling.h"
#include "platform/core/exceptions.h"
#include "platform/core/logger.h"
#include "ui/message_box.h"
#include "util/folder_properties.h"
#include "util/temp_folder.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

namespace {
constexpr DWORD kPlannedInstallationReason = 0x80040002;  // planned, application, installation

struct StoreJob {
  IStorePackageInstaller* store;
  std::wstring path;
  uint32_t result;
};

DWORD WINAPI RunStoreJob(void* parameter) {
  // Faults of the package installation become SehException here, and what
  // nobody catches ends in the error report.
  ScopedExceptionTranslator translator;
  StoreJob* job = static_cast<StoreJob*>(parameter);
  job->result = job->store ? job->store->InstallStorePackage(job->path) : kFunctionFailed;
  return 0;
}

// The package manager's calls are asynchronous and must not run on the
// launcher's thread: a worker of its own does the installation.
uint32_t InstallOnWorker(IStorePackageInstaller* store, const std::wstring& path) {
  StoreJob job{store, path, kFunctionFailed};
  UniqueKernelHandle worker(CreateThread(nullptr, 0, RunStoreJob, &job, 0, nullptr));
  if (!worker) THROW_HRESULT(HRESULT_FROM_WIN32(GetLastError()), L"store package worker");
  WaitForSingleObject(worker.get(), INFINITE);
  return job.result == 0 ? 0 : kFunctionFailed;
}

class RealRestarter : public IMachineRestarter {
 public:
  bool RestartWindows() override {
    UniqueKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                          token.put())) {
      return false;
    }
    TOKEN_PRIVILEGES privileges = {};
    LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    if (GetLastError() != ERROR_SUCCESS) return false;
    return ExitWindowsEx(EWX_REBOOT | EWX_FORCE, kPlannedInstallationReason) != FALSE;
  }
};
}  // namespace

IMachineRestarter& WindowsRestarter() {
  static RealRestarter restarter;
  return restarter;
}

SetupLauncher::SetupLauncher(IReturnValueSink* sink, IRebootAdvisor* advisor,
                             IStorePackageInstaller* store, IMachineRestarter* restarter)
    : is_local_system(&IsLocalSystem),
      sink_(sink),
      advisor_(advisor),
      store_(store),
      restarter_(restarter) {}

LaunchEntry& SetupLauncher::At(size_t index) {
  if (index >= entries.size()) THROW_HRESULT(kErrorBounds, L"launch entry index out of range");
  return entries[index];
}

void SetupLauncher::AddLaunchEntry(const std::wstring& path, const std::wstring& command_line,
                                   const std::wstring& display_name, int32_t reboot_mode,
                                   int32_t tag, const std::wstring& ret_val_prop_name,
                                   int32_t prereq_index) {
  LaunchEntry entry;
  entry.path = path;
  entry.command_line = command_line;
  entry.display_name = display_name;
  entry.reboot_mode = reboot_mode;
  entry.tag = tag;
  entry.ret_val_prop_name = ret_val_prop_name;
  entry.prereq_index = prereq_index;
  entries.push_back(entry);
}

bool SetupLauncher::LaunchSetup(size_t index) {
  LaunchEntry& entry = At(index);
  const bool hide = IsQuietCommandLine(entry.command_line);

  bool started = false;
  uint32_t code = 0;
  if (entry.withheld != 0) {
    // Whatever lies at that path now was not written by this run: a stale
    // file of an earlier run or one put there by someone else. It fails
    // like a setup that could not be started.
    if (LoggingEnabled) {
      LOGGER.Write(L"Not launching file, this run did not extract it:" + entry.path);
    }
    code = entry.withheld;
  } else {
    if (LoggingEnabled) LOGGER.Write(L"Launching file:" + entry.path);
    if (IsStorePackage(entry.path)) {
      code = InstallOnWorker(store_, entry.path);
      started = code == 0;
    } else if (is_local_system && is_local_system()) {
      // The shell is not there for LocalSystem: start msiexec or the setup directly.
      std::wstring system_folder;
      ResolveFolderProperty(L"SystemFolder", &system_folder, false);
      DirectLaunch launch =
          DirectLaunchFor(entry.path, ExpandProperties(entry.command_line, false), system_folder);
      started = CreateProcessAndWait(launch.application, launch.command_line, NORMAL_PRIORITY_CLASS,
                                     &code);
    } else {
      started = ShellExecuteAndWait(entry.path, entry.command_line, std::wstring(), hide, &code);
    }
  }
  entry.return_code = code;
  if (!started && LoggingEnabled) {
    LOGGER.Write(L"Launch failed. Error:" + SystemMessageText(code));
  }
  if (LoggingEnabled) LOGGER.Write(FormatW(L"Return code of launched file:%lu", code));
  if (sink_) sink_->SetInt(ToAnsi(entry.ret_val_prop_name), static_cast<int32_t>(code));
  if (code == kSuccessRebootRequired || (code & 0xC0000000u) == 0xC0000000u) Sleep(2000);
  return code == 0;
}

InstallStepResult SetupLauncher::RunInstallStep(size_t index, bool silent) {
  LaunchEntry& entry = At(index);
  if (!LaunchSetup(index)) return kStepFailed;
  if (entry.reboot_mode == 2) {
    if (!advisor_ || !advisor_->AdviseReboot(entry.prereq_index)) return kStepSucceeded;
  } else if (entry.reboot_mode != 1) {
    return kStepSucceeded;
  }
  if (LoggingEnabled) LOGGER.Write(L"Rebooting machine...");
  reboot_required = true;
  RebootMachine(silent);
  return kStepRebooting;
}

bool SetupLauncher::RebootMachine(bool silent) {
  if (!silent) {
    int answer = ShowMessage(GetForegroundWindow(), MB_YESNO | MB_ICONINFORMATION,
                             MessageText(IDS_REBOOT_QUESTION), MessageText(IDS_CONFIRMATION));
    if (answer != IDYES) {
      reboot_refused = true;
      return false;
    }
  }
  return restarter_ && restarter_->RestartWindows();
}
