// How the fuzz targets read their bytes: text fields that stay readable in
// the seed corpus, yet can hold any UTF-16 unit that Windows would hand over.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Fields separated by '\n'. Every other byte is one character, except that
// ESC (0x1B) and the two bytes after it give one UTF-16 unit (low byte first),
// so that surrogates, U+FEFF and the like are reachable.
inline std::vector<std::wstring> Fields(const uint8_t* data, size_t size) {
  std::vector<std::wstring> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      fields.emplace_back();
    } else if (data[i] == 0x1B && i + 2 < size) {
      fields.back() += static_cast<wchar_t>(data[i + 1] | (data[i + 2] << 8));
      i += 2;
    } else {
      fields.back() += static_cast<wchar_t>(data[i]);
    }
  }
  return fields;
}

// Field index, or empty text when the input has fewer fields.
inline std::wstring FieldAt(const std::vector<std::wstring>& fields, size_t index) {
  return index < fields.size() ? fields[index] : std::wstring();
}

// The leading decimal digits of a field, wrapping like the unsigned type.
inline uint64_t NumberAt(const std::vector<std::wstring>& fields, size_t index) {
  uint64_t value = 0;
  for (wchar_t c : FieldAt(fields, index)) {
    if (c < L'0' || c > L'9') break;
    value = value * 10 + static_cast<uint64_t>(c - L'0');
  }
  return value;
}

// A property a parser promises; a broken promise is a finding like a crash.
#define FUZZ_CHECK(condition)           \
  do {                                  \
    if (!(condition)) __builtin_trap(); \
  } while (0)
