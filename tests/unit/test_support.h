// Helpers shared by the unit tests.
#pragma once
#include <windows.h>

#include <string>

#include "util/file_ops.h"
#include "util/temp_folder.h"

// A fresh folder under the temporary folder, removed with everything in it
// when the test ends.
class ScratchFolder {
 public:
  ScratchFolder() {
    static LONG counter = 0;
    path_ = GetTempFolder() + L"chainer-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(InterlockedIncrement(&counter));
    CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~ScratchFolder() {
    DeleteFolderTree(path_);
    RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Writes bytes to a file; true on success.
inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(file);
  return ok;
}

// The whole file's bytes; empty when it cannot be read.
inline std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}
