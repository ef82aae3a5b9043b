#include "host.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
// After windows.h: RtlGenRandom needs its types.
#include <ntsecapi.h>
#else
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32
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

bool RandomBytes(uint8_t* data, size_t size) {
  // RtlGenRandom: advapi32 has it since Windows XP, without a provider handle.
  return RtlGenRandom(data, static_cast<ULONG>(size)) != FALSE;
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

bool RandomBytes(uint8_t* data, size_t size) {
  FILE* source = std::fopen("/dev/urandom", "rb");
  if (!source) return false;
  const bool ok = std::fread(data, 1, size, source) == size;
  std::fclose(source);
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
