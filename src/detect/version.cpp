#include "detect/version.h"

#include "util/decimal_text.h"

namespace {
// A component above this before the next digit is added would pass 2147483647.
constexpr uint32_t kLastSafeComponent = 214748364;
constexpr uint32_t kUnsetComponent = 65535;

bool IsDigit(wchar_t c) {
  return c >= L'0' && c <= L'9';
}
bool IsFiller(uint32_t component) {
  return component == 0 || component == kUnsetComponent;
}
}  // namespace

bool Version::IsZero() const {
  for (uint32_t component : components) {
    if (component != 0) return false;
  }
  return true;
}

bool ParseVersion(const std::wstring& text, Version* out) {
  Version version;
  size_t pos = 0;
  for (size_t index = 0; index < version.components.size(); ++index) {
    while (pos < text.size() && !IsDigit(text[pos])) ++pos;
    if (pos == text.size()) break;
    uint32_t value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
      if (value > kLastSafeComponent) {
        *out = Version();
        return false;
      }
      value = value * 10 + static_cast<uint32_t>(text[pos] - L'0');
    }
    version.components[index] = value;
  }
  *out = version;
  return true;
}

Version VersionFromText(const std::wstring& text) {
  Version version;
  ParseVersion(text, &version);
  return version;
}

int CompareVersions(const Version& a, const Version& b) {
  for (size_t i = 0; i < a.components.size(); ++i) {
    if (a.components[i] < b.components[i]) return -1;
    if (a.components[i] > b.components[i]) return 1;
  }
  return 0;
}

std::wstring FormatVersion(const Version& version) {
  size_t count = version.components.size();
  while (count > 0 && IsFiller(version.components[count - 1])) --count;
  if (count == 0) return L"0.0.0.0";
  if (count < 2) count = 2;
  std::wstring text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += L'.';
    text += DecimalW(version.components[i]);
  }
  return text;
}

std::wstring NormalizeVersionText(const std::wstring& text) {
  return FormatVersion(VersionFromText(text));
}

bool VersionInRange(const std::vector<std::wstring>& values, const std::wstring& ver_min,
                    const std::wstring& ver_max) {
  if (values.empty()) return false;
  Version low = VersionFromText(ver_min);
  Version high = VersionFromText(ver_max);
  bool has_low = !low.IsZero();
  bool has_high = !high.IsZero();
  if (!has_low && !has_high) return true;
  for (const std::wstring& text : values) {
    Version value = VersionFromText(text);
    if (value.IsZero()) continue;
    if (has_low && value < low) continue;
    if (!has_high || !(value > high)) return true;
  }
  return false;
}
