#include "download/download_queue.h"

#include <windows.h>

#include "core/stable_numbers.h"
#include "download/file_downloader.h"
#include "download/url_file_name.h"
#include "util/file_ops.h"
#include "util/path_text.h"

DownloadQueue::DownloadQueue(CredentialStore& credentials) : credentials_(credentials) {}

DownloadQueue::~DownloadQueue() {
  RemoveLeftovers();
}

void DownloadQueue::SetDownloadFolder(const std::wstring& folder) {
  download_folder = WithTrailingBackslash(folder);
}

std::wstring DownloadQueue::TargetPath(const DownloadItem& item) const {
  return ::TargetPath(download_folder, item.url, item.folder, item.file_name);
}

uint32_t DownloadQueue::DownloadOne(size_t index) {
  if (index >= items.size()) return ERROR_ACCESS_DENIED;
  DownloadItem& item = items[index];
  // Without an address the engine would have nothing to name its failure
  // by; this one has its own code and creates no folder.
  if (item.url.empty()) {
    last_error = kDownloadUnsupportedScheme;
    return ERROR_ACCESS_DENIED;
  }
  FileDownloader downloader(sink, &credentials_);
  item.local_path = TargetPath(item);
  const DWORD folders = CreateFolderTree(item.local_path, false, &created_folders);
  if (folders != 0) {
    last_error = folders;
    return ERROR_ACCESS_DENIED;
  }
  if (item.expected_size != 0) downloader.SetExpectedSize(item.expected_size);
  downloader.SetDigestKinds(item.digest_kinds);
  last_error = downloader.DownloadToFile(std::vector<std::wstring>{item.url}, item.local_path);
  item.resumed_part = downloader.ResumedPart();
  item.digests = downloader.StreamedDigests();
  if (last_error != 0) return ERROR_ACCESS_DENIED;
  item.status = kItemTransferred;
  return 0;
}

void DownloadQueue::RemoveLeftovers() {
  // A setup launched from a download's folder runs in that folder, which can
  // stay held for a moment after the setup has exited.
  const DWORD deadline = GetTickCount() + kHeldPathRetryMs;
  for (const std::wstring& file : files_to_delete) DeleteFileWithRetry(file, deadline);
  // Last created first, so that a sub-folder goes before its parent. A folder
  // that still holds something (a ".part" file, a file planted by someone
  // else) stays: ERROR_DIR_NOT_EMPTY is not retried.
  for (auto it = created_folders.rbegin(); it != created_folders.rend(); ++it) {
    RemoveFolderWithRetry(*it, deadline);
  }
  files_to_delete.clear();
  created_folders.clear();
}
