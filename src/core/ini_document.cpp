#include "core/ini_document.h"

#include <cwctype>

namespace {
std::wstring TrimWhiteSpace(const std::wstring& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::iswspace(text[begin])) ++begin;
  while (end > begin && std::iswspace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

void SplitLines(const std::wstring& text, std::vector<std::wstring>* lines) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) {
      lines->push_back(text.substr(start));
      return;
    }
    lines->push_back(text.substr(start, end - start));
    start = end + 2;
  }
}
}  // namespace

bool IniDocument::GetStatus(int32_t* status) const {
  *status = 0;
  return true;
}

bool IniDocument::GetValue(const std::wstring& section, const std::wstring& key,
                           std::wstring* value) const {
  const IniSection* found = FindSection(section);
  if (!found) return false;
  const IniEntry* entry = FindEntry(*found, key);
  if (!entry) return false;
  *value = entry->value;
  return true;
}

void IniDocument::GetSectionNames(std::vector<std::wstring>* names) const {
  names->clear();
  for (const IniSection& section : sections_) names->push_back(section.name);
}

void IniDocument::SetValue(const std::wstring& section, const std::wstring& key,
                           const std::wstring& value) {
  IniSection* target = nullptr;
  for (IniSection& candidate : sections_) {
    if (candidate.name == section) {
      target = &candidate;
      break;
    }
  }
  if (!target) target = AddSection(section);
  target->entries.push_back(IniEntry{key, value, 0});
}

void IniDocument::Parse(const std::wstring& text) {
  sections_.clear();
  std::vector<std::wstring> lines;
  SplitLines(text, &lines);
  if (!lines.empty() && !lines[0].empty() && lines[0][0] == 0xFEFF) lines[0].erase(0, 1);

  IniSection* current = nullptr;
  for (size_t number = 0; number < lines.size(); ++number) {
    const std::wstring& line = lines[number];
    const int32_t line_number = static_cast<int32_t>(number + 1);
    if (line.empty()) continue;
    size_t first = 0;
    while (first < line.size() && line[first] <= L' ') ++first;
    if (first < line.size() && line[first] == L'[') {
      size_t last = line.size();
      while (last > 0 && line[last - 1] <= L' ') --last;
      if (last > 0 && line[last - 1] == L']') {
        size_t open = line.find(L'[');
        size_t close = line.rfind(L']');
        current = AddSection(line.substr(open + 1, close - open - 1), line_number);
        continue;
      }
    }
    size_t equals = line.find(L'=');
    if (current && equals != std::wstring::npos) {
      current->entries.push_back(IniEntry{TrimWhiteSpace(line.substr(0, equals)),
                                          TrimWhiteSpace(line.substr(equals + 1)), line_number});
    }
  }
}

const IniSection* IniDocument::FindSection(const std::wstring& name) const {
  for (const IniSection& section : sections_) {
    if (section.name == name) return &section;
  }
  return nullptr;
}

IniSection* IniDocument::AddSection(const std::wstring& name, int32_t line) {
  sections_.push_back(IniSection{name, {}, line});
  return &sections_.back();
}

const IniEntry* IniDocument::FindEntry(const IniSection& section, const std::wstring& key) {
  for (const IniEntry& entry : section.entries) {
    if (entry.key == key) return &entry;
  }
  return nullptr;
}
