// Versions as the searches compare them: four unsigned components read from
// any text that holds digits. Pure: no Windows headers, standard types only.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Version {
  std::array<uint32_t, 4> components{};

  // True when every component is 0 (a bound that says nothing).
  bool IsZero() const;
};

// Reads up to four runs of decimal digits; any other characters separate them
// ("release 1.2-beta3" gives 1.2.3.0) and missing components are 0. A text
// without digits gives 0.0.0.0 and true. A component that grows past
// 2147483647 makes the whole version 0.0.0.0 and the result false.
bool ParseVersion(const std::wstring& text, Version* out);
// ParseVersion without the flag.
Version VersionFromText(const std::wstring& text);

// Negative, 0 or positive as a is below, equal to or above b, first component first.
int CompareVersions(const Version& a, const Version& b);
inline bool operator==(const Version& a, const Version& b) {
  return CompareVersions(a, b) == 0;
}
inline bool operator!=(const Version& a, const Version& b) {
  return CompareVersions(a, b) != 0;
}
inline bool operator<(const Version& a, const Version& b) {
  return CompareVersions(a, b) < 0;
}
inline bool operator>(const Version& a, const Version& b) {
  return CompareVersions(a, b) > 0;
}

// Joins the components with "." after dropping trailing ones that are 0 or
// 65535, keeping at least two ("1.0", "2.5.1"); a version made only of 0 and
// 65535 components gives "0.0.0.0".
std::wstring FormatVersion(const Version& version);
// FormatVersion(VersionFromText(text)): how collected versions are written.
std::wstring NormalizeVersionText(const std::wstring& text);

// True when one of the values, read as a version, lies within the inclusive
// bounds. A bound that reads as 0.0.0.0 is absent; with both absent any
// non-empty list qualifies. Values that read as 0.0.0.0 never qualify against a
// present bound. An empty list never qualifies.
bool VersionInRange(const std::vector<std::wstring>& values, const std::wstring& ver_min,
                    const std::wstring& ver_max);
