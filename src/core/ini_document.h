// The configuration text as ordered sections of ordered key/value entries.
// Names compare exactly (case-sensitive); duplicates stay and the first wins.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct IniEntry {
  std::wstring key;
  std::wstring value;
  int32_t line = 0;  // 1-based line of the text it came from; 0 when set in code
};

struct IniSection {
  std::wstring name;
  std::vector<IniEntry> entries;
  int32_t line = 0;  // line of its header, as for IniEntry
};

class IniDocument {
 public:
  virtual ~IniDocument() = default;
  // Reports the parse status: always 0, and true.
  virtual bool GetStatus(int32_t* status) const;
  // First section with that name, first entry with that key.
  virtual bool GetValue(const std::wstring& section, const std::wstring& key,
                        std::wstring* value) const;
  // Replaces names with the name of every section, in document order.
  virtual void GetSectionNames(std::vector<std::wstring>* names) const;
  // Appends the entry to the first section of that name (made when missing);
  // an existing entry with the same key is not replaced.
  virtual void SetValue(const std::wstring& section, const std::wstring& key,
                        const std::wstring& value);
  // Nothing is kept outside the document, so there is nothing to write back.
  virtual void Flush() {}

  // Replaces the document with the sections of text (CR LF lines).
  void Parse(const std::wstring& text);
  const IniSection* FindSection(const std::wstring& name) const;
  IniSection* AddSection(const std::wstring& name, int32_t line = 0);
  static const IniEntry* FindEntry(const IniSection& section, const std::wstring& key);

  const std::vector<IniSection>& sections() const { return sections_; }

 private:
  std::vector<IniSection> sections_;
};
