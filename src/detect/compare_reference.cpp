#include "detect/compare_reference.h"

namespace {
bool AllDigits(const std::wstring& text) {
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

// Compares two digit strings as numbers of any length, so that a long value
// cannot wrap around and compare the wrong way.
int CompareDecimal(const std::wstring& a, const std::wstring& b) {
  size_t a_start = a.find_first_not_of(L'0');
  size_t b_start = b.find_first_not_of(L'0');
  std::wstring a_digits = a_start == std::wstring::npos ? std::wstring() : a.substr(a_start);
  std::wstring b_digits = b_start == std::wstring::npos ? std::wstring() : b.substr(b_start);
  if (a_digits.size() != b_digits.size()) return a_digits.size() < b_digits.size() ? -1 : 1;
  return a_digits.compare(b_digits);
}
}  // namespace

bool CompareReference(const std::wstring& value, const std::wstring& ref_content) {
  if (ref_content.empty()) return false;
  const std::wstring reference = ref_content.substr(1);
  switch (ref_content[0]) {
    case L'C':
      return !reference.empty() && value.find(reference) != std::wstring::npos;
    case L'D':
      return value != reference;
    case L'E':
      return value.size() >= reference.size() &&
             value.compare(value.size() - reference.size(), reference.size(), reference) == 0;
    case L'G':
      return AllDigits(value) && AllDigits(reference) && CompareDecimal(value, reference) > 0;
    case L'L':
      return AllDigits(value) && AllDigits(reference) && CompareDecimal(value, reference) < 0;
    case L'M':
      return value == reference;
    case L'S':
      return value.size() >= reference.size() && value.compare(0, reference.size(), reference) == 0;
    case L'X':
      return reference.empty() || value.find(reference) == std::wstring::npos;
    default:
      return false;
  }
}
