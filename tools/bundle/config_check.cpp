#include "config_check.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "core/chainer_config.h"
#include "core/ini_document.h"
#include "download/digests.h"
#include "util/path_text.h"
#include "utf8_text.h"

namespace {
const wchar_t kGeneralOptions[] = L"GeneralOptions";
const wchar_t kPrerequisites[] = L"PREREQUISITES";
const wchar_t kChainerSection[] = L"PREREQ_CHAINER";
const wchar_t kSources[][10] = {L"SetupFile", L"OpenSite", L"Url"};
const wchar_t kSearchKeys[][14] = {L"SearchType", L"SearchString", L"VerMin",
                                   L"VerMax",     L"RefContent",   L"SearchCmdLine"};
// The option letters the chainer looks for; any other letter does nothing.
const wchar_t kGeneralLetters[] = L"qb";
const wchar_t kPrerequisiteLetters[] = L"cdimrRx";
constexpr int32_t kLastSearchType = 14;

class Report {
 public:
  void Add(int32_t line, const std::string& text) { findings_.push_back({line, text, false}); }
  void Warn(int32_t line, const std::string& text) { findings_.push_back({line, text, true}); }
  std::vector<CheckFinding> Sorted() {
    std::stable_sort(findings_.begin(), findings_.end(),
                     [](const CheckFinding& a, const CheckFinding& b) { return a.line < b.line; });
    return findings_;
  }

 private:
  std::vector<CheckFinding> findings_;
};

std::string Quote(const std::wstring& text) { return "\"" + Utf8(text) + "\""; }

bool AllDigits(const std::wstring& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// The number after prefix in key ("SearchType12" -> 12); 0 when key is not prefix+digits.
int32_t NumberAfter(const std::wstring& key, const std::wstring& prefix) {
  if (key.size() <= prefix.size() || key.compare(0, prefix.size(), prefix) != 0) return 0;
  const std::wstring digits = key.substr(prefix.size());
  if (!AllDigits(digits) || digits.size() > 6 || digits[0] == L'0') return 0;
  return std::stoi(digits);
}

const IniEntry* FindFirst(const IniSection& section, const std::wstring& key) {
  return IniDocument::FindEntry(section, key);
}

// Decodes the file as the chainer reads it; false (with a finding) when the
// chainer would read nothing sensible from it.
bool DecodeText(const std::vector<uint8_t>& bytes, std::wstring* text, Report* report) {
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    report->Add(0, "the file is UTF-8; the chainer reads UTF-16LE with a byte-order mark "
                   "(convert it with: bundle ini IN.txt OUT.ini)");
    return false;
  }
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
    report->Add(0, "the file does not start with the UTF-16LE byte-order mark FF FE; the "
                   "chainer skips the first two bytes unread and reads UTF-16LE after them "
                   "(convert a UTF-8 text with: bundle ini IN.txt OUT.ini)");
    return false;
  }
  if (bytes.size() % 2 != 0) report->Add(0, "the file has an odd number of bytes; the last is lost");
  std::vector<uint16_t> units((bytes.size() - 2) / 2);
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<uint16_t>(bytes[2 + 2 * i] | (bytes[3 + 2 * i] << 8));
  }
  *text = FromUtf16(units.data(), units.size());
  const bool has_crlf = text->find(L"\r\n") != std::wstring::npos;
  if (!has_crlf && text->find(L'\n') != std::wstring::npos) {
    report->Add(0, "lines end with LF alone; the chainer ends lines only at CR LF, so it sees "
                   "one single line and reads nothing");
    return false;
  }
  int32_t line = 1;
  for (size_t i = 0; i < text->size(); ++i) {
    const bool crlf = (*text)[i] == L'\r' && i + 1 < text->size() && (*text)[i + 1] == L'\n';
    if (crlf) {
      ++line;
      ++i;
    } else if ((*text)[i] == L'\n' || (*text)[i] == L'\r') {
      report->Add(line, "a lone LF or CR here does not end the line; the next line is read "
                        "as part of this one");
    }
  }
  return true;
}

void CheckDuplicates(const IniDocument& document, Report* report) {
  const auto& sections = document.sections();
  for (size_t s = 0; s < sections.size(); ++s) {
    const IniSection& section = sections[s];
    if (document.FindSection(section.name) != &section) {
      report->Add(section.line, "[" + Utf8(section.name) + "] appears a second time (first at line " +
                                    std::to_string(document.FindSection(section.name)->line) +
                                    "); the chainer reads only the first");
      continue;
    }
    for (const IniEntry& entry : section.entries) {
      const IniEntry* first = FindFirst(section, entry.key);
      if (first != &entry) {
        report->Add(entry.line, Utf8(entry.key) + " appears a second time in [" +
                                    Utf8(section.name) + "] (first at line " +
                                    std::to_string(first->line) + "); only the first is read");
      }
    }
  }
}

// Why the loader stopped before prerequisite number (section may be missing).
void ExplainEnd(const IniDocument& document, const IniEntry& app, Report* report) {
  const IniSection* section = document.FindSection(app.value);
  if (!section) {
    report->Add(app.line, Utf8(app.key) + " names the section [" + Utf8(app.value) +
                              "], which the file does not have; the prerequisite list ends here");
    return;
  }
  const bool has_source = std::any_of(std::begin(kSources), std::end(kSources),
                                      [&](const wchar_t* key) { return FindFirst(*section, key); });
  if (!has_source) {
    report->Add(section->line, "[" + Utf8(section->name) +
                                   "] has none of SetupFile, OpenSite and Url; the prerequisite "
                                   "list ends here");
    return;
  }
  for (int32_t k = 1; FindFirst(*section, L"SearchType" + std::to_wstring(k)); ++k) {
    if (!FindFirst(*section, L"SearchString" + std::to_wstring(k))) {
      report->Add(FindFirst(*section, L"SearchType" + std::to_wstring(k))->line,
                  "SearchType" + std::to_string(k) + " has no SearchString" + std::to_string(k) +
                      "; the prerequisite list ends at [" + Utf8(section->name) + "]");
      return;
    }
  }
}

void CheckPrerequisiteList(const IniDocument& document, size_t loaded, Report* report) {
  const IniSection* list = document.FindSection(kPrerequisites);
  if (!list) {
    report->Add(0, "there is no [PREREQUISITES] section; the chainer has nothing to do");
    return;
  }
  const int32_t stop = static_cast<int32_t>(loaded) + 1;
  for (const IniEntry& entry : list->entries) {
    const int32_t number = NumberAfter(entry.key, L"App");
    if (number == 0) {
      report->Add(entry.line, "unknown key " + Utf8(entry.key) +
                                  " in [PREREQUISITES]; only App1, App2, ... are read");
    } else if (FindFirst(*list, entry.key) != &entry) {
      continue;  // reported as a duplicate
    } else if (number == stop) {
      ExplainEnd(document, entry, report);
    } else if (number > stop) {
      const std::string why = FindFirst(*list, L"App" + std::to_wstring(stop))
                                  ? "the list ends before App" + std::to_string(stop) + " (see there)"
                                  : "the list stops at the first gap: there is no App" +
                                        std::to_string(stop);
      report->Add(entry.line, Utf8(entry.key) + " is never read: " + why);
      if (!document.FindSection(entry.value)) {
        report->Add(entry.line, Utf8(entry.key) + " names the section [" + Utf8(entry.value) +
                                    "], which the file does not have");
      }
    }
  }
}

// Why the loader never looked key up in a prerequisite's section.
std::string WhyNotRead(const IniSection& section, const std::wstring& key, const KeyReads& reads) {
  for (const wchar_t* source : kSources) {
    if (key == source) {
      for (const wchar_t* first : kSources) {
        if (FindFirst(section, first)) return Utf8(key) + " is not used: " + Utf8(first) +
                                              " is present and comes first";
      }
    }
  }
  for (const wchar_t* prefix : kSearchKeys) {
    const int32_t k = NumberAfter(key, prefix);
    if (k == 0) continue;
    int32_t end = 1;
    while (FindFirst(section, L"SearchType" + std::to_wstring(end))) ++end;
    return Utf8(key) + " is never read: the searches stop at the missing SearchType" +
           std::to_string(end);
  }
  for (const auto& read : reads.keys) {
    if (read.first == &section && EqualsIgnoreCaseAscii(read.second, key)) {
      return "unknown key " + Utf8(key) + " (the chainer ignores it; names are case-sensitive: " +
             Utf8(read.second) + "?)";
    }
  }
  return "unknown key " + Utf8(key) + "; the chainer ignores it";
}

void CheckUnreadKeys(const IniSection& section, const KeyReads& reads, Report* report) {
  for (const IniEntry& entry : section.entries) {
    if (FindFirst(section, entry.key) != &entry || reads.Contains(section, entry.key)) continue;
    report->Add(entry.line, WhyNotRead(section, entry.key, reads) + " [" + Utf8(section.name) + "]");
  }
}

void CheckLetters(const IniSection& section, const wchar_t* key, const wchar_t* known,
                  Report* report) {
  const IniEntry* entry = FindFirst(section, key);
  if (!entry) return;
  for (wchar_t letter : entry->value) {
    if (!std::wcschr(known, letter)) {
      report->Add(entry->line, "option letter " + Quote(std::wstring(1, letter)) +
                                   " means nothing here (known: " + Utf8(known) + ")");
    }
  }
}

bool Carried(const BundleIndex& bundle, const std::wstring& name) {
  return std::any_of(bundle.entries.begin(), bundle.entries.end(),
                     [&](const BundledEntry& entry) { return EqualsIgnoreCaseAscii(entry.name, name); });
}

void CheckSearches(const IniSection& section, const BundleIndex* bundle, Report* report) {
  for (int32_t k = 1;; ++k) {
    const IniEntry* type = FindFirst(section, L"SearchType" + std::to_wstring(k));
    if (!type) return;
    if (!AllDigits(type->value) || ParseInteger(type->value) > kLastSearchType) {
      report->Add(type->line, "SearchType" + std::to_string(k) + "=" + Utf8(type->value) +
                                  " is not a search type (0 to 14); such a search never finds");
    }
    const IniEntry* text = FindFirst(section, L"SearchString" + std::to_wstring(k));
    if (bundle && text && ParseInteger(type->value) == 10 && !Carried(*bundle, text->value)) {
      report->Add(text->line, "the search helper " + Quote(text->value) +
                                  " is not in the bundle; the search will not find");
    }
  }
}

void CheckPrerequisite(const IniSection& section, const Prerequisite& record,
                       const BundleIndex* bundle, Report* report) {
  if (const IniEntry* size = FindFirst(section, L"ExactSize")) {
    if (!AllDigits(size->value) || size->value.size() > 10 ||
        std::stoull(size->value) > 0xFFFFFFFFull) {
      report->Add(size->line, "ExactSize=" + Utf8(size->value) +
                                  " is not a byte count the chainer can read (it reads " +
                                  std::to_string(record.exact_size) + ")");
    }
  }
  if (const IniEntry* md5 = FindFirst(section, L"MD5")) {
    const bool hex = std::all_of(md5->value.begin(), md5->value.end(),
                                 [](wchar_t c) { return c < 128 && std::iswxdigit(c); });
    if (!md5->value.empty() && (md5->value.size() != 32 || !hex)) {
      report->Add(md5->line, "MD5=" + Utf8(md5->value) +
                                 " is not 32 hexadecimal digits; no download will ever match it "
                                 "(bundle hash FILE prints the line)");
    }
  }
  if (const IniEntry* sha256 = FindFirst(section, L"SHA256")) {
    if (!sha256->value.empty() && !IsSha256Text(sha256->value)) {
      report->Add(sha256->line, "SHA256=" + Utf8(sha256->value) +
                                    " is not 64 hexadecimal digits; the chainer rejects every "
                                    "download of this prerequisite (bundle hash FILE prints the "
                                    "line)");
    }
  }
  const IniEntry* signer = FindFirst(section, L"SignedBy");
  if (signer && record.source_kind != SourceKind::Url) {
    report->Add(signer->line, "SignedBy= is checked only for a download (Url=); this setup is "
                              "launched without a signature check");
  }
  // A pinned signer is the author's chosen check for a file that changes.
  if (record.source_kind == SourceKind::Url && record.sha256.empty() && !signer) {
    report->Warn(FindFirst(section, L"Url")->line,
                 "[" + Utf8(section.name) +
                     (record.md5.empty() ? "] has neither SHA256 nor MD5: any file the server "
                                           "sends is launched"
                                         : "] is checked by MD5 only") +
                     "; add its SHA256= line (bundle hash FILE prints it)");
  }
  if (const IniEntry* op = FindFirst(section, L"Operator")) {
    if (op->value != L"0" && op->value != L"1") {
      report->Add(op->line, "Operator=" + Utf8(op->value) +
                                " is neither 0 (all searches) nor 1 (any search); the "
                                "prerequisite is then never found");
    }
  }
  CheckLetters(section, L"Options", kPrerequisiteLetters, report);
  CheckSearches(section, bundle, report);
  if (bundle && record.source_kind == SourceKind::SetupFile && !Carried(*bundle, record.source)) {
    report->Add(FindFirst(section, L"SetupFile")->line,
                "the setup file " + Quote(record.source) +
                    " is not in the bundle; the chainer will look for it in the extraction folder");
  }
}

void CheckParents(const ChainerConfig& config, const IniDocument& document, Report* report) {
  for (const Prerequisite& record : config.prerequisites) {
    if (record.parent_prereq.empty()) continue;
    const bool known = std::any_of(config.prerequisites.begin(), config.prerequisites.end(),
                                   [&](const Prerequisite& p) { return p.name == record.parent_prereq; });
    if (!known) {
      const IniSection* section = document.FindSection(record.name);
      report->Add(FindFirst(*section, L"ParentPrereq")->line,
                  "ParentPrereq=" + Utf8(record.parent_prereq) + " names no prerequisite of the list");
    }
  }
}

void CheckGeneralOptions(const IniDocument& document, Report* report) {
  const IniSection* section = document.FindSection(kGeneralOptions);
  if (!section) return;
  CheckLetters(*section, L"Options", kGeneralLetters, report);
  const IniEntry* keep = FindFirst(*section, L"KeepFiles");
  if (keep && ParseKeepFiles(keep->value) == KeepFiles::None) {
    report->Add(keep->line, "KeepFiles=" + Utf8(keep->value) +
                                " is not minimum, complete or prereqs (exact case); downloads "
                                "are deleted as without the key");
  }
}
}  // namespace

std::vector<CheckFinding> CheckConfiguration(const std::vector<uint8_t>& bytes,
                                             const BundleIndex* bundle) {
  Report report;
  std::wstring text;
  if (!DecodeText(bytes, &text, &report)) return report.Sorted();
  IniDocument document;
  document.Parse(text);
  ChainerConfig config;
  KeyReads reads;
  config.LoadConfiguration(document, nullptr, &reads);
  ChainerSection chainer;
  LoadChainerSection(document, &chainer, &reads);

  CheckDuplicates(document, &report);
  CheckPrerequisiteList(document, config.prerequisites.size(), &report);
  CheckGeneralOptions(document, &report);
  std::vector<const IniSection*> read_sections;
  for (const wchar_t* name : {kGeneralOptions, kPrerequisites, kChainerSection}) {
    read_sections.push_back(document.FindSection(name));
  }
  for (const Prerequisite& record : config.prerequisites) {
    const IniSection* section = document.FindSection(record.name);
    read_sections.push_back(section);
    CheckPrerequisite(*section, record, bundle, &report);
  }
  CheckParents(config, document, &report);
  for (const IniSection* section : read_sections) {
    if (section && section != document.FindSection(kPrerequisites)) {
      CheckUnreadKeys(*section, reads, &report);
    }
  }
  // Sections that nothing reads; those named in [PREREQUISITES] are reported there.
  const IniSection* list = document.FindSection(kPrerequisites);
  for (const IniSection& section : document.sections()) {
    if (std::find(read_sections.begin(), read_sections.end(), &section) != read_sections.end() ||
        document.FindSection(section.name) != &section) {
      continue;
    }
    const bool named = list && std::any_of(list->entries.begin(), list->entries.end(),
                                           [&](const IniEntry& e) { return e.value == section.name; });
    if (!named) {
      report.Add(section.line, "[" + Utf8(section.name) +
                                   "] is never read (no App entry of [PREREQUISITES] names it; "
                                   "names are case-sensitive, blanks inside the brackets count)");
    }
  }
  return report.Sorted();
}
