#include "download/download_queue.h"

#include <windows.h>

#include "core/stable_numbers.h"
#include "download/file_downloader.h"
#include "download/url_file_name.h"
#include "util/file_ops.h"
#include "util/path_text.h"

namespace {
// A setup launched from a download's folder has that folder as its working
// folder, and the folder (or the setup's file) can stay held for a moment
// after the setup has exited: Wine keeps it for about 300 ms. Such a removal
// is tried again for a while, all tries of one cleanup together bounded so
// that the end of the run never hangs on a program the setup left running.
constexpr DWORD kRemoveRetryMs = 3000;
constexpr DWORD kRemoveRetryPauseMs = 50;

bool HeldByAnother(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

template <typename Remove>
void RemoveWithRetry(const std::wstring& path, DWORD started, Remove remove) {
  while (!remove(path)) {
    if (!HeldByAnother(GetLastError()) || GetTickCount() - started > kRemoveRetryMs) return;
    Sleep(kRemoveRetryPauseMs);
  }
}
}  // namespace

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
  last_error = downloader.DownloadToFile(std::vector<std::wstring>{item.url}, item.local_path);
  if (last_error != 0) return ERROR_ACCESS_DENIED;
  item.status = kItemTransferred;
  return 0;
}

void DownloadQueue::RemoveLeftovers() {
  const DWORD started = GetTickCount();
  for (const std::wstring& file : files_to_delete) {
    RemoveWithRetry(file, started, &DeleteFileLong);
  }
  // Last created first, so that a sub-folder goes before its parent. A folder
  // that still holds something (a ".part" file, a file planted by someone
  // else) stays: ERROR_DIR_NOT_EMPTY is not retried.
  for (auto it = created_folders.rbegin(); it != created_folders.rend(); ++it) {
    RemoveWithRetry(*it, started, &RemoveFolderLong);
  }
  files_to_delete.clear();
  created_folders.clear();
}
