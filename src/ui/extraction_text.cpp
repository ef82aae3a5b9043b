#include "ui/extraction_text.h"

#include "core/stable_numbers.h"

ExtractionTexts ExtractionTextsFor(bool unpack) {
  if (unpack) return {0, IDS_UNPACKING_FILE};
  return {IDS_EXTRACTING_ARCHIVE, IDS_EXTRACTING_FILE};
}

uint32_t PercentDone(uint64_t done, uint64_t total) {
  if (total == 0 || done >= total) return 100;
  // Above this the product done * 100 would overflow; a per-cent step of the
  // total is then exact enough.
  if (total > UINT64_MAX / 100) return static_cast<uint32_t>(done / (total / 100));
  return static_cast<uint32_t>(done * 100 / total);
}

std::wstring ShortenPathLine(const std::wstring& line, size_t width) {
  if (line.size() <= width) return line;
  const size_t first = line.find(L'\\');
  const size_t last = line.rfind(L'\\');
  if (first == std::wstring::npos || first == last) return line;
  const std::wstring head = line.substr(0, first + 1) + L"...";
  for (size_t cut = line.find(L'\\', first + 1);; cut = line.find(L'\\', cut + 1)) {
    const std::wstring candidate = head + line.substr(cut);
    if (cut == last || candidate.size() <= width) return candidate;
  }
}
