#include "util/path_text.h"

const wchar_t kLongPrefix[] = L"\\\\?\\";
const wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

namespace {
constexpr size_t kLongPrefixLength = 4;
constexpr size_t kLongUncPrefixLength = 8;
constexpr size_t kLongFormThreshold = 248;
}  // namespace

bool IsDriveAbsolute(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':';
}

bool StartsWithTwoBackslashes(const std::wstring& path) {
  return path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\';
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsReservedNameCharacter(wchar_t c) {
  return c != 0 && std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos;
}

bool EqualsIgnoreCaseAscii(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i], y = b[i];
    if (x >= L'A' && x <= L'Z') x = x - L'A' + L'a';
    if (y >= L'A' && y <= L'Z') y = y - L'A' + L'a';
    if (x != y) return false;
  }
  return true;
}

bool HasLongPrefix(const std::wstring& path) {
  return StartsWith(path, kLongPrefix);
}

std::wstring ToLongPath(const std::wstring& path) {
  if (path.size() < kLongFormThreshold || HasLongPrefix(path)) return path;
  if (StartsWithTwoBackslashes(path)) return kLongUncPrefix + path.substr(2);
  if (IsDriveAbsolute(path)) return kLongPrefix + path;
  return path;
}

std::wstring FromLongPath(const std::wstring& path) {
  if (StartsWith(path, kLongUncPrefix)) return L"\\\\" + path.substr(kLongUncPrefixLength);
  if (HasLongPrefix(path)) return path.substr(kLongPrefixLength);
  return path;
}

int NormalizeSlashes(std::wstring* path) {
  int replaced = 0;
  for (wchar_t& c : *path) {
    if (c == L'/') {
      c = L'\\';
      ++replaced;
    }
  }
  return replaced;
}

void SplitPath(const std::wstring& path, std::vector<std::wstring>* components) {
  std::wstring prefix;
  std::wstring rest = path;
  if (StartsWith(rest, kLongUncPrefix)) {
    prefix = kLongUncPrefix;
  } else if (HasLongPrefix(rest)) {
    prefix = kLongPrefix;
  }
  rest = rest.substr(prefix.size());

  size_t start = 0;
  std::wstring first;
  if (prefix.empty() && StartsWithTwoBackslashes(rest)) {
    size_t end = rest.find(L'\\', 2);
    first = rest.substr(0, end);
    start = end == std::wstring::npos ? rest.size() : end + 1;
  }
  std::vector<std::wstring> parts;
  if (!first.empty()) parts.push_back(first);
  while (start < rest.size()) {
    size_t end = rest.find(L'\\', start);
    if (end == std::wstring::npos) end = rest.size();
    if (end > start) parts.push_back(rest.substr(start, end - start));
    start = end + 1;
  }
  if (!parts.empty()) parts[0] = prefix + parts[0];
  components->insert(components->end(), parts.begin(), parts.end());
}

std::wstring FolderOf(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring FileNameOf(const std::wstring& path) {
  size_t slash = path.rfind(L'\\');
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring WithTrailingBackslash(const std::wstring& path) {
  if (path.empty() || path.back() == L'\\') return path;
  return path + L'\\';
}
