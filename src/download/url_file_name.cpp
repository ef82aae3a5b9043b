#include "download/url_file_name.h"

#include "util/path_text.h"

namespace {
constexpr size_t kMaxNameWalk = 40;  // characters looked at before the name's last one
// Where the look for an embedded second "://" starts, counted from the first.
constexpr size_t kSecondSchemeOffset = 4;

bool IsSeparator(wchar_t c) {
  return IsReservedNameCharacter(c);
}
}  // namespace

std::wstring FileNameFromUrl(const std::wstring& url) {
  if (url.empty()) return std::wstring();
  size_t end = url.size() - 1;  // last character looked at, inclusive
  size_t scheme = url.find(L"://");
  if (scheme != std::wstring::npos) {
    size_t second = url.find(L"://", scheme + kSecondSchemeOffset);
    if (second != std::wstring::npos) end = second;
  }

  // The name's last character, inclusive.
  size_t last = end;
  size_t dot = url.rfind(L'.', end);
  if (dot != std::wstring::npos) {
    for (size_t i = dot + 1; i <= end; ++i) {
      if (IsSeparator(url[i])) {
        last = i - 1;
        break;
      }
    }
  }
  // A name never ends in a separator: it would make the target a folder
  // ("http://host/dir/") or an alternate stream ("...?u=http:").
  if (IsSeparator(url[last])) {
    if (last == 0 || IsSeparator(url[last - 1])) return std::wstring();
    --last;
  }

  size_t first = last;
  for (size_t walked = 0; walked < kMaxNameWalk && first > 0 && !IsSeparator(url[first - 1]);
       ++walked) {
    --first;
  }
  return url.substr(first, last - first + 1);
}

std::wstring TargetPath(const std::wstring& download_folder, const std::wstring& url,
                        const std::wstring& folder, const std::wstring& file_name) {
  std::wstring path = download_folder;
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  if (!file_name.empty()) return path + file_name;

  size_t question = folder.find(L'?');
  std::wstring forced_name;
  if (question == std::wstring::npos) {
    path += folder;
  } else {
    path += folder.substr(0, question);
    forced_name = folder.substr(question + 1);
  }
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path + (forced_name.empty() ? FileNameFromUrl(url) : forced_name);
}
