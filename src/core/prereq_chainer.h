// The work of one run once detection found something to install: downloads,
// sites to open, setups to launch, then a fresh look at what is installed.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/embedded_archive.h"
#include "core/chainer_config.h"
#include "core/interboot_store.h"
#include "core/platform_seams.h"
#include "download/download_queue.h"
#include "install/setup_launcher.h"
#include "ui/progress_sink.h"
#include "ui/progress_state.h"

class PrereqChainer : public IRebootAdvisor {
 public:
  PrereqChainer(ChainerConfig& config, EmbeddedArchive& archive, ProgressState& progress,
                InterbootStore& store, const PlatformSeams& seams);

  // Detects the prerequisite again after its setup; true (restart now) only
  // when it is then found. An index outside the list throws.
  bool AdviseReboot(int32_t prereq_index) override;

  // Hands "0,2,5" (the selected indices) to the selection listener, if any.
  void ReportSelection(IProgressSink* sink);
  // Fetches what must be downloaded into the download folder and checks size
  // and MD5: 0 when every download was handled (cancelled included), 1603 when
  // a file was rejected or a mandatory download failed.
  uint32_t DownloadPrerequisites(IProgressSink* sink);
  // Opens the sites of prerequisites that are fetched by hand; with a sink and
  // an interactive run, an information box after each.
  void OpenSites(IProgressSink* sink);
  // Launches the setups in order: 0 done, 1602 cancelled (a cancelled run
  // extracts and starts nothing), 1603 a mandatory setup failed or a restart
  // was started or refused.
  uint32_t InstallPrerequisites(IProgressSink* sink);
  // Fills the launcher's list for the user-interface level of the options and
  // extracts the bundled setups it names, reporting to progress when given.
  void BuildLaunchList(bool silent, IExtractionProgress* progress = nullptr);
  // Detects the installed prerequisites again and updates the selection.
  void RefreshSelection(IProgressSink* sink);
  // False (remembering the name) when a mandatory prerequisite is still missing.
  bool CheckMandatory(IProgressSink* sink);

  bool reboot_required() const { return launcher_.reboot_required; }
  bool reboot_refused() const { return launcher_.reboot_refused; }
  const SetupLauncher& launcher() const { return launcher_; }
  const std::wstring& failed_mandatory() const { return failed_mandatory_; }
  // The run's downloads; what they leave behind goes with the chainer.
  DownloadQueue& downloads() { return downloads_; }

  bool session_ending = false;  // set when Windows ends the session
  bool silent = false;
  std::function<void(const std::wstring& indices)> selection_listener;

 private:
  ChainerConfig& config_;
  EmbeddedArchive& archive_;
  ProgressState& progress_;
  SetupLauncher launcher_;
  DownloadQueue downloads_;
  std::wstring install_caption_;
  std::wstring failed_mandatory_;
  int32_t missing_mandatory_ = 0;
  void (*pace_extraction_)() = nullptr;
};

// The reboot mode of a prerequisite's option letters: "r" 1, "r" with "R" 2.
int32_t RebootModeFor(const std::wstring& options);
