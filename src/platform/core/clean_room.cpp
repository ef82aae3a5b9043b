#include "platform/core/clean_room.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <vector>

#include "archive/pe_overlay.h"
#include "platform/core/clean_room_command.h"
#include "util/decimal_text.h"
#include "util/file_ops.h"
#include "util/module_path.h"
#include "util/path_text.h"
#include "util/temp_folder.h"
#include "util/unique_handle.h"

namespace {
constexpr DWORD kChunk = 64 * 1024;
constexpr int kFolderAttempts = 16;

bool ReadExactly(HANDLE file, void* buffer, DWORD size) {
  DWORD done = 0;
  return ReadFile(file, buffer, size, &done, nullptr) && done == size;
}

UniqueFile OpenForReading(const std::wstring& path) {
  return UniqueFile(CreateFileW(ToLongPath(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Bytes from the start of the file to the end of the image's last section:
// the bundle and the signature after it stay behind.
bool ImageLength(HANDLE file, uint64_t* length) {
  uint64_t size = 0;
  if (!FileSize(file, &size)) return false;
  std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(size, kPeHeaderReadSize)));
  OverlaySpan span;
  if (!ReadExactly(file, head.data(), static_cast<DWORD>(head.size())) ||
      !FindOverlay(head.data(), head.size(), size, &span)) {
    return false;
  }
  *length = span.start;
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0;
}

// Full control for the current user, SYSTEM and the Administrators; nothing
// inherited from the temporary folder, which others may be able to write.
std::wstring PrivateFolderSddl() {
  UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return std::wstring();
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  wchar_t* sid = nullptr;
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) ||
      !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
    return std::wstring();
  }
  std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;") + sid + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  LocalFree(sid);
  return sddl;
}

// A new folder below the temporary folder, never one that existed before.
DWORD MakePrivateFolder(std::wstring* folder) {
  const std::wstring temp = GetTempFolder();
  if (temp.empty()) return ERROR_PATH_NOT_FOUND;
  const std::wstring sddl = PrivateFolderSddl();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (sddl.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                          sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
    return GetLastError() ? GetLastError() : ERROR_INVALID_SECURITY_DESCR;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  DWORD error = ERROR_ALREADY_EXISTS;
  LARGE_INTEGER counter = {};
  for (int attempt = 0; attempt < kFolderAttempts && error == ERROR_ALREADY_EXISTS; ++attempt) {
    QueryPerformanceCounter(&counter);
    const uint32_t mix = GetCurrentProcessId() * 2654435761u ^ GetTickCount() ^
                         static_cast<uint32_t>(counter.QuadPart) ^ (attempt << 24);
    *folder = temp + L"cr" + DecimalW(mix);
    error = CreateDirectoryW(folder->c_str(), &attributes) ? ERROR_SUCCESS : GetLastError();
  }
  LocalFree(descriptor);
  return error;
}

DWORD CopyImage(const std::wstring& from, const std::wstring& to) {
  UniqueFile source = OpenForReading(from);
  uint64_t length = 0;
  if (!source || !ImageLength(source.get(), &length)) {
    return GetLastError() ? GetLastError() : ERROR_BAD_EXE_FORMAT;
  }
  UniqueFile target(CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!target) return GetLastError();
  std::vector<uint8_t> buffer(kChunk);
  for (uint64_t left = length; left > 0;) {
    const DWORD part = static_cast<DWORD>(std::min<uint64_t>(left, kChunk));
    DWORD written = 0;
    if (!ReadExactly(source.get(), buffer.data(), part) ||
        !WriteFile(target.get(), buffer.data(), part, &written, nullptr) || written != part) {
      return GetLastError() ? GetLastError() : ERROR_HANDLE_EOF;
    }
    left -= part;
  }
  return ERROR_SUCCESS;
}

// True when the file at original begins with the image of this process's own
// executable, byte for byte: a switch naming any other file is refused, so it
// cannot point the cleanup or the bundle at a file of someone's choosing.
bool StartsWithOwnImage(const std::wstring& original) {
  UniqueFile own = OpenForReading(GetModulePath());
  UniqueFile other = OpenForReading(original);
  uint64_t length = 0, other_size = 0;
  if (!own || !other || !ImageLength(own.get(), &length) || !FileSize(other.get(), &other_size) ||
      other_size < length) {
    return false;
  }
  std::vector<uint8_t> mine(kChunk), theirs(kChunk);
  for (uint64_t left = length; left > 0;) {
    const DWORD part = static_cast<DWORD>(std::min<uint64_t>(left, kChunk));
    if (!ReadExactly(own.get(), mine.data(), part) ||
        !ReadExactly(other.get(), theirs.data(), part) ||
        !std::equal(mine.begin(), mine.begin() + part, theirs.begin())) {
      return false;
    }
    left -= part;
  }
  return true;
}

void RemoveCleanRoom(const std::wstring& folder, const std::wstring& copy) {
  const DWORD deadline = GetTickCount() + kHeldPathRetryMs;
  DeleteFileWithRetry(copy, deadline);
  RemoveFolderWithRetry(folder, deadline);
}

std::wstring Failure(const wchar_t* step, DWORD error) {
  return std::wstring(L"Running in place: could not ") + step + L" a private copy of the program. Error:" +
         DecimalW(error);
}

// Starts the copy with this process's command line and show state, waits
// for it and takes its exit code.
DWORD RunCopy(const std::wstring& copy, const std::wstring& original, uint32_t* exit_code) {
  std::wstring command_line = CleanRoomCommandLine(GetCommandLineW(), original);
  STARTUPINFOW startup = {};
  GetStartupInfoW(&startup);
  startup.cb = sizeof(startup);
  startup.lpReserved = nullptr;
  startup.lpDesktop = nullptr;
  startup.lpTitle = nullptr;
  startup.cbReserved2 = 0;
  startup.lpReserved2 = nullptr;
  startup.dwFlags &= STARTF_USESHOWWINDOW | STARTF_FORCEONFEEDBACK | STARTF_FORCEOFFFEEDBACK;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(copy.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return GetLastError();
  }
  UniqueKernelHandle process_handle(process.hProcess), thread(process.hThread);
  DWORD code = 0;
  if (WaitForSingleObject(process.hProcess, INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.hProcess, &code)) {
    code = 1;
  }
  *exit_code = code;
  return ERROR_SUCCESS;
}
}  // namespace

ProgramStart StartFromCleanRoom() {
  ProgramStart start;
  start.program_path = GetModulePath();
  std::wstring original;
  if (FindCleanRoomOriginal(GetCommandLineW(), &original)) {
    if (StartsWithOwnImage(original)) {
      start.program_path = original;
    } else {
      start.note = L"Refused the original program named on the command line: " + original;
    }
    return start;
  }
  if (start.program_path.empty()) {
    start.note = Failure(L"find", GetLastError());
    return start;
  }
  std::wstring folder;
  DWORD error = MakePrivateFolder(&folder);
  if (error != ERROR_SUCCESS) {
    start.note = Failure(L"make a folder for", error);
    return start;
  }
  const std::wstring copy = folder + L"\\" + FileNameOf(start.program_path);
  error = CopyImage(start.program_path, copy);
  if (error == ERROR_SUCCESS) {
    error = RunCopy(copy, start.program_path, &start.exit_code);
    if (error == ERROR_SUCCESS) start.relaunched = true;
  }
  RemoveCleanRoom(folder, copy);
  if (!start.relaunched) start.note = Failure(L"start", error);
  return start;
}
