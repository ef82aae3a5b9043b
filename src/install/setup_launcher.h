// Runs the setups of the prerequisites, one launch entry each: store packages
// through the package manager, Windows Installer packages through msiexec when
// running as LocalSystem, everything else through the shell. A return code of
// 0 is success; every other code, 3010 included, is a failure here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Receives each setup's return code under the prerequisite's property name.
class IReturnValueSink {
 public:
  virtual ~IReturnValueSink() = default;
  virtual void SetInt(const std::string& name, int32_t value) = 0;
};

// Asked, for prerequisites that restart only when it agrees, whether to
// restart after their setup succeeded.
class IRebootAdvisor {
 public:
  virtual ~IRebootAdvisor() = default;
  virtual bool AdviseReboot(int32_t prereq_index) = 0;
};

// Installs an MSIX/AppX package; 0 on success.
class IStorePackageInstaller {
 public:
  virtual ~IStorePackageInstaller() = default;
  virtual uint32_t InstallStorePackage(const std::wstring& path) = 0;
};

// Restarts Windows; true when the restart was started.
class IMachineRestarter {
 public:
  virtual ~IMachineRestarter() = default;
  virtual bool RestartWindows() = 0;
};

// The real restart: the shutdown privilege, then ExitWindowsEx.
IMachineRestarter& WindowsRestarter();

struct LaunchEntry {
  std::wstring path;  // may carry the long-path prefix
  std::wstring command_line;
  std::wstring display_name;
  int32_t reboot_mode = 0;  // 0 never, 1 after success, 2 after success when advised
  int32_t tag = 0;
  uint32_t return_code = 0;
  std::wstring ret_val_prop_name;
  int32_t prereq_index = 0;
  // Nonzero: the Windows error why the file at path must not be started (a
  // bundled setup this run did not extract); it becomes the return code.
  uint32_t withheld = 0;
};

// What one install step did.
enum InstallStepResult : int32_t {
  kStepSucceeded = 0,
  kStepFailed = 1,
  kStepRebooting = 2,  // a restart was started, or refused by the user
};

class SetupLauncher {
 public:
  // Any collaborator may be null: no publishing, no advice (no restart), no
  // store packages (they fail), no restart.
  SetupLauncher(IReturnValueSink* sink, IRebootAdvisor* advisor, IStorePackageInstaller* store,
                IMachineRestarter* restarter);

  void AddLaunchEntry(const std::wstring& path, const std::wstring& command_line,
                      const std::wstring& display_name, int32_t reboot_mode, int32_t tag,
                      const std::wstring& ret_val_prop_name, int32_t prereq_index);
  // Starts the entry's setup and waits for it; true when it returned 0. A
  // withheld entry is not started and fails with its withheld code.
  bool LaunchSetup(size_t index);
  // LaunchSetup and, after success, the restart the entry asks for.
  InstallStepResult RunInstallStep(size_t index, bool silent);
  // Asks the user first unless silent; false when refused or not started.
  bool RebootMachine(bool silent);

  std::vector<LaunchEntry> entries;
  bool reboot_required = false;
  bool reboot_refused = false;
  // Whether the process runs as LocalSystem; a function so tests can say yes.
  bool (*is_local_system)() = nullptr;

 private:
  LaunchEntry& At(size_t index);

  IReturnValueSink* sink_;
  IRebootAdvisor* advisor_;
  IStorePackageInstaller* store_;
  IMachineRestarter* restarter_;
};
