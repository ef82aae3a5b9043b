#include "core/prereq_chainer.h"

#include <utility>

#include "core/stable_numbers.h"
#include "download/credential_store.h"
#include "download/download_check.h"
#include "download/url_file_name.h"
#include "platform/core/exceptions.h"
#include "platform/core/logger.h"
#include "ui/extraction_dialog.h"
#include "ui/strings.h"
#include "util/decimal_text.h"
#include "util/folder_properties.h"
#include "util/path_text.h"
#include "util/wide_format.h"

namespace {
// Hands everything on and, in the test build, waits after each piece.
class PacedProgress : public IExtractionProgress {
 public:
  PacedProgress(IExtractionProgress& inner, void (*pace)()) : inner_(inner), pace_(pace) {}
  void BeginExtraction(uint64_t total_bytes) override { inner_.BeginExtraction(total_bytes); }
  void BeginFile(const std::wstring& path) override { inner_.BeginFile(path); }
  void AddBytes(uint64_t bytes) override {
    inner_.AddBytes(bytes);
    if (pace_) pace_();
  }
  bool IsCanceled() override { return inner_.IsCanceled(); }

 private:
  IExtractionProgress& inner_;
  void (*pace_)();
};
}  // namespace

int32_t RebootModeFor(const std::wstring& options) {
  if (options.find(L'r') == std::wstring::npos) return 0;
  return options.find(L'R') == std::wstring::npos ? 1 : 2;
}

PrereqChainer::PrereqChainer(ChainerConfig& config, EmbeddedArchive& archive,
                             ProgressState& progress, InterbootStore& store,
                             const PlatformSeams& seams)
    : config_(config),
      archive_(archive),
      progress_(progress),
      launcher_(&store, this, seams.store_installer, seams.restarter),
      downloads_(ProcessCredentials()),
      pace_extraction_(seams.pace_extraction) {
  if (seams.is_local_system) launcher_.is_local_system = seams.is_local_system;
}

bool PrereqChainer::AdviseReboot(int32_t prereq_index) {
  if (prereq_index < 0 || static_cast<size_t>(prereq_index) >= config_.prerequisites.size()) {
    THROW_HRESULT(kErrorBounds, L"prerequisite index out of range");
  }
  config_.DetectPrerequisite(prereq_index, true);
  Prerequisite& record = config_.prerequisites[prereq_index];
  if (record.state == DetectionState::Download ||
      record.state == DetectionState::AlreadyDownloaded) {
    record.downloaded = config_.IsDownloaded(prereq_index);
  }
  return record.state == DetectionState::Found;
}

void PrereqChainer::ReportSelection(IProgressSink*) {
  std::wstring indices;
  for (size_t i = 0; i < config_.prerequisites.size(); ++i) {
    if (!config_.prerequisites[i].selected) continue;
    if (!indices.empty()) indices += L',';
    indices += DecimalW(static_cast<int64_t>(i));
  }
  if (selection_listener) selection_listener(indices);
}

uint32_t PrereqChainer::InstallPrerequisites(IProgressSink* sink) {
  // Before the launch list: building it extracts the package's setups, which
  // a cancelled run must not do.
  if (sink && sink->IsCanceled()) return kInstallUserExit;
  const bool silent_run = config_.general.HasOption(L'q');
  if (!sink) {
    BuildLaunchList(silent_run);
  } else {
    // The bundled setups are extracted under a window of their own, which
    // closes before the first setup starts. Its Cancel ends the run like the
    // progress dialog's: nothing is launched.
    ExtractionDialog dialog(progress_, false, true, sink);
    PacedProgress paced(dialog, pace_extraction_);
    BuildLaunchList(silent_run, &paced);
    if (dialog.cancelled_here()) {
      if (LoggingEnabled) LOGGER.Write(L"Extraction was canceled.");
      return kInstallUserExit;
    }
  }
  const size_t count = launcher_.entries.size();
  if (sink) {
    if (install_caption_.empty()) install_caption_ = LoadResString(IDS_INSTALLING);
    sink->SetStepCount(count, 0);
  }
  for (size_t i = 0; i < count; ++i) {
    if (session_ending) return 0;
    const LaunchEntry& entry = launcher_.entries[i];
    if (sink) {
      if (sink->IsCanceled()) return kInstallUserExit;
      sink->SetStatus(FormatW(install_caption_.c_str(), entry.display_name.c_str()), 9, 0);
    }
    switch (launcher_.RunInstallStep(i, sink == nullptr)) {
      case kStepRebooting:
        if (sink) sink->ReportError(entry.display_name, kRebootStartedOrRefused, nullptr);
        return kInstallFailure;
      case kStepFailed:
        if (config_.prerequisites.at(entry.prereq_index).HasOption(L'm')) {
          if (sink) sink->ReportError(entry.display_name, kMandatoryFailed, nullptr);
          return kInstallFailure;
        }
        break;
      case kStepSucceeded:
        break;
    }
  }
  return 0;
}

void PrereqChainer::BuildLaunchList(bool silent_run, IExtractionProgress* progress) {
  const GeneralOptions& general = config_.general;
  enum class Level { Full, Basic, Silent } level = Level::Full;
  if (general.HasOption(L'b')) {
    level = Level::Basic;
  } else if (general.HasOption(L'q')) {
    level = Level::Silent;
  }
  launcher_.entries.clear();
  const std::wstring download_folder = WithTrailingBackslash(config_.download_folder);

  std::vector<int32_t> to_extract;
  // Launch entries of bundled setups, with their archive entry (negative
  // when the archive could not be read at all).
  std::vector<std::pair<size_t, int32_t>> bundled;
  for (size_t i = 0; i < config_.prerequisites.size(); ++i) {
    const Prerequisite& record = config_.prerequisites[i];
    const DetectionState outcome = config_.EffectiveOutcome(i);
    const std::wstring& arguments = level == Level::Full    ? record.command_line
                                    : level == Level::Basic ? record.basic_ui_command_line
                                                            : record.no_ui_command_line;
    std::wstring path;
    std::wstring command_line;
    if (outcome == DetectionState::InstallFromPackage) {
      const int32_t entry = archive_.Lookup(record.source, &path);
      if (entry >= 0) to_extract.push_back(entry);
      if (entry >= 0 || archive_.ReadError() != 0) {
        bundled.emplace_back(launcher_.entries.size(), entry);
      }
      command_line = arguments;  // handed to the setup as written
    } else if (outcome == DetectionState::AlreadyDownloaded) {
      path = IsFileUrl(record.source) ? LocalPathOfFileSource(record.source)
                                      : TargetPath(download_folder, record.source, record.folder);
      command_line = ExpandProperties(arguments, record.HasOption(L'x'));
    } else {
      continue;
    }
    launcher_.AddLaunchEntry(path, command_line, record.name, RebootModeFor(record.options),
                             silent_run ? 1 : 0, record.ret_val_prop_name, static_cast<int32_t>(i));
  }
  if (!to_extract.empty()) archive_.Extract(to_extract, silent_run, progress);
  // A bundled setup runs only from the copy this run extracted: after a
  // failed extraction the file at its path is a stale or planted one. A
  // setup the bundle does not carry is the package's own file beside it.
  for (const auto& item : bundled) {
    launcher_.entries[item.first].withheld =
        item.second >= 0 ? archive_.ExtractionResult(item.second) : archive_.ReadError();
  }
}

void PrereqChainer::RefreshSelection(IProgressSink*) {
  for (size_t i = 0; i < config_.prerequisites.size(); ++i) {
    const DetectionState outcome = config_.EffectiveOutcome(i, true);
    if (outcome == DetectionState::NotSelected || outcome == DetectionState::OsNotSupported) {
      continue;
    }
    config_.DetectPrerequisite(i, true);
    Prerequisite& record = config_.prerequisites[i];
    if (record.state == DetectionState::Download ||
        record.state == DetectionState::AlreadyDownloaded) {
      record.downloaded = config_.IsDownloaded(i, true);
    }
    config_.SelectPrerequisite(
        i, NeedsInstallation(record.state) || record.state == DetectionState::AlreadyDownloaded);
  }
  missing_mandatory_ = 0;
  for (const Prerequisite& record : config_.prerequisites) {
    if (record.HasOption(L'm') && NeedsInstallation(record.state)) ++missing_mandatory_;
  }
}

bool PrereqChainer::CheckMandatory(IProgressSink*) {
  for (size_t i = 0; i < config_.prerequisites.size(); ++i) {
    const Prerequisite& record = config_.prerequisites[i];
    if (!record.HasOption(L'm') || record.HasOption(L'i')) continue;
    const DetectionState outcome = config_.EffectiveOutcome(i, true);
    if (outcome != DetectionState::Found && outcome != DetectionState::NotSelected) {
      failed_mandatory_ = record.name;
      return false;
    }
  }
  return true;
}
