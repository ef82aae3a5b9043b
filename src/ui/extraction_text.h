// What the extraction dialog shows, decided without the window: the texts of
// each mode, how far the bar is, and a path line shortened to fit its control.
#pragma once
#include <cstdint>
#include <cstddef>
#include <string>

struct ExtractionTexts {
  unsigned status_id;       // shown until the first file starts; 0 for none
  unsigned file_format_id;  // one "%s", filled with the file's path
};

// Unpacking packed Java archives, or extracting from the embedded archive.
ExtractionTexts ExtractionTextsFor(bool unpack);

// done out of total in per cent, 0 to 100; an empty total counts as done.
uint32_t PercentDone(uint64_t done, uint64_t total);

// The line itself when it has at most width characters. Otherwise the folders
// after the first backslash give way to "..." from the left, so that the file
// name and the folders nearest to it stay readable; when even "...\<name>"
// is too long, that shortest form is returned and the control clips it.
std::wstring ShortenPathLine(const std::wstring& line, size_t width);
