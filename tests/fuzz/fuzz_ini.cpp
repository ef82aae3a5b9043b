// The configuration file as the chainer reads it: UTF-16LE after a two-byte
// mark, parsed, then loaded into options, prerequisites and cleanup lists.
#include "archive/bundle_index.h"
#include "core/chainer_config.h"
#include "util/folder_properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size <= 2) return 0;
  std::vector<uint16_t> units((size - 2) / 2);
  for (size_t i = 0; i < units.size(); ++i) units[i] = data[2 + 2 * i] | (data[3 + 2 * i] << 8);
  IniDocument document;
  document.Parse(FromUtf16(units.data(), units.size()));

  ChainerConfig config;
  config.LoadConfiguration(document, [](const std::wstring& text, bool) {
    return ExpandReferences(text, [](ReferenceKind, const std::wstring& name, std::wstring* value) {
      *value = name;
      return name.size() % 2 == 0;
    });
  });
  ChainerSection chainer;
  LoadChainerSection(document, &chainer);
  std::vector<std::wstring> names;
  document.GetSectionNames(&names);
  for (const std::wstring& name : names) {
    const IniSection* section = document.FindSection(name);
    std::vector<SearchEntry> searches;
    if (section) ChainerConfig::LoadSearches(*section, &searches);
  }
  return 0;
}
