// The chainer's download step and its sites: prerequisites fetched into the
// download folder and judged by size and MD5, and those the user fetches by
// hand from a web site.
#include <windows.h>

#include "core/prereq_chainer.h"
#include "core/stable_numbers.h"
#include "download/download_check.h"
#include "download/file_digest.h"
#include "download/site_shortcut.h"
#include "download/transfer_rules.h"
#include "install/process_launch.h"
#include "platform/core/logger.h"
#include "ui/message_box.h"
#include "ui/strings.h"
#include "util/file_ops.h"
#include "util/path_text.h"
#include "util/unique_handle.h"
#include "util/wide_format.h"

namespace {
// The low 32 bits of the file's size, 0 when it cannot be opened: the
// configured size is a 32-bit value.
uint32_t FileSizeLow(const std::wstring& path) {
  UniqueFile file(CreateFileW(ToLongPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return 0;
  const DWORD size = GetFileSize(file.get(), nullptr);
  return size == INVALID_FILE_SIZE ? 0 : size;
}

bool Accepted(const DownloadItem& item, const Prerequisite& record) {
  if (item.expected_size != 0 && FileSizeLow(item.local_path) != item.expected_size) return false;
  if (record.md5.empty()) return true;
  char digest[33] = {};
  return ComputeFileMd5(item.local_path, digest) && DigestMatches(digest, record.md5);
}

// The log line after "Download failed. Error:" says only a number for the
// failures that are ours; these say what the user can do about them.
void LogFailureCause(uint32_t error, bool asked_user) {
  if (const uint32_t status = HttpStatusOfError(error)) {
    LogLine(FormatW(L"The server answered with HTTP status %u.", status));
  }
  // Not every system has a text for these (Wine has none for some).
  if (IsCertificateError(error)) {
    LogLine(L"The server's certificate is not trusted, has expired, or is for another name.");
  }
  if (error == kDownloadNeedCredentials) {
    LogLine(asked_user ? L"The server or proxy requires a user name and password; none was given."
                   : L"The server or proxy requires a user name and password; a silent run "
                     L"does not ask for them.");
  }
}
}  // namespace

uint32_t PrereqChainer::DownloadPrerequisites(IProgressSink* sink) {
  downloads_.items.clear();
  downloads_.sink = sink;
  downloads_.SetDownloadFolder(config_.download_folder);
  for (size_t i = 0; i < config_.prerequisites.size(); ++i) {
    if (config_.EffectiveOutcome(i) != DetectionState::Download) continue;
    const Prerequisite& record = config_.prerequisites[i];
    DownloadItem item;
    item.url = record.source;
    item.expected_size = static_cast<uint32_t>(record.exact_size);
    item.prereq_index = static_cast<int32_t>(i);
    item.folder = record.folder;
    downloads_.items.push_back(item);
  }

  std::wstring caption;
  if (sink) {
    caption = LoadResString(IDS_DOWNLOADING);
    if (!downloads_.items.empty()) sink->SetStepCount(downloads_.items.size(), 0);
  }
  const bool keep_files = config_.general.keep_files == KeepFiles::Complete ||
                          config_.general.keep_files == KeepFiles::Prereqs;
  for (size_t i = 0; i < downloads_.items.size(); ++i) {
    Prerequisite& record = config_.prerequisites.at(downloads_.items[i].prereq_index);
    if (sink) {
      if (sink->IsCanceled()) {
        LogLine(L"Download was canceled.");
        return 0;
      }
      sink->SetStatus(FormatW(caption.c_str(), record.name.c_str()), 9, 0);
    }
    LogLine(L"Starting download of:" + record.name);
    // A file finished from an earlier run's ".part" file may be the head of
    // another file with this one's tail: when it fails the check it comes
    // once more from its first byte before the rejection stands.
    bool accepted = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
      downloads_.DownloadOne(i);
      const DownloadItem& item = downloads_.items[i];
      if (item.status != kItemTransferred) break;
      LogLine(L"Download completed succesfully.");
      accepted = Accepted(item, record);
      if (accepted || !item.resumed_part) break;
      LogLine(L"Downloaded file was rejected; it was finished from an earlier partial download. "
              L"Downloading it again from the start.");
      DeleteFileLong(item.local_path);
      downloads_.items[i].status = kItemPending;
    }
    const DownloadItem& item = downloads_.items[i];

    if (item.status != kItemTransferred) {
      // Cancel is the user's decision, not a failed prerequisite: the closed
      // dialog is not told about a mandatory failure, and the ".part" file
      // stays for the next run to resume.
      if (sink && sink->IsCanceled()) {
        LogLine(L"Download was canceled.");
        return 0;
      }
      if (item.url.empty()) LogLine(L"No download address for:" + record.name);
      LogLine(L"Download failed. Error:" + SystemMessageText(downloads_.last_error));
      LogFailureCause(downloads_.last_error, sink != nullptr);
      if (record.HasOption(L'm')) {
        if (sink) sink->ReportError(record.name, kMandatoryFailed, nullptr);
        return kInstallFailure;
      }
      continue;
    }

    if (!keep_files) downloads_.files_to_delete.push_back(item.local_path);
    if (!accepted) {
      DeleteFileLong(item.local_path);
      LogLine(L"Downloaded file was rejected.(Invalid size or MD5).");
      if (sink) sink->ReportError(item.file_name, kDownloadFileRejected, nullptr);
      return kInstallFailure;
    }
    LogLine(L"Downloaded file was accepted.");
    record.downloaded = true;
  }
  return 0;
}

void PrereqChainer::OpenSites(IProgressSink* sink) {
  std::wstring caption;
  MessageText message;
  if (sink) {
    caption = LoadResString(IDS_OPENING_SITE);
    // No configuration key gives this text; a box without one would tell the
    // user nothing.
    message = MessageText(IDS_SITE_MESSAGE);
  }
  size_t count = 0;
  for (size_t i = 0; i < config_.prerequisites.size(); ++i) {
    if (config_.EffectiveOutcome(i) == DetectionState::ManualSite) ++count;
  }
  if (sink && count > 0) sink->SetStepCount(count, 0);

  HWND owner = GetForegroundWindow();
  for (size_t i = 0; i < config_.prerequisites.size(); ++i) {
    if (config_.EffectiveOutcome(i) != DetectionState::ManualSite) continue;
    const Prerequisite& record = config_.prerequisites[i];
    const std::wstring title = FormatW(caption.c_str(), record.name.c_str());
    if (sink) {
      if (sink->IsCanceled()) return;
      sink->SetStatus(title, 9, 0);
    }
    LogLine(L"Launching URL:" + record.source);
    OpenSiteShortcut(record.source);
    // The box waits for the user; after Cancel the dialog is gone and no box
    // may appear any more.
    if (sink && !config_.general.HasOption(L'q') && !sink->IsCanceled()) {
      ShowMessage(owner, MB_ICONINFORMATION, message, MessageText(title));
    }
  }
}
