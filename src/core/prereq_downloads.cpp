// The chainer's download step and its sites: prerequisites fetched into the
// download folder and judged by size and digests, and those the user fetches by
// hand from a web site.
#include <windows.h>

#include "core/prereq_chainer.h"
#include "core/stable_numbers.h"
#include "download/download_check.h"
#include "download/signer_check.h"
#include "download/site_shortcut.h"
#include "download/transfer_rules.h"
#include "install/process_launch.h"
#include "platform/core/logger.h"
#include "ui/message_box.h"
#include "ui/strings.h"
#include "util/file_ops.h"
#include "util/path_text.h"
#include "util/wide_format.h"

namespace {
// The step after size and digests: with SignedBy= the file must carry a
// trusted signature of that name. The cause for the rejection line, or empty
// when it does (or when the key is absent).
std::wstring SignerRejection(const DownloadItem& item, const Prerequisite& record) {
  if (record.signed_by.empty()) return {};
  const std::wstring fault = SignerFault(item.local_path, record.signed_by);
  return fault.empty() ? fault : L"Not signed by " + record.signed_by + L": " + fault;
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
    item.digest_kinds = DigestKindsFor(record.Requirements());
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
    Rejection rejection = Rejection::kNone;
    std::wstring signer_rejection;  // the cause the log gives when the signer is not the one
    for (int attempt = 0; attempt < 2; ++attempt) {
      downloads_.DownloadOne(i);
      const DownloadItem& item = downloads_.items[i];
      if (item.status != kItemTransferred) break;
      LogLine(L"Download completed succesfully.");
      rejection = CheckFile(item.local_path, record.Requirements(), item.digests);
      signer_rejection =
          rejection == Rejection::kNone ? SignerRejection(item, record) : std::wstring();
      const bool refetch_can_help = RefetchCanHelp(rejection) || !signer_rejection.empty();
      if (!refetch_can_help || !item.resumed_part) break;
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
    if (rejection == Rejection::kNone && !signer_rejection.empty()) {
      LogLine(L"Downloaded file was rejected.(" + signer_rejection + L").");
    } else {
      LogLine(AcceptanceLogLine(rejection));
    }
    if (rejection != Rejection::kNone || !signer_rejection.empty()) {
      DeleteFileLong(item.local_path);
      if (sink) sink->ReportError(item.file_name, kDownloadFileRejected, nullptr);
      return kInstallFailure;
    }
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
