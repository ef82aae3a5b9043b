#include "download/download_check.h"

#include <windows.h>

#include "download/file_digest.h"
#include "download/transfer_rules.h"
#include "download/url_file_name.h"
#include "util/path_text.h"
#include "util/unique_handle.h"

bool IsFileUrl(const std::wstring& source) {
  return source.size() >= 7 && EqualsIgnoreCaseAscii(source.substr(0, 7), L"file://");
}

std::wstring LocalPathOfFileSource(const std::wstring& source) {
  if (!IsFileUrl(source)) return {};
  return PercentDecode(LocalPathOfFileUrl(source));
}

bool DigestMatches(const std::string& computed, const std::wstring& configured) {
  if (computed.size() != 32) return false;
  for (size_t i = 0; i < computed.size(); ++i) {
    if (i >= configured.size()) return false;
    wchar_t c = configured[i];
    if (c >= L'A' && c <= L'F') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != static_cast<wchar_t>(computed[i])) return false;
  }
  return true;
}

bool IsAlreadyDownloaded(const std::wstring& download_folder, const std::wstring& source,
                         uint32_t expected_size, const std::wstring& folder,
                         const std::wstring& md5) {
  if (IsFileUrl(source)) return true;
  const std::wstring path = TargetPath(WithTrailingBackslash(download_folder), source, folder);
  WIN32_FIND_DATAW data;
  UniqueFind find(FindFirstFileW(ToLongPath(path).c_str(), &data));
  if (!find) return false;
  if (expected_size != 0 && data.nFileSizeLow != expected_size) return false;
  if (md5.empty()) return true;
  // A file found there may be a stale or damaged one of an earlier run, or
  // one put there by someone else: it is launched only when it is the file a
  // download would have accepted. Otherwise it is downloaded again.
  char digest[33] = {};
  return ComputeFileMd5(path, digest) && DigestMatches(digest, md5);
}
