#include "core/chainer_app.h"

#include <windows.h>

#include <new>

#include "core/config_path.h"
#include "platform/core/exception_handling.h"
#include "platform/core/logger.h"
#include "core/stable_numbers.h"
#include "ui/common_controls.h"
#include "ui/strings.h"
#include "ui/ui_state.h"
#include "util/file_ops.h"
#include "util/folder_properties.h"
#include "util/module_path.h"
#include "util/path_text.h"
#include "util/temp_folder.h"
#include "util/unique_handle.h"
#include "util/version_resource.h"

namespace {
const wchar_t kInstallerMutex[] = L"Global\\_MSIExecute";

enum class InstallerWait { Idle, Failed };

// Blocks until no Windows Installer installation runs. The mutex is never
// created here and never released: only our handle is closed.
InstallerWait WaitForWindowsInstaller() {
  UniqueKernelHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kInstallerMutex));
  if (!mutex)
    return GetLastError() == ERROR_FILE_NOT_FOUND ? InstallerWait::Idle : InstallerWait::Failed;
  return WaitForSingleObject(mutex.get(), INFINITE) == WAIT_OBJECT_0 ? InstallerWait::Idle
                                                                     : InstallerWait::Failed;
}
}  // namespace

bool ReadConfigurationText(const std::wstring& path, uint32_t size, std::wstring* text) {
  text->clear();
  UniqueFile file(CreateFileW(ToLongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  // Fewer than two bytes cannot even hold the byte-order mark: nothing to parse.
  if (size <= 2) return true;
  if (SetFilePointer(file.get(), 2, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  const DWORD bytes = size - 2;
  // Room for every byte, so that an odd size cannot write past the buffer.
  wchar_t* buffer = new (std::nothrow) wchar_t[bytes / 2 + 1];
  if (!buffer) return false;
  DWORD read = 0;
  bool ok = ReadFile(file.get(), buffer, bytes, &read, nullptr) != FALSE;
  if (ok) text->assign(buffer, read / 2);
  delete[] buffer;
  return ok;
}

ChainerApp::~ChainerApp() {
  SetCrashCleanup(nullptr, nullptr);
  CloseStatus(&progress_);
  CleanUpOnce();
}

void ChainerApp::CleanUpOnce() {
  if (InterlockedExchange(&cleaned_up_, 1)) return;
  DeleteCollected();
  script_cleanup_.Run();
  archive_.RemoveExtracted();
}

// After a crash only what the run itself unpacked goes: the configuration,
// CleanupFiles and the self-delete belong to a run that ended as planned, and
// a ".part" file stays for the next run to resume, as after a cancel.
void ChainerApp::CleanUpAfterCrash(void* app) {
  ChainerApp* self = static_cast<ChainerApp*>(app);
  if (InterlockedExchange(&self->cleaned_up_, 1)) return;
  self->archive_.RemoveExtracted();
}

void ChainerApp::DeleteCollected() {
  DeleteCollectedFiles(files_to_delete_, cleanup_folder_);
  PruneScriptPaths(&script_cleanup_);
}

void ChainerApp::CollectCleanup(const IniDocument& document) {
  ChainerSection section;
  if (!LoadChainerSection(document, &section)) return;
  script_cleanup_.script = section.cleanup_script;
  script_cleanup_.elevate = false;
  script_cleanup_.retry_count = 10;
  script_cleanup_.AddPath(section.cleanup_script);
  cleanup_folder_ = section.cleanup_folders;
  for (const std::wstring& item : SplitCleanupFiles(section.cleanup_files)) {
    bool absolute = IsDriveAbsolute(item) || StartsWithTwoBackslashes(item);
    if (absolute && PathExists(item) && StartsWith(item, cleanup_folder_)) {
      files_to_delete_.push_back(item);
    }
  }
  files_to_delete_.push_back(config_path_);
  script_cleanup_.AddPath(module_path_);
  for (const std::wstring& folder : FoldersBelowCleanupFolder(module_dir_, cleanup_folder_)) {
    script_cleanup_.AddPath(folder);
  }
}

std::wstring ChainerApp::ExtractionFolderFor(const ChainerConfig& config) {
  if (config.general.extraction_folder.empty()) {
    return GetTempFolder() + config.general.default_product_code + L"\\";
  }
  std::wstring folder = ExpandProperties(config.general.extraction_folder, false);
  NormalizeSlashes(&folder);
  // "[SETUPEXEDIR]\" resolves to a folder that already ends with a backslash.
  while (folder.size() > 1 && EndsWith(folder, L"\\\\")) folder.pop_back();
  return WithTrailingBackslash(folder);
}

namespace {
// The download folder with its references resolved; without one, downloads
// go to the temporary folder rather than to the root of the current drive.
std::wstring DownloadFolderFor(const ChainerConfig& config) {
  std::wstring folder = ExpandProperties(config.general.download_folder, false);
  NormalizeSlashes(&folder);
  if (folder.empty()) folder = GetTempFolder();
  return WithTrailingBackslash(folder);
}
}  // namespace

int32_t ChainerApp::Run() {
  module_path_ = GetProgramPath();
  module_dir_ = ModuleFolder(module_path_);
  config_path_ = ConfigPathForModule(module_path_);

  WIN32_FIND_DATAW found;
  UniqueFind config_file(FindFirstFileW(ToLongPath(config_path_).c_str(), &found));
  if (!config_file) return 0;

  IniDocument document;
  std::wstring text;
  if (ReadConfigurationText(config_path_, found.nFileSizeLow, &text) && !text.empty()) {
    document.Parse(text);
  }
  ChainerConfig config;
  config.LoadConfiguration(document, &ExpandProperties);
  config.download_folder = DownloadFolderFor(config);
  CollectCleanup(document);

  ChainerSection chainer_section;
  if (LoadChainerSection(document, &chainer_section) && !chainer_section.log_file.empty()) {
    LoggingEnabled = true;
    LOGGER.SetLogFile(chainer_section.log_file);
  }
  if (!start_note_.empty()) LogLine(start_note_);

  quiet_ = config.general.HasOption(L'q');
  InteractiveUi = !quiet_;
  // Here rather than at start, once the run is known to show windows.
  if (InteractiveUi) EnsureCommonControlClasses();

  archive_.SetHome(module_path_);
  archive_.SetDestination(ExtractionFolderFor(config));
  config.archive = &archive_;
  if (!quiet_) config.progress = &progress_;
  SetCrashCleanup(&ChainerApp::CleanUpAfterCrash, this);

  // The title first: the status window takes its caption when it appears.
  progress_.version_file = module_path_;
  progress_.product_name = module_path_;
  ReadProductName(module_path_, &progress_.product_name);
  progress_.title = FormatResString(IDS_SETUP_TITLE, progress_.product_name.c_str());
  ShowStatus(&progress_, LoadResString(IDS_PREPARING));

  SetCurrentDirectoryW(module_dir_.c_str());

  if (WaitForWindowsInstaller() != InstallerWait::Idle) return 1;
  exit_code_ = RunChain(config);
  return exit_code_;
}
