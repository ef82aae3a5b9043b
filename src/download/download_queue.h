// The downloads of one run: the items fetched into the download folder, and
// what the run leaves behind of them, removed when the queue is destroyed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "download/digests.h"

class CredentialStore;
class IProgressSink;

// Item status values.
constexpr int32_t kItemTransferred = 0;
constexpr int32_t kItemPending = 4;  // queued, or its transfer failed

// One prerequisite to fetch; copied by value into the queue.
struct DownloadItem {
  std::wstring url;
  uint32_t expected_size = 0;  // 0: unknown
  std::wstring file_name;      // when not empty, the file's name in the download folder
  std::wstring local_path;     // filled by DownloadOne
  int32_t reserved = 0;
  int32_t status = kItemPending;
  int32_t prereq_index = 0;
  std::wstring folder;  // "sub\folder" or "sub\folder?forced-name.exe"
  // Filled by DownloadOne: the file was finished from a ".part" file of an
  // earlier run, whose bytes the server did not send this time.
  bool resumed_part = false;
  // The digests (kDigestMd5, kDigestSha256) to compute while the file arrives.
  uint32_t digest_kinds = 0;
  // Filled by DownloadOne: those digests of the finished file, empty where
  // the transfer could not give them (download/file_downloader.h).
  FileDigests digests;
};

class DownloadQueue {
 public:
  // The store is the process's one CredentialStore; it outlives the queue.
  explicit DownloadQueue(CredentialStore& credentials);
  // Removes files_to_delete, then the created folders that are left empty.
  ~DownloadQueue();
  DownloadQueue(const DownloadQueue&) = delete;
  DownloadQueue& operator=(const DownloadQueue&) = delete;

  // Stored with a trailing backslash.
  void SetDownloadFolder(const std::wstring& folder);
  // The local path of an item: the download folder, the item's sub-folder and
  // its forced name or the name from its URL.
  std::wstring TargetPath(const DownloadItem& item) const;
  // Fetches items[index] into its TargetPath through a ".part" file. 0 on
  // success, 5 otherwise (and at once for an index past the end); last_error
  // holds the transfer's result, the item's status turns 0 on success.
  uint32_t DownloadOne(size_t index);
  // The run's cleanup, also done by the destructor: files in order, then the
  // created folders from the last to the first, each only when empty. Both
  // lists are emptied.
  void RemoveLeftovers();

  std::wstring download_folder;
  std::vector<DownloadItem> items;
  uint32_t last_error = 0;
  std::vector<std::wstring> files_to_delete;
  std::vector<std::wstring> created_folders;
  IProgressSink* sink = nullptr;

 private:
  CredentialStore& credentials_;
};
