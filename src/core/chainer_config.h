// The parsed configuration: general options, the ordered prerequisite list
// and the chainer's own section. Loading never fails; a malformed file simply
// gives defaults, and the list ends at the first incomplete prerequisite.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/ini_document.h"
#include "detect/prerequisite.h"

class EmbeddedArchive;
struct ProgressState;

// What KeepFiles asks to keep of the downloads.
enum class KeepFiles : int32_t {
  None = 0,
  Minimum = 1,
  Complete = 2,
  Prereqs = 5,
};

struct GeneralOptions {
  std::wstring main_app_cmd_line;
  std::wstring options;  // "q" silent, "b" basic user interface
  std::wstring updates_url;
  std::wstring product_version;
  std::wstring min_wi_version;
  std::wstring download_folder;
  std::wstring main_app_url;
  std::wstring uwp_appx_url;
  std::wstring language_list;
  std::wstring extraction_folder;  // slashes normalised, ends with "\" when set
  KeepFiles keep_files = KeepFiles::None;
  bool pack_jars = false;
  bool all_platforms = false;
  bool is64_platform_transform = false;
  std::wstring langs;
  std::wstring package_code;
  std::wstring default_product_code;
  std::wstring product_code;
  std::wstring upgrade_code;
  bool has_ext_ui_stub = false;
  std::wstring save_ext_ui_stub;
  std::wstring file_extract_first;
  std::wstring msi_cert_data;
  std::wstring appx_version;
  std::wstring appx_package_id;

  bool HasOption(wchar_t letter) const { return options.find(letter) != std::wstring::npos; }
};

// Section PREREQ_CHAINER.
struct ChainerSection {
  std::wstring cleanup_files;  // items separated by U+0001
  std::wstring cleanup_folders;
  std::wstring log_file;
  std::wstring cleanup_script;
};

// The keys the loader looked up, section by section, when a caller asks for
// them: the configuration checker learns from it which entries are read at all.
struct KeyReads {
  std::vector<std::pair<const IniSection*, std::wstring>> keys;
  bool Contains(const IniSection& section, const std::wstring& key) const;
};

// Resolves bracketed folder properties, %VARIABLES% and !registry! references;
// the flag asks for the 64-bit view.
using PropertyExpander = std::function<std::wstring(const std::wstring& text, bool wow64)>;

class ChainerConfig {
 public:
  virtual ~ChainerConfig() = default;
  // Path of the helper program of a type-10 search after extraction from the
  // executable's archive; empty when there is no archive or no such entry.
  virtual std::wstring GetSearchHelperPath(const SearchEntry& search);

  // General options, then the prerequisites App1, App2, ... up to the first
  // one that is missing or incomplete. expand resolves the references in
  // Url and OpenSite sources; without it they are kept as written.
  void LoadConfiguration(const IniDocument& document, const PropertyExpander& expand = nullptr,
                         KeyReads* reads = nullptr);
  // Each loader notes the keys it looks up in reads when one is given.
  bool LoadGeneralOptions(const IniDocument& document, KeyReads* reads = nullptr);
  bool LoadPrerequisite(const IniDocument& document, int32_t number, Prerequisite* out,
                        KeyReads* reads = nullptr) const;
  static bool LoadSearches(const IniSection& section, std::vector<SearchEntry>* out,
                           KeyReads* reads = nullptr);

  // Detection of the prerequisite at index: operating system, language and
  // processor, then its searches; stores and logs the outcome. respect_skip is
  // false for the first detection of a run. An index outside the list throws.
  bool DetectPrerequisite(size_t index, bool respect_skip);
  // The first detection of every prerequisite and the default selection.
  void DetectAll();
  // Selects or deselects, carrying the choice to children and parent.
  void SelectPrerequisite(size_t index, bool selected);
  // What the run will do with the prerequisite (for_report: as IsDownloaded).
  DetectionState EffectiveOutcome(size_t index, bool for_report = false) const;
  // Whether the setup file is already where the download would put it.
  // for_report: a file this run accepted and that has not changed since is
  // not read again (never for a decision to launch it).
  bool IsDownloaded(size_t index, bool for_report = false) const;

  std::vector<Prerequisite> prerequisites;
  GeneralOptions general;
  // The download folder with its references resolved, ending with "".
  std::wstring download_folder;
  // The executable's archive, from which type-10 searches extract their
  // helpers; none outside a run (tests, tools).
  EmbeddedArchive* archive = nullptr;
  // The caption source of the extraction dialog that shows the extraction of
  // a helper; none in silent runs, which show nothing.
  ProgressState* progress = nullptr;

 private:
  Prerequisite& At(size_t index);
  const Prerequisite& At(size_t index) const;
};

// A state in which the prerequisite is missing and the run can get it: from
// the package, by download, or by the user from its site.
inline bool NeedsInstallation(DetectionState state) {
  return state == DetectionState::InstallFromPackage || state == DetectionState::Download ||
         state == DetectionState::ManualSite;
}

// False when the document has no PREREQ_CHAINER section.
bool LoadChainerSection(const IniDocument& document, ChainerSection* out,
                        KeyReads* reads = nullptr);
// Leading blanks, an optional "-" then an optional "+", then decimal digits up
// to the first other character; 32-bit wrap-around; no digits give 0.
int32_t ParseInteger(const std::wstring& text);
KeepFiles ParseKeepFiles(const std::wstring& text);
// Completes a freshly loaded record: language-list terminator, resolved
// Url/OpenSite source, the "i" option.
void CompletePrerequisite(Prerequisite* record, const PropertyExpander& expand);
