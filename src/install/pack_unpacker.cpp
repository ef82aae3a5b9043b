#include "install/pack_unpacker.h"

#include <memory>

#include "core/stable_numbers.h"
#include "detect/registry_value.h"
#include "detect/version.h"
#include "install/process_launch.h"
#include "platform/core/logger.h"
#include "ui/message_box.h"
#include "ui/strings.h"
#include "util/file_ops.h"
#include "util/path_text.h"
#include "util/process_bitness.h"
#include "util/temp_folder.h"
#include "util/wide_format.h"

namespace {
const wchar_t kJavaRuntimes[] = L"HKLM\\Software\\JavaSoft\\Java Runtime Environment";
constexpr DWORD kHiddenDetached = CREATE_NO_WINDOW | DETACHED_PROCESS;

bool EndsWithIgnoreCase(const std::wstring& text, const std::wstring& suffix) {
  return text.size() >= suffix.size() &&
         EqualsIgnoreCaseAscii(text.substr(text.size() - suffix.size()), suffix);
}

void ScanFolder(const std::wstring& folder, size_t index, std::vector<PackEntry>* entries) {
  FolderEnumerator it(WithTrailingBackslash(folder) + L"*.*");
  while (it.Next()) {
    const std::wstring name = it.Name();
    if (name == L"." || name == L"..") continue;
    if (it.IsFolder()) {
      ScanFolder(it.FullPath(), index, entries);
    } else if (IsPackedJarName(name)) {
      entries->push_back(PackEntry{it.FullPath(), index});
    }
  }
}

std::wstring FindFileBelow(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return std::wstring();
  FolderEnumerator it(WithTrailingBackslash(folder) + L"*.*");
  std::vector<std::wstring> subfolders;
  while (it.Next()) {
    if (it.Name() == L"." || it.Name() == L"..") continue;
    if (!it.IsFolder() && EqualsIgnoreCaseAscii(it.Name(), name)) return it.FullPath();
    if (it.IsFolder()) subfolders.push_back(it.FullPath());
  }
  for (const std::wstring& subfolder : subfolders) {
    std::wstring found = FindFileBelow(subfolder, name);
    if (!found.empty()) return found;
  }
  return std::wstring();
}

// JavaHome of every registered runtime not below the minimum, in one view.
void CollectJavaHomes(REGSAM view, const Version& minimum, std::vector<std::wstring>* homes) {
  UniqueRegKey root;
  if (OpenRegistryKey(kJavaRuntimes, KEY_READ | view, &root) != ERROR_SUCCESS) return;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(root.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    if (VersionFromText(name) < minimum) continue;
    UniqueRegKey runtime;
    std::wstring home;
    if (OpenRegistryKey(std::wstring(kJavaRuntimes) + L"\\" + name, KEY_QUERY_VALUE | view,
                        &runtime) == ERROR_SUCCESS &&
        ReadValueText(runtime.get(), L"JavaHome", &home) && !home.empty()) {
      homes->push_back(home);
    }
  }
}

std::wstring ReadLogText(const std::wstring& path) {
  UniqueFile file(CreateFileW(ToLongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::wstring();
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  // A page or so says why; the message box has no room for more.
  while (bytes.size() < 64 * 1024 && ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) &&
         read > 0) {
    bytes.append(buffer, read);
  }
  return FromAnsi(bytes);
}

// A fresh "log*.log" in the temporary folder for the tool to write.
std::wstring NewLogFileName() {
  const std::wstring folder = GetTempFolder();
  wchar_t name[MAX_PATH + 1] = {};
  if (folder.empty() || !GetTempFileNameW(folder.c_str(), L"log", 0, name)) return std::wstring();
  std::wstring log = name;
  const size_t dot = log.rfind(L'.');
  std::wstring renamed = (dot == std::wstring::npos ? log : log.substr(0, dot)) + L".log";
  if (MoveFileExW(log.c_str(), renamed.c_str(), 0)) return renamed;
  return log;
}

class PackUnpacker {
 public:
  PackUnpacker(const std::vector<std::wstring>& folders, HANDLE wait_handle,
               IUnpackProgress* progress)
      : folders_(folders), wait_handle_(wait_handle), progress_(progress) {}

  uint32_t Run() {
    if (wait_handle_) WaitForSingleObject(wait_handle_, INFINITE);
    if (!folders_.empty() && progress_) progress_->Begin();
    const std::vector<PackEntry> entries = FindPackedJars(folders_);
    if (progress_) progress_->SetTotal(static_cast<uint32_t>(entries.size()));
    if (entries.empty()) return kUnpackSucceeded;
    const std::wstring first = WithTrailingBackslash(folders_.front());
    tool_path_ = FindJavaTool(L"unpack200.exe", L"1.5", first + L"jre", first + L"jre64");
    if (tool_path_.empty()) {
      ReportErrorMessage(LoadResString(IDS_JAVA_REQUIRED));
      return kUnpackFailed;
    }
    const std::wstring log_file = NewLogFileName();
    for (const PackEntry& entry : entries) {
      if (progress_ && progress_->IsCanceled()) return kUnpackCanceled;
      if (!Unpack(entry.path, log_file)) return kUnpackFailed;
    }
    return kUnpackSucceeded;
  }

 private:
  // The tool writes under a fresh name that only this run can have made; the
  // result takes the JAR's name only when it is whole, and never replaces a
  // file that is already there: a JAR this run did not make is neither
  // overwritten nor, later, removed with the extracted files.
  bool Unpack(const std::wstring& pack, const std::wstring& log_file) {
    const std::wstring jar = JarPathFor(pack);
    std::wstring fresh;
    for (uint32_t attempt = 0; attempt < 100 && fresh.empty(); ++attempt) {
      fresh = UnpackingNameFor(jar, GetCurrentProcessId(), attempt);
      if (PathExists(fresh)) fresh.clear();
    }
    uint32_t exit_code = 1;
    bool unpacked = !fresh.empty() &&
                    CreateProcessAndWait(tool_path_,
                                         L"\"" + tool_path_ + L"\" " +
                                             UnpackCommandLine(log_file, pack, fresh),
                                         kHiddenDetached, &exit_code) &&
                    exit_code == 0 && PathExists(fresh);
    bool made = false;
    if (unpacked) {
      made = MoveFileExW(ToLongPath(fresh).c_str(), ToLongPath(jar).c_str(), 0) != FALSE;
      const DWORD error = made ? 0 : GetLastError();
      if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
        // As before, the JAR found there is what the setups get.
        if (LoggingEnabled) {
          LOGGER.Write(L"A file this run did not unpack is in the way, it stays as it is:" + jar);
        }
      } else if (!made) {
        unpacked = false;
      }
    }
    if (!fresh.empty() && PathExists(fresh)) DeleteFileLong(fresh);
    if (unpacked) {
      if (PathExists(pack)) DeleteFileLong(pack);
      if (made && LoggingEnabled) LOGGER.Write(L"File unpacked:" + jar);
    } else {
      ReportErrorMessage(FormatResString(IDS_JAR_UNPACK_FAILED, FileNameOf(jar).c_str(),
                                         ReadLogText(log_file).c_str()));
    }
    if (!log_file.empty()) DeleteFileLong(log_file);
    if (progress_) progress_->FileDone(jar, made);
    return unpacked;
  }

  std::vector<std::wstring> folders_;
  HANDLE wait_handle_;
  IUnpackProgress* progress_;
  std::wstring tool_path_;
};

DWORD WINAPI RunUnpacker(void* parameter) {
  std::unique_ptr<PackUnpacker> unpacker(static_cast<PackUnpacker*>(parameter));
  return unpacker->Run();
}
}  // namespace

bool IsPackedJarName(const std::wstring& file_name) {
  static const std::wstring kPack = L".pack";
  if (!EndsWithIgnoreCase(file_name, kPack)) return false;
  return EndsWithIgnoreCase(file_name.substr(0, file_name.size() - kPack.size()), L".jar");
}

std::wstring JarPathFor(const std::wstring& pack_path) {
  const size_t dot = pack_path.rfind(L'.');
  const size_t slash = pack_path.rfind(L'\\');
  if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) return pack_path;
  return pack_path.substr(0, dot);
}

std::wstring UnpackingNameFor(const std::wstring& jar_path, uint32_t process_id, uint32_t attempt) {
  return FormatW(L"%s.%lu-%lu.unpacking", jar_path.c_str(), static_cast<unsigned long>(process_id),
                 static_cast<unsigned long>(attempt));
}

std::wstring UnpackCommandLine(const std::wstring& log_file, const std::wstring& pack_path,
                               const std::wstring& jar_path) {
  return FormatW(L"--verbose --log-file=\"%s\" --remove-pack-file \"%s\" \"%s\"", log_file.c_str(),
                 pack_path.c_str(), jar_path.c_str());
}

std::vector<PackEntry> FindPackedJars(const std::vector<std::wstring>& folders) {
  std::vector<PackEntry> entries;
  for (size_t i = 0; i < folders.size(); ++i) ScanFolder(folders[i], i, &entries);
  return entries;
}

std::wstring FindJavaTool(const std::wstring& tool, const std::wstring& min_version,
                          const std::wstring& folder_a, const std::wstring& folder_b) {
  std::wstring found = FindFileBelow(folder_a, tool);
  if (found.empty()) found = FindFileBelow(folder_b, tool);
  if (!found.empty()) return found;
  const Version minimum = VersionFromText(min_version);
  std::vector<std::wstring> homes;
  CollectJavaHomes(RegistryViewFlag(false, kProcessIs64Bit), minimum, &homes);
  CollectJavaHomes(KEY_WOW64_64KEY, minimum, &homes);
  for (const std::wstring& home : homes) {
    found = FindFileBelow(home, tool);
    if (!found.empty()) return found;
  }
  return std::wstring();
}

UniqueKernelHandle StartUnpacking(const std::vector<std::wstring>& folders, HANDLE wait_handle,
                                  IUnpackProgress* progress) {
  PackUnpacker* unpacker = new PackUnpacker(folders, wait_handle, progress);
  UniqueKernelHandle worker(CreateThread(nullptr, 0, RunUnpacker, unpacker, 0, nullptr));
  if (!worker) delete unpacker;
  return worker;
}
