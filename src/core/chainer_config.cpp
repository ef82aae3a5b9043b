#include "core/chainer_config.h"

#include "archive/embedded_archive.h"

#include "util/decimal_text.h"
#include "util/path_text.h"

namespace {
const wchar_t kGeneralOptions[] = L"GeneralOptions";
const wchar_t kPrerequisites[] = L"PREREQUISITES";
const wchar_t kChainerSection[] = L"PREREQ_CHAINER";

// Copies the value of key into out when the key is present.
bool Read(const IniSection& section, const wchar_t* key, std::wstring* out) {
  const IniEntry* entry = IniDocument::FindEntry(section, key);
  if (!entry) return false;
  *out = entry->value;
  return true;
}

void ReadInteger(const IniSection& section, const wchar_t* key, int32_t* out) {
  std::wstring text;
  if (Read(section, key, &text)) *out = ParseInteger(text);
}

void ReadBool(const IniSection& section, const wchar_t* key, bool* out) {
  std::wstring text;
  if (Read(section, key, &text)) *out = EqualsIgnoreCaseAscii(text, L"true");
}

std::wstring Numbered(const wchar_t* key, int32_t number) {
  return key + DecimalW(number);
}
}  // namespace

std::wstring ChainerConfig::GetSearchHelperPath(const SearchEntry& search) {
  if (!archive) return std::wstring();
  std::wstring path;
  const int32_t entry = archive->Lookup(search.search_string, &path);
  // A helper that is missing or cannot be extracted makes the search fail.
  if (entry < 0 || archive->Extract({entry}, true) != 0) return std::wstring();
  return path;
}

int32_t ParseInteger(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == L' ') ++i;
  bool negative = false;
  if (i < text.size() && text[i] == L'-') {
    negative = true;
    ++i;
  }
  if (i < text.size() && text[i] == L'+') ++i;
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10u + static_cast<uint32_t>(text[i] - L'0');
  }
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

KeepFiles ParseKeepFiles(const std::wstring& text) {
  if (text == L"minimum") return KeepFiles::Minimum;
  if (text == L"complete") return KeepFiles::Complete;
  if (text == L"prereqs") return KeepFiles::Prereqs;
  return KeepFiles::None;
}

bool ChainerConfig::LoadGeneralOptions(const IniDocument& document) {
  const IniSection* section = document.FindSection(kGeneralOptions);
  if (!section) return true;
  GeneralOptions& g = general;
  Read(*section, L"MainAppCmdLine", &g.main_app_cmd_line);
  Read(*section, L"Options", &g.options);
  Read(*section, L"UpdatesUrl", &g.updates_url);
  Read(*section, L"ProductVersion", &g.product_version);
  Read(*section, L"MinWIVer", &g.min_wi_version);
  Read(*section, L"DownloadFolder", &g.download_folder);
  Read(*section, L"MainAppURL", &g.main_app_url);
  Read(*section, L"LanguageList", &g.language_list);
  if (Read(*section, L"ExtractionFolder", &g.extraction_folder)) {
    NormalizeSlashes(&g.extraction_folder);
    g.extraction_folder = WithTrailingBackslash(g.extraction_folder);
  }
  std::wstring keep;
  if (Read(*section, L"KeepFiles", &keep)) g.keep_files = ParseKeepFiles(keep);
  ReadBool(*section, L"PackJars", &g.pack_jars);
  ReadBool(*section, L"AllPlatforms", &g.all_platforms);
  ReadBool(*section, L"Is64PlatformTransf", &g.is64_platform_transform);
  Read(*section, L"Langs", &g.langs);
  Read(*section, L"PackageCode", &g.package_code);
  Read(*section, L"ProductCode", &g.product_code);
  Read(*section, L"DefaultProdCode", &g.default_product_code);
  Read(*section, L"UpgradeCode", &g.upgrade_code);
  std::wstring stub;
  g.has_ext_ui_stub = Read(*section, L"ExtUIStub", &stub) && !stub.empty();
  Read(*section, L"SaveExtUIStub", &g.save_ext_ui_stub);
  Read(*section, L"MsiCertData", &g.msi_cert_data);
  Read(*section, L"FileExtractFirst", &g.file_extract_first);
  Read(*section, L"AppxVersion", &g.appx_version);
  Read(*section, L"AppxPkId", &g.appx_package_id);
  Read(*section, L"UwpAppxURL", &g.uwp_appx_url);
  return true;
}

bool ChainerConfig::LoadSearches(const IniSection& section, std::vector<SearchEntry>* out) {
  for (int32_t k = 1;; ++k) {
    std::wstring type;
    if (!Read(section, Numbered(L"SearchType", k).c_str(), &type)) return true;
    SearchEntry search;
    search.type = ParseInteger(type);
    if (!Read(section, Numbered(L"SearchString", k).c_str(), &search.search_string)) return false;
    Read(section, Numbered(L"VerMin", k).c_str(), &search.ver_min);
    Read(section, Numbered(L"VerMax", k).c_str(), &search.ver_max);
    Read(section, Numbered(L"RefContent", k).c_str(), &search.ref_content);
    Read(section, Numbered(L"SearchCmdLine", k).c_str(), &search.search_cmd_line);
    out->push_back(search);
  }
}

bool ChainerConfig::LoadPrerequisite(const IniDocument& document, int32_t number,
                                     Prerequisite* out) const {
  const IniSection* list = document.FindSection(kPrerequisites);
  if (!list) return false;
  if (!Read(*list, Numbered(L"App", number).c_str(), &out->name)) return false;
  const IniSection* section = document.FindSection(out->name);
  if (!section) return false;

  Read(*section, L"VerMin", &out->ver_min);
  Read(*section, L"VerMax", &out->ver_max);
  Read(*section, L"WinNTVersions", &out->win_nt_versions);
  Read(*section, L"WinNT64Versions", &out->win_nt64_versions);
  if (Read(*section, L"SetupFile", &out->source)) {
    out->source_kind = SourceKind::SetupFile;
  } else if (Read(*section, L"OpenSite", &out->source)) {
    out->source_kind = SourceKind::OpenSite;
  } else if (Read(*section, L"Url", &out->source)) {
    out->source_kind = SourceKind::Url;
  } else {
    return false;
  }
  ReadInteger(*section, L"ExactSize", &out->exact_size);
  Read(*section, L"MD5", &out->md5);
  ReadInteger(*section, L"Operator", &out->search_operator);
  Read(*section, L"CommandLine", &out->command_line);
  Read(*section, L"BasicUiCommandLine", &out->basic_ui_command_line);
  Read(*section, L"NoUiCommandLine", &out->no_ui_command_line);
  Read(*section, L"Options", &out->options);
  Read(*section, L"RetValPropName", &out->ret_val_prop_name);
  Read(*section, L"ParentPrereq", &out->parent_prereq);
  Read(*section, L"Folder", &out->folder);
  Read(*section, L"LanguageList", &out->language_list);
  return LoadSearches(*section, &out->searches);
}

void CompletePrerequisite(Prerequisite* record, const PropertyExpander& expand) {
  if (!record->language_list.empty() && record->language_list.back() != L';') {
    record->language_list += L';';
  }
  if (expand && record->source_kind != SourceKind::SetupFile) {
    record->source = expand(record->source, record->HasOption(L'x'));
  }
  record->skip_search = record->HasOption(L'i');
}

void ChainerConfig::LoadConfiguration(const IniDocument& document, const PropertyExpander& expand) {
  LoadGeneralOptions(document);
  for (int32_t number = 1;; ++number) {
    Prerequisite record;
    if (!LoadPrerequisite(document, number, &record)) break;
    CompletePrerequisite(&record, expand);
    prerequisites.push_back(std::move(record));
  }
}

bool LoadChainerSection(const IniDocument& document, ChainerSection* out) {
  const IniSection* section = document.FindSection(kChainerSection);
  if (!section) return false;
  Read(*section, L"CleanupFiles", &out->cleanup_files);
  Read(*section, L"CleanupFolders", &out->cleanup_folders);
  Read(*section, L"LogFile", &out->log_file);
  Read(*section, L"CleanupScript", &out->cleanup_script);
  return true;
}
