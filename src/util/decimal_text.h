// Decimal numbers written without the C runtime's formatter: std::to_wstring
// and swprintf reach MinGW's printf, whose floating-point conversions alone
// would be a tenth of the program.
#pragma once
#include <cstdint>
#include <string>

// The decimal digits of value, "-" in front when negative, zeros in front up to
// min_digits digits: what std::to_wstring and "%.Nd" write.
inline std::wstring DecimalW(int64_t value, int min_digits = 1) {
  wchar_t digits[24];
  wchar_t* end = digits + sizeof(digits) / sizeof(digits[0]);
  wchar_t* first = end;
  // Negated as unsigned: INT64_MIN has no positive int64_t counterpart.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    *--first = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (end - first < min_digits && first > digits + 1) *--first = L'0';
  if (value < 0) *--first = L'-';
  return std::wstring(first, end);
}
