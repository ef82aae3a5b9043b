#include "download/download_check.h"

#include <windows.h>

#include <mutex>
#include <vector>

#include "download/file_digest.h"
#include "download/transfer_rules.h"
#include "download/url_file_name.h"
#include "util/critical_section.h"
#include "util/path_text.h"
#include "util/unique_handle.h"

namespace {

// A file this run has accepted, as the disk described it when it was judged.
// The report after the setups ran need not read hundreds of megabytes again
// while nothing about the file has changed: a rewrite changes its time of
// last write, a replacement its creation time. A file about to be launched is
// always read again: times can be set back by whoever can write the folder.
struct AcceptedFile {
  std::wstring path;
  WIN32_FILE_ATTRIBUTE_DATA stamp;
  FileRequirements required;
};

struct AcceptedFiles {
  CriticalSection lock;
  std::vector<AcceptedFile> files;
};

// Never destroyed: checks may still run while the process ends.
AcceptedFiles& Accepted() {
  static AcceptedFiles* accepted = new AcceptedFiles;
  return *accepted;
}

bool SameStamp(const WIN32_FILE_ATTRIBUTE_DATA& a, const WIN32_FILE_ATTRIBUTE_DATA& b) {
  return a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
         CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0 &&
         CompareFileTime(&a.ftCreationTime, &b.ftCreationTime) == 0;
}

bool SameRequirements(const FileRequirements& a, const FileRequirements& b) {
  return a.exact_size == b.exact_size && a.md5 == b.md5 && a.sha256 == b.sha256;
}

void RememberAccepted(const std::wstring& path, const WIN32_FILE_ATTRIBUTE_DATA& stamp,
                      const FileRequirements& required) {
  AcceptedFiles& accepted = Accepted();
  std::lock_guard<CriticalSection> hold(accepted.lock);
  for (AcceptedFile& file : accepted.files) {
    if (file.path == path) {
      file.stamp = stamp;
      file.required = required;
      return;
    }
  }
  accepted.files.push_back(AcceptedFile{path, stamp, required});
}

bool WasAccepted(const std::wstring& path, const FileRequirements& required) {
  WIN32_FILE_ATTRIBUTE_DATA now;
  if (!GetFileAttributesExW(ToLongPath(path).c_str(), GetFileExInfoStandard, &now)) return false;
  AcceptedFiles& accepted = Accepted();
  std::lock_guard<CriticalSection> hold(accepted.lock);
  for (const AcceptedFile& file : accepted.files) {
    if (file.path == path) {
      return SameStamp(file.stamp, now) && SameRequirements(file.required, required);
    }
  }
  return false;
}

}  // namespace

bool IsFileUrl(const std::wstring& source) {
  return source.size() >= 7 && EqualsIgnoreCaseAscii(source.substr(0, 7), L"file://");
}

std::wstring LocalPathOfFileSource(const std::wstring& source) {
  if (!IsFileUrl(source)) return {};
  return PercentDecode(LocalPathOfFileUrl(source));
}

Rejection CheckFile(const std::wstring& path, const FileRequirements& required,
                    const FileDigests& known) {
  FileFacts facts;
  facts.digests = known;
  // Nothing required: accepted without looking at the disk.
  if (required.exact_size == 0 && required.md5.empty() && required.sha256.empty()) {
    return Rejection::kNone;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  const bool stamped =
      GetFileAttributesExW(ToLongPath(path).c_str(), GetFileExInfoStandard, &data) != FALSE;
  if (stamped) facts.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  uint32_t missing = DigestKindsFor(required);
  if (!facts.digests.md5.empty()) missing &= ~kDigestMd5;
  if (!facts.digests.sha256.empty()) missing &= ~kDigestSha256;
  const bool size_right = required.exact_size == 0 || facts.size == required.exact_size;
  FileDigests read;
  if (missing != 0 && size_right && ComputeFileDigests(path, missing, &read)) {
    if (missing & kDigestMd5) facts.digests.md5 = read.md5;
    if (missing & kDigestSha256) facts.digests.sha256 = read.sha256;
  }
  const Rejection verdict = JudgeFile(required, facts);
  // The stamp is the one taken before the bytes were read: a file that
  // changed while it was read does not match it later.
  if (verdict == Rejection::kNone && stamped) RememberAccepted(path, data, required);
  return verdict;
}

bool IsAlreadyDownloaded(const std::wstring& download_folder, const std::wstring& source,
                         const std::wstring& folder, const FileRequirements& required,
                         bool reuse_acceptance) {
  if (IsFileUrl(source)) return true;
  const std::wstring path = TargetPath(WithTrailingBackslash(download_folder), source, folder);
  WIN32_FIND_DATAW data;
  UniqueFind find(FindFirstFileW(ToLongPath(path).c_str(), &data));
  if (!find) return false;
  // A file found there may be a stale or damaged one of an earlier run, or
  // one put there by someone else: it is launched only when it is the file a
  // download would have accepted. Otherwise it is downloaded again.
  if (reuse_acceptance && WasAccepted(path, required)) return true;
  return CheckFile(path, required, FileDigests()) == Rejection::kNone;
}
