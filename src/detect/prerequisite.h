// One configured prerequisite: what the configuration says about it and what
// detection found. Records are addressed by their index in the list.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "download/file_acceptance.h"

enum class DetectionState : int32_t {
  Found = 0,
  InstallFromPackage = 1,
  Download = 2,
  ManualSite = 3,
  OsNotSupported = 4,
  AlreadyDownloaded = 5,
  NoAcceptableVersion = 6,
  NotSelected = 7,
  Undetermined = 8,
};

// Which configuration key supplied the source.
enum class SourceKind : int32_t {
  SetupFile = 0,
  Url = 1,
  OpenSite = 2,
};

struct SearchEntry {
  int32_t type = 0;
  std::wstring search_string;
  std::wstring ver_min;
  std::wstring ver_max;
  std::wstring ref_content;
  std::wstring search_cmd_line;
};

struct SearchResult {
  bool found = false;
  std::vector<std::wstring> values;
};

struct Prerequisite {
  std::wstring name;
  std::wstring ver_min;
  std::wstring ver_max;
  std::wstring source;
  SourceKind source_kind = SourceKind::SetupFile;
  std::wstring command_line;
  std::wstring basic_ui_command_line;
  std::wstring no_ui_command_line;
  std::wstring options;
  std::wstring md5;
  std::wstring sha256;
  std::wstring signed_by;  // the signing certificate's name a download must carry
  int32_t exact_size = 0;
  std::wstring folder;
  std::wstring ret_val_prop_name;
  std::wstring ret_val;  // the setup's return code as stored under ret_val_prop_name
  std::wstring parent_prereq;
  int32_t search_operator = 0;
  std::vector<SearchEntry> searches;
  std::wstring win_nt_versions;
  std::wstring win_nt64_versions;
  std::wstring language_list;
  std::vector<SearchResult> search_results;
  DetectionState state = DetectionState::Undetermined;
  DetectionState first_state = DetectionState::Undetermined;
  bool downloaded = false;
  bool selected = false;
  bool skip_search = false;

  bool HasOption(wchar_t letter) const { return options.find(letter) != std::wstring::npos; }
  // What its downloaded file, or one already in the download folder, must be.
  FileRequirements Requirements() const {
    return {static_cast<uint32_t>(exact_size), md5, sha256};
  }
};

// The text written after "Search result:" for a state.
const wchar_t* DetectionStateText(DetectionState state);
