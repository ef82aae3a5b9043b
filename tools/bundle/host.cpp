#include "host.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifdef _WIN32
namespace {
// Quoting by the rules CommandLineToArgvW and the C runtime undo.
std::string Quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}
}  // namespace

int RunProgram(const std::vector<std::string>& args, const std::string& cwd) {
  std::string line;
  for (const std::string& arg : args) line += (line.empty() ? "" : " ") + Quote(arg);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &startup,
                      &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

std::string MakeScratchFolder() {
  char base[MAX_PATH + 1] = {};
  if (!GetTempPathA(MAX_PATH, base)) return std::string();
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof(name), "%sbundle-%lu-%u", base, GetCurrentProcessId(), attempt);
    if (CreateDirectoryA(name, nullptr)) return name;
  }
  return std::string();
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

bool LinkOrCopy(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), FALSE) != FALSE;
}

void MakeExecutable(const std::string&) {}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::wstring ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int count =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(count, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], count);
  return out;
}
#else
int RunProgram(const std::vector<std::string>& args, const std::string& cwd) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    if (chdir(cwd.c_str()) == 0) execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(child, &status, 0) < 0) return -1;
  if (!WIFEXITED(status)) return -1;
  // 127 from the child itself: the program was not found.
  return WEXITSTATUS(status) == 127 ? -1 : WEXITSTATUS(status);
}

std::string MakeScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/bundle-XXXXXX";
  return mkdtemp(&pattern[0]) ? pattern : std::string();
}

void RemoveTree(const std::string& folder) {
  nftw(
      folder.c_str(),
      [](const char* path, const struct stat*, int, struct FTW*) { return remove(path); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

bool LinkOrCopy(const std::string& from, const std::string& to) {
  if (link(from.c_str(), to.c_str()) == 0) return true;
  FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) return false;
  FILE* out = std::fopen(to.c_str(), "wb");
  bool ok = out != nullptr;
  char buffer[1 << 16];
  size_t n = 0;
  while (ok && (n = std::fread(buffer, 1, sizeof(buffer), in)) > 0) {
    ok = std::fwrite(buffer, 1, n, out) == n;
  }
  ok = ok && !std::ferror(in);
  std::fclose(in);
  if (out && std::fclose(out) != 0) ok = false;
  return ok;
}

void MakeExecutable(const std::string& path) {
  chmod(path.c_str(), 0755);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::wstring ToWide(const std::string& text) {
  // UTF-8; a malformed byte becomes U+FFFD, which the name check accepts only
  // as an ordinary character.
  std::wstring out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const int extra = c < 0x80         ? 0
                      : (c >> 5) == 6  ? 1
                      : (c >> 4) == 14 ? 2
                      : (c >> 3) == 30 ? 3
                                       : -1;
    if (extra < 0 || i + extra >= text.size() + (extra == 0 ? 1 : 0)) {
      out.push_back(extra == 0 ? c : 0xFFFD);
      ++i;
      continue;
    }
    uint32_t code = extra == 0 ? c : c & (0x3F >> extra);
    bool valid = true;
    for (int k = 1; k <= extra; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = valid && (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    out.push_back(valid ? static_cast<wchar_t>(code) : 0xFFFD);
    i += valid ? extra + 1 : 1;
  }
  return out;
}
#endif
