#include "platform/core/logger.h"

#include <windows.h>
#include <cpuid.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <vector>

#include "detect/os_facts.h"
#include "platform/core/everyone_security.h"
#include "platform/core/log_format.h"
#include "util/module_path.h"
#include "util/path_text.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

bool LoggingEnabled = false;

void LogLine(const std::wstring& line) {
  if (LoggingEnabled) LOGGER.Write(line);
}

namespace {
void DebugOutput(const std::wstring& text) {
  OutputDebugStringW(text.c_str());
}

// The shared log folder must be writable by every user who runs a setup later,
// whoever created it first.
bool CreateFolderForEveryone(const std::wstring& folder) {
  EveryoneSecurity security;
  if (!security.valid()) return false;
  // Another setup may have made it a moment ago; that one serves as well.
  return CreateDirectoryW(folder.c_str(), security.attributes()) ||
         GetLastError() == ERROR_ALREADY_EXISTS;
}

using SHGetSpecialFolderPathWFn = BOOL(WINAPI*)(HWND, LPWSTR, int, BOOL);

bool CommonAppDataFolder(std::wstring* folder) {
  wchar_t buffer[MAX_PATH + 1] = {};
  bool found = false;
  LPITEMIDLIST items = nullptr;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_COMMON_APPDATA, &items)) && items) {
    found = SHGetPathFromIDListW(items, buffer) != FALSE;
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator) {
      allocator->Free(items);
      allocator->Release();
    }
  }
  if (!found) {
    UniqueModule shell(LoadLibraryW(L"Shell32.dll"));
    if (!shell) return false;
    auto get_path = reinterpret_cast<SHGetSpecialFolderPathWFn>(
        reinterpret_cast<void*>(GetProcAddress(shell.get(), "SHGetSpecialFolderPathW")));
    if (!get_path || !get_path(nullptr, buffer, CSIDL_COMMON_APPDATA, FALSE)) return false;
  }
  buffer[MAX_PATH] = L'\0';
  *folder = buffer;
  return !folder->empty();
}

// The locations after the configured path, in the order they are tried. Each
// gives false when it cannot form its path, which ends the search.
bool CommonAppDataLogPath(std::wstring* path) {
  std::wstring folder;
  if (!CommonAppDataFolder(&folder)) return false;
  folder = WithTrailingBackslash(folder) + kFallbackLogFolder;
  if (!FitsLogPathBuffer(folder)) return false;
  if (!PathFileExistsW(folder.c_str()) && !CreateFolderForEveryone(folder)) return false;
  *path = folder + L"\\" + LogFileNameFor(GetProgramPath());
  return FitsLogPathBuffer(*path);
}

bool ExecutableFolderLogPath(std::wstring* path) {
  std::wstring executable = GetProgramPath();
  if (executable.empty()) return false;
  *path = ExecutableLogPath(executable);
  return FitsLogPathBuffer(*path);
}

bool TempFolderLogPath(std::wstring* path) {
  wchar_t buffer[kLogPathBufferUnits] = {};
  DWORD length = GetTempPathW(kLogPathBufferUnits, buffer);
  if (length == 0 || length >= kLogPathBufferUnits) return false;
  std::wstring folder = std::wstring(buffer, length) + kFallbackLogFolder;
  if (!FitsLogPathBuffer(folder)) return false;
  if (!PathFileExistsW(folder.c_str()) && !CreateDirectoryW(folder.c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  *path = folder + L"\\" + LogFileNameFor(GetProgramPath());
  return FitsLogPathBuffer(*path);
}

constexpr int kFallbackLocations = 3;
// The location whose folder everyone may write to.
constexpr int kSharedLocation = 0;

bool FormFallbackPath(int location, std::wstring* path) {
  switch (location) {
    case kSharedLocation:
      return CommonAppDataLogPath(path);
    case 1:
      return ExecutableFolderLogPath(path);
    case 2:
      return TempFolderLogPath(path);
  }
  return false;
}

// Anyone can plant a symbolic link, a junction or a second name (hard link)
// of some other file in the shared folder, or replace the folder by a
// junction; an elevated run would then write its log into whatever that
// leads to. There the folder is checked before the file is created in it,
// the file is opened as the link itself (never followed) and refused when it
// is a link or has more than one name. XP has no way to open without
// following the folders on the way, so a race with the folder check remains.
bool FolderIsLink(const std::wstring& path) {
  const std::wstring folder = path.substr(0, path.rfind(L'\\'));
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool IsLinkOrHasOtherNames(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return true;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || info.nNumberOfLinks > 1;
}

std::wstring ProcessorBrand() {
  uint32_t registers[12] = {};
  // 0 also when the processor has no cpuid instruction at all.
  unsigned max_leaf = __get_cpuid_max(0x80000000u, nullptr);
  if (max_leaf >= 0x80000004u) {
    for (unsigned i = 0; i < 3; ++i) {
      unsigned a, b, c, d;
      __cpuid(0x80000002u + i, a, b, c, d);
      registers[i * 4] = a;
      registers[i * 4 + 1] = b;
      registers[i * 4 + 2] = c;
      registers[i * 4 + 3] = d;
    }
  }
  return CpuBrandFromRegisters(max_leaf, registers);
}

SYSTEMTIME LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return now;
}
}  // namespace

struct Logger::State {
  CRITICAL_SECTION lock;
  std::wstring path;
  std::wstring header = kLogBanner;
  UniqueFile file;
  bool path_shared = false;  // path is in the shared fallback folder
  bool finished = false;
};

namespace {
class LockGuard {
 public:
  explicit LockGuard(CRITICAL_SECTION* lock) : lock_(lock) { EnterCriticalSection(lock_); }
  ~LockGuard() { LeaveCriticalSection(lock_); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  CRITICAL_SECTION* lock_;
};
}  // namespace

Logger::Logger() : state_(new State) {
  InitializeCriticalSection(&state_->lock);
}

Logger::~Logger() {
  state_->file.reset();
  DeleteCriticalSection(&state_->lock);
  delete state_;
}

void Logger::SetLogFile(const std::wstring& path) {
  LockGuard lock(&state_->lock);
  DebugOutput(FormatW(L"Logger::SetLogFile( %s ) while OLD path is:%s", path.c_str(),
                      state_->path.c_str()));
  if (!state_->file && !state_->finished) {
    state_->path = path;
    state_->path_shared = false;
  }
}

void Logger::Write(const std::wstring& text) {
  LockGuard lock(&state_->lock);
  WriteLine(text);
}

void Logger::Finish() {
  LockGuard lock(&state_->lock);
  if (state_->finished) return;
  if (LoggingEnabled) WriteLine(kEndOfLogText);
  state_->file.reset();
  // Threads that still run while the process ends must not open it again
  // and put lines after the end line.
  state_->finished = true;
}

void Logger::WriteLine(const std::wstring& text) {
  if (state_->finished) return;
  if (!state_->file) Open();
  if (!state_->file) return;
  SYSTEMTIME now = LocalNow();
  // Four writes, each flushed: whatever part of a line reached the disk before
  // a crash stays readable.
  WritePiece(
      FormatLogTimestamp(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond));
  WritePiece(L"-");
  WritePiece(text);
  WritePiece(L"\r\n");
}

void Logger::Open() {
  int location = 0;
  for (;;) {
    if (state_->path.empty()) {
      if (location >= kFallbackLocations) return;
      std::wstring path;
      state_->path_shared = location == kSharedLocation;
      if (!FormFallbackPath(location++, &path)) return;
      state_->path = path;
    }
    const bool shared = state_->path_shared;
    if (shared && FolderIsLink(state_->path)) {
      DebugOutput(L"LOGGER->refused a linked LOG folder at:" + state_->path);
      state_->path.clear();
      continue;
    }
    state_->file.reset(
        CreateFileW(state_->path.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | (shared ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr));
    const DWORD error = GetLastError();
    if (state_->file && shared && IsLinkOrHasOtherNames(state_->file.get())) {
      DebugOutput(L"LOGGER->refused a linked LOG at:" + state_->path);
      state_->file.reset();
      state_->path.clear();
      continue;
    }
    if (!state_->file) {
      DebugOutput(L"LOGGER->failed to create LOG at:" + state_->path);
      // The next Write starts again from the first fallback.
      state_->path.clear();
      continue;
    }
    if (error == ERROR_ALREADY_EXISTS) {
      DebugOutput(L"LOGGER->Reusing LOG file at:" + state_->path + L"\r\n");
      SetFilePointer(state_->file.get(), 0, nullptr, FILE_END);
    } else if (error == ERROR_SUCCESS) {
      DebugOutput(L"LOGGER->Creating LOG file at:" + state_->path + L"\r\n");
      WritePiece(L"\xFEFF");
    } else {
      state_->file.reset();
      return;
    }
    WritePiece(state_->header);
    WritePiece(FormatOsVersionLine(GetOsFacts()));
    WritePiece(FormatCpuLine(ProcessorBrand()));
    WritePiece(L"\r\n");
    return;
  }
}

void Logger::WritePiece(const std::wstring& text) {
  DWORD written = 0;
  // A failed write is not reported: the log has nowhere to report it to.
  WriteFile(state_->file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)),
            &written, nullptr);
  FlushFileBuffers(state_->file.get());
}

namespace {
void FinishProcessLog() {
  LOGGER.Finish();
}

// Holds the process logger without ever destroying it.
union ProcessLogger {
  Logger logger;
  ProcessLogger() : logger() {
    // Registered before any ordinary static object is constructed, so it runs
    // after all their destructors (which may still log).
    atexit(FinishProcessLog);
  }
  ~ProcessLogger() {}
};

ProcessLogger process_logger __attribute__((init_priority(101)));
}  // namespace

// Bound at compile time: usable even from other static constructors.
Logger& LOGGER = process_logger.logger;
