// Detection of the configured prerequisites and their selection for install.
#include <windows.h>

#include <memory>

#include "archive/embedded_archive.h"
#include "core/chainer_config.h"
#include "detect/applicability.h"
#include "detect/os_facts.h"
#include "detect/search_evaluation.h"
#include "detect/searches.h"
#include "download/download_check.h"
#include "download/signer_check.h"
#include "download/url_file_name.h"
#include "platform/core/exceptions.h"
#include "platform/core/logger.h"
#include "ui/extraction_dialog.h"
#include "util/path_text.h"
#include "util/unique_handle.h"

namespace {
using IsWow64Process2Fn = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
constexpr USHORT kMachineArm64 = 0xAA64;

NativeMachine QueryNativeMachine() {
  static const IsWow64Process2Fn is_wow64_process2 = reinterpret_cast<IsWow64Process2Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "IsWow64Process2")));
  if (!is_wow64_process2) return NativeMachine::NoApi;
  USHORT process_machine = 0, native_machine = 0;
  if (!is_wow64_process2(GetCurrentProcess(), &process_machine, &native_machine)) {
    return NativeMachine::CallFailed;
  }
  return native_machine == kMachineArm64 ? NativeMachine::Arm64 : NativeMachine::Other;
}

bool LanguageMatches(const std::wstring& list) {
  if (list.empty()) return true;
  const LANGID language = GetSystemDefaultLangID();
  if (LoggingEnabled) {
    wchar_t name[256] = {};
    GetLocaleInfoW(MAKELCID(language, SORT_DEFAULT), LOCALE_SLANGUAGE, name, 256);
    LOGGER.Write(std::wstring(L"SystemDefault LangID=") + name);
  }
  return LanguageListAccepts(list, language);
}

DetectionState SearchedState(const Prerequisite& record, bool found) {
  if (found) return DetectionState::Found;
  switch (record.source_kind) {
    case SourceKind::Url:
      return DetectionState::Download;
    case SourceKind::OpenSite:
      return DetectionState::ManualSite;
    default:
      return DetectionState::InstallFromPackage;
  }
}
}  // namespace

std::wstring ChainerConfig::GetSearchHelperPath(const SearchEntry& search) {
  if (!archive) return std::wstring();
  std::wstring path;
  const int32_t entry = archive->Lookup(search.search_string, &path);
  if (entry < 0) return std::wstring();
  // Shown when the helper is not extracted yet. It cannot be cancelled: the
  // search would then fail and the run go on as if the prerequisite were
  // missing.
  std::unique_ptr<ExtractionDialog> dialog;
  if (progress) dialog.reset(new ExtractionDialog(*progress, false, false));
  // A helper that cannot be extracted makes the search fail.
  if (archive->Extract({entry}, !dialog, dialog.get()) != 0) return std::wstring();
  return path;
}

Prerequisite& ChainerConfig::At(size_t index) {
  if (index >= prerequisites.size())
    THROW_HRESULT(kErrorBounds, L"prerequisite index out of range");
  return prerequisites[index];
}

const Prerequisite& ChainerConfig::At(size_t index) const {
  if (index >= prerequisites.size())
    THROW_HRESULT(kErrorBounds, L"prerequisite index out of range");
  return prerequisites[index];
}

bool ChainerConfig::DetectPrerequisite(size_t index, bool respect_skip) {
  Prerequisite& record = At(index);
  if (record.state == DetectionState::OsNotSupported) return true;

  if (!MatchesOsLists(record.win_nt_versions, record.win_nt64_versions) ||
      !LanguageMatches(record.language_list)) {
    LogLine(L"Wrong OS or Os language for:" + record.name);
    record.state = DetectionState::OsNotSupported;
    return true;
  }
  if (ProcessorRulesExclude(record.options, QueryNativeMachine())) {
    record.state = DetectionState::OsNotSupported;
    return true;
  }

  const bool wow64 = record.HasOption(L'x');
  LogLine(L"Searching for:" + record.name);
  if (respect_skip && record.skip_search) return true;

  bool found = false;
  if (!record.skip_search) {
    found = EvaluateSearchList(
        record.searches, record.search_operator,
        [&](const SearchEntry& search) { return RunSearch(search, wow64, *this); },
        &record.search_results);
  }
  record.state = SearchedState(record, found);
  if (record.first_state == DetectionState::Undetermined) record.first_state = record.state;
  LogLine(std::wstring(L"Search result:") + DetectionStateText(record.state));
  return true;
}

void ChainerConfig::DetectAll() {
  for (size_t i = 0; i < prerequisites.size(); ++i) DetectPrerequisite(i, false);
  for (size_t i = 0; i < prerequisites.size(); ++i) {
    Prerequisite& record = prerequisites[i];
    DetectionState state = record.state;
    if (state == DetectionState::Download && record.downloaded) {
      state = DetectionState::AlreadyDownloaded;
    }
    if (state == DetectionState::Download || state == DetectionState::AlreadyDownloaded) {
      record.downloaded = IsDownloaded(i);
    }
    SelectPrerequisite(i, NeedsInstallation(state) || state == DetectionState::AlreadyDownloaded);
  }
}

void ChainerConfig::SelectPrerequisite(size_t index, bool selected) {
  Prerequisite& record = At(index);
  if (record.selected == selected) return;
  record.selected = selected;
  LogLine(L"Prerequisite selected for install:" + record.name);

  const std::wstring name = record.name;
  for (size_t i = 0; i < prerequisites.size(); ++i) {
    const Prerequisite& child = prerequisites[i];
    if (i == index || child.state == DetectionState::OsNotSupported) continue;
    if (child.parent_prereq != name) continue;
    SelectPrerequisite(i, selected && NeedsInstallation(child.state));
  }

  const std::wstring parent_name = prerequisites[index].parent_prereq;
  if (!selected || parent_name.empty()) return;
  for (size_t i = 0; i < prerequisites.size(); ++i) {
    if (prerequisites[i].name != parent_name) continue;
    const DetectionState parent_state = prerequisites[i].state;
    if (parent_state != DetectionState::Found && parent_state != DetectionState::OsNotSupported) {
      SelectPrerequisite(i, true);
    }
    return;
  }
  // A parent that the list does not hold is a typing error in one
  // prerequisite; it must not end the whole run, so it is only reported.
  LogLine(L"Parent prerequisite not found:" + parent_name);
}

DetectionState ChainerConfig::EffectiveOutcome(size_t index, bool for_report) const {
  const Prerequisite& record = At(index);
  if (!record.selected) return DetectionState::NotSelected;
  if (record.state != DetectionState::Found) {
    if (record.state == DetectionState::Download && record.downloaded) {
      return DetectionState::AlreadyDownloaded;
    }
    return record.state;
  }
  switch (record.source_kind) {
    case SourceKind::Url:
      return IsDownloaded(index, for_report) ? DetectionState::AlreadyDownloaded
                                             : DetectionState::Download;
    case SourceKind::OpenSite:
      return DetectionState::ManualSite;
    default:
      return DetectionState::InstallFromPackage;
  }
}

bool ChainerConfig::IsDownloaded(size_t index, bool for_report) const {
  const Prerequisite& record = At(index);
  if (!IsAlreadyDownloaded(download_folder, record.source, record.folder, record.Requirements(),
                           for_report)) {
    return false;
  }
  // A file found in the download folder is launched only when a download
  // would have been accepted: otherwise it is fetched again and judged then.
  if (record.signed_by.empty() || IsFileUrl(record.source)) return true;
  const std::wstring path =
      TargetPath(WithTrailingBackslash(download_folder), record.source, record.folder);
  return SignerFault(path, record.signed_by).empty();
}
