#include "core/chainer_config.h"

#include "util/decimal_text.h"
#include "util/path_text.h"

namespace {
const wchar_t kGeneralOptions[] = L"GeneralOptions";
const wchar_t kPrerequisites[] = L"PREREQUISITES";
const wchar_t kChainerSection[] = L"PREREQ_CHAINER";

// Reads the keys of one section, noting each key it looks up when asked to.
class SectionReader {
 public:
  SectionReader(const IniSection& section, KeyReads* reads) : section_(section), reads_(reads) {}

  // Copies the value of key into out when the key is present.
  bool Read(const std::wstring& key, std::wstring* out) const {
    if (reads_) reads_->keys.emplace_back(&section_, key);
    const IniEntry* entry = IniDocument::FindEntry(section_, key);
    if (!entry) return false;
    *out = entry->value;
    return true;
  }
  void ReadInteger(const wchar_t* key, int32_t* out) const {
    std::wstring text;
    if (Read(key, &text)) *out = ParseInteger(text);
  }
  void ReadBool(const wchar_t* key, bool* out) const {
    std::wstring text;
    if (Read(key, &text)) *out = EqualsIgnoreCaseAscii(text, L"true");
  }

 private:
  const IniSection& section_;
  KeyReads* reads_;
};

std::wstring Numbered(const wchar_t* key, int32_t number) {
  return key + DecimalW(number);
}
}  // namespace

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

bool ChainerConfig::LoadGeneralOptions(const IniDocument& document, KeyReads* reads) {
  const IniSection* section = document.FindSection(kGeneralOptions);
  if (!section) return true;
  const SectionReader in(*section, reads);
  GeneralOptions& g = general;
  in.Read(L"MainAppCmdLine", &g.main_app_cmd_line);
  in.Read(L"Options", &g.options);
  in.Read(L"UpdatesUrl", &g.updates_url);
  in.Read(L"ProductVersion", &g.product_version);
  in.Read(L"MinWIVer", &g.min_wi_version);
  in.Read(L"DownloadFolder", &g.download_folder);
  in.Read(L"MainAppURL", &g.main_app_url);
  in.Read(L"LanguageList", &g.language_list);
  if (in.Read(L"ExtractionFolder", &g.extraction_folder)) {
    NormalizeSlashes(&g.extraction_folder);
    g.extraction_folder = WithTrailingBackslash(g.extraction_folder);
  }
  std::wstring keep;
  if (in.Read(L"KeepFiles", &keep)) g.keep_files = ParseKeepFiles(keep);
  in.ReadBool(L"PackJars", &g.pack_jars);
  in.ReadBool(L"AllPlatforms", &g.all_platforms);
  in.ReadBool(L"Is64PlatformTransf", &g.is64_platform_transform);
  in.Read(L"Langs", &g.langs);
  in.Read(L"PackageCode", &g.package_code);
  in.Read(L"ProductCode", &g.product_code);
  in.Read(L"DefaultProdCode", &g.default_product_code);
  in.Read(L"UpgradeCode", &g.upgrade_code);
  std::wstring stub;
  g.has_ext_ui_stub = in.Read(L"ExtUIStub", &stub) && !stub.empty();
  in.Read(L"SaveExtUIStub", &g.save_ext_ui_stub);
  in.Read(L"MsiCertData", &g.msi_cert_data);
  in.Read(L"FileExtractFirst", &g.file_extract_first);
  in.Read(L"AppxVersion", &g.appx_version);
  in.Read(L"AppxPkId", &g.appx_package_id);
  in.Read(L"UwpAppxURL", &g.uwp_appx_url);
  return true;
}

bool ChainerConfig::LoadSearches(const IniSection& section, std::vector<SearchEntry>* out,
                                 KeyReads* reads) {
  const SectionReader in(section, reads);
  for (int32_t k = 1;; ++k) {
    std::wstring type;
    if (!in.Read(Numbered(L"SearchType", k), &type)) return true;
    SearchEntry search;
    search.type = ParseInteger(type);
    if (!in.Read(Numbered(L"SearchString", k), &search.search_string)) return false;
    in.Read(Numbered(L"VerMin", k), &search.ver_min);
    in.Read(Numbered(L"VerMax", k), &search.ver_max);
    in.Read(Numbered(L"RefContent", k), &search.ref_content);
    in.Read(Numbered(L"SearchCmdLine", k), &search.search_cmd_line);
    out->push_back(search);
  }
}

bool ChainerConfig::LoadPrerequisite(const IniDocument& document, int32_t number,
                                     Prerequisite* out, KeyReads* reads) const {
  const IniSection* list = document.FindSection(kPrerequisites);
  if (!list) return false;
  if (!SectionReader(*list, reads).Read(Numbered(L"App", number), &out->name)) return false;
  const IniSection* section = document.FindSection(out->name);
  if (!section) return false;
  const SectionReader in(*section, reads);

  in.Read(L"VerMin", &out->ver_min);
  in.Read(L"VerMax", &out->ver_max);
  in.Read(L"WinNTVersions", &out->win_nt_versions);
  in.Read(L"WinNT64Versions", &out->win_nt64_versions);
  if (in.Read(L"SetupFile", &out->source)) {
    out->source_kind = SourceKind::SetupFile;
  } else if (in.Read(L"OpenSite", &out->source)) {
    out->source_kind = SourceKind::OpenSite;
  } else if (in.Read(L"Url", &out->source)) {
    out->source_kind = SourceKind::Url;
  } else {
    return false;
  }
  in.ReadInteger(L"ExactSize", &out->exact_size);
  in.Read(L"MD5", &out->md5);
  in.Read(L"SHA256", &out->sha256);
  in.Read(L"SignedBy", &out->signed_by);
  in.ReadInteger(L"Operator", &out->search_operator);
  in.Read(L"CommandLine", &out->command_line);
  in.Read(L"BasicUiCommandLine", &out->basic_ui_command_line);
  in.Read(L"NoUiCommandLine", &out->no_ui_command_line);
  in.Read(L"Options", &out->options);
  in.Read(L"RetValPropName", &out->ret_val_prop_name);
  in.Read(L"ParentPrereq", &out->parent_prereq);
  in.Read(L"Folder", &out->folder);
  in.Read(L"LanguageList", &out->language_list);
  return LoadSearches(*section, &out->searches, reads);
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

void ChainerConfig::LoadConfiguration(const IniDocument& document, const PropertyExpander& expand,
                                      KeyReads* reads) {
  LoadGeneralOptions(document, reads);
  for (int32_t number = 1;; ++number) {
    Prerequisite record;
    if (!LoadPrerequisite(document, number, &record, reads)) break;
    CompletePrerequisite(&record, expand);
    prerequisites.push_back(std::move(record));
  }
}

bool LoadChainerSection(const IniDocument& document, ChainerSection* out, KeyReads* reads) {
  const IniSection* section = document.FindSection(kChainerSection);
  if (!section) return false;
  const SectionReader in(*section, reads);
  in.Read(L"CleanupFiles", &out->cleanup_files);
  in.Read(L"CleanupFolders", &out->cleanup_folders);
  in.Read(L"LogFile", &out->log_file);
  in.Read(L"CleanupScript", &out->cleanup_script);
  return true;
}

bool KeyReads::Contains(const IniSection& section, const std::wstring& key) const {
  for (const auto& read : keys) {
    if (read.first == &section && read.second == key) return true;
  }
  return false;
}
